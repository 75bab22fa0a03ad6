#include "model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "diagram/geometry/slot_layout.h"
#include "diagram/geometry/trace_text.h"
#include "text.h"

namespace devsim {

namespace geo = kvs::geometry;

namespace {

constexpr const char* kManager = "组件管理器";
constexpr const char* kLinkType = "槽位连接线";
constexpr const char* kDefaultKey = "62719405";
constexpr int kMaxExprInputs = 16;
constexpr size_t kMaxValue = 16000;
constexpr size_t kMaxDepth = 8192;
constexpr size_t kChannels = 4;

Attr MakeAttr(const char* name, uint8_t type, uint8_t flags, uint8_t role, const std::string& value,
              bool persist = true, std::vector<std::string> options = {}) {
    Attr a;
    a.name = name;
    a.type = type;
    a.flags = flags;
    a.role = role;
    a.value = value;
    a.persist = persist;
    a.options = std::move(options);
    return a;
}
Attr Plain(const char* name, uint8_t type, const std::string& value, uint8_t flags = 0) {
    return MakeAttr(name, type, flags, kPlain, value);
}
Attr RO(const char* name, uint8_t type, const std::string& value) {
    return MakeAttr(name, type, kReadOnly, kPlain, value, false);
}
Attr Cmd(const char* name) { return MakeAttr(name, kCommand, 0, kPlain, "", false); }
Attr Recv(const std::string& name, uint8_t type) {
    Attr a =
        MakeAttr("", type, type == kBool ? kSlotFlag : 0, kReceive, type == kBool ? "false" : "0");
    a.name = name;
    return a;
}
Attr Send(const std::string& name, uint8_t type) {
    Attr a = MakeAttr("", type, type == kBool ? kSlotFlag : 0, kSend, type == kBool ? "false" : "0",
                      false);
    a.name = name;
    return a;
}

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

T_GLOAT_SET DefaultParams(const std::string& key) {
    T_GLOAT_SET p{};
    const uint8_t ip[4] = {192, 168, 1, 100}, remote[4] = {192, 168, 1, 10},
                  mask[4] = {255, 255, 255, 0}, gw[4] = {192, 168, 1, 1};
    std::memcpy(p.deviceIp, ip, 4);
    p.clientPort = 30000;
    p.serverPort = 30001;
    p.modbusPort = 502;
    std::memcpy(p.remoteServerIp, remote, 4);
    p.serverListenPort = 8000;
    std::memcpy(p.subnetMask, mask, 4);
    std::memcpy(p.gateway, gw, 4);
    std::memset(p.key, 0, sizeof p.key);
    std::memcpy(p.key, key.data(), std::min(key.size(), sizeof p.key));
    return p;
}

std::string KeyOf(const T_GLOAT_SET& p) {
    size_t n = 0;
    while (n < sizeof p.key && p.key[n]) ++n;
    return std::string(p.key, n);
}

}  // namespace

Attr* Component::Find(const std::string& attr) {
    for (auto& a : attrs)
        if (a.name == attr) return &a;
    return nullptr;
}
const Attr* Component::Find(const std::string& attr) const {
    for (const auto& a : attrs)
        if (a.name == attr) return &a;
    return nullptr;
}

bool FlashGeometry::Parse(const std::string& text, FlashGeometry* out) {
    FlashGeometry g;
    unsigned p, c, b, n;
    if (std::sscanf(text.c_str(), "P=%x,C=%x,B=%x,N=%x,", &p, &c, &b, &n) != 4) return false;
    if (p < 1 || c < 1 || b < 1 || n < 1 || p > 0x7fffffff || c > 0x7fffffff || b > 0x7fffffff ||
        n > 0x7fffffff)
        return false;
    if (c % p != 0 || static_cast<uint64_t>(b) * n < c) return false;
    // The simulated flash lives in memory: keep it to a sane size, and a page must fit one
    // memory-data reply.
    if (static_cast<uint64_t>(b) * n > (64u << 20) || p > 65000) return false;
    g.page = static_cast<int>(p);
    g.image = static_cast<int>(c);
    g.block = static_cast<int>(b);
    g.blocks = static_cast<int>(n);
    *out = g;
    return true;
}

const std::vector<TypeInfo>& Model::Types() {
    static const std::vector<TypeInfo> kTypes = {
        // The component tree lists every type and instance in one reply whose record count is
        // one byte, so the totals and the types together stay below 256.
        {"定时器", Kind::kTimer, 8, 1},        {"信号发生器", Kind::kGenerator, 4, 1},
        {"与门", Kind::kAnd, 16, 0},           {"或门", Kind::kOr, 16, 0},
        {"异或门", Kind::kXor, 16, 0},         {"非门", Kind::kNot, 16, 0},
        {"计数器", Kind::kCounter, 8, 0},      {"开关", Kind::kSwitch, 8, 0},
        {"数值常量", Kind::kConstant, 16, 0},  {"表达式运算", Kind::kExpression, 8, 0},
        {"用户自定义组件", Kind::kUser, 8, 0}, {kLinkType, Kind::kLink, 100, 0},
    };
    return kTypes;
}

Model::Model() : Model("P=100,C=20000,B=1000,N=20,") {}

Model::Model(const std::string& flash_geometry) {
    if (!FlashGeometry::Parse(flash_geometry, &geometry_))
        FlashGeometry::Parse("P=100,C=20000,B=1000,N=20,", &geometry_);
    char buf[96];
    std::snprintf(buf, sizeof buf, "P=%x,C=%x,B=%x,N=%x,", geometry_.page, geometry_.image,
                  geometry_.block, geometry_.blocks);
    geometry_text_ = buf;
    // A recognisable firmware image: a header, pseudo-random code bytes (zeros and 0xFF
    // included), and erased flash after the image's last quarter.
    flash_.assign(static_cast<size_t>(geometry_.block) * geometry_.blocks, 0xFF);
    uint32_t x = 0x12345678;
    size_t used = static_cast<size_t>(geometry_.image) * 3 / 4;
    for (size_t i = 0; i < used; ++i) {
        x = x * 1103515245u + 12345u;
        flash_[i] = static_cast<uint8_t>(x >> 16);
    }
    const char header[] = "KVS-FW 1.0";
    std::memcpy(flash_.data(), header, std::min(sizeof header, flash_.size()));
    SetKey(kDefaultKey);
    Clear();
}

std::string Model::Key() const { return key_; }

void Model::SetKey(const std::string& key) {
    key_ = key;
    factory_key_ = key;
    params_ = DefaultParams(key);
    pending_params_ = params_;
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

void Model::Clear() {
    comps_.clear();
    index_.clear();
    next_number_.clear();
    Component* m = NewComponent(Kind::kManager, kManager, 0);
    m->attrs = {
        MakeAttr("运行状态", kBool, 0, kPlain, running_ ? "true" : "false", false),
        Cmd("重新启动"),
        Plain("属性监控表", kList, ""),
        RO("运行模式", kText, factory_mode_ ? "出厂模式" : "正常模式"),
        RO("固件版本", kText, "KVS-SIM 1.0"),
        RO("Flash描述信息", kText, geometry_text_),
        MakeAttr("Flash操作地址", kInt, 0, kPlain, "0", false),
        MakeAttr("Flash操作数据", kMemory, 0, kPlain, "0", false),
        Cmd("Flash执行读取"),
        Cmd("Flash执行擦除"),
        Cmd("Flash执行写入"),
        MakeAttr("启动采样", kBool, 0, kPlain, "false", false),
        Plain("启用采样触发", kBool, "false"),
        Plain("上升_下降沿触发", kBool, "true"),
        Plain("采样时间_us", kReal, "1000.00"),
        Plain("采样深度", kInt, "2048"),
        Plain("采样点列表", kList, ""),
        Plain("触发管脚号", kInt, "0"),
        MakeAttr("记录数据", kMemory, kReadOnly, kPlain, "0", false),
        RO("触发起始位置", kInt, "0"),
    };
    for (const auto& t : Types()) {
        Component* n = NewComponent(Kind::kTypeNode, t.name, 0);
        n->attrs = {RO("总资源数", kInt, std::to_string(t.total)), RO("已用资源数", kInt, "0"),
                    RO("创建的组件", kList, "")};
    }
    sampling_ = false;
    monitor_last_.clear();
    monitor_table_seen_.clear();
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

void Model::AddInstanceAttrs(Component* c) {
    c->attrs = {Plain("区域位置", kText, ""), Plain("用户注释", kText, "")};
    auto add = [c](Attr a) { c->attrs.push_back(std::move(a)); };
    switch (c->kind) {
        case Kind::kTimer:
            add(Plain("启用定时器", kBool, "false"));
            add(Plain("定时周期_ms", kInt, "100"));
            add(Plain("占空比_百分比", kInt, "50"));
            add(Send("输出", kBool));
            break;
        case Kind::kGenerator:
            add(Plain("启动频率_KHz", kReal, "1"));
            add(MakeAttr("波形类型", kEnum, 0, kPlain, "方波", true,
                         {"方波", "正弦波", "三角波", "锯齿波"}));
            add(Plain("幅值", kReal, "1"));
            add(Plain("启用输出", kBool, "true"));
            add(Send("输出", kReal));
            add(Send("脉冲输出", kBool));
            break;
        case Kind::kAnd:
        case Kind::kOr:
        case Kind::kXor:
            add(Recv("输入1", kBool));
            add(Recv("输入2", kBool));
            add(Send("输出", kBool));
            break;
        case Kind::kNot:
            add(Recv("输入", kBool));
            add(Send("输出", kBool));
            break;
        case Kind::kCounter:
            add(Plain("计数上限", kInt, "0"));
            add(Cmd("清零"));
            add(Recv("计数输入", kBool));
            add(Recv("复位", kBool));
            add(Send("计数值", kInt));
            add(Send("溢出", kBool));
            break;
        case Kind::kSwitch:
            add(Plain("开关状态", kBool, "false"));
            add(Send("输出", kBool));
            break;
        case Kind::kConstant:
            add(Plain("数值", kReal, "0"));
            add(Send("输出", kReal));
            break;
        case Kind::kExpression:
            add(Plain("输入槽位个数", kInt, "2", kShapesBox));
            add(Plain("运算表达式", kText, "x1+x2"));
            add(RO("运算状态", kText, ""));
            add(Recv("输入1", kReal));
            add(Recv("输入2", kReal));
            add(Send("输出", kReal));
            CompileFormula("x1+x2", 2, &c->formula, nullptr);
            c->vars.assign(2, 0);
            break;
        case Kind::kUser:
            add(Plain("脚本代码", kText, "", kShapesBox));
            add(RO("编译信息", kText, ""));
            break;
        case Kind::kLink:
            add(Plain("发送槽位", kText, ""));
            add(Plain("接收槽位", kText, ""));
            break;
        default:
            break;
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
            for (const char* end : {"发送槽位", "接收槽位"}) {
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

void Model::SetExprInputs(Component* c, int n) {
    std::vector<Attr> recv;
    for (int i = 1; i <= n; ++i) {
        std::string name = "输入" + std::to_string(i);
        const Attr* old = c->Find(name);
        recv.push_back(old && old->role == kReceive ? *old : Recv(name, kReal));
    }
    RebuildSlots(c, recv, {Send("输出", kReal)}, {});
    c->vars.assign(static_cast<size_t>(n), 0);
}

void Model::RebuildSlots(Component* c, const std::vector<Attr>& receive,
                         const std::vector<Attr>& send, const std::vector<Attr>& plain) {
    // The type's own attributes stay first; declared attributes, receive slots and send slots
    // follow. Whatever keeps its name, role and type keeps its value and link.
    auto keep = [c](const Attr& fresh) {
        const Attr* old = c->Find(fresh.name);
        if (old && old->role == fresh.role && old->type == fresh.type &&
            old->declared == fresh.declared)
            return *old;
        return fresh;
    };
    std::vector<Attr> attrs;
    for (const auto& a : c->attrs)
        if (a.role == kPlain && !a.declared) attrs.push_back(a);
    for (const auto& a : plain) attrs.push_back(keep(a));
    for (const auto& a : receive) attrs.push_back(keep(a));
    for (const auto& a : send) attrs.push_back(keep(a));
    c->attrs = std::move(attrs);
    DropLinksTo(c->name, c);
}

void Model::CompileUserScript(Component* c, const std::string& text) {
    ScriptProgram program;
    std::string error;
    Attr* info = c->Find("编译信息");
    std::vector<std::string> reserved;
    for (const auto& a : c->attrs)
        if (!a.declared && a.role == kPlain) reserved.push_back(a.name);
    if (!CompileScript(text, &program, &error, reserved)) {
        // The previous program and its slots stay in force until a script compiles.
        if (info) info->value = "编译失败\n" + error;
        return;
    }
    std::vector<Attr> recv, send, plain;
    for (const auto& n : program.inputs) recv.push_back(Recv(n, kReal));
    for (const auto& n : program.outputs) send.push_back(Send(n, kReal));
    for (const auto& d : program.attrs) {
        Attr a = Plain("", kReal, d.init);
        a.name = d.name;
        a.declared = true;
        plain.push_back(a);
    }
    RebuildSlots(c, recv, send, plain);
    c->program = std::move(program);
    c->vars.assign(c->program.var_count, 0);
    info = c->Find("编译信息");
    if (info)
        info->value = "编译成功: 输入" + std::to_string(c->program.inputs.size()) + "个, 输出" +
                      std::to_string(c->program.outputs.size()) + "个, 属性" +
                      std::to_string(c->program.attrs.size()) + "个, 引用" +
                      std::to_string(c->program.refs.size()) + "个";
}

uint8_t Model::RunCommand(Component* c, Attr* a) {
    if (c->kind == Kind::kManager) {
        const Attr* addr_attr = c->Find("Flash操作地址");
        long long addr = 0;
        ParseInt(addr_attr ? addr_attr->value : "", &addr);
        const long long size = static_cast<long long>(flash_.size());
        Attr* data = c->Find("Flash操作数据");
        if (a->name == "重新启动") {
            Restart();
            return kOk;
        }
        if (a->name == "Flash执行读取") {
            if (addr < 0 || addr + geometry_.page > size) return kRefused;
            data->mem.assign(flash_.begin() + addr, flash_.begin() + addr + geometry_.page);
            data->value = std::to_string(data->mem.size());
            return kOk;
        }
        if (a->name == "Flash执行擦除") {
            if (addr < 0 || addr >= size) return kRefused;
            size_t start = static_cast<size_t>(addr / geometry_.block) * geometry_.block;
            std::fill(flash_.begin() + start, flash_.begin() + start + geometry_.block, 0xFF);
            return kOk;
        }
        if (a->name == "Flash执行写入") {
            // NOR flash: programming can only clear bits; erased bytes read 0xFF.
            if (addr < 0 || addr + geometry_.page > size) return kRefused;
            if (data->mem.size() != static_cast<size_t>(geometry_.page)) return kRefused;
            for (int i = 0; i < geometry_.page; ++i) flash_[addr + i] &= data->mem[i];
            return kOk;
        }
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
            if (n == "运行状态") {
                SetRunning(value == "true");
                return kOk;
            }
            if (n == "启动采样") {
                if (value == "true")
                    StartSampling();
                else if (sampling_)
                    FinishSampling();
                return kOk;
            }
            if ((n == "触发管脚号" && (iv < 0 || iv >= static_cast<long long>(kChannels))) ||
                (n == "采样深度" && (iv < 16 || iv > static_cast<long long>(kMaxDepth))) ||
                (n == "采样时间_us" && rv <= 0) || (n == "Flash操作地址" && iv < 0))
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
    if (c->kind == Kind::kManager && a->name == "Flash操作数据" &&
        n != static_cast<size_t>(geometry_.page))
        return kRefused;
    a->mem.assign(data, data + n);
    a->value = std::to_string(n);
    return kOk;
}

uint8_t Model::ConfigOperate(int op, uint8_t bytes[3], const T_GLOAT_SET* rec_in,
                             T_GLOAT_SET* rec_out) {
    if (in_boot_ && op != 4) return kInBoot;
    switch (op) {
        case 1:
            if (bytes[0] > 5) return kRefused;
            slots_[bytes[0]] = ExportConfig();
            Info(2, "配置已保存到槽位" + std::to_string(bytes[0]));
            return kOk;
        case 3:
            SetRunning(false);
            Clear();
            return kOk;
        case 4:
            std::memcpy(bytes, pending_bytes_, 3);
            *rec_out = pending_params_;
            return kOk;
        case 5: {
            if (!rec_in) return kMalformed;
            const uint8_t serial = bytes[2];
            if (bytes[0] > 5 || bytes[1] > 3 || (serial & 7) > 3 || ((serial >> 3) & 3) > 2 ||
                (serial >> 6) > 2)
                return kRefused;
            std::memcpy(pending_bytes_, bytes, 3);
            pending_params_ = *rec_in;
            *rec_out = pending_params_;
            return kOk;
        }
        default:
            return kRefused;
    }
}

uint8_t Model::Boot(int code) {
    switch (code) {
        case 51:
            SetRunning(false);
            if (sampling_) FinishSampling();
            in_boot_ = true;
            Info(2, "进入BOOT模式");
            return kOk;
        case 52:
            if (!in_boot_) return kRefused;
            in_boot_ = false;
            Info(2, "退出BOOT模式");
            Restart();
            return kOk;
        case 53:
        case 54:
            if (!in_boot_) return kRefused;
            factory_mode_ = code == 53;
            Info(2, factory_mode_ ? "已设置为出厂模式" : "已设置为正常模式");
            return kOk;
        default:
            return kRefused;
    }
}

void Model::Info(int8_t level, const std::string& text) {
    if (!out_.empty() && out_.back().cmd == 100 && out_.back().lines.size() < 32) {
        out_.back().lines.emplace_back(level, text);
        return;
    }
    Unsolicited u;
    u.cmd = 100;
    u.lines.emplace_back(level, text);
    out_.push_back(std::move(u));
}

std::vector<Unsolicited> Model::TakeUnsolicited() {
    std::vector<Unsolicited> out;
    out.swap(out_);
    return out;
}

void Model::SetRunning(bool on) {
    if (running_ == on) return;
    running_ = on;
    comps_.front()->Find("运行状态")->value = on ? "true" : "false";
    if (on) {
        for (auto& c : comps_) c->phase = 0;
        Info(2, "交换网和工作循环已启动");
    } else {
        Info(2, "交换网和工作循环已停止");
    }
}

void Model::Restart() {
    SetRunning(false);
    if (sampling_) FinishSampling();
    Info(2, "系统重新启动");
    if (factory_mode_) {
        params_ = DefaultParams(factory_key_);
        pending_params_ = params_;
        uint8_t defaults[3] = {0, 3, 0x53};
        std::memcpy(pending_bytes_, defaults, 3);
        Info(2, "出厂模式: 启动参数已恢复默认值");
    } else {
        params_ = pending_params_;
    }
    std::memcpy(boot_bytes_, pending_bytes_, 3);
    key_ = KeyOf(params_);
    std::string slot = slots_[boot_bytes_[0] % 6];
    std::string err;
    if (slot.empty() || !ImportConfig(slot, &err)) {
        Clear();
        Info(2, "启动配置文件槽位" + std::to_string(boot_bytes_[0]) + "为空, 以空配置启动");
    } else {
        Info(2, "已加载启动配置文件槽位" + std::to_string(boot_bytes_[0]));
    }
    Attr* mode = comps_.front()->Find("运行模式");
    mode->value = factory_mode_ ? "出厂模式" : "正常模式";
    Info(2, "工作循环已停止, 等待启动");
}

// --- dataflow ----------------------------------------------------------------------------------

double Model::SlotNumber(const Component* c, const std::string& attr) const {
    const Attr* a = c->Find(attr);
    return a ? ToNumber(a->value) : 0;
}

void Model::SetOutput(Component* c, const std::string& slot, double v) {
    Attr* a = c->Find(slot);
    if (!a) return;
    if (a->type == kBool)
        a->value = v != 0 ? "true" : "false";
    else
        a->value = FormatNumber(v);
}

void Model::Compute(Component* c) {
    auto in = [&](const char* n) { return SlotNumber(c, n) != 0; };
    switch (c->kind) {
        case Kind::kTimer: {
            bool on = c->Find("启用定时器")->value == "true";
            double period_us = std::max(1.0, SlotNumber(c, "定时周期_ms")) * 1000.0;
            SetOutput(c, "输出", on && c->phase * 100 < SlotNumber(c, "占空比_百分比") * period_us);
            break;
        }
        case Kind::kGenerator: {
            bool on = c->Find("启用输出")->value == "true";
            double amp = SlotNumber(c, "幅值"), ph = c->phase, v = 0;
            const std::string& wave = c->Find("波形类型")->value;
            if (wave == "方波")
                v = ph < 0.5 ? amp : 0;
            else if (wave == "正弦波")
                v = amp * std::sin(2 * std::numbers::pi * ph);
            else if (wave == "三角波")
                v = amp * (ph < 0.5 ? 4 * ph - 1 : 3 - 4 * ph);
            else
                v = amp * ph;
            SetOutput(c, "输出", on ? v : 0);
            SetOutput(c, "脉冲输出", on && ph < 0.5);
            break;
        }
        case Kind::kAnd:
            SetOutput(c, "输出", in("输入1") && in("输入2"));
            break;
        case Kind::kOr:
            SetOutput(c, "输出", in("输入1") || in("输入2"));
            break;
        case Kind::kXor:
            SetOutput(c, "输出", in("输入1") != in("输入2"));
            break;
        case Kind::kNot:
            SetOutput(c, "输出", !in("输入"));
            break;
        case Kind::kCounter: {
            bool pulse = in("计数输入");
            bool overflow = false;
            if (in("复位")) {
                c->phase = 0;
            } else if (pulse && !c->last_in) {
                c->phase += 1;
                double limit = SlotNumber(c, "计数上限");
                if (limit > 0 && c->phase >= limit) {
                    c->phase = 0;
                    overflow = true;
                }
            }
            c->last_in = pulse;
            SetOutput(c, "计数值", c->phase);
            SetOutput(c, "溢出", overflow);
            break;
        }
        case Kind::kSwitch:
            SetOutput(c, "输出", c->Find("开关状态")->value == "true");
            break;
        case Kind::kConstant:
            SetOutput(c, "输出", SlotNumber(c, "数值"));
            break;
        case Kind::kExpression: {
            for (size_t i = 0; i < c->vars.size(); ++i)
                c->vars[i] = SlotNumber(c, "输入" + std::to_string(i + 1));
            SetOutput(c, "输出", c->formula.Valid() ? c->formula.Eval(c->vars.data()) : 0);
            break;
        }
        case Kind::kUser: {
            const ScriptProgram& p = c->program;
            if (!p.Valid()) break;
            if (c->vars.size() != p.var_count) c->vars.assign(p.var_count, 0);
            for (size_t i = 0; i < p.inputs.size(); ++i)
                c->vars[p.InputVar(i)] = SlotNumber(c, p.inputs[i]);
            for (size_t i = 0; i < p.attrs.size(); ++i)
                c->vars[p.AttrVar(i)] = SlotNumber(c, p.attrs[i].name);
            for (size_t i = 0; i < p.refs.size(); ++i) {
                std::string rc, ra, v;
                double x = 0;
                if (SplitFullName(p.refs[i].init, &rc, &ra) && GetValue(rc, ra, &v) == kOk)
                    x = ToNumber(v);
                c->vars[p.RefVar(i)] = x;
            }
            p.Run(c->vars.data());
            for (size_t i = 0; i < p.outputs.size(); ++i)
                SetOutput(c, p.outputs[i], c->vars[p.OutputVar(i)]);
            break;
        }
        default:
            break;
    }
}

void Model::Tick(int dt_us) {
    if (in_boot_) return;
    time_us_ += dt_us;
    if (running_) {
        // Links carry the values the send slots held at the end of the previous tick.
        for (auto& c : comps_) {
            for (auto& a : c->attrs) {
                if (a.role != kReceive || a.link.empty()) continue;
                std::string sc, sa, v;
                if (!SplitFullName(a.link, &sc, &sa) || GetValue(sc, sa, &v) != kOk) continue;
                a.value =
                    a.type == kBool ? (ToBool(v) ? "true" : "false") : FormatNumber(ToNumber(v));
            }
        }
        for (auto& c : comps_) {
            if (c->number <= 0) continue;
            if (c->kind == Kind::kTimer) {
                // Whole microseconds, so that a period is an exact number of ticks.
                double period_us = std::max(1.0, SlotNumber(c.get(), "定时周期_ms")) * 1000.0;
                c->phase = std::fmod(c->phase + dt_us, period_us);
            } else if (c->kind == Kind::kGenerator) {
                double f = SlotNumber(c.get(), "启动频率_KHz") * 1000.0;
                c->phase = std::fmod(c->phase + f * dt_us / 1e6, 1.0);
            }
            Compute(c.get());
        }
    }
    if (sampling_) {
        double period = std::max(1e-3, SlotNumber(comps_.front().get(), "采样时间_us"));
        sample_acc_us_ += dt_us;
        // Samples inside one tick hold the values of that tick, so they are read once.
        const uint8_t bits = SampleBits();
        int guard = 0;
        while (sampling_ && sample_acc_us_ >= period && guard++ < 100000) {
            sample_acc_us_ -= period;
            TakeSample(bits);
        }
        if (guard >= 100000) sample_acc_us_ = 0;
    }
    CheckMonitors();
}

// --- sampling ------------------------------------------------------------------------------

void Model::StartSampling() {
    Component* m = comps_.front().get();
    sample_points_ = SplitList(m->Find("采样点列表")->value);
    if (sample_points_.size() > kChannels) sample_points_.resize(kChannels);
    long long depth = 2048;
    ParseInt(m->Find("采样深度")->value, &depth);
    depth_ = static_cast<size_t>(std::clamp<long long>(depth, 16, kMaxDepth));
    samples_.clear();
    pretrigger_ = 0;
    triggered_ = m->Find("启用采样触发")->value != "true";
    last_trigger_bit_ = -1;
    sample_acc_us_ = 0;
    sampling_ = true;
    m->Find("启动采样")->value = "true";
}

uint8_t Model::SampleBits() const {
    uint8_t bits = 0;
    for (size_t k = 0; k < sample_points_.size(); ++k) {
        std::string sc, sa, v;
        if (SplitFullName(sample_points_[k], &sc, &sa) && GetValue(sc, sa, &v) == kOk && ToBool(v))
            bits |= static_cast<uint8_t>(1u << k);
    }
    return bits;
}

void Model::TakeSample(uint8_t bits) {
    Component* m = comps_.front().get();
    if (!triggered_) {
        long long pin = 0;
        ParseInt(m->Find("触发管脚号")->value, &pin);
        int bit = (bits >> (pin & 3)) & 1;
        bool rising = m->Find("上升_下降沿触发")->value == "true";
        bool edge = last_trigger_bit_ >= 0 && bit != last_trigger_bit_ && (bit == 1) == rising;
        last_trigger_bit_ = bit;
        // An eighth of the depth from before the trigger is kept (trimmed in batches).
        const size_t keep = depth_ / 8;
        if (!edge) {
            samples_.push_back(bits);
            if (samples_.size() > 2 * keep + 64)
                samples_.erase(samples_.begin(), samples_.end() - keep);
            return;
        }
        if (samples_.size() > keep) samples_.erase(samples_.begin(), samples_.end() - keep);
        triggered_ = true;
        pretrigger_ = samples_.size();
    }
    samples_.push_back(bits);
    if (samples_.size() >= depth_) FinishSampling();
}

void Model::FinishSampling() {
    Component* m = comps_.front().get();
    bool trigger = m->Find("启用采样触发")->value == "true";
    if (!triggered_) {
        pretrigger_ = 0;  // stopped before the trigger came: what there is, from its start
    }
    Attr* rec = m->Find("记录数据");
    rec->mem.assign((samples_.size() * kChannels + 7) / 8, 0);
    for (size_t s = 0; s < samples_.size(); ++s) {
        for (size_t k = 0; k < kChannels; ++k) {
            if (samples_[s] & (1u << k)) {
                size_t b = s * kChannels + k;
                rec->mem[b / 8] |= static_cast<uint8_t>(1u << (b % 8));
            }
        }
    }
    rec->value = std::to_string(rec->mem.size());
    m->Find("触发起始位置")->value = std::to_string(trigger ? pretrigger_ : 0);
    m->Find("启动采样")->value = "false";
    sampling_ = false;
    samples_.clear();
}

// --- monitor table ---------------------------------------------------------------------------

void Model::CheckMonitors() {
    const std::string& table = comps_.front()->Find("属性监控表")->value;
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
            u.cmd = 20;
            u.name = full;
            u.value = v;
            out_.push_back(std::move(u));
        }
    }
}

// --- configuration text -------------------------------------------------------------------------

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
        if (cur->kind == Kind::kManager && (key == "运行状态" || key == "启动采样")) continue;
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
        new_m->Find("启动采样")->value = "false";
    }
    comps_ = std::move(fresh.comps_);
    next_number_ = std::move(fresh.next_number_);
    Reindex();
    monitor_last_.clear();
    monitor_table_seen_.clear();
    return true;
}

// --- demo ------------------------------------------------------------------------------------

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
