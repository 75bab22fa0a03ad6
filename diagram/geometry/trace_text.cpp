#include "diagram/geometry/trace_text.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace kvs::geometry {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// scanf "%d" at *pos: white space, an optional sign, at least one digit. Saturates at the int
// range. On success advances *pos past the number.
bool ScanInt(std::string_view s, size_t* pos, int* out) {
    size_t p = *pos;
    while (p < s.size() && IsSpace(s[p])) ++p;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    if (p >= s.size() || s[p] < '0' || s[p] > '9') return false;
    int64_t v = 0;
    for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
        v = std::min<int64_t>(v * 10 + (s[p] - '0'), int64_t{INT_MAX} + 1);
    }
    if (negative) v = -v;
    *out = static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
    *pos = p;
    return true;
}

// scanf of a pattern made of literal characters and "%d" at *pos; returns how many numbers
// were read before the first mismatch.
int ScanPattern(std::string_view s, size_t pos, std::string_view pattern, int* values) {
    int n = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%') {
            ++i;  // the 'd'
            if (!ScanInt(s, &pos, &values[n])) return n;
            ++n;
        } else {
            if (pos >= s.size() || s[pos] != pattern[i]) return n;
            ++pos;
        }
    }
    return n;
}

std::string Point(const TPoint& p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

}  // namespace

std::string FormatRectText(const TRect& r) {
    return Point({r.left, r.top}) + "," + Point({r.right, r.bottom});
}

bool ParseRectText(std::string_view text, TRect* rect) {
    int v[4];
    if (ScanPattern(text, 0, "(%d,%d),(%d,%d)", v) != 4) return false;
    *rect = {v[0], v[1], v[2], v[3]};
    return true;
}

std::string FormatPolylineText(std::span<const TPoint> points) {
    size_t n = std::min<size_t>(points.size(), kMaxTracePoints);
    std::string text = std::to_string(n) + ",";
    for (size_t i = 0; i < n; ++i) text += Point(points[i]) + ",";
    return text;
}

bool ParsePolylineText(std::string_view text, TPoint (&points)[kMaxTracePoints], int* count) {
    size_t lead = 0;
    int n = *count;
    bool read = ScanInt(text, &lead, &n);
    int clamped = std::clamp(n, 0, kMaxTracePoints);
    *count = clamped;

    // The position just after the comma of the next ",(" at or after from; the start of the
    // text when there is none.
    auto next = [&](size_t from) -> size_t {
        size_t at = text.find(",(", from);
        return at == std::string_view::npos ? 0 : at + 1;
    };
    size_t pos = next(0);
    for (int i = 0; i < clamped; ++i) {
        int v[2];
        if (ScanPattern(text, pos, "(%d,%d", v) == 2) points[i] = {v[0], v[1]};
        pos = next(pos);
    }
    return read && clamped == n;
}

}  // namespace kvs::geometry
