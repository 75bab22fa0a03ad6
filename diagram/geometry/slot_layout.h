// Placement of a component box's parts and the initial route of a slot link.
//
// A box with outer rectangle R has its body R narrowed by 10 pixels left and right, its receive
// slots on the left edge and its send slots on the right edge. The slots of one edge are listed
// in the reverse order of the device's slot-info reply; the k-th of m in that list (k = 1 at the
// top) is centred on y = R.top + k * ((R.bottom - R.top) / (m + 1)), integer division before the
// multiplication, as an 11 x 10 square that reaches one pixel into the body:
//   send:    (R.right - 11, y - 5) - (R.right, y + 5)
//   receive: (R.left, y - 5)       - (R.left + 11, y + 5)
// Example: the box (100,50)-(180,90) with one receive and two send slots has the receive slot
// (100,65)-(111,75) and the send slots (169,58)-(180,68) and (169,71)-(180,81).
//
// Coordinates come from the device and may be anything: the calculations run in 64 bits and
// clamp their results to the int range rather than overflow.
#pragma once

#include <array>

#include "diagram/geometry/trace_text.h"

namespace kvs::geometry {

inline constexpr int kSlotWidth = 11;
inline constexpr int kSlotHeight = 10;
inline constexpr int kBodyInset = 10;

enum class SlotEdge { kReceive, kSend };

// The body: the outer rectangle narrowed by kBodyInset on the left and on the right.
TRect BodyRect(const TRect& outer);

// The rectangle of the k-th (1-based, from the top) of m slots of one edge.
TRect SlotRect(const TRect& outer, SlotEdge edge, int k, int m);

// Position in the box's slot list (1-based, from the top) of the slot that the slot-info reply
// lists at reply_index (0-based) among the m slots of its edge: the list runs in reverse.
constexpr int SlotListPosition(int reply_index, int m) { return m - reply_index; }

// ((left + right) / 2, (top + bottom) / 2), truncated toward zero.
TPoint RectCentre(const TRect& rect);

// Half-open containment.
constexpr bool Contains(const TRect& r, TPoint p) {
    return r.left <= p.x && p.x < r.right && r.top <= p.y && p.y < r.bottom;
}

// A new link from send slot `from` to receive slot `to`: cF, (mx, cF.y), (mx, cT.y), cT with
// cF, cT the slot centres and mx = (cF.x + cT.x) / 2: horizontal, vertical, horizontal.
std::array<TPoint, 4> InitialLinkRoute(const TRect& from, const TRect& to);

}  // namespace kvs::geometry
