// POSIX sockets for the UDP transport: a non-blocking datagram socket plus an eventfd that
// teardown writes to wake the receive thread at once.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "udp_os.h"

namespace kvs {

struct UdpSocket {
    int fd = -1;
    int wake = -1;
};

namespace {
constexpr int kSendRoomWaitMs = 1000;

void CloseFds(UdpSocket* s) {
    if (s->fd >= 0) ::close(s->fd);
    if (s->wake >= 0) ::close(s->wake);
    delete s;
}
}  // namespace

UdpSocket* UdpOpen(const char* remote, uint16_t local_port, uint16_t remote_port,
                   UdpOpenError* error) {
    auto* s = new UdpSocket;
    s->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    s->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s->fd < 0 || s->wake < 0) {
        *error = UdpOpenError::kSocket;
        CloseFds(s);
        return nullptr;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(local_port);
    if (::bind(s->fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        *error = UdpOpenError::kBind;
        CloseFds(s);
        return nullptr;
    }
    int flags = ::fcntl(s->fd, F_GETFL, 0);
    ::fcntl(s->fd, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(remote_port);
    if (::inet_pton(AF_INET, remote, &peer.sin_addr) != 1 ||
        ::connect(s->fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        *error = UdpOpenError::kConnect;
        CloseFds(s);
        return nullptr;
    }
    *error = UdpOpenError::kNone;
    return s;
}

bool UdpSend(UdpSocket* s, const uint8_t* data, size_t n) {
    bool retried_refusal = false;
    for (;;) {
        ssize_t sent = ::send(s->fd, data, n, MSG_NOSIGNAL);
        if (sent >= 0) return static_cast<size_t>(sent) == n;
        if (errno == EINTR) continue;
        // A connected socket reports an earlier datagram's "port unreachable" on the next
        // call; that says nothing about this datagram, which is sent again once.
        if (errno == ECONNREFUSED && !retried_refusal) {
            retried_refusal = true;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        // The send buffer is full: wait for room rather than losing the datagram.
        pollfd p{s->fd, POLLOUT, 0};
        int r = ::poll(&p, 1, kSendRoomWaitMs);
        if (r <= 0 && !(r < 0 && errno == EINTR)) return false;
    }
}

UdpWaitResult UdpWait(UdpSocket* s, unsigned ms) {
    pollfd p[2] = {{s->wake, POLLIN, 0}, {s->fd, POLLIN, 0}};
    int r = ::poll(p, 2, static_cast<int>(ms));
    if (r == 0) return UdpWaitResult::kTimeout;
    if (r < 0) return errno == EINTR ? UdpWaitResult::kTimeout : UdpWaitResult::kError;
    if (p[0].revents) return UdpWaitResult::kWoken;
    return UdpWaitResult::kData;
}

long UdpReceive(UdpSocket* s, uint8_t* buf, size_t cap) {
    for (;;) {
        ssize_t got = ::recv(s->fd, buf, cap, MSG_DONTWAIT);
        if (got >= 0) return static_cast<long>(got);
        if (errno != EINTR) return -1;
    }
}

void UdpWake(UdpSocket* s) {
    uint64_t one = 1;
    ssize_t r = ::write(s->wake, &one, sizeof one);
    (void)r;
}

void UdpClose(UdpSocket* s) {
    if (s) CloseFds(s);
}

}  // namespace kvs
