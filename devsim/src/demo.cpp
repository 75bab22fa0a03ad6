// The demo configurations: a small dataflow drawn as a readable diagram, and a large one of 120
// components and 120 links for measuring the diagram editor. Boxes carry their rectangle text
// in "区域位置"; links are link components made in the order the diagram editor makes them.
#include <algorithm>
#include <string>
#include <vector>

#include "diagram/geometry/slot_layout.h"
#include "diagram/geometry/trace_text.h"
#include "kvsh_vocab.h"
#include "model.h"
#include "schema.h"

namespace devsim {

namespace geo = kvs::geometry;

namespace {

// A component script with one input and one output (the large demo's user components).
constexpr const char* kPassScript = "input 输入\noutput 输出\n输出 = 输入\n";

// Where the diagram draws a slot of a box: the box's rectangle text and the slot's place among
// the slots of its edge. An empty rectangle when there is no such slot or box.
geo::TRect SlotRectOf(const Component* c, const std::string& slot) {
    const Attr* a = c ? c->Find(slot) : nullptr;
    const Attr* area = c ? c->Find(KVS_ATTR_AREA) : nullptr;
    geo::TRect box;
    if (!a || a->role == kPlain || !area || !geo::ParseRectText(area->value, &box)) return {};
    // The slot-info reply lists the slots in attribute order; each edge counts its own.
    int index = -1, count = 0;
    for (const auto& other : c->attrs) {
        if (other.role != a->role) continue;
        if (&other == a) index = count;
        ++count;
    }
    return geo::SlotRect(box, a->role == kSend ? geo::SlotEdge::kSend : geo::SlotEdge::kReceive,
                         geo::SlotListPosition(index, count), count);
}

}  // namespace

bool Model::AddDiagramLink(const std::string& from_comp, const std::string& from_slot,
                           const std::string& to_comp, const std::string& to_slot) {
    const std::string from = from_comp + ":" + from_slot, to = to_comp + ":" + to_slot;
    auto route = geo::InitialLinkRoute(SlotRectOf(FindComponent(from_comp), from_slot),
                                       SlotRectOf(FindComponent(to_comp), to_slot));
    std::string link;
    return AddComponent(kLinkType, &link) == kOk &&
           SetValue(link, KVS_ATTR_AREA, geo::FormatPolylineText(route)) == kOk &&
           SetValue(link, KVS_ATTR_LINK_SEND, from) == kOk &&
           SetValue(link, KVS_ATTR_LINK_RECEIVE, to) == kOk &&
           SetLink(to_comp, to_slot, from) == kOk;
}

void Model::LoadDemo() {
    Clear();
    struct Box {
        const char* type;
        int number;
        int x, y;
        const char* extra;  // further attribute lines of the section
    };
    // A timer gated by a switch counts pulses; an expression scales the count with a slow
    // signal generator, and a user script flags counts above a threshold. Sources on the left,
    // results on the right; each box stands where its links need no crossing (a box lists its
    // first slot at the bottom of its edge).
    const Box boxes[] = {
        {"定时器", 5, 60, 260, "启用定时器=true\n定时周期_ms=100\n用户注释=100 ms 脉冲\n"},
        {"开关", 1, 60, 150, "开关状态=true\n用户注释=使能\n"},
        {"与门", 1, 260, 205, ""},
        {"计数器", 1, 460, 195, "计数上限=10\n用户注释=数到 10 溢出\n"},
        {"信号发生器", 2, 60, 40, "启动频率_KHz=0.002\n波形类型=正弦波\n幅值=5\n"},
        {"表达式运算", 1, 660, 40, "输入槽位个数=2\n运算表达式=x1*2+x2\n用户注释=计数×2+波形\n"},
        {"用户自定义组件", 1, 660, 260,
         "脚本代码=// 计数超过阈值时输出1\\ninput 计数\\noutput 超限\\nattr 阈值 = 5\\n"
         "if 计数 > 阈值 then\\n    超限 = 1\\nelse\\n    超限 = 0\\nend\\n\n"
         "用户注释=计数超过阈值时输出 1\n"},
    };
    std::string text =
        "KVS配置 "
        "1\n[组件管理器]\n采样点列表=定时器-5.输出;开关-1.输出;与门-1.输出;计数器-1.溢出;\n";
    for (const auto& b : boxes) {
        text += std::string("[") + b.type + "-" + std::to_string(b.number) + "]\n" + KVS_ATTR_AREA +
                "=" + geo::FormatRectText({b.x, b.y, b.x + 120, b.y + 60}) + "\n" + b.extra;
    }
    if (!ImportConfig(text, nullptr)) return;

    struct Wire {
        const char *from, *from_slot, *to, *to_slot;
    };
    const Wire wires[] = {
        {"定时器-5", "输出", "与门-1", "输入1"},
        {"开关-1", "输出", "与门-1", "输入2"},
        {"与门-1", "输出", "计数器-1", "计数输入"},
        {"计数器-1", "计数值", "表达式运算-1", "输入1"},
        {"信号发生器-2", "输出", "表达式运算-1", "输入2"},
        {"计数器-1", "计数值", "用户自定义组件-1", "计数"},
    };
    for (const auto& w : wires)
        if (!AddDiagramLink(w.from, w.from_slot, w.to, w.to_slot)) return;
    for (auto& slot : slots_) slot.clear();
    slots_[0] = ExportConfig();  // the demo is what the device loads at a restart
}

void Model::LoadLargeDemo() {
    Clear();
    // 120 boxes in 12 columns of 10 on a 1600 x 1200 diagram. The first column holds sources,
    // and every fifth box of the later ones. Every box with receive slots takes its top one from
    // the box to its left; second slots, spread over the diagram, take the box below that one,
    // until there are 120 links.
    constexpr int kColumns = 12, kRows = 10, kLinks = 120;
    struct Pool {
        const char* type;
        int count;
    };
    // Each list is taken in turn, one of each type at a time.
    auto take_turns = [](std::vector<Pool> pools) {
        std::vector<std::string> out;
        for (bool more = true; more;) {
            more = false;
            for (auto& p : pools) {
                if (p.count == 0) continue;
                --p.count;
                out.push_back(p.type);
                more = true;
            }
        }
        return out;
    };
    const auto first = take_turns({{"定时器", 8}, {"信号发生器", 2}});
    const auto sources = take_turns({{"开关", 8}, {"数值常量", 12}, {"信号发生器", 2}});
    const auto gates = take_turns({{"非门", 16},
                                   {"与门", 16},
                                   {"或门", 16},
                                   {"异或门", 16},
                                   {"计数器", 8},
                                   {"表达式运算", 8},
                                   {"用户自定义组件", 8}});
    std::vector<std::string> types = first;
    for (size_t i = 0, s = 0, g = 0; types.size() < kColumns * kRows; ++i)
        types.push_back(i % 5 == 4 && s < sources.size() ? sources[s++] : gates[g++]);

    std::string grid[kColumns][kRows];
    for (int col = 0; col < kColumns; ++col) {
        for (int row = 0; row < kRows; ++row) {
            const std::string& type = types[col * kRows + row];
            std::string name;
            if (AddComponent(type, &name) != kOk) return;
            int x = 30 + col * 130, y = 30 + row * 115;
            SetValue(name, KVS_ATTR_AREA, geo::FormatRectText({x, y, x + 80, y + 40}));
            if (type == "用户自定义组件") SetValue(name, "脚本代码", kPassScript);
            grid[col][row] = name;
        }
    }
    SetValue(grid[0][0], KVS_ATTR_COMMENT, "信号源");
    SetValue(grid[kColumns - 1][0], KVS_ATTR_COMMENT, "最后一列");

    // Slots of one role in the order the box shows them from the top.
    auto slots_from_top = [&](const std::string& comp, uint8_t role) {
        std::vector<std::string> out;
        for (const auto& a : FindComponent(comp)->attrs)
            if (a.role == role) out.insert(out.begin(), a.name);
        return out;
    };
    // The k-th receive slot (from the top) of the box at col, row from the box k rows below
    // its left neighbour.
    auto link = [&](int col, int row, size_t k) {
        const std::string& src = grid[col - 1][row + k];
        return AddDiagramLink(src, slots_from_top(src, kSend).back(), grid[col][row],
                              slots_from_top(grid[col][row], kReceive)[k]);
    };
    int links = 0;
    std::vector<std::pair<int, int>> seconds;
    for (int row = 0; row < kRows; ++row) {
        for (int col = 1; col < kColumns; ++col) {
            size_t inputs = slots_from_top(grid[col][row], kReceive).size();
            if (inputs == 0) continue;
            if (!link(col, row, 0)) return;
            ++links;
            if (inputs > 1 && row + 1 < kRows) seconds.emplace_back(col, row);
        }
    }
    const int more = std::min<int>(kLinks - links, static_cast<int>(seconds.size()));
    for (int i = 0; i < more; ++i) {
        auto [col, row] = seconds[static_cast<size_t>(i) * seconds.size() / more];
        if (!link(col, row, 1)) return;
    }
    for (auto& slot : slots_) slot.clear();
    slots_[0] = ExportConfig();
}

}  // namespace devsim
