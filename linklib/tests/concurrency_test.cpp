// Many threads issue requests on one UDP connection at once. Replies are matched by command
// code, so every thread uses a code of its own and the peer echoes each request's payload.
// Run under ThreadSanitizer too (-DKVS_TSAN=ON).
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cstring>
#include <thread>
#include <vector>

#include "msg.h"
#include "scripted_peer.h"
#include "udp.h"

namespace {

using kvs_test::Bytes;

struct Peer {
    kvs_test::ScriptedPeer peer{kvs_test::ScriptedPeer::Kind::kUdp, [](const Bytes& req) {
                                    return kvs_test::Reply(req[6], 0,
                                                           Bytes(req.begin() + 12, req.end()));
                                }};
};

// One echoing peer and one open connection per test.
class Concurrency : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(p.peer.ok());
        conn.SetSettleMs(0);
        ASSERT_TRUE(conn.Open(127, 0, 0, 1));
    }
    Peer p;
    CHWComm_Udp conn;
};

// Builds request (cmd, tag t, round i) in buf.
const T_MSG_HEAD* Build(uint8_t* buf, size_t size, int t, int i) {
    kvs::MsgBuilder m(buf, size, static_cast<uint8_t>(1 + t), 1);
    const int32_t tag[2] = {t, i};
    m.Bytes(tag, sizeof tag);
    return m.head();
}

// Rounds of 16 requests at once, one per thread: within a round every request has a slot of
// its own, so every reply must be the thread's own, byte for byte.
TEST_F(Concurrency, SixteenThreadsEachGetTheirOwnReplies) {
    constexpr int kThreads = 16, kRounds = 100;
    std::atomic<int> wrong{0}, missing{0};
    std::barrier round_end(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&, t] {
            uint8_t buf[64];
            for (int i = 0; i < kRounds; ++i) {
                const T_MSG_HEAD* r = conn.Request(Build(buf, sizeof buf, t, i), true);
                if (!r) {
                    ++missing;
                } else {
                    int32_t got[2];
                    std::memcpy(got, reinterpret_cast<const uint8_t*>(r) + 12, sizeof got);
                    if (r->length != 20 || r->cmd != (0x80 | (1 + t)) || got[0] != t || got[1] != i)
                        ++wrong;
                }
                round_end.arrive_and_wait();  // nobody starts the next round before all read
            }
        });
    }
    for (auto& th : pool) th.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(p.peer.Messages().size(), static_cast<size_t>(kThreads * kRounds));
}

// More callers than slots, without pause: the rotation comes back to slots whose requests
// still wait. Such a slot must be waited for, never shared (sharing loses a reply and the
// request behind it runs into its time-out).
TEST_F(Concurrency, MoreThreadsThanSlotsLoseNoReplies) {
    constexpr int kThreads = 24, kRounds = 50;
    std::atomic<int> missing{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&, t] {
            uint8_t buf[64];
            for (int i = 0; i < kRounds; ++i)
                if (!conn.Request(Build(buf, sizeof buf, t, i), true)) ++missing;
        });
    }
    for (auto& th : pool) th.join();
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(p.peer.Messages().size(), static_cast<size_t>(kThreads * kRounds));
}

// Callers that read their reply while the other threads keep the rotation going, without
// rounds: a held reply is never taken over by another request before it is released (the
// exported functions decode every reply this way).
TEST_F(Concurrency, HeldRepliesStayTheCallersUntilReleased) {
    constexpr int kThreads = 16, kRounds = 200;
    std::atomic<int> wrong{0}, missing{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&, t] {
            uint8_t buf[64];
            for (int i = 0; i < kRounds; ++i) {
                const T_MSG_HEAD* r = conn.RequestHeld(Build(buf, sizeof buf, t, i), true, 10000);
                if (!r) {
                    ++missing;
                    continue;
                }
                for (int look = 0; look < 3; ++look) {
                    int32_t got[2];
                    std::memcpy(got, reinterpret_cast<const uint8_t*>(r) + 12, sizeof got);
                    if (r->cmd != (0x80 | (1 + t)) || got[0] != t || got[1] != i) ++wrong;
                    std::this_thread::yield();
                }
                conn.ReleaseReply(r);
            }
        });
    }
    for (auto& th : pool) th.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(missing, 0);
}

// Two threads send frames of several 1200-byte pieces at once: the pieces of one frame must
// leave back to back, or the controller could not put either frame together.
TEST_F(Concurrency, PiecesOfTwoLongFramesNeverInterleave) {
    std::vector<Bytes> sent(2);
    std::vector<std::thread> pool;
    for (int t = 0; t < 2; ++t) {
        Bytes& m = sent[t];
        m.assign(12 + 3000, static_cast<uint8_t>('A' + t));
        const int32_t len = static_cast<int32_t>(m.size());
        std::memcpy(m.data(), &len, 4);
        m[6] = static_cast<uint8_t>(1 + t);
        pool.emplace_back([this, &m] {
            for (int i = 0; i < 5; ++i)
                conn.Request(reinterpret_cast<const T_MSG_HEAD*>(m.data()), false);
        });
    }
    for (auto& th : pool) th.join();
    ASSERT_TRUE(p.peer.WaitMessages(10));
    EXPECT_EQ(p.peer.BadFrames(), 0);
    for (const Bytes& got : p.peer.Messages()) EXPECT_TRUE(got == sent[0] || got == sent[1]);
}

}  // namespace
