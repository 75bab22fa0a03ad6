// The two geometry texts in which diagram items keep their layout on the device, as the value of
// the component attribute "区域位置":
//
//   rectangle text (component boxes): "(left,top),(right,bottom)", e.g. "(100,50),(180,90)"
//   polyline text (slot links): the count and "," then "(x,y)," per point, the last included,
//                               e.g. "4,(150,70),(175,70),(175,120),(200,120),"
//
// The readers accept what the device has always accepted (a C scanf reading, see below) but
// never trust the text: counts outside 0..9 and out-of-range numbers are clamped, and nothing
// is written past the nine points of an item.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kvs::geometry {

struct TPoint {
    int x = 0, y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Diagram rectangle; containment is half-open (left <= x < right, top <= y < bottom).
struct TRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

// Control points of one item.
inline constexpr int kMaxTracePoints = 9;

// "(left,top),(right,bottom)", decimal, no spaces.
std::string FormatRectText(const TRect& rect);

// Reads the four numbers of the pattern "(%d,%d),(%d,%d)" as scanf would: a number may be
// preceded by white space and a sign, the literal characters must match exactly, and nothing
// after the fourth number is looked at. Returns false (and leaves *rect alone) unless all four
// numbers were read. Numbers beyond the int range are clamped to it.
bool ParseRectText(std::string_view text, TRect* rect);

// The count with "," and then "(x,y)," for each point. At most kMaxTracePoints are written.
std::string FormatPolylineText(std::span<const TPoint> points);

// Reads a polyline text into an item's points and count, leniently and in place:
//  1. the leading number (scanf "%d") becomes the count; without one the count is unchanged;
//  2. reading starts at the "(" of the first ",(" (at the start of the text when there is none);
//  3. for each point index below the count, "(%d,%d" at the reading position sets that point
//     (a point whose two numbers are not both read keeps its coordinates); then reading moves to
//     the "(" of the next ",(" from there on, or back to the start of the text when there is
//     none, so a text with fewer points than its count reads its first points again.
// A count outside 0..kMaxTracePoints is clamped into that range (only nine points exist);
// the return value says whether the count was read and within range. The item's reading of
// the text reports success either way.
bool ParsePolylineText(std::string_view text, TPoint (&points)[kMaxTracePoints], int* count);

}  // namespace kvs::geometry
