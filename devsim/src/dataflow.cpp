// The work loop: links carry the send slots' values of the previous tick, then every instance
// computes its outputs.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "kvsh_vocab.h"
#include "model.h"
#include "schema.h"
#include "text.h"

namespace devsim {

void Model::SetRunning(bool on) {
    if (running_ == on) return;
    running_ = on;
    comps_.front()->Find(KVS_ATTR_RUN_STATE)->value = on ? "true" : "false";
    if (on) {
        for (auto& c : comps_) c->phase = 0;
        Info(2, "交换网和工作循环已启动");
    } else {
        Info(2, "交换网和工作循环已停止");
    }
}

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
    SampleTick(dt_us);
    CheckMonitors();
}

}  // namespace devsim
