#include "app/device/unsolicited_lines.h"

#include "app/device/gbk_text.h"
#include "kvsh_unsolicited.h"
#include "kvsh_user.h"

namespace {
QString SpanText(const KVS_TEXT_SPAN& span) { return FromGbk(span.text, qsizetype(span.length)); }
}  // namespace

std::vector<std::pair<int, QString>> UnsolicitedLines(const QByteArray& message) {
    const auto* msg = reinterpret_cast<const unsigned char*>(message.constData());
    const int length = int(message.size());
    std::vector<std::pair<int, QString>> lines;
    switch (KVS_UnsolicitedCode(msg, length)) {
        case KVS_UNSOLICITED_MONITOR_EVENT: {
            KVS_MONITOR_EVENT e;
            KVS_DecodeMonitorEvent(msg, length, &e);
            lines.emplace_back(KVS_LEVEL_NORMAL, QStringLiteral("收到监控事件--属性名:%1,当前值:%2")
                                                     .arg(SpanText(e.name), SpanText(e.value)));
            break;
        }
        case KVS_UNSOLICITED_INFO_LINES: {
            KVS_INFO_ITER it;
            KVS_INFO_LINE line;
            KVS_InfoLinesBegin(&it, msg, length);
            while (KVS_InfoLinesNext(&it, &line))
                lines.emplace_back(line.level,
                                   QStringLiteral("KVS固件信息:  %1").arg(SpanText(line.text)));
            break;
        }
        case -1:
            break;  // shorter than a message head: nothing to show
        default:
            lines.emplace_back(KVS_LEVEL_NORMAL, QStringLiteral("收到不能识别的KVS消息类型"));
            break;
    }
    return lines;
}
