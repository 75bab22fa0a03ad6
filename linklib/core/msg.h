// Building request messages and reading the texts of replies.
//
// Portable, no platform headers, no allocation: a request is built in a buffer the caller owns
// (the exported operations use a 65536-byte buffer on their stack).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kvsh_user.h"
#include "kvsh_vocab.h"

namespace kvs {

constexpr size_t kHeadSize = sizeof(T_MSG_HEAD);
// A message must fit the 16-bit length field of a serial/UDP frame.
constexpr size_t kMaxMessage = 65535;
// Size of a reply slot, a receive buffer and a request buffer.
constexpr size_t kBufferSize = 65536;
constexpr uint8_t kReplyBit = 0x80;

// Command codes of the protocol.
enum Cmd : uint8_t {
    kCmdTree = 1,
    kCmdAttrInfoAll = 2,
    kCmdAttrInfo = 3,
    kCmdGetVal = 4,
    kCmdGetRealVal = 5,
    kCmdGetLink = 6,
    kCmdSetVal = 7,
    kCmdSetLink = 8,
    kCmdAddComponent = 10,
    kCmdDelComponent = 11,
    kCmdSlotInfo = 12,
    kCmdConfigOp = 13,
    kCmdUpload = 14,
    kCmdDownload = 15,
    kCmdGetMem = 16,
    kCmdSetMem = 17,
    kCmdGetBatch = 18,
    kCmdSetBatch = 19,
    kCmdMonitorEvent = KVS_UNSOLICITED_MONITOR_EVENT,
    kCmdKey = 30,
    kCmdBootEnter = 51,
    kCmdBootLeave = 52,
    kCmdBootFactory = 53,
    kCmdBootNormal = 54,
    kCmdInfoLines = KVS_UNSOLICITED_INFO_LINES,
};

// Appends to a message in a caller-owned buffer, keeping the head's length current. Once
// anything fails to fit (the buffer or the 65535-byte frame limit) ok() stays false and
// nothing more is written.
class MsgBuilder {
  public:
    MsgBuilder(uint8_t* buffer, size_t capacity, uint8_t cmd, uint8_t count);

    void SetParamI32(int32_t value);
    void SetParamByte(int index, uint8_t value);  // index 0-3 = message bytes 8-11

    // Appends a text with its NUL (a NULL text counts as "").
    MsgBuilder& Text(const char* text);
    // Appends a text without its NUL (the key command).
    MsgBuilder& TextNoNul(const char* text);
    MsgBuilder& Bytes(const void* data, size_t n);

    bool ok() const { return ok_; }
    size_t size() const { return size_; }
    const T_MSG_HEAD* head() const { return reinterpret_cast<const T_MSG_HEAD*>(buf_); }
    const uint8_t* data() const { return buf_; }

  private:
    void Put(const void* data, size_t n);
    uint8_t* buf_;
    size_t cap_;
    size_t size_ = kHeadSize;
    bool ok_ = true;
};

// A reply's length is trustworthy once the engine has accepted it (12 <= length <= bytes
// that arrived). These read inside that bound only.

// The NUL-terminated text at offset, or nullptr when the reply is shorter than offset + 1 or
// the text has no NUL inside the reply.
const char* ReplyText(const T_MSG_HEAD* reply, size_t offset);

inline uint8_t ReplyStatus(const T_MSG_HEAD* reply) { return reply->param.bytes[0]; }

}  // namespace kvs
