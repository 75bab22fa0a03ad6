#include "analyzer/wave_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace wave {

namespace {
// The integer part of a non-negative real, kept inside int (a tiny zoom must not overflow).
int Truncate(double v) {
    if (!(v > 0)) return 0;
    if (v >= double(INT_MAX)) return INT_MAX;
    return int(v);
}
}  // namespace

bool SampleBit(const uint8_t* bits, size_t bytes, int sample, int channels, int channel) {
    if (sample < 0 || channel < 0 || channel >= channels) return false;
    const size_t b = size_t(sample) * size_t(channels) + size_t(channel);
    if (b / 8 >= bytes) return false;
    return (bits[b / 8] >> (b % 8)) & 1;
}

int SampleCount(long long bytes, int channels) {
    if (bytes <= 0 || channels <= 0) return 0;
    const long long n = bytes * 8 / channels;
    return n > INT_MAX ? INT_MAX : int(n);
}

int VisibleSamples(int width, double zoom) {
    if (!(zoom > 0)) return 1;
    const double n = std::max(0, width) / zoom + 1;
    return n >= double(INT_MAX) ? INT_MAX : int(n);
}

int GridStep(double zoom) {
    if (!(zoom > 0)) return INT_MAX;
    return std::max(1, Truncate(kGridSpacing / zoom));
}

QString TimeLabel(double us) {
    if (us < 1000) return QString::asprintf("%gus", us);
    return QString::asprintf("%gms", us / 1000);
}

std::vector<GridLine> Grid(int width, double zoom, int scroll, double periodUs) {
    std::vector<GridLine> lines;
    const int n = VisibleSamples(width, zoom);
    const int step = GridStep(zoom);
    for (long long b = 0; b < n; b += step)
        lines.push_back({int(b * zoom), TimeLabel(double(b + scroll) * periodUs)});
    return lines;
}

int TriggerX(int trigger, int scroll, double zoom) {
    const double x = (double(trigger) - scroll) * zoom;
    return int(std::clamp(x, double(INT_MIN / 2), double(INT_MAX / 2)));
}

int TraceCount(int visible, int scroll, int samples) {
    if (scroll + (long long)visible >= samples) return std::max(0, samples - scroll);
    return visible;
}

QString CursorLabel(int x, double zoom, int scroll, double periodUs) {
    return QString::asprintf("%gus", (x / zoom + scroll) * periodUs);
}

int ScrollState::Limit() const { return std::max(min, max - std::max(page - 1, 0)); }

ScrollState ScrollRange(int samples, int width, double zoom, int previousPos) {
    ScrollState s;
    s.min = 0;
    s.max = std::max(0, samples - 1);
    s.page = zoom > 0 ? Truncate(std::max(0, width) / zoom) : 0;
    s.pos = std::clamp(previousPos, s.min, s.Limit());
    return s;
}

int Scroll(const ScrollState& s, ScrollCode code, int thumb) {
    const int limit = s.Limit();
    int pos = s.pos;
    switch (code) {
        case ScrollCode::LineLeft:
            if (pos > s.min) --pos;
            break;
        case ScrollCode::LineRight:
            if (pos < limit) ++pos;
            break;
        case ScrollCode::PageLeft:
            if (pos > s.min) pos = std::max(s.min, pos - s.page);
            break;
        case ScrollCode::PageRight:
            if (pos < limit) pos = std::min(limit, pos + s.page);
            break;
        case ScrollCode::ThumbPosition:
        case ScrollCode::ThumbTrack:
            pos = thumb;
            break;
        case ScrollCode::Left:
            pos = s.min;
            break;
        case ScrollCode::Right:
            pos = limit;
            break;
        case ScrollCode::EndScroll:
            break;
    }
    return std::clamp(pos, s.min, limit);
}

double ZoomIn(double zoom) { return zoom < kMaxZoom ? zoom * 2 : zoom; }

double ZoomOut(double zoom, int samples, int width) {
    if (width <= 0) return zoom;  // a hidden view has no width to compare against
    return double(samples) > width / zoom ? zoom / 2 : zoom;
}

}  // namespace wave
