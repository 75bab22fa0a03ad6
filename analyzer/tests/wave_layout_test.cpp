// The wave view's calculations without painting: record bits, grid, labels, cursor time,
// trace extent, scroll codes and zoom limits.
#include "analyzer/wave_layout.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace wave;

TEST(WaveLayout, RecordBitsArePackedSampleAfterSampleLeastSignificantFirst) {
    // 0x21: sample 0 channel 0 and sample 1 channel 1; 0x80 of the second byte: sample 3
    // channel 3.
    const uint8_t bits[] = {0x21, 0x80};
    struct Case {
        int sample, channel;
        bool high;
    } cases[] = {{0, 0, true},   {0, 1, false}, {1, 1, true},  {1, 0, false},
                 {3, 3, true},   {3, 2, false}, {2, 0, false}, {4, 0, false},  // beyond the buffer
                 {-1, 0, false}, {0, 4, false}};
    for (const Case& c : cases)
        EXPECT_EQ(SampleBit(bits, sizeof bits, c.sample, kChannels, c.channel), c.high)
            << c.sample << "/" << c.channel;
}

TEST(WaveLayout, SampleCountIsBytesTimesEightOverChannels) {
    EXPECT_EQ(SampleCount(512, 4), 1024);
    EXPECT_EQ(SampleCount(1024, 4), 2048);
    EXPECT_EQ(SampleCount(1025, 4), 2050);
    EXPECT_EQ(SampleCount(0, 4), 0);
    EXPECT_EQ(SampleCount(-8, 4), 0);
    EXPECT_EQ(kCapacity, 2048);
}

TEST(WaveLayout, GridLinesStand64PixelsApartAtEveryZoom) {
    struct Case {
        double zoom;
        int step;
    } cases[] = {{8, 8}, {16, 4}, {32, 2}, {1, 64}, {0.25, 256}, {64, 1}, {100, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(GridStep(c.zoom), c.step) << c.zoom;
        if (c.zoom > kGridSpacing) continue;
        std::vector<GridLine> g = Grid(640, c.zoom, 0, 1.0);
        ASSERT_GE(g.size(), 2u) << c.zoom;
        for (size_t i = 0; i < g.size(); ++i) EXPECT_EQ(g[i].x, int(64 * i)) << c.zoom;
    }
}

TEST(WaveLayout, GridLabelsReadMicrosecondsThenMilliseconds) {
    std::vector<GridLine> g = Grid(200, 16, 0, 1.0);
    QStringList labels;
    for (const GridLine& l : g) labels << l.label;
    // n = 200 / 16 + 1 = 13 samples: lines at 0, 4, 8 and 12.
    EXPECT_EQ(labels, QStringList({"0us", "4us", "8us", "12us"}));
    // Scrolled by 10 samples at 2 us each: the labels start at 20us.
    EXPECT_EQ(Grid(200, 16, 10, 2.0).front().label, "20us");

    struct Case {
        double us;
        const char* text;
    } cases[] = {{0, "0us"},        {4, "4us"},
                 {999, "999us"},    {999.5, "999.5us"},
                 {1000, "1ms"},     {1500, "1.5ms"},
                 {2048, "2.048ms"}, {1234567, "1234.57ms"}};  // %g keeps six significant digits
    for (const Case& c : cases) EXPECT_EQ(TimeLabel(c.us), QString::fromUtf8(c.text)) << c.us;
}

TEST(WaveLayout, CursorTimeIncludesTheFractionalSampleAndStaysInMicroseconds) {
    EXPECT_EQ(CursorLabel(100, 16, 10, 2.0), "32.5us");  // (6.25 + 10) * 2
    EXPECT_EQ(CursorLabel(0, 16, 0, 1.0), "0us");
    EXPECT_EQ(CursorLabel(64, 0.5, 1372, 1.0), "1500us");  // no switch to ms for the cursor
}

TEST(WaveLayout, TracesStopAtTheLastSample) {
    EXPECT_EQ(VisibleSamples(800, 16), 51);
    EXPECT_EQ(TraceCount(51, 0, 2048), 51);
    EXPECT_EQ(TraceCount(51, 2000, 2048), 48);
    EXPECT_EQ(TraceCount(51, 1997, 2048), 51);  // exactly the rest of the record
    EXPECT_EQ(TraceCount(51, 1998, 2048), 50);  // one sample fewer remains
    EXPECT_EQ(TraceCount(51, 0, 0), 0);
    EXPECT_EQ(TraceCount(51, 30, 20), 0);  // scrolled beyond a shorter record
}

TEST(WaveLayout, TriggerMarkerFollowsTheScrollPosition) {
    EXPECT_EQ(TriggerX(0, 0, 16), 0);
    EXPECT_EQ(TriggerX(256, 200, 16), 896);
    EXPECT_EQ(TriggerX(3, 10, 16), -112);  // left of the view
    EXPECT_EQ(TriggerX(5, 0, 0.5), 2);
}

TEST(WaveLayout, ScrollRangeCoversTheRecordWithAPageOfTheVisibleSamples) {
    ScrollState s = ScrollRange(2048, 800, 16, 0);
    EXPECT_EQ(s.min, 0);
    EXPECT_EQ(s.max, 2047);
    EXPECT_EQ(s.page, 50);
    EXPECT_EQ(s.Limit(), 1998);
    // A position beyond the new range is pulled back to its limit.
    EXPECT_EQ(ScrollRange(2048, 800, 16, 3000).pos, 1998);
    EXPECT_EQ(ScrollRange(100, 800, 16, 80).pos, 50);
    // A record narrower than the view cannot scroll.
    EXPECT_EQ(ScrollRange(20, 800, 16, 5).pos, 0);
    EXPECT_EQ(ScrollRange(0, 800, 16, 5).pos, 0);
}

TEST(WaveLayout, EveryScrollCodeMovesWithinTheRange) {
    const ScrollState s{0, 2047, 50, 0};  // limit 1998
    auto at = [&](int pos) {
        ScrollState t = s;
        t.pos = pos;
        return t;
    };
    struct Case {
        int pos;
        ScrollCode code;
        int thumb;
        int expected;
    } cases[] = {
        {10, ScrollCode::LineLeft, 0, 9},          {0, ScrollCode::LineLeft, 0, 0},
        {10, ScrollCode::LineRight, 0, 11},        {1998, ScrollCode::LineRight, 0, 1998},
        {100, ScrollCode::PageLeft, 0, 50},        {30, ScrollCode::PageLeft, 0, 0},
        {0, ScrollCode::PageLeft, 0, 0},           {100, ScrollCode::PageRight, 0, 150},
        {1980, ScrollCode::PageRight, 0, 1998},    {1998, ScrollCode::PageRight, 0, 1998},
        {10, ScrollCode::ThumbPosition, 700, 700}, {10, ScrollCode::ThumbTrack, 701, 701},
        {10, ScrollCode::ThumbTrack, 5000, 1998},  {500, ScrollCode::Left, 0, 0},
        {500, ScrollCode::Right, 0, 1998},         {500, ScrollCode::EndScroll, 0, 500},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Scroll(at(c.pos), c.code, c.thumb), c.expected)
            << "pos " << c.pos << " code " << int(c.code);
}

TEST(WaveLayout, ZoomDoublesUpTo32AndHalvesOnlyWhileTheRecordIsWiderThanTheView) {
    EXPECT_EQ(ZoomIn(16), 32);
    EXPECT_EQ(ZoomIn(32), 32);
    EXPECT_EQ(ZoomIn(0.25), 0.5);
    struct Case {
        double zoom;
        int samples, width;
        double expected;
    } cases[] = {
        {16, 2048, 800, 8},  // 50 samples fit: wider
        {1, 801, 800, 0.5},  // one sample more than fits
        {1, 800, 800, 1},    // exactly as wide: no halving
        {0.5, 2048, 1024, 0.5}, {1, 2048, 1024, 0.5},
        {16, 0, 800, 16},   // an empty record is never wider
        {16, 2048, 0, 16},  // a view without width keeps its zoom
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZoomOut(c.zoom, c.samples, c.width), c.expected)
            << c.zoom << " " << c.samples << " " << c.width;
}
