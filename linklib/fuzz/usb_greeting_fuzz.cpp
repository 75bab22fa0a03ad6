// The simulated USB bus's greeting (the hello packet with the device and configuration
// descriptors) from an arbitrary packet; a parsed greeting encodes back to the same packet.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "usb_sim_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> packet(data, data + size);
    kvs::usbsim::Descriptors d;
    if (kvs::usbsim::ParseHello(packet.data(), packet.size(), &d)) {
        kvs::usbsim::Descriptors again;
        const std::vector<uint8_t> encoded = kvs::usbsim::EncodeHello(d);
        if (!kvs::usbsim::ParseHello(encoded.data(), encoded.size(), &again)) std::abort();
        if (again.config != d.config) std::abort();
    }
    return 0;
}
