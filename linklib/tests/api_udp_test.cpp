// The exported operations end to end over real loopback UDP against the scripted peer: the
// exact request bytes on the wire, the decoding of replies, and the failures of malformed ones.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gbk.h"
#include "kvsh_user.h"
#include "log_capture.h"
#include "scripted_peer.h"

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

}  // namespace
