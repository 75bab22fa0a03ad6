// The exported operations end to end over real loopback UDP against the scripted peer: the
// exact request bytes on the wire, the decoding of replies, and the failures of malformed ones.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "gbk.h"
#include "kvsh_user.h"
#include "log_capture.h"
#include "scripted_peer.h"
#include "udp.h"

namespace {

using kvs_test::Bytes;
using kvs_test::PutText;
using kvs_test::Reply;
using kvs_test::ScriptedPeer;
using kvs_test::TextReply;

std::string G(const char* utf8) { return kvs::Utf8ToGbk(std::string(utf8)); }

// A request as the library must build it.
Bytes Request(uint8_t cmd, uint8_t count, std::initializer_list<std::string> texts,
              const uint8_t (&param)[4] = {0, 0, 0, 0}) {
    Bytes m(12, 0);
    m[6] = cmd;
    m[7] = count;
    std::memcpy(&m[8], param, 4);
    for (const std::string& t : texts) PutText(m, t);
    int32_t len = static_cast<int32_t>(m.size());
    std::memcpy(m.data(), &len, 4);
    return m;
}

class ApiUdp : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok()) << "cannot bind 127.0.0.1:30001";
        KVSGetKey("");
        ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
    }
    void TearDown() override { KVS_Clear(); }
    // Answers every request with reply.
    void AnswerWith(const Bytes& reply) {
        peer.SetHandler([reply](const Bytes&) { return reply; });
    }
    Bytes LastRequest() {
        auto m = peer.Messages();
        return m.empty() ? Bytes{} : m.back();
    }

    kvs_test::LogCapture log;
    ScriptedPeer peer{ScriptedPeer::Kind::kUdp};
};

TEST_F(ApiUdp, GetAttrValSendsBothNamesAndReturnsTheTextAtOffset20) {
    AnswerWith(TextReply(4, 0, G("停止")));
    const char* v = KVS_GetAttrVal(G("组件管理器").c_str(), G("运行状态").c_str());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v), G("停止"));
    EXPECT_EQ(LastRequest(), Request(4, 1, {G("组件管理器"), G("运行状态")}));
    EXPECT_EQ(peer.LastSourcePort(), 30000);
    EXPECT_TRUE(log.Has(2, "通讯UDP口初始化成功."));
}

TEST_F(ApiUdp, FrameChecksumCarriesTheKeyByte) {
    KVSGetKey("62719405");  // digit sum 34
    peer.ExpectKey(34);
    AnswerWith(Reply(30, 1));
    EXPECT_TRUE(KVS_Key("62719405"));
    auto d = peer.Datagrams();
    ASSERT_EQ(d.size(), 1u);
    // Key command: length 20, the key without its NUL.
    const Bytes& f = d[0];
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(f[0], 0xAA);
    EXPECT_EQ(f[1], 0x55);
    EXPECT_EQ(f[2] | (f[3] << 8), 20);
    unsigned sum = 34;
    for (size_t i = 6; i < f.size(); ++i) sum += f[i];
    EXPECT_EQ(f[4], sum & 0xFF);
    EXPECT_EQ(std::string(f.begin() + 18, f.end()), "62719405");
    EXPECT_EQ(peer.BadFrames(), 0);
    KVSGetKey("");
}

TEST_F(ApiUdp, KeyNeedsStatusOne) {
    AnswerWith(Reply(30, 0));
    EXPECT_FALSE(KVS_Key("00000000"));
}

TEST_F(ApiUdp, LongFramesLeaveInPiecesOf1200) {
    AnswerWith(Reply(17, 0));
    // 12 + 2 + 2 + n + 6 = 3000 bytes of frame.
    Bytes data(3000 - 6 - 12 - 4, 0x5A);
    EXPECT_TRUE(KVS_SetAttrMemData("a", "b", data.data(), static_cast<int>(data.size())));
    auto d = peer.Datagrams();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].size(), 1200u);
    EXPECT_EQ(d[1].size(), 1200u);
    EXPECT_EQ(d[2].size(), 600u);
    Bytes want = Request(17, 0, {"a", "b"});
    want.insert(want.end(), data.begin(), data.end());
    int32_t n = static_cast<int32_t>(data.size());
    std::memcpy(&want[8], &n, 4);
    int32_t len = static_cast<int32_t>(want.size());
    std::memcpy(want.data(), &len, 4);
    EXPECT_EQ(LastRequest(), want);
}

TEST_F(ApiUdp, AFrameOfExactly1200BytesIsOneDatagram) {
    AnswerWith(Reply(17, 0));
    Bytes data(1200 - 6 - 12 - 4, 1);
    EXPECT_TRUE(KVS_SetAttrMemData("a", "b", data.data(), static_cast<int>(data.size())));
    auto d = peer.Datagrams();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].size(), 1200u);
}

// One operation: what it must send, what the peer answers, and what it must return.
struct OpCase {
    const char* name;
    Bytes request;
    Bytes reply;
    std::function<std::string()> call;  // the result rendered as text
    std::string want;
};

std::string Str(const char* p) { return p ? std::string("=") + p : "null"; }
std::string Bool(bool b) { return b ? "true" : "false"; }

TEST_F(ApiUdp, EachOperationSendsItsRequestAndDecodesItsReply) {
    const uint8_t count2[4] = {2, 0, 0, 0};
    const uint8_t modify[4] = {0x34, 0x78, 0, 0};
    Bytes upload = Reply(14, 0);
    PutText(upload, "cfg");
    upload[0] = static_cast<uint8_t>(upload.size());
    Bytes batch = Reply(18, 0);
    PutText(batch, "true;1;");
    batch[0] = static_cast<uint8_t>(batch.size());
    const OpCase cases[] = {
        {"real value", Request(5, 1, {"c-1", "a"}), TextReply(5, 0, "3.5"),
         [] { return Str(KVS_GetAttrRealVal("c-1", "a")); }, "=3.5"},
        {"link", Request(6, 1, {"c-1", "in"}), TextReply(6, 0, "d-2:out"),
         [] { return Str(KVS_GetAttributeLink("c-1", "in")); }, "=d-2:out"},
        {"link, failing status", Request(6, 1, {"c-1", "in"}), TextReply(6, 1, "x"),
         [] { return Str(KVS_GetAttributeLink("c-1", "in")); }, "null"},
        {"add", Request(10, 1, {"t", ""}), TextReply(10, 0, "t-3"),
         [] { return Str(KVS_AddNewComponent("t", nullptr)); }, "=t-3"},
        {"add with second text", Request(10, 1, {"t", "s"}), TextReply(10, 0, "t-4"),
         [] { return Str(KVS_AddNewComponent("t", "s")); }, "=t-4"},
        {"delete", Request(11, 1, {"t-3"}), Reply(11, 0),
         [] { return Bool(KVS_DelComponent("t-3")); }, "true"},
        {"delete refused", Request(11, 1, {"t-3"}), Reply(11, 2),
         [] { return Bool(KVS_DelComponent("t-3")); }, "false"},
        {"set value", Request(7, 1, {"c-1", "a", "v"}), Reply(7, 0),
         [] { return Bool(KVS_SetAttributeVal("c-1", "a", "v", true)); }, "true"},
        {"set link", Request(8, 1, {"c-1", "in", "d-2:out"}), Reply(8, 0),
         [] { return Bool(KVS_SetAttributeLink("c-1", "in", "d-2:out")); }, "true"},
        {"remove link", Request(8, 1, {"c-1", "in", ""}), Reply(8, 0),
         [] { return Bool(KVS_SetAttributeLink("c-1", "in", "")); }, "true"},
        {"modify list", Request(8, 1, {"c-1", "l", "x"}, modify), Reply(8, 0),
         [] { return Bool(KVS_ModifyStrList("c-1", "l", 0x1234, "x", 0x5678)); }, "true"},
        {"batch get", Request(18, 1, {"a-1.x;b-2.y;"}, count2), batch,
         [] { return Str(KVS_GetBatchAttrVal("a-1.x;b-2.y;", 2)); }, "=true;1;"},
        {"batch set", Request(19, 1, {"a-1.x;b-2.y;", "1;2;"}, count2), Reply(19, 0),
         [] { return Bool(KVS_SetBatchAttrVal("a-1.x;b-2.y;", "1;2;", 2, true)); }, "true"},
        {"upload", Request(14, 0, {}), upload, [] { return Str(KVS_UploadConfig()); }, "=cfg"},
        {"download", Request(15, 0, {"cfg"}), Reply(15, 0),
         [] { return Bool(KVS_DownloadConfig("cfg")); }, "true"},
        {"boot, mode 7", Request(51, 0, {}), Reply(51, 9), [] { return Bool(KVS_InBoot(7)); },
         "true"},
        {"boot, leave", Request(52, 0, {}), Reply(52, 9), [] { return Bool(KVS_InBoot(1)); },
         "true"},
        {"boot, factory", Request(53, 0, {}), Reply(53, 0), [] { return Bool(KVS_InBoot(2)); },
         "true"},
        {"boot, normal", Request(54, 0, {}), Reply(54, 0), [] { return Bool(KVS_InBoot(3)); },
         "true"},
        {"memory", Request(16, 1, {"c-1", "m"}), Reply(16, 0, {9, 8, 7}),
         [] {
             int n = -5;
             const unsigned char* p = KVS_GetAttrMemData("c-1", "m", &n);
             return p ? std::to_string(n) + ":" + std::to_string(p[0] + p[1] + p[2]) : "null";
         },
         "3:24"},
        {"memory refused leaves the length", Request(16, 1, {"c-1", "m"}), Reply(16, 1),
         [] {
             int n = -5;
             const unsigned char* p = KVS_GetAttrMemData("c-1", "m", &n);
             return (p ? "ptr " : "null ") + std::to_string(n);
         },
         "null -5"},
    };
    for (const OpCase& c : cases) {
        Bytes reply = c.reply;
        peer.SetHandler([reply](const Bytes&) { return reply; });
        size_t before = peer.Messages().size();
        EXPECT_EQ(c.call(), c.want) << c.name;
        ASSERT_EQ(peer.Messages().size(), before + 1) << c.name;
        EXPECT_EQ(LastRequest(), c.request) << c.name;
    }
}

TEST_F(ApiUdp, MalformedTextRepliesFailWithALogLine) {
    Bytes noNul = Reply(4, 0, Bytes(8, 0));
    noNul.insert(noNul.end(), {'a', 'b'});
    noNul[0] = static_cast<uint8_t>(noNul.size());
    const std::pair<const char*, Bytes> cases[] = {
        {"shorter than 20 bytes", Reply(4, 0, {0, 0, 0})},
        {"exactly 20 bytes", Reply(4, 0, Bytes(8, 0))},
        {"text without its NUL", noNul},
    };
    for (auto& [what, reply] : cases) {
        log.Clear();
        Bytes r = reply;
        peer.SetHandler([r](const Bytes&) { return r; });
        EXPECT_EQ(KVS_GetAttrVal("c", "a"), nullptr) << what;
        EXPECT_TRUE(log.Has(1, "命令4的回应数据不完整")) << what;
    }
}

TEST_F(ApiUdp, RecordRepliesAreHandedOutAndBadRecordListsReported) {
    Bytes rec = {0, 0, 1, 1, 0, 0, 0, 0};
    PutText(rec, "t");
    rec[0] = static_cast<uint8_t>(rec.size());
    Bytes good = Reply(1, 0, rec, 1);
    Bytes overCount = Reply(1, 0, rec, 3);  // count promises more records than are there
    peer.SetHandler([good](const Bytes&) { return good; });
    const T_MSG_HEAD* tree = KVS_GetComponentTree();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->count, 1);
    EXPECT_EQ(LastRequest(), Request(1, 0, {}));
    EXPECT_FALSE(log.Has(1, "回应记录格式错误"));
    peer.SetHandler([overCount](const Bytes&) { return overCount; });
    EXPECT_NE(KVS_GetComponentTree(), nullptr);
    EXPECT_TRUE(log.Has(1, "命令1的回应记录格式错误"));
    // A single-attribute reply must hold its record: callers read it at fixed offsets.
    peer.SetHandler([](const Bytes&) { return Reply(3, 0); });
    EXPECT_EQ(KVS_GetAttrInfo("c", "a"), nullptr);
    peer.SetHandler([](const Bytes&) { return Reply(3, 4); });
    const T_MSG_HEAD* refused = KVS_GetAttrInfo("c", "a");
    ASSERT_NE(refused, nullptr) << "a failing status is the caller's to read";
    EXPECT_EQ(KVS_STATUS(refused), 4);
}

TEST_F(ApiUdp, ConfigurationOperationsCarryTheirParameterBytesAndRecord) {
    T_GLOAT_SET sent{};
    sent.deviceIp[0] = 192;
    sent.clientPort = 30000;
    std::memcpy(sent.key, "12345678", 8);
    T_GLOAT_SET back = sent;
    back.serverPort = 502;
    Bytes payload(reinterpret_cast<uint8_t*>(&back), reinterpret_cast<uint8_t*>(&back) + 40);
    Bytes reply = Reply(13, 0, payload);
    reply[9] = 3;
    reply[10] = 1;
    reply[11] = 0x53;
    peer.SetHandler([reply](const Bytes&) { return reply; });

    uint8_t slot = 2, device = 3, serial = 0x1B;
    T_GLOAT_SET rec = sent;
    EXPECT_TRUE(KVS_ConfigFile_Operate(5, &slot, &device, &serial, &rec));
    Bytes req = LastRequest();
    ASSERT_EQ(req.size(), 52u);
    EXPECT_EQ(req[0], 52);
    EXPECT_EQ(req[6], 13);
    EXPECT_EQ(req[7], 1);
    EXPECT_EQ((Bytes{req[8], req[9], req[10], req[11]}), (Bytes{5, 2, 3, 0x1B}));
    EXPECT_EQ(0, std::memcmp(&req[12], &sent, 40));
    EXPECT_EQ((Bytes{slot, device, serial}), (Bytes{3, 1, 0x53}));
    EXPECT_EQ(rec.serverPort, 502u);

    // Operation 4 with no pointers still sends a bare 12-byte request.
    EXPECT_TRUE(KVS_ConfigFile_Operate(4, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(LastRequest(), Request(13, 1, {}, {4, 0, 0, 0}));

    // A refusal still copies the bytes back, and a claimed success without its record fails.
    Bytes refused = Reply(13, 1);
    refused[9] = 7;
    peer.SetHandler([refused](const Bytes&) { return refused; });
    slot = 0;
    EXPECT_FALSE(KVS_ConfigFile_Operate(4, &slot, nullptr, nullptr, &rec));
    EXPECT_EQ(slot, 7);
    peer.SetHandler([](const Bytes&) { return Reply(13, 0); });
    EXPECT_FALSE(KVS_ConfigFile_Operate(4, nullptr, nullptr, nullptr, &rec));
}

TEST_F(ApiUdp, OversizedRequestsAreRefusedWithoutSending) {
    AnswerWith(Reply(15, 0));
    std::string text(65523, 'x');
    EXPECT_FALSE(KVS_DownloadConfig(text.c_str()));
    Bytes mem(65536 - 15 - 2 + 1, 0);  // with "a" and "b": one byte over
    EXPECT_FALSE(KVS_SetAttrMemData("a", "b", mem.data(), static_cast<int>(mem.size())));
    EXPECT_FALSE(KVS_SetAttrMemData("a", "b", mem.data(), -1));
    std::string name(70000, 'n');
    EXPECT_EQ(KVS_GetAttrVal(name.c_str(), "a"), nullptr);
    EXPECT_TRUE(peer.Datagrams().empty());
    // The largest download fits: 65522 characters make a 65535-byte message.
    text.pop_back();
    EXPECT_TRUE(KVS_DownloadConfig(text.c_str()));
    ASSERT_TRUE(peer.WaitMessages(1));
    EXPECT_EQ(peer.Messages()[0].size(), 65535u);
    EXPECT_EQ(peer.Datagrams().size(), 55u);  // 65541 bytes in 1200-byte pieces
}

TEST_F(ApiUdp, WritesWithoutWaitSucceedOnceSent) {
    // The peer stays silent.
    EXPECT_TRUE(KVS_SetAttributeVal("c", "a", "v", false));
    EXPECT_TRUE(KVS_SetBatchAttrVal("c.a;", "v;", 1, false));
    EXPECT_TRUE(peer.WaitMessages(2));
}

TEST_F(ApiUdp, UnsolicitedEventsReachTheRegisteredCallback) {
    static std::atomic<int> events;
    events = 0;  // the test may run more than once in a process (--gtest_repeat)
    KVS_RegistRecvCallBack([](const unsigned char* m, int n, void* user) {
        if (n >= 12 && m[6] == 20 && user == nullptr) ++events;
    });
    Bytes ev(12, 0);
    ev[6] = 20;
    PutText(ev, "c-1:a");
    PutText(ev, "1");
    ev[0] = static_cast<uint8_t>(ev.size());
    peer.SendMessage(ev);
    for (int i = 0; i < 1000 && events == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(events, 1);
}

TEST_F(ApiUdp, BadFramesFromThePeerAreReportedAndReceptionGoesOn) {
    peer.SendRaw({0x12, 0x34, 0, 0});
    Bytes bad = {0xAA, 0x55, 12, 0, 0x00, 0, 12, 0, 0, 0, 0, 0, 0x84, 0, 0, 0, 0, 0};
    peer.SendRaw(bad);
    AnswerWith(TextReply(4, 0, "ok"));
    EXPECT_NE(KVS_GetAttrVal("c", "a"), nullptr);
    EXPECT_TRUE(log.Has(1, "CHWComm_Udp:接收到错误帧[前导字节错误:3412]"));
    EXPECT_TRUE(log.Has(1, "CHWComm_Udp:接收到错误帧[CRC校验码错误,正确:90, 错误:0]"));
}

TEST_F(ApiUdp, ASecondConnectionOnTheFixedPortFailsAtBind) {
    EXPECT_EQ(mKVS_Initial_UDP(127, 0, 0, 1), nullptr);
    EXPECT_TRUE(log.Has(1, "CHWComm_Udp:bind函数错误"));
}

TEST(UdpTransport, SendingBeforeOpenFailsWithAReport) {
    kvs_test::LogCapture log;
    CHWComm_Udp conn;
    const uint8_t msg[12] = {12};
    EXPECT_FALSE(conn.SendMsg(msg, 12));
    EXPECT_TRUE(log.Has(1, "CHWComm_Udp::SendFrame：请先连接然后再发送数据！"));
}

TEST(UdpTransport, ClosingAnIdleConnectionStopsItsThreadInTime) {
    kvs_test::LogCapture log;
    ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
    KVS_Clear();
    EXPECT_FALSE(log.Has(1, "无法停止工作线程"));
}

TEST(ApiNoConnection, RequestsFailAtOnceAndSendNothing) {
    ScriptedPeer peer(ScriptedPeer::Kind::kUdp);
    KVS_Clear();
    kvs_test::LogCapture log;
    EXPECT_EQ(KVS_GetAttrVal("c", "a"), nullptr);
    EXPECT_FALSE(KVS_Key("1"));
    EXPECT_FALSE(KVS_InBoot(0));
    EXPECT_EQ(KVS_GetComponentTree(), nullptr);
    EXPECT_FALSE(mKVS_SetAttributeVal(nullptr, "c", "a", "v", false));
    KVS_RegistRecvCallBack(nullptr);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(peer.Datagrams().empty());
}

TEST(ApiHandles, HandleFamilyLeavesTheGlobalConnectionAlone) {
    ScriptedPeer peer(ScriptedPeer::Kind::kUdp, [](const Bytes&) { return TextReply(4, 0, "h"); });
    KVS_Clear();
    KVS_HANDLE h = mKVS_Initial_UDP(127, 0, 0, 1);
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(mKVS_GetAttrVal(h, "c", "a"), "h");
    EXPECT_EQ(KVS_GetAttrVal("c", "a"), nullptr) << "no global connection";
    mKVS_Clear(h);
    mKVS_Clear(nullptr);
}

TEST(ApiHandles, FailedInitialLeavesNoGlobalConnection) {
    ScriptedPeer peer(ScriptedPeer::Kind::kUdp, [](const Bytes&) { return TextReply(4, 0, "g"); });
    ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
    char missing[] = "/dev/does-not-exist";
    EXPECT_FALSE(KVS_Initial_UART(missing));
    EXPECT_EQ(KVS_GetAttrVal("c", "a"), nullptr);
    EXPECT_TRUE(peer.Messages().empty());
}

}  // namespace
