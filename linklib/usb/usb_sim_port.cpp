// Unix-domain socket service of a simulated USB controller (POSIX).
#include "usb_sim_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvs::usbsim {

namespace {
constexpr int kSocketBuffer = 1 << 20;

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}
}  // namespace

SimUsbPort::SimUsbPort(std::string path, Descriptors descriptors, Handlers handlers)
    : path_(std::move(path)), hello_(EncodeHello(descriptors)), handlers_(std::move(handlers)) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Serve(); });
}

SimUsbPort::~SimUsbPort() {
    Unplug();
    stop_.store(true);
    Wake();
    thread_.join();
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
}

void SimUsbPort::Wake() {
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t r = ::write(wake_[1], &c, 1);
    }
}

bool SimUsbPort::Plug(std::string* error) {
    sockaddr_un addr{};
    if (path_.size() >= sizeof addr.sun_path) {
        if (error) *error = "socket path too long: " + path_;
        return false;
    }
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // A socket file left behind by an earlier run would make bind fail; anything else at the
    // path is left alone.
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path_.c_str());
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        if (error) *error = path_ + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        CloseFd(listen_fd_);
        listen_fd_ = fd;
    }
    listening_.store(true);
    Wake();
    return true;
}

void SimUsbPort::Unplug() {
    std::vector<int> gone;
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (listen_fd_ >= 0) {
            CloseFd(listen_fd_);
            ::unlink(path_.c_str());
        }
        for (auto& [id, fd] : sessions_) {
            ::close(fd);
            gone.push_back(id);
        }
        sessions_.clear();
    }
    listening_.store(false);
    Wake();
    if (handlers_.closed)
        for (int id : gone) handlers_.closed(id);
}

bool SimUsbPort::SendPacket(int fd, uint8_t type, uint8_t ep, const uint8_t* data, size_t n) {
    uint8_t head[2] = {type, ep};
    iovec iov[2] = {{head, 2}, {const_cast<uint8_t*>(data), n}};
    msghdr m{};
    m.msg_iov = iov;
    m.msg_iovlen = n ? 2 : 1;
    return ::sendmsg(fd, &m, MSG_NOSIGNAL) == static_cast<ssize_t>(2 + n);
}

bool SimUsbPort::In(int session, const uint8_t* data, size_t n, uint8_t ep) {
    if (n + 2 > kMaxPacket) return false;
    std::lock_guard<std::mutex> lock(mu_);
    auto it = sessions_.find(session);
    return it != sessions_.end() && SendPacket(it->second, kIn, ep, data, n);
}

void SimUsbPort::FailIn(int count, uint8_t ep) {
    std::lock_guard<std::mutex> lock(mu_);
    for (int i = 0; i < count; ++i)
        for (auto& [id, fd] : sessions_) SendPacket(fd, kInError, ep, nullptr, 0);
}

std::vector<int> SimUsbPort::Sessions() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<int> ids;
    for (auto& [id, fd] : sessions_) ids.push_back(id);
    return ids;
}

void SimUsbPort::Serve() {
    std::vector<uint8_t> buf(kMaxPacket);
    std::vector<pollfd> fds;
    std::vector<int> ids;  // session id of each pollfd (0: wake pipe, -1: listening socket)
    while (!stop_.load()) {
        fds.clear();
        ids.clear();
        fds.push_back({wake_[0], POLLIN, 0});
        ids.push_back(0);
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (listen_fd_ >= 0) {
                fds.push_back({listen_fd_, POLLIN, 0});
                ids.push_back(-1);
            }
            for (auto& [id, fd] : sessions_) {
                fds.push_back({fd, POLLIN, 0});
                ids.push_back(id);
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            if (ids[i] == 0) {
                char drain[64];
                while (::read(wake_[0], drain, sizeof drain) > 0) {
                }
                continue;
            }
            if (ids[i] == -1) {
                std::lock_guard<std::mutex> lock(mu_);
                if (listen_fd_ != fds[i].fd) continue;  // unplugged meanwhile
                int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) continue;
                ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
                ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
                if (::send(fd, hello_.data(), hello_.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(hello_.size())) {
                    ::close(fd);
                    continue;
                }
                sessions_[next_session_++] = fd;
                connections_.fetch_add(1);
                continue;
            }
            const int id = ids[i];
            ssize_t n;
            {
                std::lock_guard<std::mutex> lock(mu_);
                auto it = sessions_.find(id);
                if (it == sessions_.end() || it->second != fds[i].fd) continue;
                n = ::recv(it->second, buf.data(), buf.size(), MSG_DONTWAIT);
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                if (n <= 0) {
                    ::close(it->second);
                    sessions_.erase(it);
                } else if (n >= 2 && buf[0] == kOut && !hold_out_.load()) {
                    SendPacket(it->second, kOutTaken, buf[1], nullptr, 0);
                }
            }
            if (n <= 0) {
                if (handlers_.closed) handlers_.closed(id);
            } else if (n >= 2 && buf[0] == kOut) {
                if (handlers_.out)
                    handlers_.out(id, buf[1], buf.data() + 2, static_cast<size_t>(n) - 2);
            } else if (n >= 2 && buf[0] == kReset) {
                resets_.fetch_add(1);
            }
        }
    }
}

}  // namespace kvs::usbsim
