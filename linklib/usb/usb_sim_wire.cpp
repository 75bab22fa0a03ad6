#include "usb_sim_wire.h"

#include <cstring>

namespace kvs::usbsim {

Descriptors ControllerDescriptors(uint16_t vendor, uint16_t product, bool with_bulk) {
    Descriptors d;
    const uint8_t endpoints = with_bulk ? 2 : 0;
    const uint8_t total = static_cast<uint8_t>(9 + 9 + 7 * endpoints);
    const uint8_t vl = static_cast<uint8_t>(vendor), vh = static_cast<uint8_t>(vendor >> 8);
    const uint8_t pl = static_cast<uint8_t>(product), ph = static_cast<uint8_t>(product >> 8);
    // clang-format off
    const uint8_t device[18] = {
        18, 1, 0x00, 0x02,          // bLength, DEVICE, USB 2.00
        0xFF, 0xFF, 0xFF, 64,       // vendor-specific class, endpoint 0 of 64 bytes
        vl, vh, pl, ph,             // vendor, product
        0x00, 0x01,                 // bcdDevice 1.00
        0, 0, 0,                    // no string descriptors
        1};                         // one configuration
    const uint8_t config[9 + 9 + 14] = {
        9, 2, total, 0, 1, 1, 0, 0x80, 50,     // configuration: one interface, 100 mA
        9, 4, 0, 0, endpoints, 0xFF, 0, 0, 0,  // interface 0, vendor-specific
        7, 5, kOutEndpoint, 2, 0x00, 0x02, 0,  // bulk OUT, 512 bytes
        7, 5, kInEndpoint, 2, 0x00, 0x02, 0};  // bulk IN, 512 bytes
    // clang-format on
    std::memcpy(d.device, device, sizeof device);
    d.config.assign(config, config + total);
    return d;
}

std::vector<uint8_t> EncodeHello(const Descriptors& d) {
    std::vector<uint8_t> p;
    p.reserve(1 + 18 + d.config.size());
    p.push_back(kHello);
    p.insert(p.end(), d.device, d.device + 18);
    p.insert(p.end(), d.config.begin(), d.config.end());
    return p;
}

bool ParseHello(const uint8_t* p, size_t n, Descriptors* out) {
    if (n < 1 + 18 || p[0] != kHello || p[1] != 18 || p[2] != 1) return false;
    std::memcpy(out->device, p + 1, 18);
    out->config.assign(p + 19, p + n);
    return true;
}

}  // namespace kvs::usbsim
