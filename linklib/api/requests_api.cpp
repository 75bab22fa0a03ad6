// The request operations of both families. Each builds its message in a 65536-byte buffer on
// the caller's stack, runs it through the connection's request engine and decodes the reply
// (decode.h). The global family applies the handle family to the global connection.
#include <cstring>

#include "api_internal.h"
#include "decode.h"
#include "kvsh_vocab.h"
#include "msg.h"

namespace {

using kvs::MsgBuilder;

const uint8_t* Raw(const T_MSG_HEAD* reply) { return reinterpret_cast<const uint8_t*>(reply); }
// The engine hands out only replies whose length lies between 12 and the bytes received, and
// copies exactly that many bytes into the slot.
size_t Avail(const T_MSG_HEAD* reply) { return reply ? static_cast<size_t>(reply->length) : 0; }

// A reply whose slot stays reserved while this object lives: several threads share the 16
// slots, and without the reservation another thread's request could overwrite a reply
// between its arrival and its decoding here. Converts to the reply pointer.
class HeldReply {
  public:
    HeldReply(CKVSH_BaseComm* conn, const T_MSG_HEAD* reply) : conn_(conn), reply_(reply) {}
    ~HeldReply() {
        if (reply_) conn_->ReleaseReply(reply_);
    }
    HeldReply(const HeldReply&) = delete;
    HeldReply& operator=(const HeldReply&) = delete;
    operator const T_MSG_HEAD*() const { return reply_; }

  private:
    CKVSH_BaseComm* conn_;
    const T_MSG_HEAD* reply_;
};

// Any status byte is the success (the boot loader's answers).
constexpr int kAnyStatus = -1;

// Sends a built message and records how it went for KVS_GetLastResult: not sent, no answer
// and malformed from the engine; for a reply, done when its status is the accepted one and
// refused otherwise. ms 0 is the connection's request wait. nullptr when it did not fit or no
// reply came.
HeldReply Send(CKVSH_BaseComm* conn, const MsgBuilder& m, bool wait = true, unsigned ms = 0,
               int accept = 0) {
    using Outcome = CKVSH_BaseComm::Outcome;
    if (!m.ok()) {
        conn->SetLastResult(KVS_RESULT_NOT_SENT, 0);
        return HeldReply(conn, nullptr);
    }
    Outcome outcome;
    const T_MSG_HEAD* reply = conn->RequestHeld(m.head(), wait, ms ? ms : conn->WaitMs(), &outcome);
    switch (outcome) {
        case Outcome::kNotSent:
            conn->SetLastResult(KVS_RESULT_NOT_SENT, 0);
            break;
        case Outcome::kNoAnswer:
            conn->SetLastResult(KVS_RESULT_NO_ANSWER, 0);
            break;
        case Outcome::kMalformed:
            conn->SetLastResult(KVS_RESULT_MALFORMED, 0);
            break;
        case Outcome::kAnswered: {
            const int status = wait ? kvs::ReplyStatus(reply) : 0;
            const bool ok = !wait || accept == kAnyStatus || status == accept;
            conn->SetLastResult(ok ? KVS_RESULT_DONE : KVS_RESULT_REFUSED, status);
            break;
        }
    }
    return HeldReply(conn, reply);
}

// After decoding: a reply with the accepted status that still could not be used (a text
// without its NUL, a missing record) was malformed.
template <typename T>
T Decoded(CKVSH_BaseComm* conn, T result) {
    if (!result && conn->LastResult(nullptr) == KVS_RESULT_DONE)
        conn->SetLastResult(KVS_RESULT_MALFORMED, 0);
    return result;
}

bool StatusOk(const T_MSG_HEAD* reply) {
    return reply && kvs::DecodeStatus(Raw(reply), Avail(reply), 0);
}

// Commands 4, 5 and 6 share their request and reply shape.
const char* GetText(KVS_HANDLE h, uint8_t cmd, const char* component, const char* attribute) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, cmd, 1);
    m.Text(component).Text(attribute);
    auto reply = Send(conn, m);
    return Decoded(conn, reply
                             ? kvs::DecodeReplyText(Raw(reply), Avail(reply), kvs::kReplyTextOffset)
                             : nullptr);
}

// Commands 1, 2 and 12: the reply itself.
const T_MSG_HEAD* GetRecords(KVS_HANDLE h, uint8_t cmd, uint8_t count, const char* component) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, cmd, count);
    if (component) m.Text(component);
    auto reply = Send(conn, m);
    return Decoded(conn, reply ? kvs::DecodeRecordReply(Raw(reply), Avail(reply)) : nullptr);
}

}  // namespace

extern "C" {

KVS_API bool mKVS_Key(KVS_HANDLE h, const char* key) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdKey, 0);
    m.TextNoNul(key);
    auto reply = Send(conn, m, true, 0, KVS_STATUS_KEY_ACCEPTED);
    return reply && kvs::DecodeStatus(Raw(reply), Avail(reply), KVS_STATUS_KEY_ACCEPTED);
}

KVS_API const T_MSG_HEAD* mKVS_GetComponentTree(KVS_HANDLE h) {
    return GetRecords(h, kvs::kCmdTree, 0, nullptr);
}

KVS_API const T_MSG_HEAD* mKVS_GetComponentAttrInfo(KVS_HANDLE h, const char* component) {
    return GetRecords(h, kvs::kCmdAttrInfoAll, 1, component ? component : "");
}

KVS_API const T_MSG_HEAD* mKVS_GetComponentSlotInfo(KVS_HANDLE h, const char* component) {
    return GetRecords(h, kvs::kCmdSlotInfo, 1, component ? component : "");
}

KVS_API const T_MSG_HEAD* mKVS_GetAttrInfo(KVS_HANDLE h, const char* component,
                                           const char* attribute) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdAttrInfo, 1);
    m.Text(component).Text(attribute);
    auto reply = Send(conn, m);
    return Decoded(conn, reply ? kvs::DecodeAttrInfoReply(Raw(reply), Avail(reply)) : nullptr);
}

KVS_API const char* mKVS_GetAttrVal(KVS_HANDLE h, const char* component, const char* attribute) {
    return GetText(h, kvs::kCmdGetVal, component, attribute);
}

KVS_API const char* mKVS_GetAttrRealVal(KVS_HANDLE h, const char* component,
                                        const char* attribute) {
    return GetText(h, kvs::kCmdGetRealVal, component, attribute);
}

KVS_API const char* mKVS_GetAttributeLink(KVS_HANDLE h, const char* component,
                                          const char* attribute) {
    return GetText(h, kvs::kCmdGetLink, component, attribute);
}

KVS_API const char* mKVS_AddNewComponent(KVS_HANDLE h, const char* type, const char* second) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdAddComponent, 1);
    m.Text(type).Text(second);
    auto reply = Send(conn, m);
    return Decoded(conn, reply
                             ? kvs::DecodeReplyText(Raw(reply), Avail(reply), kvs::kReplyTextOffset)
                             : nullptr);
}

KVS_API const char* mKVS_GetBatchAttrVal(KVS_HANDLE h, const char* names, int count) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdGetBatch, 1);
    m.SetParamI32(count);
    m.Text(names);
    auto reply = Send(conn, m);
    return Decoded(conn, reply
                             ? kvs::DecodeReplyText(Raw(reply), Avail(reply), kvs::kReplyBodyOffset)
                             : nullptr);
}

KVS_API const unsigned char* mKVS_GetAttrMemData(KVS_HANDLE h, const char* component,
                                                 const char* attribute, int* length) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdGetMem, 1);
    m.Text(component).Text(attribute);
    auto reply = Send(conn, m);
    return Decoded(conn, reply ? kvs::DecodeMemReply(Raw(reply), Avail(reply), length) : nullptr);
}

KVS_API bool mKVS_SetAttributeVal(KVS_HANDLE h, const char* component, const char* attribute,
                                  const char* value, bool wait) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdSetVal, 1);
    m.Text(component).Text(attribute).Text(value);
    auto reply = Send(conn, m, wait);
    return wait ? StatusOk(reply) : reply != nullptr;
}

KVS_API bool mKVS_SetBatchAttrVal(KVS_HANDLE h, const char* names, const char* values, int count,
                                  bool wait) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdSetBatch, 1);
    m.SetParamI32(count);
    m.Text(names).Text(values);
    auto reply = Send(conn, m, wait);
    return wait ? StatusOk(reply) : reply != nullptr;
}

KVS_API bool mKVS_SetAttributeLink(KVS_HANDLE h, const char* component, const char* attribute,
                                   const char* source) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdSetLink, 1);
    m.Text(component).Text(attribute).Text(source);
    return StatusOk(Send(conn, m));
}

KVS_API bool mKVS_ModifyStrList(KVS_HANDLE h, const char* component, const char* attribute,
                                int first, const char* text, int second) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdSetLink, 1);
    m.SetParamByte(0, static_cast<uint8_t>(first));
    m.SetParamByte(1, static_cast<uint8_t>(second));
    m.Text(component).Text(attribute).Text(text);
    return StatusOk(Send(conn, m));
}

KVS_API bool mKVS_SetAttrMemData(KVS_HANDLE h, const char* component, const char* attribute,
                                 const unsigned char* data, int count) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn || count < 0 || (count > 0 && !data)) return false;
    const size_t need = std::strlen(component ? component : "") +
                        std::strlen(attribute ? attribute : "") + static_cast<size_t>(count) + 15;
    if (need > kvs::kBufferSize) {
        conn->SetLastResult(KVS_RESULT_NOT_SENT, 0);
        return false;
    }
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdSetMem, 0);
    m.SetParamI32(count);
    m.Text(component).Text(attribute).Bytes(data, static_cast<size_t>(count));
    return StatusOk(Send(conn, m));
}

KVS_API bool mKVS_DelComponent(KVS_HANDLE h, const char* component) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdDelComponent, 1);
    m.Text(component);
    return StatusOk(Send(conn, m));
}

KVS_API const char* mKVS_UploadConfig(KVS_HANDLE h) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return nullptr;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdUpload, 0);
    auto reply = Send(conn, m, true, kvs::kUploadWaitMs);
    return Decoded(conn, reply
                             ? kvs::DecodeReplyText(Raw(reply), Avail(reply), kvs::kReplyBodyOffset)
                             : nullptr);
}

KVS_API bool mKVS_DownloadConfig(KVS_HANDLE h, const char* text) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    if (!text) text = "";
    if (std::strlen(text) + 13 > kvs::kMaxMessage) {
        conn->SetLastResult(KVS_RESULT_NOT_SENT, 0);
        return false;
    }
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdDownload, 0);
    m.Text(text);
    // The controller parses the text before it answers: 10 ms per message byte.
    return StatusOk(Send(conn, m, true, static_cast<unsigned>(m.size()) * 10));
}

KVS_API bool mKVS_ConfigFile_Operate(KVS_HANDLE h, uint8_t operation, uint8_t* slot,
                                     uint8_t* device, uint8_t* serial, T_GLOAT_SET* record) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t buf[kvs::kBufferSize];
    MsgBuilder m(buf, sizeof buf, kvs::kCmdConfigOp, 1);
    m.SetParamByte(0, operation);
    if (slot) m.SetParamByte(1, *slot);
    if (device) m.SetParamByte(2, *device);
    if (serial) m.SetParamByte(3, *serial);
    if (record) m.Bytes(record, sizeof *record);
    auto reply = Send(conn, m);
    return Decoded(conn, reply && kvs::DecodeConfigReply(Raw(reply), Avail(reply), slot, device,
                                                         serial, record));
}

KVS_API bool mKVS_InBoot(KVS_HANDLE h, int mode) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) return false;
    uint8_t cmd = kvs::kCmdBootEnter;
    switch (mode) {
        case 1:
            cmd = kvs::kCmdBootLeave;
            break;
        case 2:
            cmd = kvs::kCmdBootFactory;
            break;
        case 3:
            cmd = kvs::kCmdBootNormal;
            break;
        default:
            break;
    }
    uint8_t buf[kvs::kHeadSize];
    MsgBuilder m(buf, sizeof buf, cmd, 0);
    // The boot loader answers anything; a reply at all is the success.
    return Send(conn, m, true, kvs::kBootWaitMs, kAnyStatus) != nullptr;
}

// The global family: the same operations on the global connection.

KVS_API bool KVS_Key(const char* key) { return mKVS_Key(kvs::GlobalHandle(), key); }
KVS_API const T_MSG_HEAD* KVS_GetComponentTree(void) {
    return mKVS_GetComponentTree(kvs::GlobalHandle());
}
KVS_API const T_MSG_HEAD* KVS_GetComponentAttrInfo(const char* component) {
    return mKVS_GetComponentAttrInfo(kvs::GlobalHandle(), component);
}
KVS_API const T_MSG_HEAD* KVS_GetAttrInfo(const char* component, const char* attribute) {
    return mKVS_GetAttrInfo(kvs::GlobalHandle(), component, attribute);
}
KVS_API const T_MSG_HEAD* KVS_GetComponentSlotInfo(const char* component) {
    return mKVS_GetComponentSlotInfo(kvs::GlobalHandle(), component);
}
KVS_API const char* KVS_GetAttrVal(const char* component, const char* attribute) {
    return mKVS_GetAttrVal(kvs::GlobalHandle(), component, attribute);
}
KVS_API const char* KVS_GetAttrRealVal(const char* component, const char* attribute) {
    return mKVS_GetAttrRealVal(kvs::GlobalHandle(), component, attribute);
}
KVS_API const char* KVS_GetAttributeLink(const char* component, const char* attribute) {
    return mKVS_GetAttributeLink(kvs::GlobalHandle(), component, attribute);
}
KVS_API const char* KVS_AddNewComponent(const char* type, const char* second) {
    return mKVS_AddNewComponent(kvs::GlobalHandle(), type, second);
}
KVS_API const char* KVS_GetBatchAttrVal(const char* names, int count) {
    return mKVS_GetBatchAttrVal(kvs::GlobalHandle(), names, count);
}
KVS_API const unsigned char* KVS_GetAttrMemData(const char* component, const char* attribute,
                                                int* length) {
    return mKVS_GetAttrMemData(kvs::GlobalHandle(), component, attribute, length);
}
KVS_API const char* KVS_UploadConfig(void) { return mKVS_UploadConfig(kvs::GlobalHandle()); }
KVS_API bool KVS_SetAttributeVal(const char* component, const char* attribute, const char* value,
                                 bool wait) {
    return mKVS_SetAttributeVal(kvs::GlobalHandle(), component, attribute, value, wait);
}
KVS_API bool KVS_SetBatchAttrVal(const char* names, const char* values, int count, bool wait) {
    return mKVS_SetBatchAttrVal(kvs::GlobalHandle(), names, values, count, wait);
}
KVS_API bool KVS_SetAttributeLink(const char* component, const char* attribute,
                                  const char* source) {
    return mKVS_SetAttributeLink(kvs::GlobalHandle(), component, attribute, source);
}
KVS_API bool KVS_ModifyStrList(const char* component, const char* attribute, int first,
                               const char* text, int second) {
    return mKVS_ModifyStrList(kvs::GlobalHandle(), component, attribute, first, text, second);
}
KVS_API bool KVS_SetAttrMemData(const char* component, const char* attribute,
                                const unsigned char* data, int count) {
    return mKVS_SetAttrMemData(kvs::GlobalHandle(), component, attribute, data, count);
}
KVS_API bool KVS_DelComponent(const char* component) {
    return mKVS_DelComponent(kvs::GlobalHandle(), component);
}
KVS_API bool KVS_DownloadConfig(const char* text) {
    return mKVS_DownloadConfig(kvs::GlobalHandle(), text);
}
KVS_API bool KVS_ConfigFile_Operate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                    uint8_t* serial, T_GLOAT_SET* record) {
    return mKVS_ConfigFile_Operate(kvs::GlobalHandle(), operation, slot, device, serial, record);
}
KVS_API bool KVS_InBoot(int mode) { return mKVS_InBoot(kvs::GlobalHandle(), mode); }

// Outcomes and waits.

KVS_API int mKVS_GetLastResult(KVS_HANDLE h, int* status) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    if (!conn) {
        if (status) *status = 0;
        return KVS_RESULT_NOT_SENT;
    }
    return conn->LastResult(status);
}
KVS_API int KVS_GetLastResult(int* status) {
    return mKVS_GetLastResult(kvs::GlobalHandle(), status);
}

KVS_API void mKVS_SetRequestWait(KVS_HANDLE h, int ms) {
    if (CKVSH_BaseComm* conn = kvs::FromHandle(h)) conn->SetWaitMs(ms);
}
KVS_API int mKVS_GetRequestWait(KVS_HANDLE h) {
    CKVSH_BaseComm* conn = kvs::FromHandle(h);
    return static_cast<int>(conn ? conn->WaitMs() : CKVSH_BaseComm::kDefaultWaitMs);
}
KVS_API void KVS_SetRequestWait(int ms) { mKVS_SetRequestWait(kvs::GlobalHandle(), ms); }
KVS_API int KVS_GetRequestWait(void) { return mKVS_GetRequestWait(kvs::GlobalHandle()); }

}  // extern "C"
