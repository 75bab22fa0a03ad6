// Fuzz target: the readers of what the device sends for the diagram. The first byte chooses
// the reader (rectangle text, polyline text, slot-info reply); the rest is the input. Every
// reader must stay inside its input and inside the nine points of an item.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "diagram/geometry/slot_info.h"
#include "diagram/geometry/trace_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t which = data[0] % 3;
    const uint8_t* rest = data + 1;
    const size_t n = size - 1;
    std::string_view text(reinterpret_cast<const char*>(rest), n);
    using namespace kvs::geometry;
    if (which == 0) {
        TRect r;
        if (ParseRectText(text, &r)) (void)FormatRectText(r);
    } else if (which == 1) {
        TPoint points[kMaxTracePoints] = {};
        int count = 4;
        ParsePolylineText(text, points, &count);
        if (count < 0 || count > kMaxTracePoints) __builtin_trap();
        (void)FormatPolylineText(std::span<const TPoint>(points, size_t(count)));
    } else {
        SlotInfo info;
        ReadSlotInfo(rest, n, "定时器-1", &info);
        for (const auto* list : {&info.send, &info.receive})
            for (const SlotRecord& s : *list)
                if (s.name.size() > kMaxNameBytes) __builtin_trap();
    }
    return 0;
}
