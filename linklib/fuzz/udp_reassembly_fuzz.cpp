// UDP reassembly over a sequence of datagrams: the input is [u16 size][bytes]..., and each
// datagram is handed over as an exact-size copy.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame.h"

namespace {
struct Sink : kvs::FrameListener {
    void OnFrameMessage(const uint8_t* msg, size_t n) override {
        std::vector<uint8_t> copy(msg, msg + n);
        if (n + kvs::kFrameHeadSize > kvs::kRxBufferSize) std::abort();
    }
    void OnFrameError(kvs::FrameError, unsigned, unsigned) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Sink sink;
    kvs::UdpReassembler r(&sink, 0);
    size_t off = 0;
    while (off + 2 <= size) {
        size_t n = data[off] | (data[off + 1] << 8);
        off += 2;
        if (n > size - off) n = size - off;
        std::vector<uint8_t> datagram(data + off, data + off + n);
        r.Feed(datagram.data(), datagram.size());
        if (r.Buffered() > kvs::kRxBufferSize) std::abort();
        off += n;
    }
    return 0;
}
