// The request engine against a fake transport: slot rotation, matching replies to waiting
// requests, unsolicited messages and the reports of unmatched or malformed replies.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "basecomm.h"
#include "log_capture.h"
#include "scripted_peer.h"

namespace {

using kvs_test::Bytes;
using kvs_test::Reply;

// A transport whose SendMsg runs a script: it may answer at once through RecvMsg (the engine
// has already parked the slot), answer later, or fail.
class FakeComm : public CKVSH_BaseComm {
  public:
    std::function<bool(const uint8_t*, int)> on_send = [](const uint8_t*, int) { return true; };
    std::atomic<int> sent{0};
    bool SendMsg(const uint8_t* msg, int length) override {
        ++sent;
        return on_send(msg, length);
    }
    void Deliver(const Bytes& m) { RecvMsg(m.data(), static_cast<int>(m.size())); }
};

Bytes Request(uint8_t cmd) {
    Bytes m(12, 0);
    m[0] = 12;
    m[6] = cmd;
    m[7] = 1;
    return m;
}

const T_MSG_HEAD* Head(const Bytes& m) { return reinterpret_cast<const T_MSG_HEAD*>(m.data()); }

TEST(Engine, SeventeenthRequestReusesSlotZero) {
    FakeComm c;
    int n = 0;
    c.on_send = [&](const uint8_t* m, int) {
        Bytes r = Reply(m[6], 0, {static_cast<uint8_t>(n++)});
        c.Deliver(r);
        return true;
    };
    Bytes req = Request(4);
    const T_MSG_HEAD* first = c.Request(Head(req), true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(first)[12], 0);
    for (int i = 1; i < 16; ++i) ASSERT_NE(c.Request(Head(req), true), first);
    EXPECT_EQ(c.NextSlot(), 0);
    const T_MSG_HEAD* seventeenth = c.Request(Head(req), true);
    EXPECT_EQ(seventeenth, first);
    // The first pointer now shows the seventeenth reply.
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(first)[12], 16);
}

TEST(Engine, UnmatchedReplyIsReportedWithItsCode) {
    kvs_test::LogCapture log;
    FakeComm c;
    c.Deliver(Reply(9, 0));
    EXPECT_TRUE(log.Has(1, "接收到未能匹配的回应帧[命令号9]"));
}

TEST(Engine, UnsolicitedMessagesGoToTheCallbackOrAreDropped) {
    kvs_test::LogCapture log;
    FakeComm c;
    Bytes event(14, 0);
    event[0] = 14;
    event[6] = 20;
    c.Deliver(event);  // no callback: dropped without a report
    EXPECT_TRUE(log.Lines().empty());
    static Bytes got;
    static void* got_user;
    int user = 0;
    c.SetRecvCallback(
        [](const unsigned char* m, int n, void* u) {
            got.assign(m, m + n);
            got_user = u;
        },
        &user);
    c.Deliver(event);
    EXPECT_EQ(got, event);
    EXPECT_EQ(got_user, &user);
}

TEST(Engine, FailedSendReturnsAtOnceAndFreesTheSlot) {
    kvs_test::LogCapture log;
    FakeComm c;
    c.on_send = [](const uint8_t*, int) { return false; };
    Bytes req = Request(4);
    EXPECT_EQ(c.Request(Head(req), true), nullptr);
    EXPECT_TRUE(log.Lines().empty()) << "no timeout report";
    // The slot is free: a late reply to it is unmatched, not stored.
    c.Deliver(Reply(4, 0));
    EXPECT_TRUE(log.Has(1, "接收到未能匹配的回应帧[命令号4]"));
}

TEST(Engine, NoWaitReturnsTheRequestItself) {
    FakeComm c;
    Bytes req = Request(7);
    EXPECT_EQ(c.Request(Head(req), false), Head(req));
}

TEST(Engine, TimeoutIsReportedAndFreesTheSlot) {
    kvs_test::LogCapture log;
    FakeComm c;
    Bytes req = Request(5);
    EXPECT_EQ(c.RequestTimed(Head(req), 20), nullptr);
    EXPECT_TRUE(log.Has(1, "发送通讯命令失败:下位机回应超时！id = 5"));
    log.Clear();
    c.Deliver(Reply(5, 0));
    EXPECT_TRUE(log.Has(1, "接收到未能匹配的回应帧[命令号5]"));
}

TEST(Engine, TwoWaitersOfOneCodeAreServedLowestSlotFirst) {
    FakeComm c;
    std::atomic<int> parked{0};
    c.on_send = [&](const uint8_t*, int) {
        ++parked;
        return true;
    };
    Bytes req = Request(4);
    const T_MSG_HEAD* r0 = nullptr;
    const T_MSG_HEAD* r1 = nullptr;
    std::thread a([&] { r0 = c.Request(Head(req), true); });
    while (parked < 1) std::this_thread::yield();
    std::thread b([&] { r1 = c.Request(Head(req), true); });
    while (parked < 2) std::this_thread::yield();
    c.Deliver(Reply(4, 0, {'A'}));
    a.join();  // slot 0 got the first reply
    c.Deliver(Reply(4, 0, {'B'}));
    b.join();
    ASSERT_NE(r0, nullptr);
    ASSERT_NE(r1, nullptr);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(r0)[12], 'A');
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(r1)[12], 'B');
}

TEST(Engine, MalformedRepliesFailTheirRequestWithAReport) {
    struct Case {
        const char* what;
        Bytes reply;
    } cases[] = {
        {"length below 12",
         [] {
             Bytes r = Reply(4, 0, {1, 2, 3});
             r[0] = 8;
             return r;
         }()},
        {"length past what arrived",
         [] {
             Bytes r = Reply(4, 0, {1, 2, 3});
             r[0] = 200;
             return r;
         }()},
    };
    for (const Case& k : cases) {
        kvs_test::LogCapture log;
        FakeComm c;
        c.on_send = [&](const uint8_t*, int) {
            c.Deliver(k.reply);
            return true;
        };
        Bytes req = Request(4);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.Request(Head(req), true), nullptr) << k.what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
            << k.what << ": failed at once, not by timeout";
        EXPECT_TRUE(log.Has(1, "接收到格式错误的回应帧[命令号4")) << k.what;
    }
}

TEST(Engine, RecoveryNoticesBecomeReports) {
    const std::pair<int, const char*> cases[] = {{0, "通讯设备恢复成功"},
                                                 {-1, "通讯内部错误,尝试恢复"},
                                                 {-2, "通讯设备无法恢复，请重新启动KVS"}};
    for (auto& [notice, text] : cases) {
        kvs_test::LogCapture log;
        FakeComm c;
        c.RecvMsg(nullptr, notice);
        EXPECT_TRUE(log.Has(1, text)) << notice;
    }
    kvs_test::LogCapture log;
    FakeComm c;
    c.RecvMsg(nullptr, 5);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(Engine, ReplyCopyStopsAtTheReplysOwnLength) {
    FakeComm c;
    Bytes req = Request(4);
    c.on_send = [&](const uint8_t*, int) {
        Bytes r = Reply(4, 0, Bytes(100, 0xEE));
        c.Deliver(r);
        return true;
    };
    ASSERT_NE(c.Request(Head(req), true), nullptr);
    // A shorter reply later in the same slot leaves the old bytes past its length alone,
    // proving that only length bytes are copied.
    for (int i = 1; i < 16; ++i) c.Request(Head(req), true);
    Bytes shortReply = Reply(4, 0, {1});
    Bytes padded = shortReply;
    padded.resize(60, 0x11);  // bytes that arrived beyond the message's length
    c.on_send = [&](const uint8_t*, int) {
        c.Deliver(padded);
        return true;
    };
    const uint8_t* r = reinterpret_cast<const uint8_t*>(c.Request(Head(req), true));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r[12], 1);
    EXPECT_EQ(r[13], 0xEE);
}

}  // namespace
