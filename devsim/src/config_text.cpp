// The configuration text of commands 14/15 and project files: "KVS配置 1", then one "[name]"
// section per component with "attribute=value" lines and "@slot=comp:slot" links.
#include <algorithm>

#include "kvsh_vocab.h"
#include "model.h"
#include "schema.h"
#include "text.h"

namespace devsim {

namespace {

std::string Escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string* out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            *out += s[i];
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '\\':
                *out += '\\';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            default:
                return false;
        }
    }
    return true;
}

std::string Line(int n, const std::string& what) {
    return "第" + std::to_string(n) + "行: " + what;
}

}  // namespace

std::string Model::ExportConfig() const {
    std::string out = "KVS配置 1\n";
    for (const auto& c : comps_) {
        if (c->kind == Kind::kTypeNode) continue;
        out += "[" + c->name + "]\n";
        for (const auto& a : c->attrs) {
            if (a.role == kReceive) {
                if (!a.link.empty())
                    out += "@" + a.name + "=" + Escape(a.link) + "\n";
                else
                    out += a.name + "=" + Escape(a.value) + "\n";
                continue;
            }
            if (!a.persist || (a.flags & kReadOnly) || a.type == kCommand || a.type == kMemory)
                continue;
            out += a.name + "=" + Escape(a.value) + "\n";
        }
    }
    return out;
}

bool Model::ImportInto(const std::string& text, std::string* error) {
    // Parses into this (fresh) model; the caller swaps it in only when everything was valid.
    struct LinkLine {
        int line;
        std::string comp, slot, source;
    };
    std::vector<LinkLine> links;
    Component* cur = nullptr;
    size_t pos = 0;
    int lineno = 0;
    bool header = false;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        ++lineno;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!header) {
            if (line != "KVS配置 1") {
                *error = Line(lineno, "不是配置文本 (缺少 \"KVS配置 1\")");
                return false;
            }
            header = true;
            continue;
        }
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                *error = Line(lineno, "错误的组件行");
                return false;
            }
            std::string name = line.substr(1, line.size() - 2);
            if (name == kManager) {
                cur = comps_.front().get();
                continue;
            }
            size_t dash = name.rfind('-');
            long long number = 0;
            if (dash == std::string::npos || dash == 0 ||
                !ParseInt(name.substr(dash + 1), &number) || number < 1 || number > 1000000 ||
                std::to_string(number) != name.substr(dash + 1)) {
                *error = Line(lineno, "错误的组件名 " + name);
                return false;
            }
            std::string type = name.substr(0, dash);
            const TypeInfo* info = nullptr;
            for (const auto& t : Types())
                if (t.name == type) info = &t;
            if (!info) {
                *error = Line(lineno, "未知的组件类型 " + type);
                return false;
            }
            if (FindComponent(name)) {
                *error = Line(lineno, "组件重复 " + name);
                return false;
            }
            int used = 0;
            for (const auto& c : comps_) used += c->number > 0 && c->type == type;
            if (used >= info->total) {
                *error = Line(lineno, "组件 " + type + " 超过资源数");
                return false;
            }
            cur = NewComponent(info->kind, type, static_cast<int>(number));
            AddInstanceAttrs(cur);
            next_number_[type] = std::max(next_number_[type], static_cast<int>(number));
            continue;
        }
        if (!cur) {
            *error = Line(lineno, "属性行之前缺少组件行");
            return false;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            *error = Line(lineno, "缺少 '='");
            return false;
        }
        std::string key = line.substr(0, eq), value;
        if (!Unescape(line.substr(eq + 1), &value)) {
            *error = Line(lineno, "错误的转义字符");
            return false;
        }
        if (key[0] == '@') {
            links.push_back({lineno, cur->name, key.substr(1), value});
            continue;
        }
        Attr* a = cur->Find(key);
        if (!a || (a->role != kReceive && (!a->persist || (a->flags & kReadOnly) ||
                                           a->type == kCommand || a->type == kMemory))) {
            *error = Line(lineno, "组件 " + cur->name + " 没有可写的属性 " + key);
            return false;
        }
        if (cur->kind == Kind::kManager &&
            (key == KVS_ATTR_RUN_STATE || key == KVS_ATTR_SAMPLING_START))
            continue;
        if (ApplyWrite(cur, a, value) != kOk) {
            *error = Line(lineno, "属性 " + key + " 的值无效: " + value);
            return false;
        }
    }
    if (!header) {
        *error = "配置文本为空";
        return false;
    }
    for (const auto& l : links) {
        if (SetLink(l.comp, l.slot, l.source) != kOk) {
            *error = Line(l.line, "无法连接 " + l.comp + ":" + l.slot + " 到 " + l.source);
            return false;
        }
    }
    RefreshTypeNodes();
    return true;
}

bool Model::ImportConfig(const std::string& text, std::string* error) {
    std::string dummy;
    if (!error) error = &dummy;
    Model fresh(geometry_text_);
    if (!fresh.ImportInto(text, error)) return false;
    // The device's own state (run state, flash page, recording, startup parameters) is not part
    // of a configuration: the manager keeps those values.
    Component* old_m = comps_.front().get();
    Component* new_m = fresh.comps_.front().get();
    for (auto& a : new_m->attrs) {
        if (a.persist && !(a.flags & kReadOnly)) continue;
        if (const Attr* o = old_m->Find(a.name)) a = *o;
    }
    if (sampling_) {
        sampling_ = false;
        samples_.clear();
        new_m->Find(KVS_ATTR_SAMPLING_START)->value = "false";
    }
    comps_ = std::move(fresh.comps_);
    next_number_ = std::move(fresh.next_number_);
    Reindex();
    monitor_last_.clear();
    monitor_table_seen_.clear();
    return true;
}

}  // namespace devsim
