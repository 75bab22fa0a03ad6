// The link library against the simulated controller over real loopback UDP and a real pseudo
// terminal. Runs in a private network namespace (fixed ports 30000/30001).
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "api_internal.h"
#include "devsim/device.h"
#include "gbk.h"
#include "kvsh_records.h"
#include "kvsh_user.h"
#include "msg.h"

namespace {

using Clock = std::chrono::steady_clock;
std::string G(const std::string& utf8) { return kvs::Utf8ToGbk(utf8); }
std::string U(const char* gbk) { return gbk ? kvs::GbkToUtf8(gbk) : std::string("<null>"); }

const std::string kMgr = G("组件管理器");

// Unsolicited messages reaching the library's receive callback.
struct Events {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::vector<uint8_t>> msgs;
    static Events& Get() {
        static Events e;
        return e;
    }
    static void Callback(const unsigned char* msg, int length, void*) {
        Events& e = Get();
        std::lock_guard<std::mutex> lock(e.mu);
        e.msgs.emplace_back(msg, msg + length);
        e.cv.notify_all();
    }
    // Waits for a message of code cmd whose first text is name (when given).
    bool WaitFor(uint8_t cmd, const std::string& name, std::vector<uint8_t>* out, int seconds = 5) {
        std::unique_lock<std::mutex> lock(mu);
        return cv.wait_for(lock, std::chrono::seconds(seconds), [&] {
            for (auto& m : msgs) {
                if (m.size() < 13 || m[6] != cmd) continue;
                if (!name.empty() &&
                    std::string(reinterpret_cast<char*>(&m[12]),
                                strnlen(reinterpret_cast<char*>(&m[12]), m.size() - 12)) != name)
                    continue;
                if (out) *out = m;
                return true;
            }
            return false;
        });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mu);
        msgs.clear();
    }
};

// A request of cmd with texts, sent through the global connection's engine with a short wait
// (the fault cases would otherwise wait out the 10 s default).
const T_MSG_HEAD* Timed(uint8_t cmd, std::initializer_list<std::string> texts, unsigned ms) {
    static thread_local std::vector<uint8_t> buf(kvs::kBufferSize);
    kvs::MsgBuilder b(buf.data(), buf.size(), cmd, 1);
    for (const auto& t : texts) b.Text(t.c_str());
    auto* conn = kvs::FromHandle(kvs::GlobalHandle());
    return conn ? conn->RequestTimed(b.head(), ms) : nullptr;
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Events::Get().Clear();
        device = devsim::Device::CreateDemo();
        KVSGetKey("62719405");
    }
    void TearDown() override {
        KVS_Clear();
        device.reset();
    }
    void Connect() { KVS_RegistRecvCallBack(&Events::Callback); }
    std::string Val(const std::string& c, const std::string& a) {
        return U(KVS_GetAttrVal(G(c).c_str(), G(a).c_str()));
    }
    bool Set(const std::string& c, const std::string& a, const std::string& v) {
        return KVS_SetAttributeVal(G(c).c_str(), G(a).c_str(), G(v).c_str(), true);
    }
    std::unique_ptr<devsim::Device> device;
};

class Udp : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        std::string error;
        ASSERT_TRUE(device->StartUdp("127.0.0.1", 30001, &error)) << error;
        ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
        Connect();
    }
};

TEST_F(Udp, EveryRequestOperationEndToEnd) {
    EXPECT_TRUE(KVS_Key("62719405"));
    EXPECT_FALSE(KVS_Key("12345678"));

    const T_MSG_HEAD* tree = KVS_GetComponentTree();
    ASSERT_NE(tree, nullptr);
    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, tree);
    int instances = 0;
    while (KVS_RecordsNext(&it, &rec)) instances += rec.kind == KVS_KIND_INSTANCE;
    EXPECT_FALSE(it.bad);
    EXPECT_EQ(instances, 13);  // 7 boxes and 6 links

    const T_MSG_HEAD* attrs = KVS_GetComponentAttrInfo(G("定时器-5").c_str());
    ASSERT_NE(attrs, nullptr);
    EXPECT_GE(attrs->count, 5);
    const T_MSG_HEAD* one = KVS_GetAttrInfo(G("定时器-5").c_str(), G("启用定时器").c_str());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(one)[17], KVS_TYPE_BOOL);
    const T_MSG_HEAD* slots = KVS_GetComponentSlotInfo(G("与门-1").c_str());
    ASSERT_NE(slots, nullptr);
    EXPECT_EQ(slots->count, 4);

    EXPECT_EQ(Val("组件管理器", "运行状态"), "false");
    EXPECT_EQ(U(KVS_GetAttrRealVal(G("槽位连接线").c_str(), G("创建的组件").c_str()))
                  .rfind("槽位连接线-1;", 0),
              0u);
    EXPECT_EQ(U(KVS_GetAttributeLink(G("与门-1").c_str(), G("输入1").c_str())), "定时器-5:输出");
    EXPECT_EQ(KVS_GetAttrVal(G("不存在-1").c_str(), "x"), nullptr);

    EXPECT_TRUE(Set("定时器-5", "定时周期_ms", "200"));
    EXPECT_FALSE(Set("定时器-5", "定时周期_ms", "abc"));
    EXPECT_TRUE(KVS_SetAttributeVal(G("开关-1").c_str(), G("用户注释").c_str(), G("不等待").c_str(),
                                    false));
    EXPECT_EQ(Val("开关-1", "用户注释"),
              "不等待");  // the unacknowledged write arrived before the read

    const char* name = KVS_AddNewComponent(G("或门").c_str(), nullptr);
    ASSERT_NE(name, nullptr);
    std::string made = U(name);
    EXPECT_EQ(made, "或门-1");
    EXPECT_TRUE(
        KVS_SetAttributeLink(G(made).c_str(), G("输入1").c_str(), G("开关-1:输出").c_str()));
    EXPECT_EQ(U(KVS_GetAttributeLink(G(made).c_str(), G("输入1").c_str())), "开关-1:输出");
    EXPECT_TRUE(KVS_SetAttributeLink(G(made).c_str(), G("输入1").c_str(), ""));
    EXPECT_TRUE(KVS_ModifyStrList(kMgr.c_str(), G("属性监控表").c_str(), 1,
                                  G("或门-1.输出@change").c_str(), 0));
    EXPECT_EQ(Val("组件管理器", "属性监控表"), "或门-1.输出@change;");
    EXPECT_TRUE(KVS_DelComponent(G(made).c_str()));
    EXPECT_FALSE(KVS_DelComponent(G(made).c_str()));

    const std::string names = G("定时器-5.启用定时器;信号发生器-2.启动频率_KHz;");
    EXPECT_TRUE(KVS_SetBatchAttrVal(names.c_str(), "true;1;", 2, true));
    EXPECT_EQ(U(KVS_GetBatchAttrVal(names.c_str(), 2)), "true;1;");

    const unsigned char raw[5] = {'a', 'b', 0, 'c', 0xFF};
    EXPECT_TRUE(KVS_SetAttrMemData(G("开关-1").c_str(), G("用户注释").c_str(), raw, 2));
    int len = 0;
    const unsigned char* mem = KVS_GetAttrMemData(G("开关-1").c_str(), G("用户注释").c_str(), &len);
    ASSERT_NE(mem, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem), static_cast<size_t>(len)), "ab");

    uint8_t slot = 0, dev = 0, serial = 0;
    T_GLOAT_SET g{};
    ASSERT_TRUE(KVS_ConfigFile_Operate(4, &slot, &dev, &serial, &g));
    EXPECT_EQ(std::string(g.key, 8), "62719405");
    EXPECT_EQ(dev, 3);
    slot = 1;
    EXPECT_TRUE(KVS_ConfigFile_Operate(5, &slot, &dev, &serial, &g));
    EXPECT_TRUE(KVS_ConfigFile_Operate(4, &slot, nullptr, nullptr, nullptr));
    EXPECT_EQ(slot, 1);
    slot = 1;
    EXPECT_TRUE(KVS_ConfigFile_Operate(1, &slot, nullptr, nullptr, nullptr));
    slot = 7;
    EXPECT_FALSE(KVS_ConfigFile_Operate(1, &slot, nullptr, nullptr, nullptr));

    EXPECT_TRUE(KVS_InBoot(0));
    EXPECT_EQ(KVS_GetComponentTree()->param.bytes[0], 3);  // the boot loader answers, refusing
    EXPECT_TRUE(KVS_InBoot(2));
    EXPECT_TRUE(KVS_InBoot(3));
    EXPECT_TRUE(KVS_InBoot(1));
    std::vector<uint8_t> info;
    EXPECT_TRUE(
        Events::Get().WaitFor(100, "", &info));  // information lines of the boot and restart
    EXPECT_EQ(Val("组件管理器", "运行模式"), "正常模式");
    EXPECT_TRUE(KVS_ConfigFile_Operate(3, &slot, nullptr, nullptr, nullptr));
    EXPECT_EQ(KVS_GetComponentTree()->count, 12);  // types only
}

TEST_F(Udp, ConfigurationRoundTripsThroughUploadAndDownload) {
    const char* up = KVS_UploadConfig();
    ASSERT_NE(up, nullptr);
    const std::string text = up;  // GBK, as a project file stores it
    EXPECT_EQ(U(text.c_str()).rfind("KVS配置 1\n", 0), 0u);
    uint8_t slot = 0;
    ASSERT_TRUE(KVS_ConfigFile_Operate(3, &slot, nullptr, nullptr, nullptr));
    EXPECT_NE(std::string(KVS_UploadConfig()), text);
    ASSERT_TRUE(KVS_DownloadConfig(text.c_str()));
    EXPECT_EQ(std::string(KVS_UploadConfig()), text);
    // A malformed text is refused and leaves the configuration as it was.
    EXPECT_FALSE(KVS_DownloadConfig(G("KVS配置 1\n[定时器-5]\n启用定时器=也许\n").c_str()));
    EXPECT_EQ(std::string(KVS_UploadConfig()), text);
}

TEST_F(Udp, FlashPageReadEraseWriteCycle) {
    const std::string data = G("Flash操作数据"), addr = G("Flash操作地址");
    EXPECT_EQ(Val("组件管理器", "Flash描述信息"), "P=100,C=20000,B=1000,N=20,");
    auto read_page = [&](int a) {
        EXPECT_TRUE(
            KVS_SetAttributeVal(kMgr.c_str(), addr.c_str(), std::to_string(a).c_str(), true));
        EXPECT_TRUE(Set("组件管理器", "Flash执行读取", "true"));
        int len = 0;
        const unsigned char* p = KVS_GetAttrMemData(kMgr.c_str(), data.c_str(), &len);
        return p ? std::vector<uint8_t>(p, p + len) : std::vector<uint8_t>();
    };
    std::vector<uint8_t> page(256);
    for (int i = 0; i < 256; ++i) page[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(KVS_SetAttributeVal(kMgr.c_str(), addr.c_str(), "8192", true));
    ASSERT_TRUE(Set("组件管理器", "Flash执行擦除", "true"));
    EXPECT_EQ(read_page(8192), std::vector<uint8_t>(256, 0xFF));
    ASSERT_TRUE(KVS_SetAttrMemData(kMgr.c_str(), data.c_str(), page.data(), 256));
    ASSERT_TRUE(Set("组件管理器", "Flash执行写入", "true"));
    EXPECT_EQ(read_page(8192), page);
    EXPECT_FALSE(KVS_SetAttrMemData(kMgr.c_str(), data.c_str(), page.data(), 100));  // not a page
}

TEST_F(Udp, MonitorEventReachesTheCallbackWhileTheWorkLoopRuns) {
    ASSERT_TRUE(Set("组件管理器", "属性监控表", "计数器-1.计数值@3;"));
    ASSERT_TRUE(Set("组件管理器", "运行状态", "true"));
    std::vector<uint8_t> ev;
    ASSERT_TRUE(Events::Get().WaitFor(20, G("计数器-1.计数值"), &ev));
    size_t name_len = strlen(reinterpret_cast<char*>(&ev[12]));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&ev[12 + name_len + 1])), "3");
    EXPECT_TRUE(Set("组件管理器", "运行状态", "false"));
}

TEST_F(Udp, RecordingShowsTheDemoTimersSignal) {
    ASSERT_TRUE(Set("组件管理器", "运行状态", "true"));
    ASSERT_TRUE(Set("组件管理器", "启动采样", "true"));
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Val("组件管理器", "启动采样") != "false" && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(Val("组件管理器", "记录数据"), "1024");
    int len = 0;
    const unsigned char* p = KVS_GetAttrMemData(kMgr.c_str(), G("记录数据").c_str(), &len);
    ASSERT_EQ(len, 1024);
    // Channel 0 (the timer) alternates in runs of 50 samples: 50 ms at 1000 us per sample.
    int changes = 0, run = 0, last = -1;
    for (int s = 0; s < 2048; ++s) {
        int bit = (p[s / 2] >> ((s % 2) * 4)) & 1;
        if (last >= 0 && bit != last) {
            if (changes > 0) {
                EXPECT_EQ(run, 50);
            }
            ++changes;
            run = 0;
        }
        ++run;
        last = bit;
    }
    EXPECT_GE(changes, 38);
}

TEST_F(Udp, EachFaultEndsInATimeOutOrAReportWithoutAHang) {
    const std::string mgr = kMgr, state = G("运行状态");
    auto with = [&](const char* faults_text) {
        devsim::Faults f;
        EXPECT_TRUE(devsim::Faults::Parse(faults_text, &f));
        device->SetFaults(f);
    };
    for (const char* faults_text : {"drop=1", "silent", "corrupt=1", "delay=800"}) {
        with(faults_text);
        auto start = Clock::now();
        EXPECT_EQ(Timed(kvs::kCmdGetVal, {mgr, state}, 300), nullptr) << faults_text;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << faults_text;
    }
    with("");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // let the late reply pass
    with("malformed=1");
    for (int i = 0; i < 4; ++i) {
        const char* v = KVS_GetAttrVal(mgr.c_str(), state.c_str());
        const T_MSG_HEAD* t = KVS_GetComponentTree();
        // Spoiled replies either fail or, walked with the bounds-checked helpers, stop early.
        if (t) {
            KVS_RECORD_ITER it;
            KVS_RECORD r;
            KVS_RecordsBegin(&it, t);
            while (KVS_RecordsNext(&it, &r)) {
            }
            EXPECT_TRUE(it.bad || t->count == 0);
        }
        (void)v;
    }
    // Replies are matched by their command code, so a duplicate may answer the next request of
    // the same code; reading the same attribute keeps that harmless here.
    with("dup=1,junk=1");
    EXPECT_EQ(Val("组件管理器", "运行状态"), "false");
    EXPECT_EQ(Val("组件管理器", "运行状态"), "false");
    EXPECT_TRUE(Events::Get().WaitFor(77, "", nullptr));  // the unknown code reached the callback
    with("");
    std::this_thread::sleep_for(
        std::chrono::milliseconds(200));  // the last duplicate passes unclaimed
    EXPECT_EQ(Val("开关-1", "开关状态"), "true");
    // Boot commands wait 500 ms: a silent device fails them promptly.
    with("silent");
    auto start = Clock::now();
    EXPECT_FALSE(KVS_InBoot(0));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST_F(Udp, HandleFamilyReachesTheSameDevice) {
    KVS_Clear();  // the handle connection takes the same local port
    KVS_HANDLE h = mKVS_Initial_UDP(127, 0, 0, 1);
    ASSERT_NE(h, nullptr);
    int user = 0;
    mKVS_RegistRecvCallBack(
        h,
        [](const unsigned char* m, int n, void* u) {
            if (n > 6 && m[6] == 20) Events::Callback(m, n, u);
        },
        &user);
    EXPECT_TRUE(mKVS_Key(h, "62719405"));
    EXPECT_TRUE(mKVS_SetAttributeVal(h, kMgr.c_str(), G("属性监控表").c_str(),
                                     G("开关-1.开关状态@change;").c_str(), true));
    EXPECT_TRUE(mKVS_SetAttributeVal(h, G("开关-1").c_str(), G("开关状态").c_str(), "false", true));
    EXPECT_TRUE(Events::Get().WaitFor(20, G("开关-1.开关状态"), nullptr));
    EXPECT_STREQ(mKVS_GetAttrVal(h, G("开关-1").c_str(), G("开关状态").c_str()), "false");
    const char* up = mKVS_UploadConfig(h);
    ASSERT_NE(up, nullptr);
    EXPECT_TRUE(mKVS_DownloadConfig(h, std::string(up).c_str()));
    mKVS_Clear(h);
}

TEST_F(Udp, StoppedDeviceStartsServingAgain) {
    device->Stop();
    EXPECT_EQ(Timed(kvs::kCmdGetVal, {kMgr, G("运行状态")}, 300), nullptr);
    std::string error;
    ASSERT_TRUE(device->StartUdp("127.0.0.1", 30001, &error)) << error;
    EXPECT_FALSE(device->StartUdp("127.0.0.1", 30001, &error));  // one UDP link at a time
    ASSERT_TRUE(Set("组件管理器", "属性监控表", "定时器-5.输出@change;"));
    ASSERT_TRUE(Set("组件管理器", "运行状态", "true"));
    EXPECT_TRUE(
        Events::Get().WaitFor(20, G("定时器-5.输出"), nullptr));  // the work loop runs again
}

TEST_F(Udp, AWrongKeyGivesNoAccess) {
    KVSGetKey("00000001");
    EXPECT_EQ(Timed(kvs::kCmdGetVal, {kMgr, G("运行状态")}, 300), nullptr);
    KVSGetKey("62719405");
    EXPECT_EQ(Val("组件管理器", "运行状态"), "false");
}

// --- the serial transport through a pseudo terminal --------------------------------------------

class Pty : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        dir = std::filesystem::temp_directory_path() / ("kvs-devsim-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::string error;
        link = (dir / "ttyKVS").string();
        path = device->StartPty(link, &error);
        ASSERT_FALSE(path.empty()) << error;
        std::string init = link + ":115200-8-1-0";
        ASSERT_TRUE(KVS_Initial_UART(init.data()));
        Connect();
    }
    void TearDown() override {
        LinkTest::TearDown();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::string link, path;
};

TEST_F(Pty, RequestsEventsAndLargeRepliesTravelOverTheSerialLink) {
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    EXPECT_TRUE(KVS_Key("62719405"));
    EXPECT_EQ(Val("定时器-5", "启用定时器"), "true");
    const char* up = KVS_UploadConfig();
    ASSERT_NE(up, nullptr);
    std::string text = up;
    EXPECT_GT(text.size(), 1000u);
    ASSERT_TRUE(KVS_DownloadConfig(text.c_str()));
    ASSERT_TRUE(Set("组件管理器", "属性监控表", "定时器-5.输出@change;"));
    ASSERT_TRUE(Set("组件管理器", "运行状态", "true"));
    EXPECT_TRUE(Events::Get().WaitFor(20, G("定时器-5.输出"), nullptr));
    EXPECT_TRUE(Set("组件管理器", "运行状态", "false"));
    device->Stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

// A paced line: what the device reads and what it sends both cross at the given baud.
class PacedPty : public LinkTest {
  protected:
    static constexpr int kBaud = 57600;
    void SetUp() override {
        LinkTest::SetUp();
        devsim::Options o;
        o.pty_baud = kBaud;
        device = devsim::Device::CreateDemo(o);
        dir = std::filesystem::temp_directory_path() /
              ("kvs-devsim-paced-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::string error, link = (dir / "ttyKVS").string();
        ASSERT_FALSE(device->StartPty(link, &error).empty()) << error;
        std::string init = link + ":115200-8-1-0";
        ASSERT_TRUE(KVS_Initial_UART(init.data()));
        Connect();
    }
    void TearDown() override {
        LinkTest::TearDown();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
};

TEST_F(PacedPty, ARequestAndItsReplyTakeTheirTimeOnTheLineBothWays) {
    const char* up = KVS_UploadConfig();
    ASSERT_NE(up, nullptr);
    const std::string text = up;
    // The upload's reply and the download's request each carry the whole text.
    auto start = std::chrono::steady_clock::now();
    ASSERT_NE(KVS_UploadConfig(), nullptr);
    ASSERT_TRUE(KVS_DownloadConfig(text.c_str()));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double line = 2.0 * static_cast<double>(text.size()) * 10 / kBaud;
    EXPECT_GE(took, line);
    EXPECT_LE(took, line * 1.3 + 0.3);
}

}  // namespace
