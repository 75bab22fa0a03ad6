// POSIX termios for the serial transport.
//
// A Windows serial port has no line discipline; a terminal here does, so the line is put into
// raw mode (no echo, no line editing, no byte translation) besides the chosen baud rate, data
// bits, stop bits and parity. Flow control stays as the port had it.
//
// Timeouts: the port's reads have no total limit, so the receive thread waits in poll()
// without one and is woken by an eventfd at teardown. Bytes are handed to the reassembly as
// soon as they arrive instead of after 5 ms of silence on the line: the reassembly keeps
// partial frames, so this only makes replies arrive sooner. Writes are bounded by a deadline
// (see CKVSH_Uart::SendMsg).
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "uart_os.h"
#include "uart_termios.h"

namespace kvs {

struct SerialPort {
    int fd = -1;
    int stop = -1;
};

namespace {

speed_t SpeedOf(unsigned baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;  // B0 would hang up the line, so it means "not supported"
    }
}

}  // namespace

SerialPort* SerialOpen(const char* path) {
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // Not shared: refuse a port another program has locked, and keep others out.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) {
        ::close(fd);
        return nullptr;
    }
    return new SerialPort{fd, stop};
}

void ApplySerialSettings(termios* t, const SerialSettings& s) {
    const tcflag_t flow = t->c_cflag & CRTSCTS;
    const tcflag_t size = t->c_cflag & CSIZE;
    ::cfmakeraw(t);  // also forces 8 data bits, put back below unless chosen
    t->c_cflag = (t->c_cflag & ~(CRTSCTS | CSIZE)) | flow | size | CLOCAL | CREAD;
    t->c_cc[VMIN] = 0;
    t->c_cc[VTIME] = 0;
    if (speed_t speed = SpeedOf(s.baud); speed != B0) ::cfsetspeed(t, speed);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (s.data_bits >= 5 && s.data_bits <= 8)
        t->c_cflag = (t->c_cflag & ~CSIZE) | sizes[s.data_bits - 5];
    if (s.stop_bits == 2)
        t->c_cflag |= CSTOPB;
    else
        t->c_cflag &= ~CSTOPB;
    t->c_cflag &= ~(PARENB | PARODD);
    if (s.parity == Parity::kOdd) t->c_cflag |= PARENB | PARODD;
    if (s.parity == Parity::kEven) t->c_cflag |= PARENB;
}

void SerialConfigure(SerialPort* port, const SerialSettings& s) {
    termios t{};
    if (::tcgetattr(port->fd, &t) != 0) return;
    ApplySerialSettings(&t, s);
    ::tcsetattr(port->fd, TCSANOW, &t);
}

SerialWaitResult SerialWaitReadable(SerialPort* port) {
    for (;;) {
        pollfd p[2] = {{port->stop, POLLIN, 0}, {port->fd, POLLIN, 0}};
        int r = ::poll(p, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return SerialWaitResult::kHangup;
        }
        if (p[0].revents) return SerialWaitResult::kStopped;
        if (p[1].revents & POLLIN) return SerialWaitResult::kData;
        return SerialWaitResult::kHangup;
    }
}

long SerialRead(SerialPort* port, uint8_t* buf, size_t cap) {
    for (;;) {
        ssize_t n = ::read(port->fd, buf, cap);
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        return -1;  // EOF, EIO of a terminal whose other end closed, or another failure
    }
}

bool SerialWrite(SerialPort* port, const uint8_t* data, size_t n, unsigned ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(port->fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{port->fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
    }
    return true;
}

void SerialStop(SerialPort* port) {
    uint64_t one = 1;
    (void)!::write(port->stop, &one, sizeof one);
}

bool SerialPauseUnlessStopped(SerialPort* port, unsigned ms) {
    pollfd p{port->stop, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(ms)) > 0;
}

void SerialClose(SerialPort* port) {
    if (!port) return;
    ::close(port->fd);
    ::close(port->stop);
    delete port;
}

}  // namespace kvs
