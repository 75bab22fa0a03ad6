// Walks configuration descriptors as a device could send them; each input is handed over as an
// exact-size copy so that a read past its end is caught.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "usb_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(copy.get(), data, size);
    uint8_t number = 0, alt = 0;
    std::vector<kvs::usb::EndpointDescriptor> eps;
    kvs::usb::ParseFirstInterface(copy.get(), size, &number, &alt, &eps);
    return 0;
}
