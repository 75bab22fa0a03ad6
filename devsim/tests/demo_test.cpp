// The demo configurations as the diagram editor reads them from the device: boxes from their
// rectangle texts, slots from the slot-info reply, links from the link components.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "diagram/geometry/slot_layout.h"
#include "diagram/geometry/trace_text.h"
#include "text.h"
#include "wire.h"

namespace devsim::test {
namespace {

namespace geo = kvs::geometry;

constexpr const char* kLinkType = "槽位连接线";

struct Segment {
    geo::TPoint a, b;
};

// What the editor would draw: boxes with their slot rectangles, and links with their routes.
struct Diagram {
    std::map<std::string, geo::TRect> boxes;
    std::map<std::string, geo::TRect> slots;  // by full name "component:slot"
    struct Link {
        std::string name, from, to;
        int count = 0;
        geo::TPoint points[geo::kMaxTracePoints];
    };
    std::vector<Link> links;
    int comments = 0;
};

std::string Val(const Device& d, const std::string& c, const std::string& a) {
    std::string v;
    return d.GetValue(c, a, &v) ? v : "<none>";
}

Diagram Read(Device& d) {
    Diagram g;
    for (const auto& name : d.ListComponents()) {
        if (name == "组件管理器" || name.rfind(kLinkType, 0) == 0) continue;
        geo::TRect box;
        EXPECT_TRUE(geo::ParseRectText(Val(d, name, "区域位置"), &box)) << name;
        g.boxes[name] = box;
        g.comments += !Val(d, name, "用户注释").empty();
        // Slots as the box lays them out: each edge lists the reply's slots in reverse.
        Reply r = Ask(d, Request(kvs::kCmdSlotInfo, {name}));
        EXPECT_EQ(r.status(), 0) << name;
        std::vector<std::string> edge[2];
        for (const auto& rec : r.Records())
            if (rec.kind == 3 && (rec.role == 1 || rec.role == 3))
                edge[rec.role == 3].insert(edge[rec.role == 3].begin(), rec.texts[0]);
        for (int send = 0; send < 2; ++send) {
            int m = static_cast<int>(edge[send].size());
            for (int k = 1; k <= m; ++k)
                g.slots[name + ":" + edge[send][k - 1]] =
                    geo::SlotRect(box, send ? geo::SlotEdge::kSend : geo::SlotEdge::kReceive, k, m);
        }
    }
    for (const auto& name : SplitList(Val(d, kLinkType, "创建的组件"))) {
        Diagram::Link l;
        l.name = name;
        l.from = Val(d, name, "发送槽位");
        l.to = Val(d, name, "接收槽位");
        EXPECT_TRUE(geo::ParsePolylineText(Val(d, name, "区域位置"), l.points, &l.count)) << name;
        g.links.push_back(l);
    }
    return g;
}

bool Overlap(const geo::TRect& a, const geo::TRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Whether two axis-parallel segments cross or touch.
bool Meet(const Segment& s, const Segment& t) {
    auto lo = [](int a, int b) { return std::min(a, b); };
    auto hi = [](int a, int b) { return std::max(a, b); };
    return lo(s.a.x, s.b.x) <= hi(t.a.x, t.b.x) && lo(t.a.x, t.b.x) <= hi(s.a.x, s.b.x) &&
           lo(s.a.y, s.b.y) <= hi(t.a.y, t.b.y) && lo(t.a.y, t.b.y) <= hi(s.a.y, s.b.y);
}

struct DemoCase {
    const char* name;
    std::function<std::unique_ptr<Device>()> make;
    size_t boxes, links;
    bool no_crossings;  // links neither cross each other nor pass through boxes
};

class DemoDiagram : public ::testing::TestWithParam<DemoCase> {};

TEST_P(DemoDiagram, BoxesStandApartOnTheDiagramAndFlowLeftToRight) {
    auto dev = GetParam().make();
    Diagram g = Read(*dev);
    ASSERT_EQ(g.boxes.size(), GetParam().boxes);
    EXPECT_GE(g.comments, 2);
    for (auto i = g.boxes.begin(); i != g.boxes.end(); ++i) {
        const geo::TRect& r = i->second;
        EXPECT_TRUE(r.left >= 0 && r.top >= 16 && r.right <= 1600 && r.bottom <= 1200 &&
                    r.right - r.left >= 80 && r.bottom - r.top >= 40)
            << i->first << " " << geo::FormatRectText(r);
        // The label stands 16 pixels above the box; keep a gap of 10 around both.
        for (auto j = std::next(i); j != g.boxes.end(); ++j) {
            geo::TRect a{r.left - 10, r.top - 26, r.right + 10, r.bottom + 10};
            EXPECT_FALSE(Overlap(a, j->second)) << i->first << " and " << j->first;
        }
    }
    ASSERT_EQ(g.links.size(), GetParam().links);
    for (const auto& l : g.links) {
        std::string comp, slot;
        ASSERT_TRUE(SplitFullName(l.from, &comp, &slot)) << l.name;
        const geo::TRect& from_box = g.boxes.at(comp);
        ASSERT_TRUE(SplitFullName(l.to, &comp, &slot)) << l.name;
        EXPECT_LT(from_box.right, g.boxes.at(comp).left) << l.name;
    }
}

TEST_P(DemoDiagram, LinksAreLinkComponentsRoutedAsTheEditorMakesThem) {
    auto dev = GetParam().make();
    Diagram g = Read(*dev);
    std::map<std::string, int> receivers;
    for (const auto& l : g.links) {
        ASSERT_TRUE(g.slots.count(l.from) && g.slots.count(l.to)) << l.name;
        auto route = geo::InitialLinkRoute(g.slots[l.from], g.slots[l.to]);
        ASSERT_EQ(l.count, 4) << l.name;
        EXPECT_TRUE(std::equal(route.begin(), route.end(), l.points)) << l.name;
        EXPECT_TRUE(geo::Contains(g.slots[l.from], l.points[0]));
        EXPECT_TRUE(geo::Contains(g.slots[l.to], l.points[3]));
        // The dataflow link behind the drawing.
        std::string comp, slot;
        ASSERT_TRUE(SplitFullName(l.to, &comp, &slot));
        EXPECT_EQ(dev->GetLink(comp, slot), l.from) << l.name;
        EXPECT_EQ(++receivers[l.to], 1) << l.to << " drawn twice";
    }
    if (!GetParam().no_crossings) return;
    std::vector<std::pair<size_t, Segment>> segments;
    for (size_t i = 0; i < g.links.size(); ++i)
        for (int p = 1; p < g.links[i].count; ++p)
            segments.push_back({i, {g.links[i].points[p - 1], g.links[i].points[p]}});
    for (size_t s = 0; s < segments.size(); ++s) {
        const auto& [li, seg] = segments[s];
        const auto& link = g.links[li];
        for (size_t t = s + 1; t < segments.size(); ++t) {
            const auto& [lj, other] = segments[t];
            // Links from the same send slot share their first point.
            if (li == lj || g.links[lj].from == link.from) continue;
            EXPECT_FALSE(Meet(seg, other)) << link.name << " meets " << g.links[lj].name;
        }
        for (const auto& [name, box] : g.boxes) {
            if (link.from.rfind(name + ":", 0) == 0 || link.to.rfind(name + ":", 0) == 0) continue;
            Segment edges[] = {{{box.left, box.top}, {box.right, box.top}},
                               {{box.left, box.bottom}, {box.right, box.bottom}},
                               {{box.left, box.top}, {box.left, box.bottom}},
                               {{box.right, box.top}, {box.right, box.bottom}}};
            for (const auto& e : edges)
                EXPECT_FALSE(Meet(seg, e)) << link.name << " runs into " << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Demos, DemoDiagram,
    ::testing::Values(DemoCase{"small", [] { return Device::CreateDemo(Quiet()); }, 7, 6, true},
                      DemoCase{"large", [] { return Device::CreateLargeDemo(Quiet()); }, 120, 120,
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LargeDemo, StillListsItsWholeTreeInOneReply) {
    auto dev = Device::CreateLargeDemo(Quiet());
    Reply r = Ask(*dev, Request(kvs::kCmdTree, {}, 0, {}, 0));
    ASSERT_EQ(r.status(), 0);
    EXPECT_EQ(r.Records().size(), dev->ListTypes().size() + 240);
}

}  // namespace
}  // namespace devsim::test
