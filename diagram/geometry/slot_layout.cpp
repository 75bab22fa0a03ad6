#include "diagram/geometry/slot_layout.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace kvs::geometry {
namespace {

int Clamp(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

int Mid(int a, int b) { return Clamp((int64_t{a} + b) / 2); }

}  // namespace

TRect BodyRect(const TRect& o) {
    return {Clamp(int64_t{o.left} + kBodyInset), o.top, Clamp(int64_t{o.right} - kBodyInset),
            o.bottom};
}

TRect SlotRect(const TRect& o, SlotEdge edge, int k, int m) {
    int64_t step = (int64_t{o.bottom} - o.top) / (int64_t{m} + 1 == 0 ? 1 : int64_t{m} + 1);
    int64_t y = o.top + k * step;
    int top = Clamp(y - kSlotHeight / 2), bottom = Clamp(y + kSlotHeight / 2);
    if (edge == SlotEdge::kSend)
        return {Clamp(int64_t{o.right} - kSlotWidth), top, o.right, bottom};
    return {o.left, top, Clamp(int64_t{o.left} + kSlotWidth), bottom};
}

TPoint RectCentre(const TRect& r) { return {Mid(r.left, r.right), Mid(r.top, r.bottom)}; }

std::array<TPoint, 4> InitialLinkRoute(const TRect& from, const TRect& to) {
    TPoint f = RectCentre(from), t = RectCentre(to);
    int mx = Mid(f.x, t.x);
    return {f, TPoint{mx, f.y}, TPoint{mx, t.y}, t};
}

}  // namespace kvs::geometry
