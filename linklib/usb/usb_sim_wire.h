// The simulated USB bus: what travels between the simulated driver (host side, in the link
// library) and a simulated controller (device side: kvs-devsim or a test's fake) over one
// Unix-domain SOCK_SEQPACKET connection. Every packet is one type byte and its payload:
//
//   device -> host  'H' hello: the 18-byte device descriptor, then the whole configuration
//                       descriptor (sent once, right after the connection is accepted)
//   host -> device  'O' one bulk OUT transfer: endpoint address, then the data
//   device -> host  'A' the oldest OUT transfer was taken by the device (endpoint follows)
//   device -> host  'I' one bulk IN transfer: endpoint address, then the data
//   device -> host  'E' the next IN transfer on the endpoint (address follows) fails
//   host -> device  'R' the host reset (cleared the halt of) the endpoint that follows
//
// A connection is a device being attached; closing it is the device being unplugged.
// Portable parts only; the socket code is in usb_sim_driver.cpp and usb_sim_port.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvs::usbsim {

enum Packet : uint8_t {
    kHello = 'H',
    kOut = 'O',
    kOutTaken = 'A',
    kIn = 'I',
    kInError = 'E',
    kReset = 'R',
};

// Largest packet: type, endpoint and one 65536-byte transfer plus a USB frame head.
constexpr size_t kMaxPacket = 2 + 65536 + 16;

constexpr uint16_t kControllerVendor = 0x04B4;
constexpr uint16_t kControllerProduct = 0x1008;
constexpr uint8_t kOutEndpoint = 0x02;
constexpr uint8_t kInEndpoint = 0x86;

struct Descriptors {
    uint8_t device[18] = {};
    std::vector<uint8_t> config;
};

// The descriptors of a controller: one configuration, one interface and, when with_bulk,
// bulk endpoints 0x02 (OUT) and 0x86 (IN) of 512 bytes. Other identifiers make other devices.
Descriptors ControllerDescriptors(uint16_t vendor = kControllerVendor,
                                  uint16_t product = kControllerProduct, bool with_bulk = true);

// The hello packet for d, and its parse (false when the packet is not a well-formed hello).
std::vector<uint8_t> EncodeHello(const Descriptors& d);
bool ParseHello(const uint8_t* p, size_t n, Descriptors* out);

}  // namespace kvs::usbsim
