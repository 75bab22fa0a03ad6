// The simulated controller's behaviour: dataflow, scripts, expressions, sampling, monitor
// events, flash and faults, through the in-process API and attached links.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <utility>

#include "wire.h"

namespace devsim::test {
namespace {

constexpr const char* kMgr = "组件管理器";

std::string Val(Device& d, const std::string& c, const std::string& a) {
    std::string v;
    return d.GetValue(c, a, &v) ? v : "<none>";
}

TEST(Dataflow, DemoTimerPulsesAreCountedWhileTheWorkLoopRuns) {
    auto d = Device::CreateDemo(Quiet());
    d->Step(50);  // stopped: nothing moves
    EXPECT_EQ(Val(*d, "计数器-1", "计数值"), "0");
    ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "true"));
    // 100 ms period at 10 ms ticks: 0.35 s holds three rising edges (at 0, 100 and 200 ms,
    // counted one tick per link later).
    d->Step(35);
    EXPECT_EQ(Val(*d, "计数器-1", "计数值"), "4");
    double x1 = std::stod(Val(*d, "表达式运算-1", "输入1")),
           x2 = std::stod(Val(*d, "表达式运算-1", "输入2"));
    EXPECT_EQ(x1, 4);
    EXPECT_NE(x2, 0);  // the generator's sine
    EXPECT_NEAR(std::stod(Val(*d, "表达式运算-1", "输出")), x1 * 2 + x2, 1e-4);
    EXPECT_EQ(Val(*d, "用户自定义组件-1", "超限"), "0");
    d->Step(30);
    EXPECT_EQ(Val(*d, "用户自定义组件-1", "超限"), "1");  // count 7 > 5
    // The switch gates the timer.
    ASSERT_TRUE(d->SetValue("开关-1", "开关状态", "false"));
    std::string before = Val(*d, "计数器-1", "计数值");
    d->Step(50);
    EXPECT_EQ(Val(*d, "计数器-1", "计数值"), before);
    ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "false"));
    EXPECT_FALSE(d->Running());
}

TEST(Dataflow, ExpressionInputCountShapesTheReceiveSlots) {
    auto d = Device::CreateDemo(Quiet());
    auto receive_slots = [&] {
        std::vector<std::string> out;
        for (const auto& a : d->Attributes("表达式运算-1"))
            if (a.role == 1) out.push_back(a.name);
        return out;
    };
    ASSERT_TRUE(d->SetValue("表达式运算-1", "输入槽位个数", "3"));
    EXPECT_EQ(receive_slots(), (std::vector<std::string>{"输入1", "输入2", "输入3"}));
    EXPECT_EQ(d->GetLink("表达式运算-1", "输入2"), "信号发生器-2:输出");  // kept
    EXPECT_FALSE(d->SetValue("表达式运算-1", "输入槽位个数", "0"));
    EXPECT_FALSE(d->SetValue("表达式运算-1", "输入槽位个数", "17"));
    ASSERT_TRUE(d->SetValue("表达式运算-1", "输入槽位个数", "1"));
    EXPECT_EQ(receive_slots(), (std::vector<std::string>{"输入1"}));
    // The formula still names x2: it is kept as written and reported.
    EXPECT_EQ(Val(*d, "表达式运算-1", "运算表达式"), "x1*2+x2");
    EXPECT_NE(Val(*d, "表达式运算-1", "运算状态").find("x2"), std::string::npos);

    struct Case {
        const char* formula;
        double x1;
        const char* out;
    } cases[] = {
        {"x1 * (x1 + 1) - 3", 4, "17"},
        {"max(x1, 10) / 4", 2, "2.5"},
        {"x1 > 1 && !(x1 == 3)", 2, "1"},
        {"x1 / 0", 5, "0"},
        {"-x1 % 3", 7, "-1"},
        {"输入1 + pow(2, 3)", 1, "9"},
    };
    auto c = Device::CreateEmpty(Quiet());
    std::string e = c->AddComponent("表达式运算"), k = c->AddComponent("数值常量");
    ASSERT_TRUE(c->SetValue(e, "输入槽位个数", "1"));
    ASSERT_TRUE(c->SetLink(e, "输入1", k + ":输出"));
    ASSERT_TRUE(c->SetValue(kMgr, "运行状态", "true"));
    for (const auto& t : cases) {
        ASSERT_TRUE(c->SetValue(e, "运算表达式", t.formula));
        ASSERT_TRUE(c->SetValue(k, "数值", std::to_string(t.x1)));
        c->Step(3);
        EXPECT_EQ(Val(*c, e, "输出"), t.out) << t.formula;
        EXPECT_EQ(Val(*c, e, "运算状态"), "") << t.formula;
    }
}

TEST(Script, SyntaxErrorsNameTheirLine) {
    struct Case {
        const char* script;
        const char* error;  // start of the report after "编译失败\n"
    } cases[] = {
        {"input a\noutput y\nif a > 1 then\n  y = 1\n", "第5行: 缺少 end"},
        {"input a\noutput y\ny = a +\n", "第3行: 缺少表达式"},
        {"output y\ny = z\n", "第2行: 未定义的标识符 z"},
        {"input a\na = 1\n", "第2行: 不能给输入 a 赋值"},
        {"input a, a\n", "第1行: 重复声明 a"},
        {"output y\nif 1 then\n  input b\nend\n", "第3行: 声明 input 只能出现在最外层"},
        {"output y\nwhile y < 3\n y = y + 1\nend\n", "第2行: 缺少 do"},
        {"output y\ny = 1 $ 2\n", "第2行: 无法识别的字符 '$'"},
        {"ref r = 定时器-1.输出\n", "第1行: ref 需要"},
        {"output y\n/* open\ny = 1\n", "第2行: 注释没有结束"},
        {"output y\ny = sqrt(1, 2)\n", "第2行: 函数 sqrt 的参数太多"},
        {"output y\nend\n", "第2行: 多余的 end"},
        {"output y\ny = 1 y = 2\n", "第2行: 语句后多余的"},
        {"input a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, "
         "c0, c1, c2, c3, c4, c5,"
         " c6, c7, c8, c9, d0, d1, d2, d3, d4, d5, d6, d7, d8, d9, e0, e1, e2, e3, e4, e5, e6, e7, "
         "e8, e9\n"
         "output f0, f1, f2, f3, f4, f5, f6, f7, f8, f9, g0, g1, g2, g3, g4\n",
         "第2行: 声明太多 (最多64个)"},
        {"input x\noutput 用户注释\n", "第2行: 名称 用户注释 已是组件的属性"},
    };
    auto d = Device::CreateEmpty(Quiet());
    std::string u = d->AddComponent("用户自定义组件");
    for (const auto& c : cases) {
        ASSERT_TRUE(d->SetValue(u, "脚本代码", c.script));
        std::string info = Val(*d, u, "编译信息");
        EXPECT_EQ(info.rfind(std::string("编译失败\n") + c.error, 0), 0u)
            << c.script << "\n→ " << info;
        EXPECT_EQ(Val(*d, u, "脚本代码"), c.script);  // the text is kept for the next edit
    }
}

TEST(Script, DeclarationsBecomeSlotsAndAttributesAndTheProgramRuns) {
    auto d = Device::CreateEmpty(Quiet());
    std::string u = d->AddComponent("用户自定义组件"), sw = d->AddComponent("开关"),
                k = d->AddComponent("数值常量");
    const char* script =
        "// counts rising edges of 脉冲 until 上限\n"
        "input 脉冲\noutput 次数, 满\nattr 上限 = 3\nref 偏移 = \"数值常量-1.数值\"\n"
        "沿 = 脉冲 && !旧; 旧 = 脉冲\n"
        "if 沿 && 次数 < 上限 then\n  次数 = 次数 + 1\nend\n"
        "i = 0\nwhile i < 3 do i = i + 1 end\n"
        "满 = 次数 >= 上限\n"
        "次数 = 次数 + 偏移 * 0\n";
    ASSERT_TRUE(d->SetValue(u, "脚本代码", script));
    EXPECT_EQ(Val(*d, u, "编译信息"), "编译成功: 输入1个, 输出2个, 属性1个, 引用1个");
    std::vector<std::string> names;
    for (const auto& a : d->Attributes(u)) names.push_back(a.name + "/" + std::to_string(a.role));
    EXPECT_EQ(names,
              (std::vector<std::string>{"区域位置/0", "用户注释/0", "脚本代码/0", "编译信息/0",
                                        "上限/0", "脉冲/1", "次数/3", "满/3"}));
    ASSERT_TRUE(d->SetLink(u, "脉冲", sw + ":输出"));
    ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "true"));
    for (int i = 0; i < 5; ++i) {
        d->SetValue(sw, "开关状态", "true");
        d->Step(2);
        d->SetValue(sw, "开关状态", "false");
        d->Step(2);
    }
    EXPECT_EQ(Val(*d, u, "次数"), "3");
    EXPECT_EQ(Val(*d, u, "满"), "1");

    // A broken script keeps the last good program and its slots; a good one replaces them.
    ASSERT_TRUE(d->SetValue(u, "脚本代码", "input x\noutput\n"));
    EXPECT_EQ(d->GetLink(u, "脉冲"), sw + ":输出");
    ASSERT_TRUE(d->SetValue(u, "脚本代码", "input 另一个\noutput 次数\n次数 = 另一个\n"));
    EXPECT_EQ(d->GetLink(u, "另一个"), "");
    EXPECT_EQ(Val(*d, u, "满"), "<none>");
    EXPECT_EQ(Val(*d, u, "上限"), "<none>");
}

// Messages sent on an attached link, as a test sees them.
class Capture {
  public:
    Device::LinkSend Sink() {
        return [this](const uint8_t* m, size_t n, bool corrupt) {
            std::lock_guard<std::mutex> lock(mu_);
            msgs_.push_back({std::vector<uint8_t>(m, m + n), corrupt});
            cv_.notify_all();
        };
    }
    struct Msg {
        std::vector<uint8_t> bytes;
        bool corrupt;
        uint8_t cmd() const { return bytes[6]; }
    };
    std::vector<Msg> Take() {
        std::lock_guard<std::mutex> lock(mu_);
        return std::exchange(msgs_, {});
    }
    bool WaitFor(size_t n) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return msgs_.size() >= n; });
    }

  private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Msg> msgs_;
};

// Bit of sample s, channel k in a 4-channel record.
int Bit(const std::vector<uint8_t>& rec, size_t s, size_t k) {
    size_t b = s * 4 + k;
    return (rec[b / 8] >> (b % 8)) & 1;
}

std::vector<uint8_t> Recording(Device& d) {
    Reply r = Ask(d, Request(kvs::kCmdGetMem, {kMgr, "记录数据"}));
    return std::vector<uint8_t>(r.bytes.begin() + 12, r.bytes.end());
}

void RecordUntilDone(Device& d) {
    ASSERT_TRUE(d.SetValue(kMgr, "启动采样", "true"));
    for (int i = 0; i < 1000 && Val(d, kMgr, "启动采样") == "true"; ++i) d.Step(1);
    ASSERT_EQ(Val(d, kMgr, "启动采样"), "false");
}

TEST(Sampling, FreeRunningRecordShowsTheDemoTimersSquareWave) {
    auto d = Device::CreateDemo(Quiet());
    ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "true"));
    d->Step(3);
    RecordUntilDone(*d);
    EXPECT_EQ(Val(*d, kMgr, "记录数据"), "1024");  // 2048 samples of 4 channels
    EXPECT_EQ(Val(*d, kMgr, "触发起始位置"), "0");
    auto rec = Recording(*d);
    ASSERT_EQ(rec.size(), 1024u);
    // Channel 0 is the timer (100 ms period, half high) sampled every 1000 us: runs of 50.
    std::vector<int> runs;
    int run = 1;
    for (size_t s = 1; s < 2048; ++s) {
        if (Bit(rec, s, 0) == Bit(rec, s - 1, 0)) {
            ++run;
        } else {
            runs.push_back(run);
            run = 1;
        }
    }
    ASSERT_GE(runs.size(), 38u);
    for (size_t i = 1; i < runs.size(); ++i) EXPECT_EQ(runs[i], 50) << i;
    for (size_t s = 0; s < 2048; ++s) ASSERT_EQ(Bit(rec, s, 1), 1);  // the switch is on
    // The AND gate passes the timer on, one tick (ten samples) later.
    for (size_t s = 10; s < 2048; ++s) ASSERT_EQ(Bit(rec, s, 2), Bit(rec, s - 10, 0)) << s;
}

TEST(Sampling, TriggerPlacesTheEdgeAtTheReportedPosition) {
    // Recording starts where the first edge of the wanted kind is more than the pre-trigger
    // part (64 samples, 3.2 ticks) away: 7 ticks before the rising edge at tick 10, 8 before
    // the falling edge at tick 15.
    for (auto [rising, ticks_before] : {std::pair{true, 2}, std::pair{false, 6}}) {
        auto d = Device::CreateDemo(Quiet());
        ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "true"));
        ASSERT_TRUE(d->SetValue(kMgr, "启用采样触发", "true"));
        ASSERT_TRUE(d->SetValue(kMgr, "上升_下降沿触发", rising ? "true" : "false"));
        ASSERT_TRUE(d->SetValue(kMgr, "采样深度", "512"));
        ASSERT_TRUE(d->SetValue(kMgr, "采样时间_us", "500"));
        d->Step(ticks_before);
        RecordUntilDone(*d);
        auto rec = Recording(*d);
        ASSERT_EQ(rec.size(), 256u);
        int pos = std::stoi(Val(*d, kMgr, "触发起始位置"));
        EXPECT_EQ(pos, 64);  // an eighth of the depth before the trigger
        EXPECT_EQ(Bit(rec, pos, 0), rising ? 1 : 0);
        EXPECT_EQ(Bit(rec, pos - 1, 0), rising ? 0 : 1);
    }
}

TEST(Sampling, StoppingEarlyKeepsWhatWasRecorded) {
    auto d = Device::CreateDemo(Quiet());
    ASSERT_TRUE(d->SetValue(kMgr, "启动采样", "true"));
    d->Step(10);  // 100 samples, with the work loop stopped: flat signals
    ASSERT_TRUE(d->SetValue(kMgr, "启动采样", "false"));
    EXPECT_EQ(Val(*d, kMgr, "记录数据"), "50");
    auto rec = Recording(*d);
    EXPECT_EQ(rec, std::vector<uint8_t>(50, 0));
}

TEST(Monitor, WatchedAttributesSendEventsToEveryLink) {
    auto d = Device::CreateDemo(Quiet());
    Capture a, b;
    d->AttachLink(a.Sink());
    d->AttachLink(b.Sink());
    ASSERT_TRUE(d->SetValue(kMgr, "属性监控表",
                            "计数器-1.计数值@change;定时器-5.输出@true;开关-1.开关状态@false;"));
    ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "true"));
    d->Step(25);  // counts 1, 2, 3; the timer rises three times
    ASSERT_TRUE(d->SetValue("开关-1", "开关状态", "false"));
    ASSERT_TRUE(d->SetValue("开关-1", "开关状态", "false"));  // no change: no second event
    std::vector<std::string> events;
    for (const auto& m : a.Take()) {
        if (m.cmd() != kvs::kCmdMonitorEvent) continue;
        Reply r{true, m.bytes};
        std::string name = r.Text(12);
        events.push_back(name + "=" + r.Text(12 + kvs::Utf8ToGbk(name).size() + 1));
    }
    EXPECT_EQ(events, (std::vector<std::string>{"定时器-5.输出=true", "计数器-1.计数值=1",
                                                "定时器-5.输出=true", "计数器-1.计数值=2",
                                                "定时器-5.输出=true", "计数器-1.计数值=3",
                                                "开关-1.开关状态=false"}));
    size_t on_b = 0;
    for (const auto& m : b.Take()) on_b += m.cmd() == kvs::kCmdMonitorEvent;
    EXPECT_EQ(on_b, events.size());
}

TEST(Monitor, BroadcastReachesEveryLinkUnlessSilent) {
    auto d = Device::CreateEmpty(Quiet());
    Capture a, b;
    d->AttachLink(a.Sink());
    int gone = d->AttachLink(b.Sink());
    const uint8_t junk[13] = {13, 0, 0, 0, 0, 0, 99, 0, 0, 0, 0, 0, 7};
    d->Broadcast(junk, sizeof junk);
    EXPECT_EQ(a.Take().size(), 1u);
    EXPECT_EQ(b.Take().size(), 1u);
    d->DetachLink(gone);
    Faults silent;
    silent.silent = true;
    d->SetFaults(silent);
    d->Broadcast(junk, sizeof junk);
    d->SetFaults(Faults{});
    d->Broadcast(junk, sizeof junk);
    EXPECT_EQ(a.Take().size(), 1u);
    EXPECT_EQ(b.Take().size(), 0u);
}

TEST(Monitor, RestartStopsTheLoopAndSendsInfoLines) {
    auto d = Device::CreateDemo(Quiet());
    Capture c;
    d->AttachLink(c.Sink());
    ASSERT_TRUE(d->SetValue(kMgr, "运行状态", "true"));
    ASSERT_TRUE(d->SetValue("开关-1", "用户注释", "改过"));
    c.Take();
    ASSERT_TRUE(d->SetValue(kMgr, "重新启动", "true"));
    EXPECT_FALSE(d->Running());
    EXPECT_EQ(Val(*d, "开关-1", "用户注释"), "使能");  // the stored configuration came back
    auto msgs = c.Take();
    ASSERT_EQ(msgs.size(), 1u);
    ASSERT_EQ(msgs[0].cmd(), kvs::kCmdInfoLines);
    uint32_t count;
    std::memcpy(&count, &msgs[0].bytes[8], 4);
    EXPECT_GE(count, 3u);
    EXPECT_EQ(static_cast<int8_t>(msgs[0].bytes[12]), 2);  // level
    Reply r{true, msgs[0].bytes};
    EXPECT_EQ(r.Text(13), "交换网和工作循环已停止");
}

TEST(Flash, PagesReadEraseAndProgramLikeNorFlash) {
    auto d = Device::CreateDemo(Quiet());
    EXPECT_EQ(Val(*d, kMgr, "Flash描述信息"), "P=100,C=20000,B=1000,N=20,");
    auto page_at = [&](int addr) {
        EXPECT_TRUE(d->SetValue(kMgr, "Flash操作地址", std::to_string(addr)));
        EXPECT_TRUE(d->SetValue(kMgr, "Flash执行读取", "true"));
        Reply r = Ask(*d, Request(kvs::kCmdGetMem, {kMgr, "Flash操作数据"}));
        return std::vector<uint8_t>(r.bytes.begin() + 12, r.bytes.end());
    };
    auto program = [&](int addr, const std::vector<uint8_t>& data) {
        EXPECT_TRUE(d->SetValue(kMgr, "Flash操作地址", std::to_string(addr)));
        int s = Ask(*d, Request(kvs::kCmdSetMem, {kMgr, "Flash操作数据"},
                                static_cast<int32_t>(data.size()), data))
                    .status();
        if (s != 0) return s;
        return d->SetValue(kMgr, "Flash执行写入", "true") ? 0 : 1;
    };
    auto first = page_at(0);
    ASSERT_EQ(first.size(), 256u);
    EXPECT_EQ(std::string(first.begin(), first.begin() + 6), "KVS-FW");
    EXPECT_EQ(page_at(0x1F000), std::vector<uint8_t>(256, 0xFF));  // past the image: erased

    const int addr = 0x1100;  // page 1 of block 1
    ASSERT_TRUE(d->SetValue(kMgr, "Flash操作地址", std::to_string(0x1000)));
    ASSERT_TRUE(d->SetValue(kMgr, "Flash执行擦除", "true"));
    EXPECT_EQ(page_at(0x1000), std::vector<uint8_t>(256, 0xFF));
    EXPECT_EQ(page_at(0x1F00), std::vector<uint8_t>(256, 0xFF));  // the whole block
    EXPECT_NE(page_at(0x2000), std::vector<uint8_t>(256, 0xFF));  // the next block untouched

    std::vector<uint8_t> pattern(256);
    for (int i = 0; i < 256; ++i) pattern[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(program(addr, pattern), 0);
    EXPECT_EQ(page_at(addr), pattern);
    // Programming again can only clear bits.
    ASSERT_EQ(program(addr, std::vector<uint8_t>(256, 0xF0)), 0);
    for (int i = 0; i < 256; ++i) pattern[i] &= 0xF0;
    EXPECT_EQ(page_at(addr), pattern);

    EXPECT_EQ(program(addr, std::vector<uint8_t>(255, 0)), 1);  // not a whole page
    ASSERT_TRUE(d->SetValue(kMgr, "Flash操作地址", std::to_string(0x20000 - 255)));
    EXPECT_FALSE(d->SetValue(kMgr, "Flash执行读取", "true"));  // runs past the end
    ASSERT_TRUE(d->SetValue(kMgr, "Flash操作地址", std::to_string(0x20000)));
    EXPECT_FALSE(d->SetValue(kMgr, "Flash执行擦除", "true"));
}

TEST(Faults, EachFaultShapesWhatTheLinkReceives) {
    auto d = Device::CreateDemo(Quiet());
    Capture c;
    int link = d->AttachLink(c.Sink());
    auto tree = Request(kvs::kCmdTree, {}, 0, {}, 0);
    auto with = [&](const char* faults_text) {
        Faults f;
        EXPECT_TRUE(Faults::Parse(faults_text, &f)) << faults_text;
        d->SetFaults(f);
        d->Receive(link, tree.data(), tree.size());
        return c.Take();
    };
    EXPECT_EQ(with("").size(), 1u);
    EXPECT_EQ(with("drop=1").size(), 0u);
    EXPECT_EQ(with("silent").size(), 0u);
    EXPECT_EQ(with("dup=1").size(), 2u);
    auto corrupt = with("corrupt=1");
    ASSERT_EQ(corrupt.size(), 1u);
    EXPECT_TRUE(corrupt[0].corrupt);
    auto junk = with("junk=1");
    ASSERT_EQ(junk.size(), 2u);
    EXPECT_EQ(junk[0].cmd(), 77);
    EXPECT_EQ(junk[1].cmd(), kvs::kCmdTree | 0x80);
    for (int i = 0; i < 4; ++i) {
        auto bad = with("malformed=1");
        ASSERT_EQ(bad.size(), 1u);
        Reply r{true, bad[0].bytes};
        int32_t len;
        std::memcpy(&len, r.bytes.data(), 4);
        // Either the records cannot be walked or the length field lies about the bytes.
        bool walk_bad =
            static_cast<size_t>(len) == r.bytes.size() && r.Records().back().kind == 0xBADu;
        EXPECT_TRUE(walk_bad || static_cast<size_t>(len) != r.bytes.size());
    }
    d->SetFaults(Faults{});
    Faults slow;
    slow.delay_ms = 30;
    d->SetFaults(slow);
    d->Receive(link, tree.data(), tree.size());
    EXPECT_TRUE(c.WaitFor(1));

    Faults f;
    for (const char* bad : {"drop=2", "delay=-1", "bogus=1", "drop=x", "silent=1"})
        EXPECT_FALSE(Faults::Parse(bad, &f)) << bad;
    ASSERT_TRUE(
        Faults::Parse("drop=0.5,delay=20,dup=0.1,corrupt=0.2,junk=0.3,malformed=0.4,silent", &f));
    EXPECT_EQ(f.delay_ms, 20);
    EXPECT_DOUBLE_EQ(f.malformed, 0.4);
    EXPECT_TRUE(f.silent);
}

TEST(Config, ProjectTextsLoadInEitherEncodingAndBecomeTheStoredConfiguration) {
    auto demo = Device::CreateDemo(Quiet());
    const std::string utf8 = demo->ExportConfig();
    for (const std::string& text : {utf8, kvs::Utf8ToGbk(utf8)}) {
        std::string error;
        auto d = Device::CreateFromText(text, Quiet(), &error);
        ASSERT_NE(d, nullptr) << error;
        EXPECT_EQ(d->ExportConfig(), utf8);
        d->SetValue("开关-1", "用户注释", "临时");
        d->Restart();  // loads what it was created with
        EXPECT_EQ(Val(*d, "开关-1", "用户注释"), "使能");
    }
    std::string error;
    EXPECT_EQ(Device::CreateFromText("KVS配置 1\n[定时器-1]\n定时周期_ms=-5\n", Quiet(), &error),
              nullptr);
    EXPECT_EQ(error, "第3行: 属性 定时周期_ms 的值无效: -5");
}

}  // namespace
}  // namespace devsim::test
