// The demo configuration.
#include "diagram/geometry/slot_layout.h"
#include "diagram/geometry/trace_text.h"
#include "model.h"
#include "schema.h"

namespace devsim {

namespace geo = kvs::geometry;

void Model::LoadDemo() {
    Clear();
    struct Box {
        const char* type;
        int number;
        int x, y;
        const char* extra;  // further attribute lines of the section
    };
    // A timer gated by a switch counts pulses; an expression scales the count with a slow
    // signal generator, and a user script flags counts above a threshold.
    const Box boxes[] = {
        {"定时器", 5, 60, 80, "启用定时器=true\n定时周期_ms=100\n"},
        {"开关", 1, 60, 200, "开关状态=true\n用户注释=使能\n"},
        {"与门", 1, 240, 120, ""},
        {"计数器", 1, 400, 120, "计数上限=10\n"},
        {"信号发生器", 2, 400, 260, "启动频率_KHz=0.002\n波形类型=正弦波\n幅值=5\n"},
        {"表达式运算", 1, 580, 180, "输入槽位个数=2\n运算表达式=x1*2+x2\n用户注释=计数×2+波形\n"},
        {"用户自定义组件", 1, 580, 60,
         "脚本代码=// 计数超过阈值时输出1\\ninput 计数\\noutput 超限\\nattr 阈值 = 5\\n"
         "if 计数 > 阈值 then\\n    超限 = 1\\nelse\\n    超限 = 0\\nend\\n\n"},
    };
    std::string text =
        "KVS配置 "
        "1\n[组件管理器]\n采样点列表=定时器-5.输出;开关-1.输出;与门-1.输出;计数器-1.溢出;\n";
    for (const auto& b : boxes) {
        std::string rect = geo::FormatRectText({b.x, b.y, b.x + 80, b.y + 40});
        text += std::string("[") + b.type + "-" + std::to_string(b.number) + "]\n区域位置=" + rect +
                "\n" + b.extra;
    }
    if (!ImportConfig(text, nullptr)) return;

    struct Wire {
        const char* from;
        const char* from_slot;
        int from_idx, from_count;
        const char* to;
        const char* to_slot;
        int to_idx, to_count;
    };
    const Wire wires[] = {
        {"定时器-5", "输出", 0, 1, "与门-1", "输入1", 0, 2},
        {"开关-1", "输出", 0, 1, "与门-1", "输入2", 1, 2},
        {"与门-1", "输出", 0, 1, "计数器-1", "计数输入", 0, 2},
        {"计数器-1", "计数值", 0, 2, "表达式运算-1", "输入1", 0, 2},
        {"信号发生器-2", "输出", 0, 2, "表达式运算-1", "输入2", 1, 2},
        {"计数器-1", "计数值", 0, 2, "用户自定义组件-1", "计数", 0, 1},
    };
    auto box_of = [&](const char* name, int* l, int* t) {
        for (const auto& b : boxes) {
            if (std::string(b.type) + "-" + std::to_string(b.number) == name) {
                *l = b.x;
                *t = b.y;
            }
        }
    };
    for (const auto& w : wires) {
        int fl = 0, ft = 0, tl = 0, tt = 0;
        box_of(w.from, &fl, &ft);
        box_of(w.to, &tl, &tt);
        geo::TRect f = geo::SlotRect({fl, ft, fl + 80, ft + 40}, geo::SlotEdge::kSend,
                                     geo::SlotListPosition(w.from_idx, w.from_count), w.from_count);
        geo::TRect t = geo::SlotRect({tl, tt, tl + 80, tt + 40}, geo::SlotEdge::kReceive,
                                     geo::SlotListPosition(w.to_idx, w.to_count), w.to_count);
        std::string route = geo::FormatPolylineText(geo::InitialLinkRoute(f, t));
        std::string link;
        if (AddComponent(kLinkType, &link) != kOk) return;
        std::string from = std::string(w.from) + ":" + w.from_slot,
                    to = std::string(w.to) + ":" + w.to_slot;
        SetValue(link, "区域位置", route);
        SetValue(link, "发送槽位", from);
        SetValue(link, "接收槽位", to);
        SetLink(w.to, w.to_slot, from);
    }
    for (auto& slot : slots_) slot.clear();
    slots_[0] = ExportConfig();  // the demo is what the device loads at a restart
}

}  // namespace devsim
