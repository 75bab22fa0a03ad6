#include "browser/reply_records.h"

#include "app/device/gbk_text.h"

QString RecordText(const KVS_RECORD& rec, unsigned index) {
    const char* t = KVS_RecordText(&rec, index);
    return t ? FromGbk(t) : QString();
}

bool ForEachRecord(const QByteArray& reply, const std::function<void(const KVS_RECORD&)>& each) {
    if (size_t(reply.size()) < sizeof(T_MSG_HEAD)) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(reply.constData());
    KVS_RECORD_ITER it;
    KVS_RecordsBegin(&it, reinterpret_cast<const T_MSG_HEAD*>(bytes));
    if (it.end && it.end > bytes + reply.size()) it.end = bytes + reply.size();
    KVS_RECORD rec;
    while (KVS_RecordsNext(&it, &rec)) each(rec);
    return !it.bad;
}
