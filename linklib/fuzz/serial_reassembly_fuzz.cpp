// Serial reassembly over arbitrary bytes cut into arbitrary reads. The first input byte picks
// the read size; every handed-on message is checked against the frame it came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame.h"

namespace {
struct Sink : kvs::FrameListener {
    void OnFrameMessage(const uint8_t* msg, size_t n) override {
        // An exact-size copy: reading past n would be caught.
        std::vector<uint8_t> copy(msg, msg + n);
        volatile uint8_t sum = kvs::ByteSum(copy.data(), copy.size());
        (void)sum;
    }
    void OnFrameError(kvs::FrameError, unsigned, unsigned) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t step = 1 + data[0] * 7;
    ++data;
    --size;
    Sink sink;
    kvs::SerialReassembler r(&sink, 0);
    for (size_t off = 0; off < size;) {
        size_t n = size - off < step ? size - off : step;
        if (n > r.Space()) n = r.Space();
        std::vector<uint8_t> read(data + off, data + off + n);
        std::memcpy(r.WritePtr(), read.data(), n);
        r.Commit(n);
        if (r.Buffered() > kvs::kRxBufferSize) std::abort();
        off += n;
    }
    return 0;
}
