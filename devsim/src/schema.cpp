// The device's schema: the component types with their resources, the attributes and slots of
// every kind of component and of the component manager, and the slots that expressions and
// user scripts shape.
#include "schema.h"

#include <utility>

#include "kvsh_vocab.h"
#include "model.h"

namespace devsim {

Attr MakeAttr(const char* name, uint8_t type, uint8_t flags, uint8_t role, const std::string& value,
              bool persist, std::vector<std::string> options) {
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

Attr Plain(const char* name, uint8_t type, const std::string& value, uint8_t flags) {
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

const std::vector<TypeInfo>& Model::Types() {
    static const std::vector<TypeInfo> kTypes = {
        // The component tree lists every type and instance in one reply whose record count is
        // one byte, so the totals and the types together stay below 256: with every type full,
        // 12 types, 123 components and 120 links.
        {"定时器", Kind::kTimer, 8, 1},        {"信号发生器", Kind::kGenerator, 4, 1},
        {"与门", Kind::kAnd, 16, 0},           {"或门", Kind::kOr, 16, 0},
        {"异或门", Kind::kXor, 16, 0},         {"非门", Kind::kNot, 16, 0},
        {"计数器", Kind::kCounter, 8, 0},      {"开关", Kind::kSwitch, 8, 0},
        {"数值常量", Kind::kConstant, 15, 0},  {"表达式运算", Kind::kExpression, 8, 0},
        {"用户自定义组件", Kind::kUser, 8, 0}, {kLinkType, Kind::kLink, 120, 0},
    };
    return kTypes;
}

void Model::Clear() {
    comps_.clear();
    index_.clear();
    next_number_.clear();
    Component* m = NewComponent(Kind::kManager, kManager, 0);
    m->attrs = {
        MakeAttr(KVS_ATTR_RUN_STATE, kBool, 0, kPlain, running_ ? "true" : "false", false),
        Cmd(KVS_ATTR_RESTART),
        Plain(KVS_ATTR_MONITOR_TABLE, kList, ""),
        RO("运行模式", kText, factory_mode_ ? "出厂模式" : "正常模式"),
        RO("固件版本", kText, "KVS-SIM 1.0"),
        RO(KVS_ATTR_FLASH_GEOMETRY, kText, geometry_text_),
        MakeAttr(KVS_ATTR_FLASH_ADDRESS, kInt, 0, kPlain, "0", false),
        MakeAttr(KVS_ATTR_FLASH_DATA, kMemory, 0, kPlain, "0", false),
        Cmd(KVS_ATTR_FLASH_READ),
        Cmd(KVS_ATTR_FLASH_ERASE),
        Cmd(KVS_ATTR_FLASH_WRITE),
        MakeAttr(KVS_ATTR_SAMPLING_START, kBool, 0, kPlain, "false", false),
        Plain(KVS_ATTR_SAMPLING_TRIGGER, kBool, "false"),
        Plain(KVS_ATTR_SAMPLING_RISING, kBool, "true"),
        Plain(KVS_ATTR_SAMPLING_PERIOD_US, kReal, "1000.00"),
        Plain("采样深度", kInt, "2048"),
        Plain(KVS_ATTR_SAMPLING_POINTS, kList, ""),
        Plain(KVS_ATTR_SAMPLING_TRIGGER_PIN, kInt, "0"),
        MakeAttr(KVS_ATTR_SAMPLING_DATA, kMemory, kReadOnly, kPlain, "0", false),
        RO(KVS_ATTR_SAMPLING_TRIGGER_POS, kInt, "0"),
    };
    for (const auto& t : Types()) {
        Component* n = NewComponent(Kind::kTypeNode, t.name, 0);
        n->attrs = {RO("总资源数", kInt, std::to_string(t.total)), RO("已用资源数", kInt, "0"),
                    RO(KVS_ATTR_CREATED, kList, "")};
    }
    sampling_ = false;
    monitor_last_.clear();
    monitor_table_seen_.clear();
}

void Model::AddInstanceAttrs(Component* c) {
    c->attrs = {Plain(KVS_ATTR_AREA, kText, ""), Plain(KVS_ATTR_COMMENT, kText, "")};
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
            add(Plain(KVS_ATTR_LINK_SEND, kText, ""));
            add(Plain(KVS_ATTR_LINK_RECEIVE, kText, ""));
            break;
        default:
            break;
    }
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

}  // namespace devsim
