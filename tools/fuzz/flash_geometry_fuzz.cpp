// The flash geometry text ("P=%x,C=%x,B=%x,N=%x,") from an arbitrary device: a text that parses
// obeys every rule the page loops rely on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto g = kvs::fw::ParseFlashGeometry(text);
    if (!g) return 0;
    if (g->pageSize < 1 || g->imageSize < 1 || g->imageSize % g->pageSize != 0) std::abort();
    if (g->blockSize < 1 || g->blockCount < 1) std::abort();
    if (int64_t{g->blockSize} * g->blockCount < g->imageSize) std::abort();
    if (g->Pages() < 1) std::abort();
    return 0;
}
