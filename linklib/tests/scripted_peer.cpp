#include "scripted_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace kvs_test {

Bytes Reply(uint8_t cmd, uint8_t status, const Bytes& payload, uint8_t count) {
    Bytes m(12, 0);
    m[6] = static_cast<uint8_t>(cmd | 0x80);
    m[7] = count;
    m[8] = status;
    m.insert(m.end(), payload.begin(), payload.end());
    int32_t len = static_cast<int32_t>(m.size());
    std::memcpy(m.data(), &len, 4);
    return m;
}

void PutText(Bytes& b, const std::string& text) {
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
}

Bytes TextReply(uint8_t cmd, uint8_t status, const std::string& text) {
    Bytes payload(8, 0);
    PutText(payload, text);
    return Reply(cmd, status, payload);
}

ScriptedPeer::ScriptedPeer(Kind kind, Handler handler) : kind_(kind), handler_(std::move(handler)) {
    if (::pipe(wake_) != 0) return;
    if (kind == Kind::kUdp) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(30001);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    } else {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0 && (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0)) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) {
            slave_path_ = ::ptsname(fd_);
            termios t{};
            ::tcgetattr(fd_, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    if (fd_ >= 0) thread_ = std::thread([this] { Loop(); });
}

ScriptedPeer::~ScriptedPeer() {
    if (thread_.joinable()) {
        char c = 0;
        (void)!::write(wake_[1], &c, 1);
        thread_.join();
    }
    if (fd_ >= 0) ::close(fd_);
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

void ScriptedPeer::SetHandler(Handler h) {
    std::lock_guard<std::mutex> lock(mu_);
    handler_ = std::move(h);
}

void ScriptedPeer::SendRaw(const Bytes& bytes) {
    if (kind_ == Kind::kUdp) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(30000);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        (void)!::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to);
    } else {
        size_t off = 0;
        while (off < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + off, bytes.size() - off);
            if (n <= 0) break;
            off += static_cast<size_t>(n);
        }
    }
}

void ScriptedPeer::SendMessage(const Bytes& msg) {
    Bytes frame(msg.size() + kvs::kFrameHeadSize);
    kvs::EncodeFrame(msg.data(), msg.size(), 0, frame.data());
    SendRaw(frame);
}

std::vector<Bytes> ScriptedPeer::Datagrams() {
    std::lock_guard<std::mutex> lock(mu_);
    return datagrams_;
}

std::vector<Bytes> ScriptedPeer::Messages() {
    std::lock_guard<std::mutex> lock(mu_);
    return messages_;
}

bool ScriptedPeer::WaitMessages(size_t n, unsigned timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [&] { return messages_.size() >= n; });
}

void ScriptedPeer::OnFrameMessage(const uint8_t* msg, size_t n) {
    Bytes request(msg, msg + n);
    Handler h;
    {
        std::lock_guard<std::mutex> lock(mu_);
        messages_.push_back(request);
        h = handler_;
    }
    cv_.notify_all();
    if (!h) return;
    Bytes reply = h(request);
    if (!reply.empty()) SendMessage(reply);
}

// The peer frames with a buffer of its own size, so that even the largest frame (65535
// message bytes) is checked; frames from the library carry the key byte in their checksum.
void ScriptedPeer::Extract() {
    for (;;) {
        if (stream_.size() < 2) return;
        if (stream_[0] != 0xAA || stream_[1] != 0x55) {
            ++bad_frames_;
            stream_.clear();
            return;
        }
        if (stream_.size() < 6) return;
        const size_t n = stream_[2] | (stream_[3] << 8);
        if (stream_.size() < n + 6) return;
        if (static_cast<uint8_t>(kvs::ByteSum(stream_.data() + 6, n) + key_.load()) != stream_[4]) {
            ++bad_frames_;
            stream_.clear();
            return;
        }
        Bytes msg(stream_.begin() + 6, stream_.begin() + 6 + static_cast<long>(n));
        stream_.erase(stream_.begin(), stream_.begin() + 6 + static_cast<long>(n));
        OnFrameMessage(msg.data(), msg.size());
    }
}

void ScriptedPeer::Loop() {
    std::vector<uint8_t> buf(65536);
    for (;;) {
        pollfd p[2] = {{wake_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) continue;
        if (p[0].revents) return;
        if (!(p[1].revents & POLLIN)) {
            // A pseudo terminal whose other side is closed reports a hang-up; wait for a reopen.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        ssize_t got;
        if (kind_ == Kind::kUdp) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            got = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from),
                             &len);
            if (got > 0) last_port_.store(ntohs(from.sin_port));
        } else {
            got = ::read(fd_, buf.data(), buf.size());
        }
        if (got <= 0) continue;
        Bytes data(buf.begin(), buf.begin() + got);
        {
            std::lock_guard<std::mutex> lock(mu_);
            datagrams_.push_back(data);
        }
        stream_.insert(stream_.end(), data.begin(), data.end());
        Extract();
    }
}

}  // namespace kvs_test
