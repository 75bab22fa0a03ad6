// POSIX platform file of the device's transports.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "frame.h"
#include "links.h"

namespace devsim {

namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void CloseFd(int* fd) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
}

// Forwards reassembled messages and reports bad frames.
class Sink : public kvs::FrameListener {
  public:
    Sink(const LinkCallbacks& cb, const char* name) : cb_(cb), name_(name) {}
    void OnFrameMessage(const uint8_t* msg, size_t n) override { cb_.message(msg, n); }
    void OnFrameError(kvs::FrameError error, unsigned a, unsigned b) override {
        if (!cb_.log) return;
        char buf[128];
        switch (error) {
            case kvs::FrameError::kBadLead:
                std::snprintf(buf, sizeof buf, "%s:接收到错误帧[前导字节错误:%x]", name_, a);
                break;
            case kvs::FrameError::kBadChecksum:
                std::snprintf(buf, sizeof buf, "%s:接收到错误帧[CRC校验码错误,正确:%x, 错误:%x]",
                              name_, a, b);
                break;
            case kvs::FrameError::kTooLong:
                std::snprintf(buf, sizeof buf, "%s:接收到错误帧[长度%u超出缓冲区]", name_, a);
                break;
            case kvs::FrameError::kOverflow:
                std::snprintf(buf, sizeof buf, "%s:接收缓冲区溢出,丢弃%u字节", name_, a);
                break;
        }
        cb_.log(buf);
    }

  private:
    const LinkCallbacks& cb_;
    const char* name_;
};

bool MakeWake(int wake[2]) {
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    return true;
}

void Wake(int wake[2]) {
    if (wake[1] >= 0) {
        char c = 1;
        ssize_t r = ::write(wake[1], &c, 1);
        (void)r;
    }
}

}  // namespace

// --- UDP ---------------------------------------------------------------------------------------

bool UdpLink::Start(const std::string& address, uint16_t port, std::string* error) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        if (error) *error = "bad IPv4 address: " + address;
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        if (error) *error = Errno("socket");
        return false;
    }
    int big = 1 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (error) *error = Errno(("bind " + address + ":" + std::to_string(port)).c_str());
        CloseFd(&fd_);
        return false;
    }
    socklen_t sl = sizeof sa;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &sl);
    port_ = ntohs(sa.sin_port);
    if (!MakeWake(wake_)) {
        if (error) *error = Errno("pipe");
        CloseFd(&fd_);
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    pthread_setname_np(thread_.native_handle(), "devsim-udp");
    return true;
}

void UdpLink::Stop() {
    Wake(wake_);
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(send_mu_);
    CloseFd(&fd_);
    CloseFd(&wake_[0]);
    CloseFd(&wake_[1]);
}

void UdpLink::Run() {
    Sink sink(cb_, "UDP");
    uint8_t salt = cb_.key_byte();
    auto reasm = std::make_unique<kvs::UdpReassembler>(&sink, salt);
    std::vector<uint8_t> buf(65536);
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (!(p[0].revents & POLLIN)) continue;
        sockaddr_storage from{};
        socklen_t fl = sizeof from;
        ssize_t got =
            ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fl);
        if (got < 0) continue;
        {
            std::lock_guard<std::mutex> lock(send_mu_);
            // A new peer starts with an empty reassembly buffer.
            if (fl != peer_len_ || std::memcmp(&from, peer_, fl) != 0) {
                std::memcpy(peer_, &from, std::min<size_t>(fl, sizeof peer_));
                peer_len_ = fl;
                reasm = std::make_unique<kvs::UdpReassembler>(&sink, salt);
            }
        }
        uint8_t now = cb_.key_byte();
        if (now != salt) {
            salt = now;
            reasm = std::make_unique<kvs::UdpReassembler>(&sink, salt);
        }
        reasm->Feed(buf.data(), static_cast<size_t>(got));
    }
}

void UdpLink::Send(const uint8_t* msg, size_t n, bool corrupt) {
    std::vector<uint8_t> frame(n + kvs::kFrameHeadSize);
    if (!kvs::EncodeFrame(msg, n, 0, frame.data())) return;
    if (corrupt) frame[4] = static_cast<uint8_t>(frame[4] + 0x5A);
    std::lock_guard<std::mutex> lock(send_mu_);
    if (!peer_len_ || fd_ < 0) return;
    // Pieces of at most 1200 bytes, as the PC's receiver appends datagrams until a frame is whole.
    for (size_t off = 0; off < frame.size(); off += kvs::kUdpPiece) {
        size_t len = std::min(kvs::kUdpPiece, frame.size() - off);
        ::sendto(fd_, frame.data() + off, len, MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(peer_), peer_len_);
    }
}

// --- pseudo terminal -----------------------------------------------------------------------------

LinePacer::LinePacer(int baud) {
    if (baud <= 0) return;
    byte_time_ = std::chrono::nanoseconds(10'000'000'000LL / baud);
    chunk_ = std::max<size_t>(1, static_cast<size_t>(baud) / 10 / 500);
}

void LinePacer::Begin() {
    if (On()) free_ = std::max(free_, std::chrono::steady_clock::now());
}

void LinePacer::Pass(size_t n) {
    if (!On()) return;
    free_ += byte_time_ * static_cast<long long>(n);
    std::this_thread::sleep_until(free_);
}

std::string PtyLink::Start(const std::string& link_path, std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        if (error) *error = Errno("posix_openpt");
        CloseFd(&master_);
        return {};
    }
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        if (error) *error = Errno("ptsname");
        CloseFd(&master_);
        return {};
    }
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        if (error) *error = Errno("open slave");
        CloseFd(&master_);
        return {};
    }
    // Raw bytes both ways: no echo, no line editing, no CR/LF translation.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!link_path.empty()) {
        struct stat st {};
        // Replace an old symbolic link, never a file that is something else.
        if (::lstat(link_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                if (error) *error = link_path + " exists and is not a symbolic link";
                CloseFd(&slave_);
                CloseFd(&master_);
                return {};
            }
            ::unlink(link_path.c_str());
        }
        if (::symlink(name, link_path.c_str()) != 0) {
            if (error) *error = Errno(("symlink " + link_path).c_str());
            CloseFd(&slave_);
            CloseFd(&master_);
            return {};
        }
        link_path_ = link_path;
    }
    if (!MakeWake(wake_)) {
        if (error) *error = Errno("pipe");
        Stop();
        return {};
    }
    thread_ = std::thread([this] { Run(); });
    pthread_setname_np(thread_.native_handle(), "devsim-pty");
    return name;
}

void PtyLink::Stop() {
    Wake(wake_);
    if (thread_.joinable()) thread_.join();
    if (!link_path_.empty()) ::unlink(link_path_.c_str());
    link_path_.clear();
    std::lock_guard<std::mutex> lock(send_mu_);
    CloseFd(&slave_);
    CloseFd(&master_);
    CloseFd(&wake_[0]);
    CloseFd(&wake_[1]);
}

void PtyLink::Run() {
    Sink sink(cb_, "串口");
    uint8_t salt = cb_.key_byte();
    auto reasm = std::make_unique<kvs::SerialReassembler>(&sink, salt);
    bool in_burst = false;
    for (;;) {
        pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (!(p[0].revents & POLLIN)) continue;
        uint8_t now = cb_.key_byte();
        if (now != salt) {
            salt = now;
            reasm = std::make_unique<kvs::SerialReassembler>(&sink, salt);
        }
        if (reasm->Space() == 0) reasm->Reset();
        size_t room = reasm->Space();
        if (read_pace_.On()) room = std::min(room, read_pace_.Chunk());
        ssize_t got = ::read(master_, reasm->WritePtr(), room);
        if (got > 0) {
            // A short read drained what had come: the next bytes start a burst of their own.
            if (!in_burst) read_pace_.Begin();
            in_burst = static_cast<size_t>(got) == room;
            read_pace_.Pass(static_cast<size_t>(got));
            if (stalled_.exchange(false)) {
                // A reader is back after nobody read for a while: what waits unread is stale.
                std::lock_guard<std::mutex> lock(send_mu_);
                ::tcflush(slave_, TCIFLUSH);
            }
            reasm->Commit(static_cast<size_t>(got));
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            ::usleep(20000);  // no reader side for now: do not spin
    }
}

void PtyLink::Send(const uint8_t* msg, size_t n, bool corrupt) {
    std::vector<uint8_t> frame(n + kvs::kFrameHeadSize);
    if (!kvs::EncodeFrame(msg, n, 0, frame.data())) return;
    if (corrupt) frame[4] = static_cast<uint8_t>(frame[4] + 0x5A);
    std::lock_guard<std::mutex> lock(send_mu_);
    size_t off = 0;
    send_pace_.Begin();
    // The master is non-blocking: wait a little for room, and give up on a reader that has gone
    // away rather than block the device.
    while (master_ >= 0 && off < frame.size()) {
        size_t step = frame.size() - off;
        if (send_pace_.On()) {
            step = std::min(step, send_pace_.Chunk());
            send_pace_.Pass(step);  // the bytes arrive once they have crossed the line
        }
        const size_t end = off + step;
        while (master_ >= 0 && off < end) {
            ssize_t w = ::write(master_, frame.data() + off, end - off);
            if (w > 0) {
                off += static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR) return;
            // With nobody reading, drop at once instead of holding up the work loop every time.
            if (stalled_) return;
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) {
                stalled_ = true;
                return;
            }
        }
    }
}

}  // namespace devsim
