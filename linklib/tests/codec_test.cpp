// Message building and the frame codecs, checked against hand-worked byte sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "frame.h"
#include "msg.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Collector : kvs::FrameListener {
    std::vector<Bytes> messages;
    std::vector<std::pair<kvs::FrameError, unsigned>> errors;
    void OnFrameMessage(const uint8_t* m, size_t n) override { messages.emplace_back(m, m + n); }
    void OnFrameError(kvs::FrameError e, unsigned a, unsigned) override {
        errors.emplace_back(e, a);
    }
};

Bytes Frame(const Bytes& msg, uint8_t salt) {
    Bytes out(msg.size() + 6);
    kvs::EncodeFrame(msg.data(), msg.size(), salt, out.data());
    return out;
}

Bytes Message(uint8_t cmd, size_t payload) {
    uint8_t buf[kvs::kBufferSize];
    kvs::MsgBuilder b(buf, sizeof buf, cmd, 1);
    Bytes p(payload, 'x');
    b.Bytes(p.data(), p.size());
    return Bytes(b.data(), b.data() + b.size());
}

TEST(KeyByte, SumsDigitValuesModulo256) {
    const std::pair<const char*, int> cases[] = {
        {"62719405", 6 + 2 + 7 + 1 + 9 + 4 + 0 + 5},
        {"", 0},
        {nullptr, 0},
        {"00000000", 0},
        {"99999999999999999999999999999999", (32 * 9) % 256},
        {"A", 17}};
    for (auto& [text, want] : cases)
        EXPECT_EQ(kvs::ComputeKeyByte(text), want) << (text ? text : "null");
}

TEST(MsgBuilder, KeyCommandCarriesNoNul) {
    uint8_t buf[64];
    kvs::MsgBuilder b(buf, sizeof buf, kvs::kCmdKey, 0);
    b.TextNoNul("62719405");
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.head()->length, 20);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf + 12), 8), "62719405");
}

TEST(MsgBuilder, TextsFollowEachOtherWithTheirNul) {
    uint8_t buf[64];
    kvs::MsgBuilder b(buf, sizeof buf, kvs::kCmdGetVal, 1);
    b.Text("ab").Text(nullptr).Text("c");
    const uint8_t want[] = {18, 0, 0, 0, 0, 0, 4, 1, 0, 0, 0, 0, 'a', 'b', 0, 0, 'c', 0};
    ASSERT_EQ(b.size(), sizeof want);
    EXPECT_EQ(b.head()->length, 18);
    EXPECT_EQ(0, std::memcmp(buf + 4, want + 4, 14));
}

TEST(MsgBuilder, RefusesMessagesBeyondTheFrameLimit) {
    static uint8_t buf[kvs::kBufferSize];
    kvs::MsgBuilder fits(buf, sizeof buf, kvs::kCmdDownload, 0);
    std::string text(65522, 'a');
    fits.Text(text.c_str());
    EXPECT_TRUE(fits.ok());
    EXPECT_EQ(fits.size(), 65535u);
    kvs::MsgBuilder over(buf, sizeof buf, kvs::kCmdDownload, 0);
    text.push_back('a');
    over.Text(text.c_str());
    EXPECT_FALSE(over.ok());
}

TEST(ReplyText, NeedsItsNulInsideTheReply) {
    uint8_t buf[32] = {};
    auto* h = reinterpret_cast<T_MSG_HEAD*>(buf);
    std::memcpy(buf + 20, "ok", 3);
    h->length = 23;
    EXPECT_STREQ(kvs::ReplyText(h, 20), "ok");
    h->length = 22;  // the NUL lies past the reply
    EXPECT_EQ(kvs::ReplyText(h, 20), nullptr);
    h->length = 19;  // shorter than the text's offset
    EXPECT_EQ(kvs::ReplyText(h, 20), nullptr);
}

TEST(SerialFrame, ChecksumIncludesTheSaltWhenSent) {
    Bytes msg = Message(4, 0);
    Bytes f = Frame(msg, 34);
    EXPECT_EQ(f[0], 0xAA);
    EXPECT_EQ(f[1], 0x55);
    EXPECT_EQ(f[2], 12);
    EXPECT_EQ(f[3], 0);
    EXPECT_EQ(f[4], static_cast<uint8_t>(12 + 4 + 1 + 34));
}

TEST(SerialReassembly, TwoFramesAndHalfAThird) {
    Collector c;
    kvs::SerialReassembler r(&c, 0);
    Bytes a = Frame(Message(0x84, 3), 0), b = Frame(Message(0x85, 5), 0),
          d = Frame(Message(0x86, 9), 0);
    Bytes stream = a;
    stream.insert(stream.end(), b.begin(), b.end());
    stream.insert(stream.end(), d.begin(), d.begin() + 10);
    r.Feed(stream.data(), stream.size());
    ASSERT_EQ(c.messages.size(), 2u);
    EXPECT_EQ(c.messages[1][6], 0x85);
    EXPECT_EQ(r.Buffered(), 10u);
    r.Feed(d.data() + 10, d.size() - 10);
    ASSERT_EQ(c.messages.size(), 3u);
    EXPECT_EQ(c.messages[2].size(), 21u);
    EXPECT_EQ(r.Buffered(), 0u);
}

TEST(SerialReassembly, BadLeadOrChecksumDiscardsEverythingBuffered) {
    Collector c;
    kvs::SerialReassembler r(&c, 0);
    Bytes good = Frame(Message(0x84, 0), 0);
    Bytes salted = Frame(Message(0x84, 0), 7);  // as the PC sends: rejected by a PC receiver
    Bytes stream = salted;
    stream.insert(stream.end(), good.begin(), good.end());
    r.Feed(stream.data(), stream.size());
    EXPECT_TRUE(c.messages.empty());
    ASSERT_EQ(c.errors.size(), 1u);
    EXPECT_EQ(c.errors[0].first, kvs::FrameError::kBadChecksum);
    EXPECT_EQ(r.Buffered(), 0u);
    const uint8_t junk[] = {0x12, 0x34, 0x56};
    r.Feed(junk, sizeof junk);
    ASSERT_EQ(c.errors.size(), 2u);
    EXPECT_EQ(c.errors[1].first, kvs::FrameError::kBadLead);
    EXPECT_EQ(c.errors[1].second, 0x3412u);
    r.Feed(good.data(), good.size());
    EXPECT_EQ(c.messages.size(), 1u);
}

TEST(UdpReassembly, FrameOverSeveralDatagramsAndTrailingBytesDropped) {
    Collector c;
    kvs::UdpReassembler r(&c, 0);
    Bytes big = Frame(Message(0x8E, 3000 - 18), 0);
    ASSERT_EQ(big.size(), 3000u);
    r.Feed(big.data(), 1200);
    r.Feed(big.data() + 1200, 1200);
    EXPECT_TRUE(c.messages.empty());
    Bytes tail(big.begin() + 2400, big.end());
    Bytes extra = Frame(Message(0x84, 0), 0);
    tail.insert(tail.end(), extra.begin(), extra.end());
    r.Feed(tail.data(), tail.size());
    ASSERT_EQ(c.messages.size(), 1u);
    EXPECT_EQ(c.messages[0].size(), 2994u);
    EXPECT_EQ(r.Buffered(), 0u);
}

TEST(UdpReassembly, OverflowDiscardsInsteadOfOverrunning) {
    Collector c;
    kvs::UdpReassembler r(&c, 0);
    Bytes head = {0xAA, 0x55, 0xE8, 0xFD, 0, 0};  // announces 65000 bytes
    r.Feed(head.data(), head.size());
    Bytes filler(65536, 0);  // one byte more than the largest frame can hold after a head
    r.Feed(filler.data(), filler.size());
    ASSERT_FALSE(c.errors.empty());
    EXPECT_EQ(c.errors[0].first, kvs::FrameError::kOverflow);
    EXPECT_EQ(r.Buffered(), 0u);
    EXPECT_TRUE(c.messages.empty());
}

// Messages of up to 65535 bytes, as the length field allows, arrive whole on both kinds of
// link (a buffer of 65536 bytes missed the six-byte head of the longest ones).
TEST(Reassembly, TheLargestFrameTheLengthFieldAllowsIsReceived) {
    for (size_t n : {size_t{65530}, size_t{65531}, size_t{65535}}) {
        SCOPED_TRACE(n);
        Bytes f = Frame(Message(0x8E, n - 12), 0);
        ASSERT_EQ(f.size(), n + 6);
        Collector udp, serial;
        kvs::UdpReassembler u(&udp, 0);
        kvs::SerialReassembler s(&serial, 0);
        for (size_t at = 0; at < f.size(); at += 1200) {
            const size_t piece = std::min<size_t>(1200, f.size() - at);
            u.Feed(f.data() + at, piece);
            s.Feed(f.data() + at, piece);
        }
        for (Collector* c : {&udp, &serial}) {
            EXPECT_TRUE(c->errors.empty());
            ASSERT_EQ(c->messages.size(), 1u);
            EXPECT_EQ(c->messages[0].size(), n);
        }
    }
}

TEST(UsbFrame, ThirteenBytesTravelAsFourWords) {
    Bytes msg = Message(4, 1);
    ASSERT_EQ(msg.size(), 13u);
    Bytes f(kvs::UsbFrameSize(msg.size()));
    ASSERT_EQ(f.size(), 28u);
    kvs::EncodeUsbFrame(msg.data(), msg.size(), f.data());
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), (Bytes{0x55, 0x55, 0xAA, 0xAA}));
    EXPECT_EQ(f[4], 4);
    const uint8_t* m = nullptr;
    size_t n = 0;
    ASSERT_TRUE(kvs::CheckUsbFrame(f.data(), f.size(), &m, &n));
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(0, std::memcmp(m, msg.data(), 13));
    f[20] ^= 1;  // corrupt one byte: the word sum no longer matches
    EXPECT_FALSE(kvs::CheckUsbFrame(f.data(), f.size(), &m, &n));
    f[20] ^= 1;
    EXPECT_FALSE(kvs::CheckUsbFrame(f.data(), f.size() - 4, &m, &n)) << "word count past the read";
}

}  // namespace
