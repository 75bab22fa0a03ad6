// The link library's USB way against the simulated controller, end to end: the library's
// simulated driver reaches devsim::UsbController over a Unix-domain socket, in-process and as
// the kvs-devsim program.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devsim/device.h"
#include "devsim/usb_controller.h"
#include "gbk.h"
#include "kvsh_user.h"

extern char** environ;

namespace {

std::string G(const std::string& utf8) { return kvs::Utf8ToGbk(utf8); }
std::string U(const char* gbk) { return gbk ? kvs::GbkToUtf8(gbk) : "<none>"; }

class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/kvs-usbsim-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

class UsbDevsim : public ::testing::Test {
  protected:
    void SetUp() override {
        device = devsim::Device::CreateDemo();
        usb = std::make_unique<devsim::UsbController>(*device, dir.File("ctl"));
        ASSERT_TRUE(usb->Plug());
        ::setenv("KVSH_USB_SIM", usb->Path().c_str(), 1);
        int index = -1;
        ASSERT_EQ(KVS_GetUSBDevIndexs(&index, 1), 1);
        ASSERT_EQ(index, 0);
        ASSERT_TRUE(KVS_Initial_USB(index));
    }
    void TearDown() override {
        KVS_Clear();
        ::unsetenv("KVSH_USB_SIM");
    }
    std::string Value(const std::string& c, const std::string& a) {
        std::string v;
        return device->GetValue(c, a, &v) ? v : "<none>";
    }

    TempDir dir;
    std::unique_ptr<devsim::Device> device;
    std::unique_ptr<devsim::UsbController> usb;
};

TEST_F(UsbDevsim, EveryRequestOperationWorksOverTheUsbLink) {
    const std::string batch = G("定时器-5.启用定时器;信号发生器-2.启动频率_KHz;");
    std::string upload;
    std::string added;
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"key",
         [&] {
             EXPECT_TRUE(KVS_Key(device->Key().c_str()));
             EXPECT_FALSE(KVS_Key("00000000"));
         }},
        {"tree",
         [&] {
             const T_MSG_HEAD* r = KVS_GetComponentTree();
             ASSERT_NE(r, nullptr);
             EXPECT_EQ(r->cmd, 0x81);
             EXPECT_EQ(r->param.bytes[0], 0);
         }},
        {"attribute records",
         [&] {
             const T_MSG_HEAD* all = KVS_GetComponentAttrInfo(G("信号发生器-2").c_str());
             ASSERT_NE(all, nullptr);
             EXPECT_EQ(all->param.bytes[0], 0);
             const T_MSG_HEAD* one = KVS_GetAttrInfo(G("定时器").c_str(), G("总资源数").c_str());
             ASSERT_NE(one, nullptr);
             EXPECT_EQ(one->param.bytes[0], 0);
             const T_MSG_HEAD* slots = KVS_GetComponentSlotInfo(G("与门-1").c_str());
             ASSERT_NE(slots, nullptr);
             EXPECT_EQ(slots->param.bytes[0], 0);
         }},
        {"values",
         [&] {
             EXPECT_EQ(U(KVS_GetAttrVal(G("定时器").c_str(), G("总资源数").c_str())), "8");
             EXPECT_NE(KVS_GetAttrRealVal(G("定时器-5").c_str(), G("定时周期_ms").c_str()),
                       nullptr);
             EXPECT_TRUE(
                 KVS_SetAttributeVal(G("定时器-5").c_str(), G("定时周期_ms").c_str(), "250", true));
             EXPECT_EQ(Value("定时器-5", "定时周期_ms"), "250");
             EXPECT_FALSE(
                 KVS_SetAttributeVal(G("定时器-5").c_str(), G("定时周期_ms").c_str(), "0", true));
         }},
        {"batches",
         [&] {
             EXPECT_TRUE(KVS_SetBatchAttrVal(batch.c_str(), "false;2;", 2, true));
             EXPECT_EQ(U(KVS_GetBatchAttrVal(batch.c_str(), 2)), "false;2;");
         }},
        {"links",
         [&] {
             EXPECT_EQ(U(KVS_GetAttributeLink(G("与门-1").c_str(), G("输入1").c_str())),
                       "定时器-5:输出");
             EXPECT_TRUE(KVS_SetAttributeLink(G("与门-1").c_str(), G("输入1").c_str(),
                                              G("开关-1:输出").c_str()));
             EXPECT_EQ(device->GetLink("与门-1", "输入1"), "开关-1:输出");
         }},
        {"string list",
         [&] {
             EXPECT_TRUE(KVS_ModifyStrList(G("组件管理器").c_str(), G("属性监控表").c_str(), 1,
                                           G("开关-1.输出@change").c_str(), 0));
             EXPECT_EQ(Value("组件管理器", "属性监控表"), "开关-1.输出@change;");
         }},
        {"memory data",
         [&] {
             const unsigned char data[] = "abc";
             EXPECT_TRUE(KVS_SetAttrMemData(G("开关-1").c_str(), G("用户注释").c_str(), data, 3));
             int n = 0;
             const unsigned char* p =
                 KVS_GetAttrMemData(G("开关-1").c_str(), G("用户注释").c_str(), &n);
             ASSERT_NE(p, nullptr);
             EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)),
                       "abc");
         }},
        {"components",
         [&] {
             const char* name = KVS_AddNewComponent(G("信号发生器").c_str(), nullptr);
             ASSERT_NE(name, nullptr);
             added = name;
             EXPECT_EQ(U(added.c_str()), "信号发生器-3");
             EXPECT_TRUE(KVS_DelComponent(added.c_str()));
             EXPECT_FALSE(KVS_DelComponent(added.c_str()));
         }},
        {"configuration",
         [&] {
             const char* text = KVS_UploadConfig();
             ASSERT_NE(text, nullptr);
             upload = text;
             EXPECT_GT(upload.size(), 100u);
             EXPECT_TRUE(KVS_DownloadConfig(upload.c_str()));
             T_GLOAT_SET rec{};
             EXPECT_TRUE(KVS_ConfigFile_Operate(4, nullptr, nullptr, nullptr, &rec));
             uint8_t slot = 2;
             EXPECT_TRUE(KVS_ConfigFile_Operate(1, &slot, nullptr, nullptr, nullptr));
         }},
        {"boot loader",
         [&] {
             EXPECT_TRUE(KVS_InBoot(0));  // enter
             EXPECT_TRUE(KVS_InBoot(3));  // normal start
             EXPECT_TRUE(KVS_InBoot(1));  // leave
             EXPECT_NE(KVS_GetComponentTree(), nullptr);
         }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        step();
    }
}

TEST_F(UsbDevsim, LargeConfigurationTravelsBothWays) {
    // Three long comments make a configuration text of some 45 kilobytes: one OUT transfer and
    // one IN transfer of that size each way.
    const char* owners[] = {"开关-1", "与门-1", "定时器-5"};
    for (int i = 0; i < 3; ++i) {
        const std::string comment(15000, static_cast<char>('a' + i));
        ASSERT_TRUE(KVS_SetAttributeVal(G(owners[i]).c_str(), G("用户注释").c_str(),
                                        comment.c_str(), true));
    }
    const char* up = KVS_UploadConfig();
    ASSERT_NE(up, nullptr);
    const std::string text = up;
    EXPECT_GT(text.size(), 45000u);
    ASSERT_TRUE(device->SetValue("开关-1", "用户注释", "short"));
    EXPECT_TRUE(KVS_DownloadConfig(text.c_str()));
    EXPECT_EQ(Value("开关-1", "用户注释"), std::string(15000, 'a'));
}

// Monitor events (unsolicited command 20) that reached the receive callback: name and value.
struct Events {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::pair<std::string, std::string>> seen;
    static Events& Get() {
        static Events e;
        return e;
    }
    static void Callback(const unsigned char* msg, int length, void*) {
        if (length < 14 || msg[6] != 20) return;
        const char* name = reinterpret_cast<const char*>(msg + 12);
        const size_t left = static_cast<size_t>(length) - 12;
        const size_t n = strnlen(name, left);
        if (n + 1 >= left) return;
        const size_t v = strnlen(name + n + 1, left - n - 1);
        Events& e = Get();
        std::lock_guard<std::mutex> lock(e.mu);
        e.seen.emplace_back(U(std::string(name, n).c_str()), std::string(name + n + 1, v));
        e.cv.notify_all();
    }
};

TEST_F(UsbDevsim, MonitorEventsReachTheReceiveCallback) {
    KVS_RegistRecvCallBack(&Events::Callback);
    ASSERT_TRUE(device->SetValue("组件管理器", "属性监控表", "计数器-1.计数值@3;"));
    ASSERT_TRUE(KVS_SetAttributeVal(G("组件管理器").c_str(), G("运行状态").c_str(), "true", true));
    Events& e = Events::Get();
    std::unique_lock<std::mutex> lock(e.mu);
    EXPECT_TRUE(e.cv.wait_for(lock, std::chrono::seconds(10), [&] {
        return std::find(e.seen.begin(), e.seen.end(),
                         std::make_pair(std::string("计数器-1.计数值"), std::string("3"))) !=
               e.seen.end();
    }));
    lock.unlock();
    EXPECT_TRUE(KVS_SetAttributeVal(G("组件管理器").c_str(), G("运行状态").c_str(), "false", true));
}

TEST_F(UsbDevsim, ReadFailuresRecoverAndRequestsGoOn) {
    usb->FailReads(12);
    const int before = usb->Connections();
    // Requests may be lost while the link recovers; once it has reopened they are answered.
    bool answered = false;
    for (int i = 0; i < 50 && !answered; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        answered = usb->Connections() > before &&
                   KVS_GetAttrVal(G("定时器").c_str(), G("总资源数").c_str()) != nullptr;
    }
    EXPECT_TRUE(answered);
}

TEST(UsbDevsimProgram, KvsDevsimExposesItsControllerToAnotherProcess) {
    TempDir dir;
    const std::string path = dir.File("ctl");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    const char* argv[] = {KVS_DEVSIM_PATH, "--no-udp", "--usb", path.c_str(), nullptr};
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, KVS_DEVSIM_PATH, &fa, nullptr, const_cast<char**>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    // The program prints "usb PATH" once the controller is plugged in.
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    EXPECT_EQ(line, "usb " + path);

    ::setenv("KVSH_USB_SIM", path.c_str(), 1);
    int index = -1;
    EXPECT_EQ(KVS_GetUSBDevIndexs(&index, 1), 1);
    ASSERT_TRUE(KVS_Initial_USB(index));
    EXPECT_EQ(U(KVS_GetAttrVal(G("定时器").c_str(), G("总资源数").c_str())), "8");
    KVS_Clear();
    ::unsetenv("KVSH_USB_SIM");

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the socket goes when the program ends";
}

}  // namespace
