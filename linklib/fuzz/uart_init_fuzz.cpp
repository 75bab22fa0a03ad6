// The serial initialisation text ("PORT:baud-data-stop-parity", split in place) and the
// port name's device path, on an exact-size copy of arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "uart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    kvs::SerialSettings s;
    const char* name = kvs::ParseUartInit(text.data(), &s);
    if (name < text.data() || name >= text.data() + text.size()) std::abort();
    if (s.stop_bits != 1 && s.stop_bits != 2) std::abort();
    char path[256];
    if (kvs::UartDevicePath(name, path, sizeof path) && std::strlen(path) >= sizeof path)
        std::abort();
    char tiny[8];
    kvs::UartDevicePath(name, tiny, sizeof tiny);
    return 0;
}
