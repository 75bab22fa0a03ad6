// A scripted stand-in for the controller, for end-to-end tests of the transports: it receives
// the library's frames over loopback UDP (port 30001) or the master side of a pseudo terminal,
// checks and records them byte for byte, and answers each request with what the test's
// handler returns.
//
// Threading: the peer's own thread receives and answers; the recorded frames and messages are
// read by the test thread under the peer's lock (use the accessors).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame.h"

namespace kvs_test {

using Bytes = std::vector<uint8_t>;

// Builds a reply message: head with cmd | 0x80, count, status, then the payload.
Bytes Reply(uint8_t cmd, uint8_t status, const Bytes& payload = {}, uint8_t count = 0);
// Appends a text with its NUL.
void PutText(Bytes& b, const std::string& text);
// A reply whose text sits at offset 20 (commands 4, 5, 6, 10).
Bytes TextReply(uint8_t cmd, uint8_t status, const std::string& text);

class ScriptedPeer {
  public:
    // Returns the reply message to send (empty: stay silent).
    using Handler = std::function<Bytes(const Bytes& request)>;

    enum class Kind { kUdp, kSerial };
    // kUdp: binds 127.0.0.1:30001. kSerial: opens a pseudo terminal; SlavePath() names it.
    explicit ScriptedPeer(Kind kind, Handler handler = nullptr);
    ~ScriptedPeer();

    bool ok() const { return fd_ >= 0; }
    const std::string& SlavePath() const { return slave_path_; }
    void SetHandler(Handler h);

    // Sends raw bytes to the library (one datagram, or one write on the terminal).
    void SendRaw(const Bytes& bytes);
    // Sends a message in a frame with the device's checksum (no key byte).
    void SendMessage(const Bytes& msg);

    // Everything received: whole datagrams (UDP) and reassembled messages.
    std::vector<Bytes> Datagrams();
    std::vector<Bytes> Messages();
    // The key byte the peer expects in the checksums of received frames.
    void ExpectKey(uint8_t key) { key_.store(key); }
    int BadFrames() const { return bad_frames_.load(); }
    // Waits until at least n messages arrived; false after timeout_ms.
    bool WaitMessages(size_t n, unsigned timeout_ms = 5000);
    // The UDP source port of the last datagram.
    int LastSourcePort() const { return last_port_.load(); }

  private:
    void OnFrameMessage(const uint8_t* msg, size_t n);
    void Extract();
    void Loop();

    Kind kind_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::string slave_path_;
    std::atomic<uint8_t> key_{0};
    std::atomic<int> bad_frames_{0};
    std::atomic<int> last_port_{0};
    std::mutex mu_;
    std::condition_variable cv_;
    Handler handler_;
    std::vector<Bytes> datagrams_;
    std::vector<Bytes> messages_;
    Bytes stream_;  // serial bytes not yet framed
    std::thread thread_;
};

}  // namespace kvs_test
