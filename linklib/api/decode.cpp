#include "decode.h"

#include <cstring>

#include "kvsh_records.h"
#include "log.h"
#include "msg.h"

namespace kvs {

namespace {

int CmdOf(const uint8_t* data, size_t avail) { return avail > 6 ? data[6] & 0x7F : -1; }

int32_t LengthOf(const uint8_t* data) {
    int32_t len;
    std::memcpy(&len, data, 4);
    return len;
}

}  // namespace

const T_MSG_HEAD* CheckReply(const uint8_t* data, size_t avail) {
    if (!data) return nullptr;
    if (avail < kHeadSize) {
        Log(KVS_LEVEL_ERROR, TextId::kMalformedReply, CmdOf(data, avail), -1,
            static_cast<int>(avail));
        return nullptr;
    }
    int32_t len = LengthOf(data);
    if (len < static_cast<int32_t>(kHeadSize) || static_cast<size_t>(len) > avail) {
        Log(KVS_LEVEL_ERROR, TextId::kMalformedReply, CmdOf(data, avail), len,
            static_cast<int>(avail));
        return nullptr;
    }
    return reinterpret_cast<const T_MSG_HEAD*>(data);
}

const char* DecodeReplyText(const uint8_t* data, size_t avail, size_t offset) {
    const T_MSG_HEAD* reply = CheckReply(data, avail);
    if (!reply || ReplyStatus(reply) != 0) return nullptr;
    const char* text = ReplyText(reply, offset);
    if (!text) Log(KVS_LEVEL_ERROR, TextId::kBadReplyText, reply->cmd & 0x7F);
    return text;
}

const T_MSG_HEAD* DecodeRecordReply(const uint8_t* data, size_t avail) {
    const T_MSG_HEAD* reply = CheckReply(data, avail);
    if (!reply) return nullptr;
    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, reply);
    while (KVS_RecordsNext(&it, &rec)) {
    }
    if (it.bad) Log(KVS_LEVEL_ERROR, TextId::kBadRecords, reply->cmd & 0x7F);
    return reply;
}

const T_MSG_HEAD* DecodeAttrInfoReply(const uint8_t* data, size_t avail) {
    const T_MSG_HEAD* reply = CheckReply(data, avail);
    if (!reply) return nullptr;
    if (ReplyStatus(reply) != 0) return reply;
    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, reply);
    // The single record must be whole and carry its name (read at reply offset 20).
    it.remaining = 1;
    if (!KVS_RecordsNext(&it, &rec) || !KVS_RecordText(&rec, 0)) {
        Log(KVS_LEVEL_ERROR, TextId::kBadRecords, reply->cmd & 0x7F);
        return nullptr;
    }
    return reply;
}

const uint8_t* DecodeMemReply(const uint8_t* data, size_t avail, int* length) {
    const T_MSG_HEAD* reply = CheckReply(data, avail);
    if (!reply || ReplyStatus(reply) != 0) return nullptr;
    if (length) *length = reply->length - static_cast<int32_t>(kHeadSize);
    return data + kHeadSize;
}

bool DecodeConfigReply(const uint8_t* data, size_t avail, uint8_t* slot, uint8_t* device,
                       uint8_t* serial, T_GLOAT_SET* record) {
    const T_MSG_HEAD* reply = CheckReply(data, avail);
    if (!reply) return false;
    if (slot) *slot = reply->param.bytes[1];
    if (device) *device = reply->param.bytes[2];
    if (serial) *serial = reply->param.bytes[3];
    bool whole = true;
    if (record) {
        if (static_cast<size_t>(reply->length) >= kReplyBodyOffset + sizeof(T_GLOAT_SET)) {
            std::memcpy(record, data + kReplyBodyOffset, sizeof(T_GLOAT_SET));
        } else {
            // A refusal may come without the record; only a claimed success must carry it.
            whole = false;
            if (ReplyStatus(reply) == 0)
                Log(KVS_LEVEL_ERROR, TextId::kBadReplyText, reply->cmd & 0x7F);
        }
    }
    return whole && ReplyStatus(reply) == 0;
}

bool DecodeStatus(const uint8_t* data, size_t avail, uint8_t want) {
    const T_MSG_HEAD* reply = CheckReply(data, avail);
    return reply && ReplyStatus(reply) == want;
}

}  // namespace kvs
