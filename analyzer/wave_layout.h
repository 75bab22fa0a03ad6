// The calculations behind the wave view: the packed record, the time grid and its labels, the
// trigger marker, the trace extent, the measuring cursor, the scroll range and the zoom steps.
// Plain functions of their inputs, so that the view only draws what they give and tests call
// them without painting.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace wave {

inline constexpr int kChannels = 4;
inline constexpr int kCapacityBytes = 1024;
inline constexpr int kCapacity = kCapacityBytes * 8 / kChannels;  // samples the view can hold
inline constexpr int kGridSpacing = 64;                           // pixels between grid lines
inline constexpr double kMaxZoom = 32.0;                          // pixels per sample
inline constexpr double kInitialZoom = 16.0;

// Trace levels of channel k (client pixels).
inline int LowLevel(int k) { return 62 + 32 * k; }
inline int HighLevel(int k) { return LowLevel(k) - 20; }

// The bit of sample s and channel k: bit b = s * channels + k, least significant bit first.
// Bits beyond the buffer read as low.
bool SampleBit(const uint8_t* bits, size_t bytes, int sample, int channels, int channel);

// Samples in a record of the given byte count (integer division; a negative count gives 0).
int SampleCount(long long bytes, int channels);

// Samples that fit the width, plus one (the partly visible one at the right edge).
int VisibleSamples(int width, double zoom);

// Samples between two grid lines: the integer part of 64 / zoom, at least 1.
int GridStep(double zoom);

// A grid label: microseconds below 1000 ("%gus"), milliseconds from 1000 on ("%gms").
QString TimeLabel(double us);

struct GridLine {
    int x;
    QString label;
};
// The grid lines of a view width wide scrolled to sample scroll, left to right.
std::vector<GridLine> Grid(int width, double zoom, int scroll, double periodUs);

// x of the trigger marker; outside 0..width when the trigger sample is not in view.
int TriggerX(int trigger, int scroll, double zoom);

// Samples the traces draw: the visible count, cut at the record's last sample.
int TraceCount(int visible, int scroll, int samples);

// The measuring cursor's text at client x: always microseconds, with the fractional sample.
QString CursorLabel(int x, double zoom, int scroll, double periodUs);

// A horizontal scroll bar in the window system's terms: range min..max, page, position.
struct ScrollState {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
    // The largest position the bar accepts.
    int Limit() const;
};

// The range the view sets for a record (0 .. samples - 1, page = width / zoom) with the
// previous position kept as far as the new range allows.
ScrollState ScrollRange(int samples, int width, double zoom, int previousPos);

enum class ScrollCode {
    LineLeft,
    LineRight,
    PageLeft,
    PageRight,
    ThumbPosition,
    ThumbTrack,
    Left,   // to the start
    Right,  // to the end
    EndScroll,
};
// The position after one scroll code (thumb: the thumb's position for the thumb codes).
int Scroll(const ScrollState& s, ScrollCode code, int thumb = 0);

// The next zoom steps: doubling up to 32 pixels per sample; halving only while the record is
// wider than the view.
double ZoomIn(double zoom);
double ZoomOut(double zoom, int samples, int width);

}  // namespace wave
