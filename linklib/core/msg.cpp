#include "msg.h"

#include <cstring>

namespace kvs {

MsgBuilder::MsgBuilder(uint8_t* buffer, size_t capacity, uint8_t cmd, uint8_t count)
    : buf_(buffer), cap_(capacity < kMaxMessage ? capacity : kMaxMessage) {
    if (cap_ < kHeadSize) {
        ok_ = false;
        size_ = 0;
        return;
    }
    std::memset(buf_, 0, kHeadSize);
    auto* h = reinterpret_cast<T_MSG_HEAD*>(buf_);
    h->length = static_cast<int32_t>(kHeadSize);
    h->cmd = cmd;
    h->count = count;
}

void MsgBuilder::SetParamI32(int32_t value) {
    if (size_ >= kHeadSize) std::memcpy(buf_ + 8, &value, 4);
}

void MsgBuilder::SetParamByte(int index, uint8_t value) {
    if (size_ >= kHeadSize && index >= 0 && index < 4) buf_[8 + index] = value;
}

void MsgBuilder::Put(const void* data, size_t n) {
    if (!ok_) return;
    if (n > cap_ - size_) {
        ok_ = false;
        return;
    }
    if (n) std::memcpy(buf_ + size_, data, n);
    size_ += n;
    int32_t len = static_cast<int32_t>(size_);
    std::memcpy(buf_, &len, 4);
}

MsgBuilder& MsgBuilder::Text(const char* text) {
    if (!text) text = "";
    Put(text, std::strlen(text) + 1);
    return *this;
}

MsgBuilder& MsgBuilder::TextNoNul(const char* text) {
    if (text) Put(text, std::strlen(text));
    return *this;
}

MsgBuilder& MsgBuilder::Bytes(const void* data, size_t n) {
    Put(data, n);
    return *this;
}

const char* ReplyText(const T_MSG_HEAD* reply, size_t offset) {
    if (!reply || reply->length < 0) return nullptr;
    size_t len = static_cast<size_t>(reply->length);
    if (len <= offset) return nullptr;
    const char* p = reinterpret_cast<const char*>(reply) + offset;
    if (!std::memchr(p, 0, len - offset)) return nullptr;
    return p;
}

}  // namespace kvs
