// The platform calls of the UDP transport: a connected, non-blocking datagram socket with a
// wake-up descriptor. POSIX version in udp_posix.cpp; a Winsock file can implement the same.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvs {

struct UdpSocket;

enum class UdpOpenError { kNone, kSocket, kBind, kConnect };

// Creates a datagram socket bound to any local address at local_port, connected to
// remote:remote_port (remote in dotted form) and in non-blocking mode. nullptr and *error on
// failure.
UdpSocket* UdpOpen(const char* remote, uint16_t local_port, uint16_t remote_port,
                   UdpOpenError* error);
// Sends one datagram to the connected peer. Waits a little for room when the socket's send
// buffer is full. False when the datagram could not be sent whole.
bool UdpSend(UdpSocket* s, const uint8_t* data, size_t n);

enum class UdpWaitResult { kData, kTimeout, kWoken, kError };
// Waits up to ms for a datagram or a wake-up.
UdpWaitResult UdpWait(UdpSocket* s, unsigned ms);
// Receives one pending datagram into buf; returns its size, or -1 when none was pending.
long UdpReceive(UdpSocket* s, uint8_t* buf, size_t cap);
// Makes a pending or the next UdpWait return kWoken. Any thread.
void UdpWake(UdpSocket* s);
void UdpClose(UdpSocket* s);

}  // namespace kvs
