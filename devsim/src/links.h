// The device's transports on POSIX: UDP and a pseudo terminal. Each owns one receive thread
// that reassembles frames (checksums salted with the device key's byte) and hands every whole
// message to its sink; Send() frames a message with the plain byte sum. Send() may be called
// from any thread; Start()/Stop() from the owner only.
#pragma once

#include <atomic>
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

class PtyLink {
  public:
    explicit PtyLink(LinkCallbacks cb) : cb_(std::move(cb)) {}
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
    // Set when nobody has read what was written for a while; cleared by the next request.
    std::atomic<bool> stalled_{false};
};

}  // namespace devsim
