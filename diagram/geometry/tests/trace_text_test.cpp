// The geometry texts: what is written, and how leniently (and safely) they are read back.
#include "diagram/geometry/trace_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace kvs::geometry {
namespace {

TEST(RectText, IsWrittenAsTwoCornersWithoutSpaces) {
    EXPECT_EQ(FormatRectText({100, 50, 180, 90}), "(100,50),(180,90)");
    EXPECT_EQ(FormatRectText({-5, 0, 7, -2}), "(-5,0),(7,-2)");
}

TEST(RectText, IsAcceptedOnlyWhenAllFourNumbersAreRead) {
    struct Case {
        const char* text;
        bool ok;
        TRect rect;
    } cases[] = {
        {"(100,50),(180,90)", true, {100, 50, 180, 90}},
        {"(1,2),(3,4", true, {1, 2, 3, 4}},           // nothing after the fourth number counts
        {"(1,2),(3,4)trailing", true, {1, 2, 3, 4}},  //
        {"( 1,+2),(\t3,-4)", true, {1, 2, 3, -4}},    // numbers may have space and a sign
        {"(99999999999,2),(3,4)", true, {INT_MAX, 2, 3, 4}},  // clamped, not overflowed
        {"(1,2),(3)", false, {}},
        {"(1 ,2),(3,4)", false, {}},  // literal characters must follow at once
        {" (1,2),(3,4)", false, {}},
        {"1,2,3,4", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        TRect r{7, 7, 7, 7};
        EXPECT_EQ(ParseRectText(c.text, &r), c.ok) << c.text;
        EXPECT_EQ(r, c.ok ? c.rect : (TRect{7, 7, 7, 7})) << c.text;
    }
}

TEST(PolylineText, EveryPointIsFollowedByAComma) {
    std::vector<TPoint> route{{150, 70}, {175, 70}, {175, 120}, {200, 120}};
    EXPECT_EQ(FormatPolylineText(route), "4,(150,70),(175,70),(175,120),(200,120),");
    EXPECT_EQ(FormatPolylineText({}), "0,");
}

TEST(PolylineText, ReadsLenientlyAndNeverPastNinePoints) {
    const TPoint old[kMaxTracePoints] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                                         {6, 6}, {7, 7}, {8, 8}, {9, 9}};
    struct Case {
        const char* text;
        bool in_range;
        int count;
        std::vector<TPoint> points;  // the first points afterwards; the rest keep old values
    } cases[] = {
        {"4,(150,70),(175,70),(175,120),(200,120),",
         true,
         4,
         {{150, 70}, {175, 70}, {175, 120}, {200, 120}}},
        // Fewer points than the count: after the last ",(" reading restarts at the text's
        // beginning, where "(%d,%d" does not match, and then reads the first point again.
        {"4,(10,20),(30,20),", true, 4, {{10, 20}, {30, 20}, {3, 3}, {10, 20}}},
        {"2,(10,20)x(30,20)", true, 2, {{10, 20}, {2, 2}}},  // no second ",(": restart, keep
        {"2,(10,20),(30)", true, 2, {{10, 20}, {2, 2}}},     // half a point is no point
        {"2,(10,x),(30,40),", true, 2, {{1, 1}, {30, 40}}},  //
        {"3", true, 3, {{1, 1}, {2, 2}, {3, 3}}},            // no ",(" at all
        {"(5,6),(7,8),", false, 4, {{7, 8}, {5, 6}, {7, 8}, {5, 6}}},  // no count: unchanged
        {"0,(10,20),", true, 0, {{1, 1}}},
        {"12,(10,20),(30,20),",
         false,
         9,
         {{10, 20}, {30, 20}, {3, 3}, {10, 20}, {30, 20}, {6, 6}, {10, 20}, {30, 20}, {9, 9}}},
        {"99999999999999,(10,20),",
         false,
         9,
         {{10, 20}, {2, 2}, {10, 20}, {4, 4}, {10, 20}, {6, 6}, {10, 20}, {8, 8}, {10, 20}}},
        {"-3,(10,20),", false, 0, {{1, 1}}},
    };
    for (const auto& c : cases) {
        TPoint pts[kMaxTracePoints];
        std::copy(std::begin(old), std::end(old), pts);
        int count = 4;
        EXPECT_EQ(ParsePolylineText(c.text, pts, &count), c.in_range) << c.text;
        EXPECT_EQ(count, c.count) << c.text;
        for (size_t i = 0; i < kMaxTracePoints; ++i) {
            TPoint want = i < c.points.size() ? c.points[i] : old[i];
            EXPECT_EQ(pts[i], want) << c.text << " point " << i;
        }
    }
}

TEST(PolylineText, WrittenRoutesReadBackUnchanged) {
    TPoint route[kMaxTracePoints] = {{0, 0}, {-40, 0}, {-40, 2147483647}, {9, 9}, {1, 2}, {3, 4},
                                     {5, 6}, {7, 8},   {-1, -2147483647}};
    for (int n = 0; n <= kMaxTracePoints; ++n) {
        TPoint pts[kMaxTracePoints] = {};
        int count = -1;
        ASSERT_TRUE(ParsePolylineText(FormatPolylineText({route, size_t(n)}), pts, &count));
        EXPECT_EQ(count, n);
        for (int i = 0; i < n; ++i) EXPECT_EQ(pts[i], route[i]) << n << " " << i;
    }
}

}  // namespace
}  // namespace kvs::geometry
