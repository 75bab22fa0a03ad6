// Slot placement on a box and the initial route of a new link.
#include "diagram/geometry/slot_layout.h"

#include <gtest/gtest.h>

#include <climits>

namespace kvs::geometry {
namespace {

TEST(SlotLayout, SlotsAreSpacedEvenlyOnTheirEdge) {
    const TRect box{100, 50, 180, 90};
    struct Case {
        SlotEdge edge;
        int k, m;
        TRect rect;
    } cases[] = {
        {SlotEdge::kReceive, 1, 1, {100, 65, 111, 75}},  // one slot sits at the middle
        {SlotEdge::kSend, 1, 2, {169, 58, 180, 68}},     // 40 / 3 = 13 before multiplying
        {SlotEdge::kSend, 2, 2, {169, 71, 180, 81}},
        {SlotEdge::kReceive, 3, 3, {100, 75, 111, 85}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SlotRect(box, c.edge, c.k, c.m), c.rect) << c.k << "/" << c.m;
    }
    EXPECT_EQ(BodyRect(box), (TRect{110, 50, 170, 90}));
    // The reply's last slot is the top of the list.
    EXPECT_EQ(SlotListPosition(2, 3), 1);
    EXPECT_EQ(SlotListPosition(0, 3), 3);
}

TEST(SlotLayout, NewLinkRunsHorizontalVerticalHorizontalBetweenSlotCentres) {
    auto route = InitialLinkRoute({169, 58, 180, 68}, {300, 95, 311, 105});
    EXPECT_EQ(route[0], (TPoint{174, 63}));
    EXPECT_EQ(route[1], (TPoint{239, 63}));
    EXPECT_EQ(route[2], (TPoint{239, 100}));
    EXPECT_EQ(route[3], (TPoint{305, 100}));
    EXPECT_EQ(FormatPolylineText(route), "4,(174,63),(239,63),(239,100),(305,100),");
    // Centres truncate toward zero.
    EXPECT_EQ(RectCentre({-3, -3, 0, 0}), (TPoint{-1, -1}));
}

TEST(SlotLayout, ExtremeBoxesFromTheDeviceDoNotOverflow) {
    const TRect huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_EQ(RectCentre(huge), (TPoint{0, 0}));
    TRect s = SlotRect(huge, SlotEdge::kSend, 1, 1);
    EXPECT_EQ(s.right, INT_MAX);
    EXPECT_EQ(s.left, INT_MAX - kSlotWidth);
    EXPECT_EQ(SlotRect({INT_MIN, 0, INT_MIN, 0}, SlotEdge::kSend, 1, 1).left, INT_MIN);
    EXPECT_EQ(BodyRect({INT_MAX, 0, INT_MIN, 0}), (TRect{INT_MAX, 0, INT_MIN, 0}));
}

}  // namespace
}  // namespace kvs::geometry
