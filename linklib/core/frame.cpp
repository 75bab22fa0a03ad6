#include "frame.h"

#include <atomic>
#include <cstring>

namespace kvs {

namespace {
std::atomic<uint8_t> g_key_byte{0};

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

enum class Check { kIncomplete, kBadLead, kTooLong, kBadSum, kOk };

// Looks at the frame at p (avail bytes). On kOk/kBadSum sets *n to the message length.
Check CheckFrame(const uint8_t* p, size_t avail, uint8_t salt, size_t* n, FrameListener* l) {
    if (avail < 2) return Check::kIncomplete;
    uint16_t lead = Load16(p);
    if (lead != kFrameLead) {
        l->OnFrameError(FrameError::kBadLead, lead, 0);
        return Check::kBadLead;
    }
    if (avail < kFrameHeadSize) return Check::kIncomplete;
    size_t len = Load16(p + 2);
    if (len + kFrameHeadSize > kRxBufferSize) {
        // A frame that could never fit the receive buffer would stall reception for good, so
        // its head is discarded at once (the buffers hold the largest frame, so this is a
        // guard for the length arithmetic rather than a path that data takes).
        l->OnFrameError(FrameError::kTooLong, static_cast<unsigned>(len), 0);
        return Check::kTooLong;
    }
    if (avail < len + kFrameHeadSize) return Check::kIncomplete;
    uint8_t sum = static_cast<uint8_t>(ByteSum(p + kFrameHeadSize, len) + salt);
    *n = len;
    if (sum != p[4]) {
        l->OnFrameError(FrameError::kBadChecksum, sum, p[4]);
        return Check::kBadSum;
    }
    return Check::kOk;
}
}  // namespace

uint8_t KeyByte() { return g_key_byte.load(std::memory_order_relaxed); }
void SetKeyByte(uint8_t key) { g_key_byte.store(key, std::memory_order_relaxed); }

uint8_t ComputeKeyByte(const char* text) {
    unsigned sum = 0;
    if (text)
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
            sum += static_cast<unsigned>(*p - 0x30);
    return static_cast<uint8_t>(sum);
}

uint8_t ByteSum(const uint8_t* data, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += data[i];
    return static_cast<uint8_t>(sum);
}

size_t EncodeFrame(const uint8_t* msg, size_t n, uint8_t salt, uint8_t* out) {
    if (n > 0xFFFF) return 0;
    out[0] = 0xAA;
    out[1] = 0x55;
    out[2] = static_cast<uint8_t>(n);
    out[3] = static_cast<uint8_t>(n >> 8);
    out[5] = 0;
    unsigned sum = salt;
    for (size_t i = 0; i < n; ++i) {
        out[kFrameHeadSize + i] = msg[i];
        sum += msg[i];
    }
    out[4] = static_cast<uint8_t>(sum);
    return n + kFrameHeadSize;
}

size_t EncodeUsbFrame(const uint8_t* msg, size_t n, uint8_t* out) {
    size_t words = (n + 3) / 4;
    uint8_t* body = out + kUsbHeadSize;
    std::memcpy(body, msg, n);
    std::memset(body + n, 0, words * 4 - n);
    uint32_t sum = 0;
    for (size_t i = 0; i < words; ++i) sum += Load32(body + 4 * i);
    Store32(out, kUsbMagic);
    Store32(out + 4, static_cast<uint32_t>(words));
    Store32(out + 8, sum);
    return kUsbHeadSize + words * 4;
}

bool CheckUsbFrame(const uint8_t* buf, size_t got, const uint8_t** msg, size_t* n) {
    if (got < kUsbHeadSize || Load32(buf) != kUsbMagic) return false;
    uint64_t words = Load32(buf + 4);
    if (words > (got - kUsbHeadSize) / 4) return false;
    uint32_t sum = 0;
    const uint8_t* body = buf + kUsbHeadSize;
    for (uint64_t i = 0; i < words; ++i) sum += Load32(body + 4 * i);
    if (sum != Load32(buf + 8)) return false;
    *msg = body;
    *n = static_cast<size_t>(words * 4);
    return true;
}

SerialReassembler::SerialReassembler(FrameListener* listener, uint8_t expected_salt)
    : listener_(listener), salt_(expected_salt), buf_(new uint8_t[kRxBufferSize]) {}

void SerialReassembler::Commit(size_t n) {
    if (n > Space()) n = Space();
    fill_ += n;
    size_t pos = 0;
    while (pos < fill_) {
        size_t len = 0;
        switch (CheckFrame(buf_.get() + pos, fill_ - pos, salt_, &len, listener_)) {
            case Check::kIncomplete:
                if (pos) std::memmove(buf_.get(), buf_.get() + pos, fill_ - pos);
                fill_ -= pos;
                return;
            case Check::kBadLead:
            case Check::kTooLong:
            case Check::kBadSum:
                fill_ = 0;
                return;
            case Check::kOk:
                listener_->OnFrameMessage(buf_.get() + pos + kFrameHeadSize, len);
                pos += len + kFrameHeadSize;
                break;
        }
    }
    fill_ = 0;
}

void SerialReassembler::Feed(const uint8_t* data, size_t n) {
    while (n) {
        size_t chunk = n < Space() ? n : Space();
        std::memcpy(WritePtr(), data, chunk);
        Commit(chunk);
        data += chunk;
        n -= chunk;
    }
}

UdpReassembler::UdpReassembler(FrameListener* listener, uint8_t expected_salt)
    : listener_(listener), salt_(expected_salt), buf_(new uint8_t[kRxBufferSize]) {}

void UdpReassembler::Feed(const uint8_t* data, size_t n) {
    if (n > kRxBufferSize - fill_) {
        listener_->OnFrameError(FrameError::kOverflow, static_cast<unsigned>(fill_ + n), 0);
        fill_ = 0;
        if (n > kRxBufferSize) return;
    }
    if (n) std::memcpy(buf_.get() + fill_, data, n);  // an empty datagram may come with no data
    fill_ += n;
    size_t len = 0;
    switch (CheckFrame(buf_.get(), fill_, salt_, &len, listener_)) {
        case Check::kIncomplete:
            return;
        case Check::kOk:
            listener_->OnFrameMessage(buf_.get() + kFrameHeadSize, len);
            break;
        default:
            break;
    }
    fill_ = 0;
}

}  // namespace kvs
