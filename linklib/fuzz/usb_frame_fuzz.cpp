// The check of one completed USB bulk read, on an exact-size copy of the bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> read(data, data + size);
    const uint8_t* msg = nullptr;
    size_t n = 0;
    if (kvs::CheckUsbFrame(read.data(), read.size(), &msg, &n)) {
        if (msg != read.data() + kvs::kUsbHeadSize || n % 4 || n > read.size() - kvs::kUsbHeadSize)
            std::abort();
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < n; ++i) sink = sink + msg[i];
    }
    return 0;
}
