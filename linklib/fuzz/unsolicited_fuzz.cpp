// The decoder of unsolicited messages on an exact-size copy of an arbitrary message: every text
// it hands out must lie inside the message.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kvsh_unsolicited.h"

namespace {
void Check(const KVS_TEXT_SPAN& t, const uint8_t* begin, const uint8_t* end) {
    const auto* p = reinterpret_cast<const uint8_t*>(t.text);
    if (t.length == 0) return;
    if (p < begin || p + t.length > end) std::abort();
    volatile uint8_t sum = 0;
    for (size_t i = 0; i < t.length; ++i) sum = sum + p[i];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 70000) return 0;
    std::vector<uint8_t> copy(data, data + size);
    const uint8_t* p = copy.data();
    const int n = static_cast<int>(size);
    KVS_MONITOR_EVENT event;
    if (KVS_DecodeMonitorEvent(p, n, &event)) {
        Check(event.name, p, p + size);
        Check(event.value, p, p + size);
    }
    KVS_INFO_ITER it;
    KVS_INFO_LINE line;
    if (KVS_InfoLinesBegin(&it, p, n)) {
        size_t lines = 0;
        while (KVS_InfoLinesNext(&it, &line)) {
            Check(line.text, p, p + size);
            if (++lines > size) std::abort();  // each entry takes at least its level byte
        }
    }
    return 0;
}
