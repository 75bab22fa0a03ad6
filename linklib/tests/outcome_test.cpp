// Request outcomes and per-connection waits, over UDP against the simulated controller and its
// faults. Runs in a private network namespace (fixed ports 30000/30001).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "devsim/device.h"
#include "gbk.h"
#include "kvsh_user.h"
#include "kvsh_vocab.h"

namespace {

using Clock = std::chrono::steady_clock;
std::string G(const std::string& utf8) { return kvs::Utf8ToGbk(utf8); }

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class Outcome : public ::testing::Test {
  public:
    void SetUp() override {
        device = devsim::Device::CreateDemo();
        std::string error;
        ASSERT_TRUE(device->StartUdp("127.0.0.1", 30001, &error)) << error;
        KVSGetKey("62719405");
        ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
    }
    void TearDown() override {
        KVS_Clear();
        device.reset();
    }
    const char* Get(const std::string& component, const std::string& attribute) {
        return KVS_GetAttrVal(G(component).c_str(), G(attribute).c_str());
    }
    devsim::Faults Faults(double malformed, bool silent) {
        devsim::Faults f;
        f.malformed = malformed;
        f.silent = silent;
        return f;
    }
    std::unique_ptr<devsim::Device> device;
};

TEST_F(Outcome, EachRequestReportsHowItEnded) {
    int status = -1;
    EXPECT_EQ(KVS_GetLastResult(&status), KVS_RESULT_NOT_SENT) << "nothing asked yet";
    EXPECT_EQ(status, 0);

    struct Case {
        const char* what;
        bool (*call)(Outcome*);
        bool returns;
        int result;
        int status;
    } cases[] = {
        {"a read",
         [](Outcome* t) { return t->Get(KVS_COMPONENT_MANAGER, KVS_ATTR_RUN_STATE) != nullptr; },
         true, KVS_RESULT_DONE, 0},
        {"an unknown component",
         [](Outcome* t) { return t->Get("不存在-1", KVS_ATTR_RUN_STATE) != nullptr; }, false,
         KVS_RESULT_REFUSED, 1},
        {"an invalid value",
         [](Outcome*) {
             return KVS_SetAttributeVal(G("定时器-5").c_str(), G("定时周期_ms").c_str(), "abc",
                                        true);
         },
         false, KVS_RESULT_REFUSED, 1},
        {"the right key", [](Outcome*) { return KVS_Key("62719405"); }, true, KVS_RESULT_DONE,
         KVS_STATUS_KEY_ACCEPTED},
        {"a wrong key", [](Outcome*) { return KVS_Key("12345678"); }, false, KVS_RESULT_REFUSED, 0},
        {"a write without wait", [](Outcome*) { return KVS_SetAttributeVal("x", "y", "z", false); },
         true, KVS_RESULT_DONE, 0},
        {"a text too long for a frame",
         [](Outcome*) { return KVS_DownloadConfig(std::string(70000, 'a').c_str()); }, false,
         KVS_RESULT_NOT_SENT, 0},
        {"a name too long for a frame",
         [](Outcome*) { return KVS_GetAttrVal(std::string(70000, 'a').c_str(), "b") != nullptr; },
         false, KVS_RESULT_NOT_SENT, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(this), c.returns);
        status = -1;
        EXPECT_EQ(KVS_GetLastResult(&status), c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(KVS_GetLastResult(nullptr), c.result) << "status may be left out";
    }
}

TEST_F(Outcome, ASilentDeviceIsNoAnswerWithinTheShortenedWait) {
    EXPECT_EQ(KVS_GetRequestWait(), 10000);
    KVS_SetRequestWait(300);
    EXPECT_EQ(KVS_GetRequestWait(), 300);
    device->SetFaults(Faults(0, true));
    const auto start = Clock::now();
    EXPECT_EQ(Get(KVS_COMPONENT_MANAGER, KVS_ATTR_RUN_STATE), nullptr);
    const long long waited = MsSince(start);
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_NO_ANSWER);
    EXPECT_GE(waited, 280);
    EXPECT_LT(waited, 2000);

    // The boot commands keep their own 500 ms whatever the request wait.
    KVS_SetRequestWait(5000);
    const auto boot = Clock::now();
    EXPECT_FALSE(KVS_InBoot(0));
    EXPECT_LT(MsSince(boot), 2500);
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_NO_ANSWER);

    // Below 1 restores the default; a new connection starts with it.
    KVS_SetRequestWait(0);
    EXPECT_EQ(KVS_GetRequestWait(), 10000);
    KVS_SetRequestWait(300);
    KVS_Clear();
    EXPECT_EQ(KVS_GetRequestWait(), 10000) << "no connection";
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_NOT_SENT);
    ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
    EXPECT_EQ(KVS_GetRequestWait(), 10000);
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_NOT_SENT) << "a new connection";
}

TEST_F(Outcome, MalformedRepliesAreToldApartFromRefusals) {
    KVS_SetRequestWait(1000);
    device->SetFaults(Faults(1.0, false));
    int malformed = 0;
    for (int i = 0; i < 12; ++i) {
        const char* v = Get(KVS_COMPONENT_MANAGER, KVS_ATTR_RUN_STATE);
        int status = -1;
        const int result = KVS_GetLastResult(&status);
        if (v) {
            EXPECT_EQ(result, KVS_RESULT_DONE);  // a cut the text read does not reach
        } else {
            EXPECT_EQ(result, KVS_RESULT_MALFORMED);
            EXPECT_EQ(status, 0);
            ++malformed;
        }
    }
    EXPECT_GT(malformed, 0);
}

TEST_F(Outcome, EachThreadAndEachConnectionKeepsItsOwnOutcome) {
    ASSERT_NE(Get(KVS_COMPONENT_MANAGER, KVS_ATTR_RUN_STATE), nullptr);
    std::thread([this] {
        EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_NOT_SENT) << "this thread asked nothing";
        EXPECT_EQ(Get("不存在-1", "x"), nullptr);
        EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_REFUSED);
    }).join();
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_DONE);

    // The handle family: a NULL handle reports not sent; a handle keeps its own wait and
    // outcome.
    EXPECT_EQ(mKVS_GetLastResult(nullptr, nullptr), KVS_RESULT_NOT_SENT);
    EXPECT_EQ(mKVS_GetRequestWait(nullptr), 10000);
    mKVS_SetRequestWait(nullptr, 5);  // ignored
    KVS_Clear();
    KVS_HANDLE h = mKVS_Initial_UDP(127, 0, 0, 1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mKVS_GetLastResult(h, nullptr), KVS_RESULT_NOT_SENT);
    mKVS_SetRequestWait(h, 250);
    EXPECT_EQ(mKVS_GetRequestWait(h), 250);
    device->SetFaults(Faults(0, true));
    const auto start = Clock::now();
    EXPECT_FALSE(mKVS_DelComponent(h, G("定时器-5").c_str()));
    EXPECT_LT(MsSince(start), 2000);
    int status = -1;
    EXPECT_EQ(mKVS_GetLastResult(h, &status), KVS_RESULT_NO_ANSWER);
    EXPECT_EQ(status, 0);
    mKVS_Clear(h);
}

}  // namespace
