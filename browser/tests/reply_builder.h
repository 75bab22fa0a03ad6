// Hand-built attribute replies (commands 2, 3 and 12) for the browser's tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/device/gbk_text.h"

struct AttrRecordSpec {
    int kind;  // 1 component, 3 attribute
    int flags;
    int type;
    int role;
    QStringList texts;  // name, value, options
};

inline QByteArray BuildAttrReply(uint8_t cmd, const std::vector<AttrRecordSpec>& records) {
    QByteArray msg(12, '\0');
    msg[6] = char(cmd | 0x80);
    msg[7] = char(records.size());
    for (const AttrRecordSpec& r : records) {
        QByteArray texts;
        for (const QString& t : r.texts) texts += ToGbk(t) + '\0';
        const uint16_t size = uint16_t(8 + texts.size());
        const char head[8] = {char(size & 0xff),
                              char(size >> 8),
                              char(r.texts.size()),
                              char(r.kind),
                              char(r.flags),
                              char(r.type),
                              0,
                              char(r.role)};
        msg += QByteArray(head, 8) + texts;
    }
    const int32_t length = int32_t(msg.size());
    std::memcpy(msg.data(), &length, 4);
    return msg;
}

inline AttrRecordSpec Comp(const QString& name) { return {1, 0, 0, 0, {name}}; }
inline AttrRecordSpec Attr(int type, int flags, QStringList texts, int role = 0) {
    return {3, flags, type, role, std::move(texts)};
}
