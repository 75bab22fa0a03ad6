// The simulated driver: each simulated controller is a Unix-domain SOCK_SEQPACKET socket
// served by usb_sim_port.cpp (kvs-devsim or a test). Opening a device connects to it;
// transfers travel as the packets of usb_sim_wire.h.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <thread>

#include "usb_driver.h"
#include "usb_sim_wire.h"

namespace kvs::usb {

namespace {

using usbsim::Descriptors;

constexpr int kHelloWaitMs = 1000;
constexpr int kSocketBuffer = 1 << 20;
// IN data that arrives while no IN transfer is queued waits here, as it would in the device's
// buffers; beyond this many transfers' worth the oldest is dropped.
constexpr size_t kMaxQueuedIn = 1024;

// Connects to the controller at path and reads its hello; -1 when it is not attached.
int Connect(const std::string& path, Descriptors* d) {
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path) return -1;
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketBuffer, sizeof kSocketBuffer);
    std::vector<uint8_t> buf(4096);
    pollfd p{fd, POLLIN, 0};
    ssize_t n = -1;
    if (::poll(&p, 1, kHelloWaitMs) == 1) n = ::recv(fd, buf.data(), buf.size(), 0);
    if (n <= 0 || !usbsim::ParseHello(buf.data(), static_cast<size_t>(n), d)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One connection to a simulated controller. A reader thread completes transfers as packets
// arrive. Lock order: mu_, then a transfer's own lock (UsbXfer::Complete).
class SimDeviceIo final : public UsbDeviceIo {
  public:
    SimDeviceIo(int fd, Descriptors d) : fd_(fd), desc_(std::move(d)) {
        if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
        reader_ = std::thread([this] { Read(); });
    }

    ~SimDeviceIo() override {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stop_ = true;
            FailAll(XferStatus::kCancelled);
        }
        const char c = 1;
        [[maybe_unused]] ssize_t r = ::write(wake_[1], &c, 1);
        reader_.join();
        ::close(fd_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }

    int Control(uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                uint8_t* data, uint16_t length, unsigned) override {
        std::lock_guard<std::mutex> lock(mu_);
        if (gone_) return -1;
        // Standard GET_DESCRIPTOR to the device; the simulated controller has no strings.
        if (request_type != 0x80 || request != 6) return -1;
        const uint8_t type = static_cast<uint8_t>(value >> 8);
        const uint8_t* src = nullptr;
        size_t n = 0;
        if (type == 1 && (value & 0xFF) == 0) {
            src = desc_.device;
            n = sizeof desc_.device;
        } else if (type == 2 && (value & 0xFF) == 0 && index == 0) {
            src = desc_.config.data();
            n = desc_.config.size();
        } else {
            return -1;  // a stall
        }
        n = std::min<size_t>(n, length);
        if (n) std::memcpy(data, src, n);
        return static_cast<int>(n);
    }

    bool ClaimInterface(uint8_t number, uint8_t) override {
        std::lock_guard<std::mutex> lock(mu_);
        return !gone_ && number == 0;
    }

    bool Submit(UsbXfer* x) override {
        std::lock_guard<std::mutex> lock(mu_);
        if (gone_ || stop_ || (!x->buffer && x->length)) return false;
        if (x->endpoint & 0x80) {
            x->Arm();
            pending_in_.push_back(x);
            ServeIn();
            return true;
        }
        uint8_t head[2] = {usbsim::kOut, x->endpoint};
        iovec iov[2] = {{head, 2}, {x->buffer, x->length}};
        msghdr m{};
        m.msg_iov = iov;
        m.msg_iovlen = 2;
        if (x->length + 2 > usbsim::kMaxPacket ||
            ::sendmsg(fd_, &m, MSG_NOSIGNAL) != static_cast<ssize_t>(x->length + 2))
            return false;
        x->Arm();
        pending_out_.push_back(x);
        return true;
    }

    void Cancel(UsbXfer* x) override {
        std::lock_guard<std::mutex> lock(mu_);
        for (auto* list : {&pending_in_, &pending_out_}) {
            auto it = std::find(list->begin(), list->end(), x);
            if (it != list->end()) {
                list->erase(it);
                x->Complete(XferStatus::kCancelled, 0);
            }
        }
    }

    bool AbortPipe(uint8_t ep) override {
        std::lock_guard<std::mutex> lock(mu_);
        for (auto* list : {&pending_in_, &pending_out_}) {
            for (auto it = list->begin(); it != list->end();) {
                if ((*it)->endpoint != ep) {
                    ++it;
                    continue;
                }
                (*it)->Complete(XferStatus::kCancelled, 0);
                it = list->erase(it);
            }
        }
        return !gone_;
    }

    bool ResetPipe(uint8_t ep) override {
        std::lock_guard<std::mutex> lock(mu_);
        if (gone_) return false;
        uint8_t p[2] = {usbsim::kReset, ep};
        return ::send(fd_, p, 2, MSG_NOSIGNAL) == 2;
    }

  private:
    // Completes queued IN transfers from queued data and pending failures (mu_ held).
    void ServeIn() {
        while (!pending_in_.empty() && (in_errors_ > 0 || !queued_in_.empty())) {
            UsbXfer* x = pending_in_.front();
            pending_in_.pop_front();
            if (in_errors_ > 0) {
                --in_errors_;
                x->Complete(XferStatus::kError, 0);
                continue;
            }
            std::vector<uint8_t> data = std::move(queued_in_.front());
            queued_in_.pop_front();
            if (data.size() > x->length) {
                // More than the transfer can hold: a babble/overflow error on real hardware.
                x->Complete(XferStatus::kError, 0);
                continue;
            }
            if (!data.empty()) std::memcpy(x->buffer, data.data(), data.size());
            x->Complete(XferStatus::kDone, data.size());
        }
    }

    // Completes every pending transfer with status (mu_ held).
    void FailAll(XferStatus status) {
        for (UsbXfer* x : pending_in_) x->Complete(status, 0);
        for (UsbXfer* x : pending_out_) x->Complete(status, 0);
        pending_in_.clear();
        pending_out_.clear();
    }

    void Read() {
        std::vector<uint8_t> buf(usbsim::kMaxPacket);
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mu_);
                if (stop_) return;
            }
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
            if (fds[1].revents) continue;  // woken to stop
            if (!fds[0].revents) continue;
            ssize_t n = ::recv(fd_, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            std::lock_guard<std::mutex> lock(mu_);
            if (n <= 0) break;  // unplugged
            if (n < 2) continue;
            switch (buf[0]) {
                case usbsim::kIn:
                    queued_in_.emplace_back(buf.begin() + 2, buf.begin() + n);
                    if (queued_in_.size() > kMaxQueuedIn) queued_in_.pop_front();
                    ServeIn();
                    break;
                case usbsim::kInError:
                    ++in_errors_;
                    ServeIn();
                    break;
                case usbsim::kOutTaken:
                    if (!pending_out_.empty()) {
                        UsbXfer* x = pending_out_.front();
                        pending_out_.pop_front();
                        x->Complete(XferStatus::kDone, x->length);
                    }
                    break;
                default:
                    break;
            }
        }
        // The device went away: every transfer ends, and nothing new starts.
        std::lock_guard<std::mutex> lock(mu_);
        gone_ = true;
        FailAll(XferStatus::kNoDevice);
    }

    const int fd_;
    const Descriptors desc_;
    int wake_[2] = {-1, -1};
    std::thread reader_;

    std::mutex mu_;
    bool stop_ = false;
    bool gone_ = false;
    std::deque<UsbXfer*> pending_in_;
    std::deque<UsbXfer*> pending_out_;
    std::deque<std::vector<uint8_t>> queued_in_;
    int in_errors_ = 0;
};

class SimDriver final : public UsbDriver {
  public:
    explicit SimDriver(std::vector<std::string> paths) : paths_(std::move(paths)) {}

    std::vector<UsbDeviceId> Enumerate() override {
        std::vector<UsbDeviceId> ids;
        for (const std::string& path : paths_) {
            Descriptors d;
            int fd = Connect(path, &d);
            if (fd < 0) continue;
            ::close(fd);
            ids.push_back({static_cast<uint16_t>(d.device[8] | d.device[9] << 8),
                           static_cast<uint16_t>(d.device[10] | d.device[11] << 8)});
        }
        return ids;
    }

    std::unique_ptr<UsbDeviceIo> Open(size_t position) override {
        // Positions count the controllers that are attached now, as Enumerate() does.
        size_t seen = 0;
        for (const std::string& path : paths_) {
            Descriptors d;
            int fd = Connect(path, &d);
            if (fd < 0) continue;
            if (seen++ == position) return std::make_unique<SimDeviceIo>(fd, std::move(d));
            ::close(fd);
        }
        return nullptr;
    }

  private:
    const std::vector<std::string> paths_;
};

}  // namespace

std::shared_ptr<UsbDriver> MakeSimDriver(std::vector<std::string> paths) {
    return std::make_shared<SimDriver>(std::move(paths));
}

}  // namespace kvs::usb
