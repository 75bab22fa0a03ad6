// The diagram items without a view: handles and hit codes, the drag, the rectangle and polyline
// rules, the component box's parts and the slot link's device writes (against a scripted
// device that records every request).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstring>
#include <vector>

#include "app/device/fake_device.h"
#include "app/device/gbk_text.h"
#include "diagram/component_trace.h"
#include "diagram/connect_trace.h"
#include "diagram/line_trace.h"
#include "diagram/quad_trace.h"
#include "diagram/track.h"
#include "recording_surface.h"

namespace {

std::vector<TPoint> Pts(const TPoints& p, int n) {
    return std::vector<TPoint>(p.begin(), p.begin() + n);
}

TPoints Array(std::initializer_list<TPoint> list) {
    TPoints a{};
    std::copy(list.begin(), list.end(), a.begin());
    return a;
}

// A polyline whose points are set without normalisation (as a geometry text would).
std::unique_ptr<CLineTrace> Line(std::initializer_list<TPoint> points) {
    auto line = std::make_unique<CLineTrace>(TRect{0, 0, 32, 32});
    QString text = QString::number(points.size()) + ',';
    for (TPoint p : points) text += QStringLiteral("(%1,%2),").arg(p.x).arg(p.y);
    EXPECT_TRUE(line->LoadGeometry(text));
    return line;
}

// A slot-info reply: the component record, then (role, flags, name) per slot.
struct SlotRec {
    int role, flags;
    QString name;
};
QByteArray SlotReply(const QString& component, const std::vector<SlotRec>& records) {
    QByteArray m(12, 0);
    m[6] = char(12 | 0x80);
    m[7] = char(records.size() + 1);
    auto add = [&m](int kind, int flags, int type, int role, const QString& name) {
        QByteArray text = ToGbk(name);
        text.append('\0');
        const int size = 8 + int(text.size());
        const char head[8] = {char(size),  char(size >> 8), 1, char(kind),
                              char(flags), char(type),      0, char(role)};
        m.append(head, 8);
        m.append(text);
    };
    add(1, 0, 0, 0, component);
    for (const SlotRec& s : records) add(3, s.flags, 1, s.role, s.name);
    const int32_t len = int32_t(m.size());
    std::memcpy(m.data(), &len, 4);
    return m;
}

// Records the phases a drag feeds an item with.
class CProbeTrace : public CQuadTrace {
  public:
    CProbeTrace() : CQuadTrace(TRect{0, 0, 100, 50}) {}
    void TrackFeedback(ITrackView& view, int index, TPoints& q, int phase) override {
        phases.push_back(phase);
        CQuadTrace::TrackFeedback(view, index, q, phase);
    }
    void EndTrack(int index) override { ends.push_back(index); }
    std::vector<int> phases, ends;
};

TEST(Handles, HandleBoxIsHalfOpenAroundTheControlPoint) {
    CQuadTrace box(TRect{100, 100, 300, 300});  // corner 0 at (100, 100), handleSize 16
    struct Case {
        TPoint p;
        int hit;
    } cases[] = {{{92, 92}, 0},          {{107, 107}, 0},       {{108, 100}, HIT_BODY},
                 {{100, 108}, HIT_BODY}, {{91, 100}, HIT_NONE}, {{100, 91}, HIT_NONE}};
    for (const Case& c : cases) EXPECT_EQ(box.HitTest(c.p), c.hit) << c.p.x << "," << c.p.y;
    EXPECT_EQ(box.HandleBox(0), (TRect{92, 92, 108, 108}));
    // Links have 12-pixel handles: 6 to the left and above, 5 to the right and below.
    CLineTrace line(TRect{0, 0, 32, 32});
    EXPECT_EQ(line.HandleBox(0), (TRect{-6, -6, 6, 6}));
    EXPECT_EQ(line.HandleMark(0), (TRect{-3, -3, 3, 3}));
}

TEST(Handles, OnlyASelectedItemDrawsItsHandlesWithTheActiveOneBright) {
    CQuadTrace box(TRect{0, 0, 100, 50});
    CRecordingSurface unselected;
    box.Draw(unselected);
    EXPECT_TRUE(unselected.fills.empty());

    box.SetSelected(true);
    box.SetActiveHandle(2);
    CRecordingSurface selected;
    box.Draw(selected);
    ASSERT_EQ(selected.fills.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(selected.fills[size_t(i)].color, i == 2 ? (TRgb{0, 255, 0}) : (TRgb{0, 128, 0}));
    EXPECT_EQ(selected.fills[2].rect, (TRect{96, 46, 104, 54}));  // 8 x 8 for a box
    // Selecting again resets the active handle.
    box.SetSelected(true);
    EXPECT_EQ(box.ActiveHandle(), -1);
}

TEST(Handles, MoreThanNineControlPointsChangeNothing) {
    TPoint ten[10] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                      {6, 6}, {7, 7}, {8, 8}, {9, 9}, {10, 10}};
    CQuadTrace box(TRect{0, 0, 100, 50});
    const TPoints before = box.Points();
    box.SetPoints(ten, 10);
    EXPECT_EQ(box.PointCount(), 4);
    EXPECT_EQ(box.Points(), before);
    CLineTrace line(TRect{0, 0, 32, 32});
    line.SetPoints(ten, 10);
    EXPECT_EQ(line.PointCount(), 4);
}

TEST(CursorShape, BodyMovesAlwaysAndHandlesSizeOnlyWhenSelected) {
    CQuadTrace box(TRect{0, 0, 100, 50});
    CLineTrace line(TRect{200, 0, 300, 40});
    TCursorShape shape{};
    // The plain rectangle's rule needs a selection; a polyline's body gives the move cursor.
    EXPECT_FALSE(box.SetCursorShape({50, 25}, true, &shape));
    EXPECT_TRUE(line.SetCursorShape({250, 20}, true, &shape));
    EXPECT_EQ(shape, TCursorShape::Move);
    EXPECT_FALSE(line.SetCursorShape({200, 0}, true, &shape));  // handle of an unselected line
    line.SetSelected(true);
    EXPECT_TRUE(line.SetCursorShape({200, 0}, true, &shape));
    EXPECT_EQ(shape, TCursorShape::SizeAll);
    EXPECT_FALSE(line.SetCursorShape({250, 20}, false, &shape));  // not the client area

    box.SetSelected(true);
    struct Case {
        TPoint p;
        TCursorShape shape;
    } cases[] = {{{0, 0}, TCursorShape::SizeNwse},
                 {{100, 50}, TCursorShape::SizeNwse},
                 {{100, 0}, TCursorShape::SizeNesw},
                 {{0, 50}, TCursorShape::SizeNesw},
                 {{50, 25}, TCursorShape::Move}};
    for (const Case& c : cases) {
        ASSERT_TRUE(box.SetCursorShape(c.p, true, &shape));
        EXPECT_EQ(shape, c.shape) << c.p.x << "," << c.p.y;
    }
    EXPECT_FALSE(box.SetCursorShape({150, 25}, true, &shape));
}

TEST(Rectangle, HitTestReportsInsideAndOutline) {
    CQuadTrace box(TRect{0, 0, 100, 50});
    struct Case {
        TPoint p;
        int hit;
    } cases[] = {{{50, 25}, HIT_BODY},  {{0, 0}, 0},          {{100, 25}, HIT_BODY},
                 {{101, 25}, HIT_NONE}, {{50, 50}, HIT_BODY}, {{50, 51}, HIT_NONE},
                 {{-1, 25}, HIT_NONE}};
    for (const Case& c : cases) EXPECT_EQ(box.HitTest(c.p), c.hit) << c.p.x << "," << c.p.y;
}

TEST(Rectangle, CornerDragKeepsTheOppositeCorner) {
    struct Case {
        int index;
        TPoint to;
        std::vector<TPoint> result;
    } cases[] = {
        {2, {120, 70}, {{0, 0}, {120, 0}, {120, 70}, {0, 70}}},
        {0, {-10, -5}, {{-10, -5}, {100, -5}, {100, 50}, {-10, 50}}},
        {1, {130, -20}, {{0, -20}, {130, -20}, {130, 50}, {0, 50}}},
        {3, {-30, 90}, {{-30, 0}, {100, 0}, {100, 90}, {-30, 90}}},
        // Past the opposite corner: no normalisation.
        {2, {-50, -40}, {{0, 0}, {-50, 0}, {-50, -40}, {0, -40}}},
    };
    for (const Case& c : cases) {
        CQuadTrace box(TRect{0, 0, 100, 50});
        CRecordingTrackHost host;
        TPoints q = box.Points();
        q[size_t(c.index)] = c.to;
        box.TrackFeedback(host, c.index, q, 1);
        EXPECT_EQ(box.Points()[2], (TPoint{100, 50})) << "phases 0 and 1 only show the outline";
        ASSERT_EQ(host.bands.size(), 1u);
        EXPECT_TRUE(host.bands[0].closed);
        q = box.Points();
        q[size_t(c.index)] = c.to;
        box.TrackFeedback(host, c.index, q, 2);
        EXPECT_EQ(Pts(box.Points(), 4), c.result) << "corner " << c.index;
    }
}

TEST(Polyline, NormalisationDropsDuplicatesAndStraightPointsAndSnaps) {
    struct Case {
        std::vector<TPoint> in;
        std::vector<TPoint> out;
    } cases[] = {
        {{{0, 0}, {3, 2}, {50, 2}, {50, 40}}, {{0, 0}, {50, 0}, {50, 40}}},
        {{{0, 0}, {40, 0}, {80, 3}}, {{0, 0}, {80, 0}}},
        // 5 is close, 6 is not.
        {{{0, 0}, {100, 5}}, {{0, 0}, {100, 0}}},
        {{{0, 0}, {100, 6}}, {{0, 0}, {100, 6}}},
        // Each point is compared with the preceding input point, kept or not.
        {{{0, 0}, {4, 0}, {8, 0}, {8, 40}}, {{0, 0}, {8, 40}}},
        {{{0, 0}, {0, 50}, {60, 50}, {60, 100}}, {{0, 0}, {0, 50}, {60, 50}, {60, 100}}},
    };
    for (const Case& c : cases) {
        CLineTrace line(TRect{0, 0, 32, 32});
        line.SetPoints(c.in.data(), int(c.in.size()));
        EXPECT_EQ(Pts(line.Points(), line.PointCount()), c.out) << c.in.size() << " points";
    }
    // All points close together: the first one and the line's previous point 1.
    CLineTrace line(TRect{0, 0, 32, 32});  // point 1 is (16, 0)
    const TPoint huddle[] = {{100, 100}, {102, 101}, {104, 103}};
    line.SetPoints(huddle, 3);
    EXPECT_EQ(Pts(line.Points(), line.PointCount()), (std::vector<TPoint>{{100, 100}, {16, 0}}));
}

TEST(Polyline, RoutingModesMovePointsAsSpecified) {
    const std::vector<TPoint> route = {{0, 0}, {50, 0}, {50, 40}, {100, 40}};
    struct Case {
        const char* what;
        int mode, index;
        TPoint to;
        std::vector<TPoint> result;
    } cases[] = {
        {"default, point 1: a jog next to the first segment",
         CLineTrace::kDefault,
         1,
         {60, 20},
         {{0, 0}, {30, 0}, {30, 20}, {60, 20}, {60, 40}, {100, 40}}},
        {"default, point n-2",
         CLineTrace::kDefault,
         2,
         {70, 60},
         {{0, 0}, {70, 0}, {70, 60}, {85, 60}, {85, 40}, {100, 40}}},
        {"follow: neighbours slide",
         CLineTrace::kFollow,
         1,
         {60, 20},
         {{0, 20}, {60, 20}, {60, 40}, {100, 40}}},
        {"follow, first point",
         CLineTrace::kFollow,
         0,
         {5, 10},
         {{5, 10}, {50, 10}, {50, 40}, {100, 40}}},
        {"insert around an interior point",
         CLineTrace::kInsert,
         1,
         {60, 20},
         {{0, 0}, {60, 0}, {60, 20}, {50, 20}, {50, 40}, {100, 40}}},
        {"insert at the first point",
         CLineTrace::kInsert,
         0,
         {0, 30},
         {{0, 30}, {25, 30}, {25, 0}, {50, 0}, {50, 40}, {100, 40}}},
        {"insert at the last point",
         CLineTrace::kInsert,
         3,
         {100, 60},
         {{0, 0}, {50, 0}, {50, 40}, {75, 40}, {75, 60}, {100, 60}}},
        {"free: only the point",
         CLineTrace::kFree,
         2,
         {70, 60},
         {{0, 0}, {50, 0}, {70, 60}, {100, 40}}},
    };
    for (const Case& c : cases) {
        TPoints t = Array({route[0], route[1], route[2], route[3]});
        TPoints s = t;
        s[size_t(c.index)] = c.to;
        TPoints r;
        const int k = CLineTrace::Reroute(t, 4, s, c.mode, r, c.index);
        ASSERT_EQ(k, int(c.result.size())) << c.what;
        EXPECT_EQ(Pts(r, k), c.result) << c.what;
    }
}

TEST(Polyline, InsertingBeyondNinePointsIsRefusedAtEveryStep) {
    auto owned =
        Line({{0, 0}, {10, 0}, {10, 20}, {30, 20}, {30, 40}, {50, 40}, {50, 60}, {70, 60}});
    CLineTrace& line = *owned;
    const TPoints before = line.Points();
    CRecordingTrackHost host;
    host.control = true;
    for (int phase : {0, 1, 1, 2}) {
        TPoints s = line.Points();
        s[3] = {40, 30};
        line.TrackFeedback(host, 3, s, phase);
    }
    EXPECT_EQ(host.informs, QStringList(4, QStringLiteral("控制点太多，超过上限")));
    EXPECT_TRUE(host.bands.empty());
    EXPECT_EQ(line.Points(), before);
    EXPECT_EQ(line.PointCount(), 8);
    // Default mode next to an end inserts as well; in the middle it only slides.
    host.control = false;
    TPoints s = line.Points();
    s[1] = {12, 5};
    line.TrackFeedback(host, 1, s, 2);
    EXPECT_EQ(host.informs.size(), 5);
    s = line.Points();
    s[3] = {35, 25};
    line.TrackFeedback(host, 3, s, 2);
    EXPECT_EQ(host.informs.size(), 5);
    EXPECT_EQ(line.Point(3), (TPoint{35, 25}));
}

TEST(Polyline, TwoPointRouteDraggedAtItsStartStaysInsideItsPoints) {
    // The default mode's step for point n - 2 would set the entry before point 0 of a
    // two-point route; it has none, and the jog is made from the two points alone.
    TPoints t = Array({{0, 0}, {100, 0}});
    TPoints s = t;
    s[0] = {0, 40};
    TPoints r;
    ASSERT_EQ(CLineTrace::Reroute(t, 2, s, CLineTrace::kDefault, r, 0), 4);
    EXPECT_EQ(Pts(r, 4), (std::vector<TPoint>{{0, 40}, {50, 40}, {50, 0}, {100, 0}}));
}

TEST(Polyline, ModifierKeysAreReadAtEachStep) {
    // Shift moves only the point; the release without it routes by default.
    auto owned = Line({{0, 0}, {50, 0}, {50, 40}, {100, 40}});
    CLineTrace& line = *owned;
    CRecordingTrackHost host;
    host.shift = true;
    TPoints s = line.Points();
    s[1] = {60, 20};
    line.TrackFeedback(host, 1, s, 1);
    ASSERT_EQ(host.bands.size(), 1u);
    EXPECT_EQ(host.bands[0].points, (std::vector<TPoint>{{0, 0}, {60, 20}, {50, 40}, {100, 40}}));
    host.shift = false;
    line.TrackFeedback(host, 1, s, 2);
    EXPECT_EQ(Pts(line.Points(), line.PointCount()),
              (std::vector<TPoint>{{0, 0}, {30, 0}, {30, 20}, {60, 20}, {60, 40}, {100, 40}}));
}

TEST(Polyline, HitTestUsesHandlesThenSixPixelBands) {
    auto owned = Line({{0, 0}, {100, 0}, {100, 50}});
    CLineTrace& line = *owned;
    struct Case {
        TPoint p;
        int hit;
    } cases[] = {{{0, 0}, 0},          {{100, 50}, 2},      {{50, 5}, HIT_BODY},
                 {{50, -6}, HIT_BODY}, {{50, 6}, HIT_NONE}, {{105, 25}, HIT_BODY},
                 {{106, 25}, HIT_NONE}};
    for (const Case& c : cases) EXPECT_EQ(line.HitTest(c.p), c.hit) << c.p.x << "," << c.p.y;
}

TEST(GeometryText, PolylineReadingIsLenientAndBounded) {
    CLineTrace line(TRect{0, 0, 32, 32});  // (0,0),(16,0),(16,32),(32,32)
    ASSERT_TRUE(line.LoadGeometry(QStringLiteral("4,(10,20),(30,20),")));
    EXPECT_EQ(line.PointCount(), 4);
    // Point 2 keeps its coordinates (its reading starts at the text's start), point 3 reads
    // the first point again.
    EXPECT_EQ(Pts(line.Points(), 4), (std::vector<TPoint>{{10, 20}, {30, 20}, {16, 32}, {10, 20}}));
    EXPECT_EQ(line.GeometryText(), QStringLiteral("4,(10,20),(30,20),(16,32),(10,20),"));

    // Counts the items cannot hold and coordinates beyond reach are refused whole.
    const TPoints before = line.Points();
    for (const char* bad : {"12,(1,1),(2,2),", "-3,(1,1),", "1,(5,5),", "no count",
                            "2,(1,1),(99999999999,2),", "2,(1,1),(2,-2147483648),"}) {
        EXPECT_FALSE(line.LoadGeometry(QString::fromLatin1(bad))) << bad;
        EXPECT_EQ(line.Points(), before) << bad;
        EXPECT_EQ(line.PointCount(), 4) << bad;
    }
    CQuadTrace box(TRect{0, 0, 10, 10});
    EXPECT_TRUE(box.LoadGeometry(QStringLiteral("(100,50),(180,90)")));
    EXPECT_EQ(Pts(box.Points(), 4),
              (std::vector<TPoint>{{100, 50}, {180, 50}, {180, 90}, {100, 90}}));
    EXPECT_FALSE(box.LoadGeometry(QStringLiteral("(100,50),(180)")));
    EXPECT_FALSE(box.LoadGeometry(QStringLiteral("(100,50),(180,3000000)")));
    EXPECT_EQ(box.Point(2), (TPoint{180, 90}));
}

TEST(Track, EightPixelsIsAClickNineStartTheDrag) {
    struct Case {
        TPoint release;
        bool moved;
    } cases[] = {{{54, 29}, false}, {{58, 25}, false}, {{55, 29}, true}, {{41, 25}, true}};
    for (const Case& c : cases) {
        CProbeTrace item;
        CRecordingTrackHost host;
        CTrack track;
        ASSERT_TRUE(track.Begin(&item, host, {50, 25}));
        track.Move(c.release);
        track.Release(c.release);
        EXPECT_FALSE(track.Active());
        EXPECT_EQ(item.ends.size(), c.moved ? 1u : 0u) << c.release.x << "," << c.release.y;
        EXPECT_EQ(item.phases, c.moved ? (std::vector<int>{0, 2}) : std::vector<int>{});
        EXPECT_EQ(host.invalidated, 1);
        const int dx = c.moved ? c.release.x - 50 : 0, dy = c.moved ? c.release.y - 25 : 0;
        EXPECT_EQ(item.Point(0), (TPoint{dx, dy}));
    }
}

TEST(Track, PhasesRunInOrderAndACancelStillEndsTheTrack) {
    CProbeTrace item;
    CRecordingTrackHost host;
    CTrack track;
    ASSERT_TRUE(track.Begin(&item, host, {100, 50}));  // corner 2
    track.Move({120, 60});
    track.Move({130, 70});
    track.Move({140, 80});
    EXPECT_EQ(item.phases, (std::vector<int>{0, 1, 1}));
    // Phase 0 shows the unchanged outline (with the press point as the corner).
    EXPECT_EQ(host.bands.front().points,
              (std::vector<TPoint>{{0, 0}, {100, 0}, {100, 50}, {0, 50}}));
    EXPECT_EQ(host.bands.back().points,
              (std::vector<TPoint>{{0, 0}, {140, 0}, {140, 80}, {0, 80}}));
    track.Cancel();  // Escape, right button or lost capture
    EXPECT_EQ(item.ends, (std::vector<int>{2}));
    EXPECT_EQ(item.Point(2), (TPoint{100, 50}));
    EXPECT_FALSE(host.captured);

    // A press that misses, or a pointer held by another window, starts nothing.
    EXPECT_FALSE(track.Begin(&item, host, {300, 300}));
    host.captureFree = false;
    EXPECT_FALSE(track.Begin(&item, host, {50, 25}));
    EXPECT_FALSE(track.Active());
}

class BoxTest : public ::testing::Test {
  protected:
    CFakeDevice device;
    std::unique_ptr<CComponentTrace> Box(const QString& name, const TRect& r,
                                         const std::vector<SlotRec>& records) {
        device.SetRecords(12, name, SlotReply(name, records));
        auto box = std::make_unique<CComponentTrace>(device, name, r);
        box->LoadFromDevice();
        return box;
    }
};

TEST_F(BoxTest, SlotsSitOnTheirEdgesInReverseReplyOrder) {
    device.SetValue(QStringLiteral("与门-1"), QStringLiteral("用户注释"), QStringLiteral("门"));
    auto box =
        Box(QStringLiteral("与门-1"), {100, 50, 180, 90}, {{3, 0, "a"}, {1, 4, "in"}, {3, 4, "b"}});
    ASSERT_EQ(box->SendSlots().size(), 2u);
    EXPECT_EQ(box->SendSlots()[0]->name, QStringLiteral("与门-1:b"));  // last in the reply: top
    EXPECT_EQ(box->SendSlots()[0]->rect, (TRect{169, 58, 180, 68}));
    EXPECT_EQ(box->SendSlots()[1]->rect, (TRect{169, 71, 180, 81}));
    ASSERT_EQ(box->ReceiveSlots().size(), 1u);
    EXPECT_EQ(box->ReceiveSlots()[0]->rect, (TRect{100, 65, 111, 75}));
    EXPECT_TRUE(box->ReceiveSlots()[0]->flag);
    EXPECT_EQ(box->Body().rect, (TRect{110, 50, 170, 90}));
    EXPECT_EQ(box->Body().dataType, 1);
    EXPECT_EQ(box->Comment(), QStringLiteral("门"));

    // Drawing order: body, send slots, receive slots, selected part, handles, label, comment.
    box->SetSelected(true);
    box->SetSelectedPart(box->SendSlots()[1].get());
    CRecordingSurface s;
    s.wrappedHeight = 30;
    box->Draw(s);
    EXPECT_EQ(s.order, QStringList({"rect", "rect", "rect", "rect", "rect", "fill", "fill", "fill",
                                    "fill", "text", "wrapped"}));
    EXPECT_EQ(s.rects[1].fill, (TRgb{222, 255, 222}));  // flagged slot
    EXPECT_EQ(s.rects[0].fill, (TRgb{255, 255, 152}));
    EXPECT_EQ(s.rects[4].pen, (TPen{{0, 255, 0}, 2, TPenStyle::Solid}));
    EXPECT_EQ(s.texts[0].at, (TPoint{100, 34}));
    // A 30-pixel block in the 40-pixel box: 5 pixels in at the top and the bottom.
    EXPECT_EQ(s.wrapped[0].area, (TRect{111, 55, 169, 85}));
    // Taller than the box: centred on its middle, overflowing.
    EXPECT_EQ(CComponentTrace::CommentArea(*box, 60), (TRect{111, 40, 169, 100}));
}

TEST_F(BoxTest, PartsAreFoundByPointAndByName) {
    auto box = Box(QStringLiteral("与门-1"), {100, 50, 180, 90}, {{3, 0, "a"}, {1, 0, "in"}});
    T_COMPONENT_INFO* send = box->SendSlots()[0].get();
    T_COMPONENT_INFO* receive = box->ReceiveSlots()[0].get();
    const T_COMPONENT_INFO* body = &box->Body();
    struct PointCase {
        TPoint p;
        const T_COMPONENT_INFO* part;
    } points[] = {{{175, 70}, send},    {{179, 74}, send}, {{180, 70}, body}, {{181, 70}, nullptr},
                  {{105, 70}, receive}, {{140, 70}, body}, {{92, 42}, body},  {{300, 70}, nullptr}};
    for (const PointCase& c : points) EXPECT_EQ(box->PartAt(c.p), c.part) << c.p.x << "," << c.p.y;
    struct NameCase {
        const char* name;
        const T_COMPONENT_INFO* part;
    } names[] = {{"与门-1", body},      {"与门-1:a", send},  {"与门-1:in", receive},
                 {"与门-1:x", nullptr}, {"与门-2", nullptr}, {"与门-2:a", nullptr}};
    for (const NameCase& c : names)
        EXPECT_EQ(box->FindPart(QString::fromUtf8(c.name)), c.part) << c.name;
}

TEST_F(BoxTest, UnreadableSlotsLeaveABoxWithoutSlotsOrComment) {
    device.SetValue(QStringLiteral("计数器-1"), QStringLiteral("用户注释"), QStringLiteral("x"));
    CComponentTrace box(device, QStringLiteral("计数器-1"), {0, 0, 80, 40});
    box.LoadFromDevice();  // no slot-info reply scripted: refused
    EXPECT_TRUE(box.SendSlots().empty());
    EXPECT_TRUE(box.Comment().isEmpty());
    EXPECT_EQ(device.m_printed, QStringList({QStringLiteral("获取组件（计数器-1）槽位出错")}));
    EXPECT_EQ(box.Body().dataType, 0);
    EXPECT_FALSE(box.Body().flag);
}

TEST_F(BoxTest, DragWritesTheRectangleAndLaysOutTheSlots) {
    auto box = Box(QStringLiteral("与门-1"), {100, 50, 180, 90}, {{3, 0, "a"}});
    CRecordingTrackHost host;
    CTrack track;
    ASSERT_TRUE(track.Begin(box.get(), host, {140, 70}));
    track.Move({160, 90});
    track.Release({160, 90});
    EXPECT_EQ(device.m_log.last(),
              QStringLiteral("SetAttributeVal 与门-1.区域位置=(120,70),(200,110)"));
    EXPECT_EQ(box->SendSlots()[0]->rect, (TRect{189, 85, 200, 95}));
    EXPECT_EQ(box->Body().rect, (TRect{130, 70, 190, 110}));
}

TEST(Link, CreationWritesRouteSlotsAndTheAttributeLinkInOrder) {
    CFakeDevice device;
    T_COMPONENT_INFO from{T_COMPONENT_INFO::kSend, 1, true, {169, 58, 180, 68}, "与门-1:输出"};
    T_COMPONENT_INFO to{
        T_COMPONENT_INFO::kReceive, 1, true, {300, 95, 311, 105}, "计数器-1:计数输入"};
    auto link = CConnectTrace::CreateLink(device, &from, &to);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->Name(), QStringLiteral("槽位连接线-1"));
    EXPECT_EQ(device.m_log,
              QStringList(
                  {"Text 10 槽位连接线.",
                   "SetAttributeVal 槽位连接线-1.区域位置=4,(174,63),(239,63),(239,100),(305,100),",
                   "SetAttributeVal 槽位连接线-1.发送槽位=与门-1:输出",
                   "SetAttributeVal 槽位连接线-1.接收槽位=计数器-1:计数输入",
                   "SetAttributeLink 计数器-1.计数输入=与门-1:输出"}));
    EXPECT_TRUE(link->Flagged());
    EXPECT_EQ(link->LinePen().color, (TRgb{96, 178, 96}));
    EXPECT_EQ(link->FromSlot(), &from);

    // No link component: nothing written for it.
    device.m_log.clear();
    device.FallSilentAfter(0);
    EXPECT_FALSE(CConnectTrace::CreateLink(device, &from, &to));
    EXPECT_EQ(device.m_log.size(), 1);
}

TEST(Link, OnlyInteriorPointsDragButEveryDragRewritesTheRoute) {
    CFakeDevice device;
    CConnectTrace link(device, false, {0, 0, 32, 32}, QStringLiteral("槽位连接线-3"));
    ASSERT_TRUE(link.LoadGeometry(QStringLiteral("4,(0,0),(50,0),(50,40),(100,40),")));
    for (TPoint press : {TPoint{0, 0}, TPoint{100, 40}, TPoint{25, 0}}) {
        CRecordingTrackHost host;
        CTrack track;
        ASSERT_TRUE(track.Begin(&link, host, press));
        track.Move({press.x + 30, press.y + 30});
        track.Release({press.x + 30, press.y + 30});
        EXPECT_TRUE(host.bands.empty());
    }
    EXPECT_EQ(
        device.m_log,
        QStringList(3, "SetAttributeVal 槽位连接线-3.区域位置=4,(0,0),(50,0),(50,40),(100,40),"));
    // An interior point follows the default routing.
    CRecordingTrackHost host;
    CTrack track;
    ASSERT_TRUE(track.Begin(&link, host, {50, 20}));  // on the vertical segment: the body
    track.Release({50, 20});
    ASSERT_TRUE(track.Begin(&link, host, {50, 40}));  // point 2
    track.Move({70, 60});
    track.Release({70, 60});
    EXPECT_EQ(link.GeometryText(),
              QStringLiteral("6,(0,0),(70,0),(70,60),(85,60),(85,40),(100,40),"));
}

TEST(Link, FollowSlotsMovesOnlyTheEndsThatLeftTheirSlots) {
    CFakeDevice device;
    T_COMPONENT_INFO from{T_COMPONENT_INFO::kSend, 1, false, {169, 58, 180, 68}, "a-1:o"};
    T_COMPONENT_INFO to{T_COMPONENT_INFO::kReceive, 1, false, {300, 95, 311, 105}, "b-1:i"};
    CConnectTrace link(device, false, {0, 0, 32, 32}, QStringLiteral("槽位连接线-1"));
    ASSERT_TRUE(link.LoadGeometry(QStringLiteral("4,(174,63),(239,63),(239,100),(305,100),")));
    link.SetSlots(&from, &to);
    link.FollowSlots();
    EXPECT_TRUE(device.m_log.isEmpty());

    from.rect = {169, 78, 180, 88};  // the box moved 20 down
    link.FollowSlots();
    EXPECT_EQ(Pts(link.Points(), 4),
              (std::vector<TPoint>{{174, 83}, {239, 83}, {239, 100}, {305, 100}}));
    EXPECT_EQ(
        device.m_log,
        QStringList(
            {"SetAttributeVal 槽位连接线-1.区域位置=4,(174,83),(239,83),(239,100),(305,100),"}));

    // A straight two-point link gets two corner points.
    ASSERT_TRUE(link.LoadGeometry(QStringLiteral("2,(174,83),(305,83),")));
    to.rect = {300, 120, 311, 130};
    link.FollowSlots();
    EXPECT_EQ(Pts(link.Points(), link.PointCount()),
              (std::vector<TPoint>{{174, 83}, {239, 83}, {239, 125}, {305, 125}}));

    // Without both slots nothing follows.
    link.SetSlots(&from, nullptr);
    from.rect = {0, 0, 11, 10};
    link.FollowSlots();
    EXPECT_EQ(link.Point(0), (TPoint{174, 83}));
}

TEST(Link, RemovalUnlinksTheReceiveSlotThenDeletesTheComponent) {
    CFakeDevice device;
    T_COMPONENT_INFO to{T_COMPONENT_INFO::kReceive, 1, false, {0, 0, 11, 10}, "计数器-1:计数输入"};
    CConnectTrace link(device, false, {0, 0, 32, 32}, QStringLiteral("槽位连接线-2"));
    link.SetSlots(nullptr, &to);
    link.RemoveFromDevice();
    EXPECT_EQ(device.m_log,
              QStringList({"SetAttributeLink 计数器-1.计数输入=", "DelComponent 槽位连接线-2"}));
    // A link whose receive slot no box has: the device's own record of it is unlinked.
    device.m_log.clear();
    device.SetValue(QStringLiteral("槽位连接线-2"), QStringLiteral("接收槽位"),
                    QStringLiteral("x-1:y"));
    link.SetSlots(nullptr, nullptr);
    link.RemoveFromDevice();
    EXPECT_EQ(device.m_log, QStringList({"Text 4 槽位连接线-2.接收槽位",
                                         "SetAttributeLink x-1.y=", "DelComponent 槽位连接线-2"}));
}

TEST(Link, ListsUseOnlyEntriesEndedBySemicolons) {
    EXPECT_EQ(CConnectTrace::SplitList(QStringLiteral("a-1;b-2")), QStringList({"a-1"}));
    EXPECT_EQ(CConnectTrace::SplitList(QStringLiteral("a-1;b-2;")), QStringList({"a-1", "b-2"}));
    EXPECT_TRUE(CConnectTrace::SplitList(QString()).isEmpty());
    EXPECT_EQ(SeparateFullName(QStringLiteral("a-1:b.c")).attribute, QStringLiteral("b.c"));
    EXPECT_EQ(SeparateFullName(QStringLiteral("a-1.b")).component, QStringLiteral("a-1"));
}

}  // namespace
