// Messages the device sends unasked: monitor events of the watched attributes (command 20) and
// information lines (command 100).
#include "kvsh_vocab.h"
#include "model.h"
#include "text.h"

namespace devsim {

void Model::Info(int8_t level, const std::string& text) {
    if (!out_.empty() && out_.back().cmd == KVS_UNSOLICITED_INFO_LINES &&
        out_.back().lines.size() < 32) {
        out_.back().lines.emplace_back(level, text);
        return;
    }
    Unsolicited u;
    u.cmd = KVS_UNSOLICITED_INFO_LINES;
    u.lines.emplace_back(level, text);
    out_.push_back(std::move(u));
}

std::vector<Unsolicited> Model::TakeUnsolicited() {
    std::vector<Unsolicited> out;
    out.swap(out_);
    return out;
}

void Model::CheckMonitors() {
    const std::string& table = comps_.front()->Find(KVS_ATTR_MONITOR_TABLE)->value;
    if (table.empty() && monitor_table_seen_.empty()) return;
    auto entries = SplitList(table);
    bool fresh = table != monitor_table_seen_;
    if (fresh) {
        monitor_table_seen_ = table;
        monitor_last_.assign(entries.size(), std::string());
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        size_t at = e.find('@');
        if (at == std::string::npos) continue;
        std::string full = e.substr(0, at), cond = e.substr(at + 1), sc, sa, v;
        if (!SplitFullName(full, &sc, &sa) || GetValue(sc, sa, &v) != kOk) continue;
        std::string& last = monitor_last_[i];
        bool fire = false;
        if (fresh) {
            // A new table starts from the current values; only later changes are events.
        } else if (cond == "change") {
            fire = v != last;
        } else {
            fire = v == cond && last != cond;
        }
        last = v;
        if (fire) {
            Unsolicited u;
            u.cmd = KVS_UNSOLICITED_MONITOR_EVENT;
            u.name = full;
            u.value = v;
            out_.push_back(std::move(u));
        }
    }
}

}  // namespace devsim
