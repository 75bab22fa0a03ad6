// The device's transports on POSIX: UDP and a pseudo terminal. Each owns one receive thread
// that reassembles frames (checksums salted with the device key's byte) and hands every whole
// message to its sink; Send() frames a message with the plain byte sum. Send() may be called
// from any thread; Start()/Stop() from the owner only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace devsim {

struct LinkCallbacks {
    std::function<void(const uint8_t* msg, size_t n)> message;
    std::function<uint8_t()> key_byte;  // the salt expected in received checksums
    std::function<void(const std::string&)> log;
};

class UdpLink {
  public:
    explicit UdpLink(LinkCallbacks cb) : cb_(std::move(cb)) {}
    ~UdpLink() { Stop(); }
    bool Start(const std::string& address, uint16_t port, std::string* error);
    void Stop();
    uint16_t Port() const { return port_; }
    // Sends to the peer that sent the last valid frame (nothing before the first one).
    void Send(const uint8_t* msg, size_t n, bool corrupt);

  private:
    void Run();
    LinkCallbacks cb_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex send_mu_;  // guards peer_ and keeps the pieces of one frame together
    unsigned char peer_[128] = {};
    unsigned peer_len_ = 0;
};

// Paces one direction of a serial line of a given baud rate, ten bits per byte (start bit,
// eight data bits, stop bit). A burst of bytes starts with Begin(); each Pass(n) of it returns
// once n more bytes would have crossed the line. Baud 0: no pacing.
class LinePacer {
  public:
    explicit LinePacer(int baud);
    bool On() const { return byte_time_.count() > 0; }
    // Bytes per step: about two milliseconds of the line, so the pace stays even.
    size_t Chunk() const { return chunk_; }
    // The burst's first byte goes now, or once the bytes before it have crossed.
    void Begin();
    void Pass(size_t n);

  private:
    std::chrono::nanoseconds byte_time_{0};
    size_t chunk_ = 0;
    // When the bytes passed so far have crossed. Counting on from it within a burst keeps
    // the oversleeping of single steps from adding up.
    std::chrono::steady_clock::time_point free_{};
};

class PtyLink {
  public:
    // baud > 0 paces what the link sends and what it reads at that rate.
    PtyLink(LinkCallbacks cb, int baud) : cb_(std::move(cb)), send_pace_(baud), read_pace_(baud) {}
    ~PtyLink() { Stop(); }
    // Returns the slave path; link_path (optional) becomes a symbolic link to it.
    std::string Start(const std::string& link_path, std::string* error);
    void Stop();
    void Send(const uint8_t* msg, size_t n, bool corrupt);

  private:
    void Run();
    LinkCallbacks cb_;
    int master_ = -1;
    int slave_ = -1;  // kept open so that the master never sees a hang-up between clients
    int wake_[2] = {-1, -1};
    std::string link_path_;
    std::thread thread_;
    std::mutex send_mu_;
    LinePacer send_pace_;  // guarded by send_mu_
    LinePacer read_pace_;  // used by the receive thread only
    // Set when nobody has read what was written for a while; cleared by the next request.
    std::atomic<bool> stalled_{false};
};

}  // namespace devsim
