// Components and their attributes: creation and deletion, lookup, and the requests that read and
// write values, links, lists and memory data.
#include "model.h"

#include <algorithm>

#include "kvsh_vocab.h"
#include "schema.h"
#include "text.h"

namespace devsim {

Model::Model() : Model(kDefaultFlashGeometry) {}

Model::Model(const std::string& flash_geometry) {
    InitFlash(flash_geometry);
    SetKey(kDefaultKey);
    Clear();
}

Component* Model::NewComponent(Kind kind, const std::string& type, int number) {
    auto c = std::make_unique<Component>();
    c->kind = kind;
    c->type = type;
    c->number = number;
    c->name = number > 0 ? type + "-" + std::to_string(number) : type;
    c->wire_name = Utf8ToWire(c->name);
    for (const auto& t : Types())
        if (t.name == type) c->flag = t.flag;
    Component* raw = c.get();
    comps_.push_back(std::move(c));
    index_[raw->name] = raw;
    return raw;
}

void Model::Reindex() {
    index_.clear();
    for (auto& c : comps_) index_[c->name] = c.get();
}

std::vector<const Component*> Model::Instances() const {
    std::vector<const Component*> out;
    for (const auto& c : comps_)
        if (c->number > 0) out.push_back(c.get());
    return out;
}

std::vector<const Component*> Model::TypeNodes() const {
    std::vector<const Component*> out;
    for (const auto& c : comps_)
        if (c->kind == Kind::kTypeNode) out.push_back(c.get());
    return out;
}

Component* Model::FindComponent(const std::string& name) {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : it->second;
}

const Component* Model::FindComponent(const std::string& name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : it->second;
}

void Model::RefreshTypeNodes() {
    for (auto& n : comps_) {
        if (n->kind != Kind::kTypeNode) continue;
        int used = 0;
        std::string list;
        for (const auto& c : comps_) {
            if (c->number > 0 && c->type == n->name) {
                ++used;
                list += c->name + ";";
            }
        }
        n->attrs[1].value = std::to_string(used);
        n->attrs[2].value = list;
    }
}

uint8_t Model::AddComponent(const std::string& type, std::string* name) {
    const TypeInfo* info = nullptr;
    for (const auto& t : Types())
        if (t.name == type) info = &t;
    if (!info) return kRefused;
    int used = 0, number = 0;
    for (const auto& c : comps_) {
        if (c->number > 0 && c->type == type) {
            ++used;
            number = std::max(number, c->number);
        }
    }
    if (used >= info->total) return kRefused;
    // Numbers are not reused within a session, so a stale name never points at a newcomer.
    number = std::max(number, next_number_[type]) + 1;
    next_number_[type] = number;
    Component* c = NewComponent(info->kind, type, number);
    AddInstanceAttrs(c);
    RefreshTypeNodes();
    *name = c->name;
    return kOk;
}

void Model::DropLinksTo(const std::string& comp_name, const Component* still) {
    // Unlinks every receive slot whose source is a send slot of comp_name that no longer
    // exists (all of them when the component is gone).
    std::string prefix = comp_name + ":";
    for (auto& c : comps_) {
        for (auto& a : c->attrs) {
            if (a.role != kReceive || a.link.empty()) continue;
            if (a.link.compare(0, prefix.size(), prefix) != 0) continue;
            const Attr* src = still ? still->Find(a.link.substr(prefix.size())) : nullptr;
            if (!src || src->role != kSend) a.link.clear();
        }
    }
}

uint8_t Model::DeleteComponent(const std::string& name) {
    Component* c = FindComponent(name);
    if (!c || c->number <= 0) return kRefused;
    std::vector<std::string> doomed = {name};
    // Link components that draw a link to or from this component go with it.
    if (c->kind != Kind::kLink) {
        for (const auto& l : comps_) {
            if (l->kind != Kind::kLink) continue;
            std::string comp, slot;
            for (const char* end : {KVS_ATTR_LINK_SEND, KVS_ATTR_LINK_RECEIVE}) {
                const Attr* a = l->Find(end);
                if (a && SplitFullName(a->value, &comp, &slot) && comp == name) {
                    doomed.push_back(l->name);
                    break;
                }
            }
        }
    }
    for (const auto& d : doomed) {
        auto it =
            std::find_if(comps_.begin(), comps_.end(), [&](const auto& p) { return p->name == d; });
        if (it != comps_.end()) comps_.erase(it);
    }
    Reindex();
    DropLinksTo(name, nullptr);
    RefreshTypeNodes();
    return kOk;
}

uint8_t Model::RunCommand(Component* c, Attr* a) {
    if (c->kind == Kind::kManager) {
        if (a->name == KVS_ATTR_RESTART) {
            Restart();
            return kOk;
        }
        return RunFlashCommand(c, a);
    }
    if (c->kind == Kind::kCounter && a->name == "清零") {
        c->phase = 0;
        if (Attr* v = c->Find("计数值")) v->value = "0";
        return kOk;
    }
    return kOk;
}

uint8_t Model::ApplyWrite(Component* c, Attr* a, const std::string& value) {
    if (a->flags & kReadOnly) return kRefused;
    // Values stay small enough that any component's records fit one reply.
    if (value.size() > kMaxValue) return kTooLarge;
    // Values travel as NUL-terminated texts; an embedded NUL (possible through the memory
    // write) would cut them short on the next read and in the configuration text.
    if (value.find('\0') != std::string::npos) return kRefused;
    long long iv = 0;
    double rv = 0;
    switch (a->type) {
        case kCommand:
            if (value == "true") return RunCommand(c, a);
            return value == "false" ? kOk : kRefused;
        case kMemory:
            return kRefused;  // memory data moves with command 17
        case kBool:
            if (value != "true" && value != "false") return kRefused;
            break;
        case kInt:
            if (!ParseInt(value, &iv)) return kRefused;
            break;
        case kReal:
            if (!ParseReal(value, &rv)) return kRefused;
            break;
        case kEnum:
            if (std::find(a->options.begin(), a->options.end(), value) == a->options.end())
                return kRefused;
            break;
        default:
            break;
    }
    const std::string& n = a->name;
    switch (c->kind) {
        case Kind::kManager:
            if (n == KVS_ATTR_RUN_STATE) {
                SetRunning(value == "true");
                return kOk;
            }
            if (n == KVS_ATTR_SAMPLING_START) {
                if (value == "true")
                    StartSampling();
                else if (sampling_)
                    FinishSampling();
                return kOk;
            }
            if ((n == KVS_ATTR_SAMPLING_TRIGGER_PIN &&
                 (iv < 0 || iv >= static_cast<long long>(kChannels))) ||
                (n == "采样深度" && (iv < 16 || iv > static_cast<long long>(kMaxDepth))) ||
                (n == KVS_ATTR_SAMPLING_PERIOD_US && rv <= 0) ||
                (n == KVS_ATTR_FLASH_ADDRESS && iv < 0))
                return kRefused;
            break;
        case Kind::kTimer:
            if ((n == "定时周期_ms" && iv < 1) || (n == "占空比_百分比" && (iv < 0 || iv > 100)))
                return kRefused;
            break;
        case Kind::kGenerator:
            if (n == "启动频率_KHz" && rv < 0) return kRefused;
            break;
        case Kind::kCounter:
            if (n == "计数上限" && iv < 0) return kRefused;
            break;
        case Kind::kExpression:
            if (n == "输入槽位个数") {
                if (iv < 1 || iv > kMaxExprInputs) return kRefused;
                a->value = value;
                SetExprInputs(c, static_cast<int>(iv));
                const Attr* expr = c->Find("运算表达式");
                std::string err;
                bool ok = CompileFormula(expr->value, static_cast<int>(iv), &c->formula, &err);
                if (!ok) c->formula = Formula();
                c->Find("运算状态")->value = ok ? "" : err;
                return kOk;
            }
            if (n == "运算表达式") {
                // The text is kept as written; a formula that does not compile shows its error in
                // "运算状态" and the output holds 0 until it is corrected.
                a->value = value;
                long long inputs = 1;
                ParseInt(c->Find("输入槽位个数")->value, &inputs);
                std::string err;
                bool ok = CompileFormula(value, static_cast<int>(inputs), &c->formula, &err);
                if (!ok) c->formula = Formula();
                c->Find("运算状态")->value = ok ? "" : err;
                return kOk;
            }
            break;
        case Kind::kUser:
            if (n == "脚本代码") {
                a->value = value;
                CompileUserScript(c, value);
                return kOk;
            }
            break;
        default:
            break;
    }
    a->value = value;
    return kOk;
}

uint8_t Model::SetValue(const std::string& comp, const std::string& attr,
                        const std::string& value) {
    if (in_boot_) return kInBoot;
    Component* c = FindComponent(comp);
    if (!c) return kRefused;
    Attr* a = c->Find(attr);
    if (!a) return kRefused;
    return ApplyWrite(c, a, value);
}

uint8_t Model::GetValue(const std::string& comp, const std::string& attr,
                        std::string* value) const {
    if (in_boot_) return kInBoot;
    const Component* c = FindComponent(comp);
    if (!c) return kRefused;
    const Attr* a = c->Find(attr);
    if (!a) return kRefused;
    *value = a->value;
    return kOk;
}

uint8_t Model::SetLink(const std::string& comp, const std::string& attr,
                       const std::string& source) {
    if (in_boot_) return kInBoot;
    Component* c = FindComponent(comp);
    Attr* a = c ? c->Find(attr) : nullptr;
    if (!a || a->role != kReceive) return kRefused;
    if (source.empty()) {
        a->link.clear();
        return kOk;
    }
    std::string sc, sa;
    if (!SplitFullName(source, &sc, &sa)) return kRefused;
    const Component* s = FindComponent(sc);
    const Attr* src = s ? s->Find(sa) : nullptr;
    if (!src || src->role != kSend) return kRefused;
    a->link = sc + ":" + sa;
    return kOk;
}

uint8_t Model::GetLink(const std::string& comp, const std::string& attr,
                       std::string* source) const {
    if (in_boot_) return kInBoot;
    const Component* c = FindComponent(comp);
    const Attr* a = c ? c->Find(attr) : nullptr;
    if (!a) return kRefused;
    *source = a->link;
    return kOk;
}

uint8_t Model::ModifyList(const std::string& comp, const std::string& attr, int op, int index,
                          const std::string& text) {
    // Edits one entry of a list attribute: 1 inserts text before entry index (or appends past
    // the end), 2 removes entry index, 3 replaces entry index with text.
    if (in_boot_) return kInBoot;
    Component* c = FindComponent(comp);
    Attr* a = c ? c->Find(attr) : nullptr;
    if (!a || a->type != kList || (a->flags & kReadOnly)) return kRefused;
    if (text.find(';') != std::string::npos) return kRefused;
    auto entries = SplitList(a->value);
    size_t i = static_cast<size_t>(index);
    switch (op) {
        case 1:
            entries.insert(entries.begin() + std::min(i, entries.size()), text);
            break;
        case 2:
            if (i >= entries.size()) return kRefused;
            entries.erase(entries.begin() + i);
            break;
        case 3:
            if (i >= entries.size()) return kRefused;
            entries[i] = text;
            break;
        default:
            return kRefused;
    }
    return ApplyWrite(c, a, JoinList(entries));
}

uint8_t Model::GetMem(const std::string& comp, const std::string& attr,
                      std::vector<uint8_t>* out) const {
    if (in_boot_) return kInBoot;
    const Component* c = FindComponent(comp);
    const Attr* a = c ? c->Find(attr) : nullptr;
    if (!a) return kRefused;
    if (a->type == kMemory)
        *out = a->mem;
    else
        out->assign(a->value.begin(), a->value.end());  // a text attribute's bytes
    return kOk;
}

uint8_t Model::SetMem(const std::string& comp, const std::string& attr, const uint8_t* data,
                      size_t n) {
    if (in_boot_) return kInBoot;
    Component* c = FindComponent(comp);
    Attr* a = c ? c->Find(attr) : nullptr;
    if (!a || (a->flags & kReadOnly)) return kRefused;
    if (a->type != kMemory)
        return ApplyWrite(c, a, std::string(reinterpret_cast<const char*>(data), n));
    if (c->kind == Kind::kManager && a->name == KVS_ATTR_FLASH_DATA &&
        n != static_cast<size_t>(geometry_.page))
        return kRefused;
    a->mem.assign(data, data + n);
    a->value = std::to_string(n);
    return kOk;
}

}  // namespace devsim
