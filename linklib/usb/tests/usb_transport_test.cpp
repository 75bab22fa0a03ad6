// The USB transport against in-process simulated controllers: listing, framing, requests,
// the read-failure recovery with its notices, unplugging, send time-outs and teardown.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "connections.h"
#include "fake_controller.h"
#include "kvsh_usb.h"
#include "msg.h"
#include "texts.h"

namespace {

using kvs::usbtest::FakeController;
using kvs::usbtest::SimBus;
using kvs::usbtest::TempDir;

// Records the transport's status notices (RecvMsg without a message) in order.
class RecordingUsb : public CKVSH_USB {
  public:
    explicit RecordingUsb(const std::string& path) : CKVSH_USB(kvs::usb::MakeSimDriver({path})) {
        SetSettleMs(0);
    }
    ~RecordingUsb() override { Close(); }

    void RecvMsg(const uint8_t* msg, int length) override {
        if (!msg) {
            std::lock_guard<std::mutex> lock(mu_);
            notices_.push_back(length);
            cv_.notify_all();
        }
        CKVSH_USB::RecvMsg(msg, length);
    }
    // Waits (up to 20 s) until n notices have come; returns them.
    std::vector<int> WaitNotices(size_t n) {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait_for(lock, std::chrono::seconds(20), [&] { return notices_.size() >= n; });
        return notices_;
    }
    // Waits (up to 20 s) for a notice equal to value; returns all notices up to it.
    std::vector<int> WaitNotice(int value) {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::find(notices_.begin(), notices_.end(), value) != notices_.end();
        });
        return notices_;
    }
    std::vector<int> Notices() {
        std::lock_guard<std::mutex> lock(mu_);
        return notices_;
    }

  private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<int> notices_;
};

// A request of the given command with one text; returns the reply or nullptr.
const T_MSG_HEAD* Ask(CKVSH_BaseComm& c, uint8_t cmd, unsigned wait_ms = 5000) {
    uint8_t buf[512];
    kvs::MsgBuilder b(buf, sizeof buf, cmd, 1);
    b.Text("组件管理器-1");
    return c.RequestTimed(b.head(), wait_ms);
}

bool AnsweredOk(const T_MSG_HEAD* r, uint8_t cmd) {
    return r && r->cmd == (cmd | 0x80) && kvs::ReplyStatus(r) == 0 && kvs::ReplyText(r, 12) &&
           std::strcmp(kvs::ReplyText(r, 12), "ok") == 0;
}

std::vector<int> List(int max) {
    std::vector<int> out(8, -7);
    int n = kvs::ListUsbControllers(out.data(), max);
    out.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return out;
}

struct BusCase {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> devices;  // vendor, product, in bus order
    int max;
    std::vector<int> expected;
};

TEST(UsbListing, IndexesArePositionsAmongCypressDevicesInBusOrder) {
    const std::vector<BusCase> cases = {
        {"none attached", {}, 8, {}},
        {"one controller", {{0x04B4, 0x1008}}, 8, {0}},
        {"two controllers", {{0x04B4, 0x1008}, {0x04B4, 0x1008}}, 8, {0, 1}},
        {"other devices between",
         {{0x1234, 0x1008}, {0x04B4, 0x1008}, {0x04B4, 0x00F3}, {0x04B4, 0x1008}},
         8,
         {0, 2}},
        {"stops at the maximum", {{0x04B4, 0x1008}, {0x04B4, 0x1008}}, 1, {0}},
        {"maximum below one stores nothing", {{0x04B4, 0x1008}}, 0, {}},
    };
    for (const BusCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::unique_ptr<FakeController>> devs;
        std::vector<std::string> paths;
        for (size_t i = 0; i < c.devices.size(); ++i) {
            paths.push_back(dir.File("d" + std::to_string(i)));
            devs.push_back(std::make_unique<FakeController>(paths.back(), c.devices[i].first,
                                                            c.devices[i].second));
        }
        SimBus bus(paths);
        std::vector<int> out(8, -7);
        const int n = KVS_GetUSBDevIndexs(out.data(), c.max);
        ASSERT_EQ(n, static_cast<int>(c.expected.size()));
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(out[static_cast<size_t>(i)], c.expected[static_cast<size_t>(i)]);
        EXPECT_EQ(out[static_cast<size_t>(n)], -7) << "nothing stored beyond the count";
    }
}

TEST(UsbListing, UnpluggedControllerIsNotListedAndLaterOnesMoveUp) {
    TempDir dir;
    FakeController a(dir.File("a")), b(dir.File("b"));
    SimBus bus({a.path(), b.path()});
    EXPECT_EQ(List(8), (std::vector<int>{0, 1}));
    a.port().Unplug();
    EXPECT_EQ(List(8), (std::vector<int>{0}));
    CKVSH_USB usb;
    usb.SetSettleMs(0);
    ASSERT_TRUE(usb.Open(0));
    EXPECT_TRUE(AnsweredOk(Ask(usb, 4), 4));
    EXPECT_FALSE(b.OutSizes().empty()) << "index 0 is now the second controller";
}

TEST(UsbOpen, FailsWithoutDeviceOrWithoutBothBulkEndpoints) {
    TempDir dir;
    FakeController ok(dir.File("ok"));
    FakeController bare(dir.File("bare"), 0x04B4, 0x1008, /*with_bulk=*/false);
    auto driver = kvs::usb::MakeSimDriver({ok.path(), bare.path()});
    for (int index : {-1, 1, 2, 99}) {
        CKVSH_USB usb(driver);
        usb.SetSettleMs(0);
        EXPECT_FALSE(usb.Open(index)) << index;
        EXPECT_FALSE(
            usb.SendMsg(reinterpret_cast<const uint8_t*>("\x0c\0\0\0\0\0\x04\0\0\0\0\0"), 12));
    }
    CKVSH_USB usb(driver);
    usb.SetSettleMs(0);
    EXPECT_TRUE(usb.Open(0));
}

TEST(UsbDevice, ReadsDescriptorsAndBuildsEndpointsBehindTheControlEndpoint) {
    TempDir dir;
    FakeController c(dir.File("c"));
    CUsbDriverDevice dev(kvs::usb::MakeSimDriver({c.path()}));
    EXPECT_EQ(dev.DeviceCount(), 1);
    ASSERT_TRUE(dev.Open(0));
    EXPECT_EQ(dev.VendorID, 0x04B4);
    EXPECT_EQ(dev.ProductID, 0x1008);
    ASSERT_EQ(dev.EndPointCount(), 3);
    EXPECT_EQ(dev.EndPoint(0), dev.ControlEndPt());
    EXPECT_EQ(dev.EndPoint(1)->Address, 0x02);
    EXPECT_FALSE(dev.EndPoint(1)->bIn);
    EXPECT_EQ(dev.EndPoint(2)->Address, 0x86);
    EXPECT_TRUE(dev.EndPoint(2)->bIn);
    EXPECT_EQ(dev.EndPoint(2)->MaxPktSize, 512);
    EXPECT_NE(dynamic_cast<CCyBulkEndPoint*>(dev.EndPoint(2)), nullptr);
    // The transfer size is rounded up to whole packets, and longer transfers are refused.
    dev.EndPoint(2)->SetXferSize(1000);
    EXPECT_EQ(dev.EndPoint(2)->GetXferSize(), 1024u);
    uint8_t buf[2048];
    kvs::usb::UsbXfer x;
    EXPECT_FALSE(dev.EndPoint(2)->BeginDataXfer(buf, sizeof buf, &x));
}

TEST(UsbFraming, ThirteenByteMessageTravelsAsTwentyEightByteTransfer) {
    TempDir dir;
    FakeController c(dir.File("c"));
    RecordingUsb usb(c.path());
    ASSERT_TRUE(usb.Open(0));
    uint8_t msg[13] = {13, 0, 0, 0, 0, 0, 4, 1, 0, 0, 0, 0, 'x'};
    ASSERT_TRUE(AnsweredOk(usb.RequestTimed(reinterpret_cast<const T_MSG_HEAD*>(msg), 5000), 4));
    ASSERT_EQ(c.OutSizes(), std::vector<size_t>{28});
    const std::vector<uint8_t> t = c.LastOut();
    const uint8_t head[8] = {0x55, 0x55, 0xAA, 0xAA, 4, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(t.data(), head, sizeof head));
    EXPECT_EQ(0, std::memcmp(t.data() + 12, msg, 13));
    EXPECT_EQ(t[25] | t[26] | t[27], 0) << "pad bytes are zero";
}

TEST(UsbRequests, RepliesReachTheirRequestsAndUnsolicitedMessagesTheCallback) {
    TempDir dir;
    FakeController c(dir.File("c"));
    RecordingUsb usb(c.path());
    ASSERT_TRUE(usb.Open(0));
    static std::atomic<int> events{0};
    usb.SetRecvCallback([](const unsigned char* m, int, void*) { events += m[6] == 20; }, nullptr);
    // Several threads at once: each reply must find its own request. Twelve requests in all,
    // so that no slot is taken twice (the engine hands out its 16 slots in turn).
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (uint8_t cmd : {1, 4, 5, 6}) {
        threads.emplace_back([&, cmd] {
            for (int i = 0; i < 3; ++i) good += AnsweredOk(Ask(usb, cmd), cmd);
        });
    }
    c.Unsolicited(20, "运行状态");
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), 12);
    for (int i = 0; i < 200 && events.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(events.load(), 1);
    EXPECT_TRUE(usb.Notices().empty());
}

// The controller counts a connection on its own thread, after the host has already gone on:
// wait for the count instead of reading it at once.
int ConnectionsOnceAtLeast(const kvs::usbsim::SimUsbPort& port, int n) {
    for (int i = 0; i < 5000 && port.Connections() < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return port.Connections();
}

TEST(UsbRecovery, TenFailuresAreToleratedAndTheEleventhReopens) {
    TempDir dir;
    FakeController c(dir.File("c"));
    RecordingUsb usb(c.path());
    ASSERT_TRUE(usb.Open(0));
    ASSERT_EQ(ConnectionsOnceAtLeast(c.port(), 2), 2);  // the listing probe and the open

    // Requests keep coming from another thread through all of it; a send during the reopen
    // must wait for the new device or fail, never touch the old one.
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done.load()) Ask(usb, 7, 300);  // a reply lost in the reopen only waits 300 ms
    });

    c.port().FailIn(10);
    EXPECT_EQ(usb.WaitNotices(10), std::vector<int>(10, -1));
    EXPECT_EQ(usb.Reopens(), 0);
    EXPECT_TRUE(AnsweredOk(Ask(usb, 4), 4)) << "reads go on after a failure";
    EXPECT_GT(c.port().Resets(), 0) << "the IN endpoint is reset while recovering";

    c.port().FailIn(1);
    std::vector<int> expected(11, -1);
    expected.push_back(0);
    EXPECT_EQ(usb.WaitNotices(12), expected);
    EXPECT_EQ(usb.Reopens(), 1);
    EXPECT_EQ(ConnectionsOnceAtLeast(c.port(), 4), 4) << "the device was found and opened again";
    done = true;
    sender.join();
    EXPECT_TRUE(AnsweredOk(Ask(usb, 4), 4));

    // The count starts again after a reopen: ten more failures do not reopen.
    c.port().FailIn(10);
    EXPECT_EQ(usb.WaitNotices(22).size(), 22u);
    EXPECT_EQ(usb.Reopens(), 1);
}

TEST(UsbRecovery, UnpluggedDeviceThatReturnsIsReopened) {
    TempDir dir;
    FakeController c(dir.File("c"));
    RecordingUsb usb(c.path());
    ASSERT_TRUE(usb.Open(0));
    c.port().Unplug();
    ASSERT_EQ(usb.WaitNotices(1).front(), -1);
    c.port().Plug();
    // Both queued reads fail on every round while the device is away; the reopen comes once
    // more than ten have failed.
    const std::vector<int> n = usb.WaitNotice(0);
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.back(), 0);
    EXPECT_EQ(std::count(n.begin(), n.end(), -1), static_cast<long>(n.size() - 1));
    EXPECT_GE(n.size() - 1, 11u);
    EXPECT_EQ(usb.Reopens(), 1);
    EXPECT_TRUE(AnsweredOk(Ask(usb, 4), 4));
}

TEST(UsbRecovery, DeviceThatStaysAwayEndsTheThreadAndSendsFailAtOnce) {
    TempDir dir;
    FakeController c(dir.File("c"));
    RecordingUsb usb(c.path());
    ASSERT_TRUE(usb.Open(0));
    c.port().Unplug();
    const std::vector<int> n = usb.WaitNotice(-2);
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.back(), -2);
    EXPECT_EQ(std::count(n.begin(), n.end(), -1), static_cast<long>(n.size() - 1));
    EXPECT_GE(n.size() - 1, 11u);
    uint8_t buf[64];
    kvs::MsgBuilder b(buf, sizeof buf, 4, 1);
    EXPECT_FALSE(usb.SendMsg(b.data(), static_cast<int>(b.size())));
    c.port().Plug();
    EXPECT_EQ(Ask(usb, 4), nullptr) << "a lost connection does not come back by itself";
}

TEST(UsbSend, OutTransferThatTimesOutFailsAndIsCancelledBeforeRelease) {
    TempDir dir;
    FakeController c(dir.File("c"));
    RecordingUsb usb(c.path());
    ASSERT_TRUE(usb.Open(0));
    c.port().HoldOut(true);
    uint8_t buf[64];
    kvs::MsgBuilder b(buf, sizeof buf, 4, 1);
    EXPECT_FALSE(usb.SendMsg(b.data(), static_cast<int>(b.size())));
    c.port().HoldOut(false);
    EXPECT_TRUE(AnsweredOk(Ask(usb, 4), 4));
}

// Posts of the library's log, kept as texts.
std::mutex g_log_mu;
std::vector<std::string> g_log;
void CollectLog(KVS_HWND, unsigned, uintptr_t, intptr_t entry) {
    std::lock_guard<std::mutex> lock(g_log_mu);
    g_log.emplace_back(reinterpret_cast<const KVS_LOG_ENTRY*>(entry)->text);
}

TEST(UsbTeardown, EndsTheReceiveThreadInTimeEvenDuringRecovery) {
    KVS_RegistInfoPostFunc(CollectLog);
    static int wnd;
    KVS_RegistInfoWnd(&wnd);
    TempDir dir;
    FakeController c(dir.File("c"));
    for (int during_recovery : {0, 1}) {
        auto usb = std::make_unique<RecordingUsb>(c.path());
        ASSERT_TRUE(usb->Open(0));
        if (during_recovery) {
            c.port().FailIn(1);
            usb->WaitNotices(1);  // the thread is now in its recovery pauses
        }
        usb.reset();
    }
    KVS_UnregistInfoWnd();
    std::lock_guard<std::mutex> lock(g_log_mu);
    for (const std::string& line : g_log) EXPECT_NE(line, kvs::Text(kvs::TextId::kUsbStopThread));
}

TEST(UsbRealDriver, AnIndexBeyondTheAttachedDevicesFailsCleanly) {
    // libusb on whatever this machine has (often nothing, or no access at all).
    auto driver = kvs::usb::LibusbDriver();
    driver->Enumerate();
    CKVSH_USB usb(driver);
    usb.SetSettleMs(0);
    EXPECT_FALSE(usb.Open(99));
    EXPECT_FALSE(usb.Open(-1));
}

TEST(UsbApi, InitialUsbOpensTheListedControllerAsTheGlobalConnection) {
    TempDir dir;
    FakeController other(dir.File("o"), 0x04B4, 0x00F3), c(dir.File("c"));
    SimBus bus({other.path(), c.path()});
    int idx[4];
    ASSERT_EQ(KVS_GetUSBDevIndexs(idx, 4), 1);
    EXPECT_FALSE(KVS_Initial_USB(idx[0] + 1));
    EXPECT_EQ(KVS_GetAttrVal("组件管理器-1", "运行状态"), nullptr) << "a failed open leaves none";
    ASSERT_TRUE(KVS_Initial_USB(idx[0]));
    EXPECT_NE(KVS_GetComponentTree(), nullptr);
    KVS_HANDLE h = mKVS_Initial_USB(idx[0]);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(mKVS_GetComponentTree(h), nullptr);
    mKVS_Clear(h);
    KVS_Clear();
    EXPECT_EQ(mKVS_Initial_USB(5), nullptr);
}

}  // namespace
