// Every reply decoder of the exported operations, and the record walk that callers use, on an
// exact-size copy of an arbitrary reply. Texts handed out are read to their NUL.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decode.h"
#include "kvsh_records.h"

namespace {
void Touch(const char* text) {
    if (text) {
        volatile size_t n = std::strlen(text);
        (void)n;
    }
}

void Walk(const T_MSG_HEAD* reply) {
    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, reply);
    while (KVS_RecordsNext(&it, &rec))
        for (unsigned i = 0; i <= rec.texts; ++i) Touch(KVS_RecordText(&rec, i));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    const uint8_t* p = copy.data();
    Touch(kvs::DecodeReplyText(p, size, kvs::kReplyTextOffset));
    Touch(kvs::DecodeReplyText(p, size, kvs::kReplyBodyOffset));
    if (const T_MSG_HEAD* r = kvs::DecodeRecordReply(p, size)) Walk(r);
    if (const T_MSG_HEAD* r = kvs::DecodeAttrInfoReply(p, size)) Walk(r);
    int length = -1;
    if (const uint8_t* mem = kvs::DecodeMemReply(p, size, &length)) {
        if (length < 0 || mem + length > p + size) std::abort();
        volatile uint8_t s = 0;
        for (int i = 0; i < length; ++i) s = s + mem[i];
    }
    uint8_t slot, device, serial;
    T_GLOAT_SET record;
    kvs::DecodeConfigReply(p, size, &slot, &device, &serial, &record);
    kvs::DecodeStatus(p, size, 0);
    return 0;
}
