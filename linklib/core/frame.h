// Frame codecs: the serial/UDP frame with its key-salted checksum, the USB frame with its word
// sum, and the reassembly of frames from received bytes.
//
// Shared by the library (PC side) and the simulated controller (device side); the two differ
// only in which checksum they expect on reception, so the expected salt is a parameter.
// Portable: no platform headers, no allocation after construction, no logging (problems go to
// the listener, which formats its own reports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kvs {

constexpr size_t kFrameHeadSize = 6;
constexpr uint16_t kFrameLead = 0x55AA;     // on the wire: AA 55
constexpr uint32_t kUsbMagic = 0xAAAA5555;  // on the wire: 55 55 AA AA
constexpr size_t kUsbHeadSize = 12;
// A receive buffer holds the largest frame the 16-bit length field allows, head included, so
// that every message a sender may send (up to 65535 bytes) is received.
constexpr size_t kMaxFrameMessage = 0xFFFF;
constexpr size_t kRxBufferSize = kFrameHeadSize + kMaxFrameMessage;
constexpr size_t kUdpPiece = 1200;

// The process-wide key byte of the library (starts at 0).
uint8_t KeyByte();
void SetKeyByte(uint8_t key);
// Sum modulo 256 of (c - '0') over text; nullptr or "" gives 0.
uint8_t ComputeKeyByte(const char* text);

uint8_t ByteSum(const uint8_t* data, size_t n);

// Writes the n + 6 byte frame of msg into out (which holds n + 6 bytes). The checksum is the
// byte sum of msg plus salt (the key byte when the PC sends, 0 when the device sends).
// Returns n + 6, or 0 when n does not fit the 16-bit length.
size_t EncodeFrame(const uint8_t* msg, size_t n, uint8_t salt, uint8_t* out);

// Size of the USB frame for an n-byte message: 12 + 4 * ceil(n / 4).
inline size_t UsbFrameSize(size_t n) { return kUsbHeadSize + ((n + 3) / 4) * 4; }
// Writes the USB frame of msg into out (UsbFrameSize(n) bytes); pad bytes are zero.
size_t EncodeUsbFrame(const uint8_t* msg, size_t n, uint8_t* out);
// Checks one completed bulk read of got bytes. On success points *msg at the 4*W message
// bytes (pad included) and sets *n; false for a bad magic, a bad sum, or a word count that the
// bytes received cannot hold.
bool CheckUsbFrame(const uint8_t* buf, size_t got, const uint8_t** msg, size_t* n);

enum class FrameError {
    kBadLead,      // a = the 16-bit value found instead of the lead
    kBadChecksum,  // a = computed, b = received
    kTooLong,      // a = N announced; N + 6 can never fit the receive buffer (kept for
                   // buffers smaller than the largest frame; the reassemblers never report it)
    kOverflow,     // UDP: buffered bytes + datagram exceed the buffer; a = bytes dropped
};

class FrameListener {
  public:
    virtual ~FrameListener() = default;
    // A whole, valid message of n bytes (n is the frame's length field).
    virtual void OnFrameMessage(const uint8_t* msg, size_t n) = 0;
    virtual void OnFrameError(FrameError error, unsigned a, unsigned b) = 0;
};

// Serial reassembly: reads land at WritePtr(); Commit() hands every whole frame on, keeps an
// incomplete tail at the buffer start and discards everything after a bad frame.
// Single-threaded: owned by one receive thread.
class SerialReassembler {
  public:
    SerialReassembler(FrameListener* listener, uint8_t expected_salt);
    uint8_t* WritePtr() { return buf_.get() + fill_; }
    size_t Space() const { return kRxBufferSize - fill_; }
    void Commit(size_t n);
    // Convenience for byte sources that do not read in place (tests, fuzzers).
    void Feed(const uint8_t* data, size_t n);
    size_t Buffered() const { return fill_; }
    void Reset() { fill_ = 0; }

  private:
    FrameListener* listener_;
    uint8_t salt_;
    std::unique_ptr<uint8_t[]> buf_;
    size_t fill_ = 0;
};

// UDP reassembly: datagrams are appended; after a frame at the buffer start has been handed on
// or rejected the whole buffer is emptied (trailing bytes of that datagram are dropped).
class UdpReassembler {
  public:
    UdpReassembler(FrameListener* listener, uint8_t expected_salt);
    void Feed(const uint8_t* data, size_t n);
    size_t Buffered() const { return fill_; }

  private:
    FrameListener* listener_;
    uint8_t salt_;
    std::unique_ptr<uint8_t[]> buf_;
    size_t fill_ = 0;
};

}  // namespace kvs
