// The name helpers and the log ring of the exported interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame.h"
#include "gbk.h"
#include "kvsh_user.h"
#include "log.h"
#include "log_capture.h"

namespace {

std::string G(const char* utf8) { return kvs::Utf8ToGbk(std::string(utf8)); }

TEST(Names, SeparateFullNameSplitsAtTheLastColonElseTheLastDot) {
    struct Case {
        std::string full;
        bool ok;
        std::string component, attribute;
    } cases[] = {
        {G("定时器-5:启用定时器"), true, G("定时器-5"), G("启用定时器")},
        {G("定时器-5.启用定时器"), true, G("定时器-5"), G("启用定时器")},
        {"a.b:c.d", true, "a.b", "c.d"},
        {"a:b:c", true, "a:b", "c"},
        {"x:", true, "x", ""},
        {"plain", false, "", ""},
        {std::string(126, 'a') + ":", true, std::string(126, 'a'), ""},
        {std::string(127, 'a') + ":", false, "", ""},  // 128 characters: over the limit
    };
    for (const Case& c : cases) {
        char comp[128], attr[128];
        std::memset(comp, 'Z', sizeof comp);
        std::memset(attr, 'Z', sizeof attr);
        EXPECT_EQ(KVS_SeparateFullName(c.full.c_str(), comp, attr), c.ok) << c.full;
        EXPECT_EQ(std::string(comp), c.component) << c.full;
        EXPECT_EQ(std::string(attr), c.attribute) << c.full;
    }
    char comp[128], attr[128];
    EXPECT_FALSE(KVS_SeparateFullName(nullptr, comp, attr));
}

TEST(Names, ComponentIdIsTheNumberAfterTheLastDash) {
    const std::pair<std::string, int> cases[] = {{G("信号发生器-2"), 2}, {"a-b-17", 17},
                                                 {G("定时器"), -1},      {"t-", 0},
                                                 {"t-12x", 12},          {"t-99999999999", -1}};
    for (auto& [name, want] : cases)
        EXPECT_EQ(KVS_GetComponentIDFromName(name.c_str()), want) << name;
    EXPECT_EQ(KVS_GetComponentIDFromName(nullptr), -1);
}

TEST(Names, ComponentTypeIsTheNameCutAtTheLastDash) {
    char dst[256];
    EXPECT_TRUE(KVS_GetComponentStrFromName(G("信号发生器-2").c_str(), dst));
    EXPECT_EQ(std::string(dst), G("信号发生器"));
    EXPECT_TRUE(KVS_GetComponentStrFromName("a-b-3", dst));
    EXPECT_STREQ(dst, "a-b");
    EXPECT_FALSE(KVS_GetComponentStrFromName("plain", dst));
    EXPECT_STREQ(dst, "plain");
    std::string longName(256, 'x');
    EXPECT_FALSE(KVS_GetComponentStrFromName((longName + "-1").c_str(), dst));
    EXPECT_STREQ(dst, "");
}

TEST(Names, DelStringSpaceCountsAndStopsAtTheSize) {
    struct Case {
        const char* src;
        int size;
        int want;
        const char* out;
    } cases[] = {
        {" a b  c ", 8, 3, "abc"}, {"abcd", 4, -1, nullptr}, {"abc", 4, 3, "abc"}, {"", 1, 0, ""},
        {"   ", 1, 0, ""},         {"a", 0, -1, nullptr},
    };
    for (const Case& c : cases) {
        char dst[16];
        std::memset(dst, 'Z', sizeof dst);
        EXPECT_EQ(KVS_DelStringSpace(dst, c.size, c.src), c.want) << c.src << "/" << c.size;
        if (c.out) {
            EXPECT_STREQ(dst, c.out);
        }
        // Never a byte beyond the size.
        for (int i = c.size; i < 16; ++i) EXPECT_EQ(dst[i], 'Z') << c.src << "/" << c.size;
    }
}

TEST(Log, EntriesCarryTimeTextAndLevelAndTheRingWrapsAt32) {
    kvs_test::LogCapture capture;
    static const KVS_LOG_ENTRY* entries[40];
    static unsigned levels[40];
    static int n;
    n = 0;
    KVS_RegistInfoPostFunc([](KVS_HWND, unsigned msg, uintptr_t level, intptr_t entry) {
        if (msg == KVS_WM_INFO_MESSAGE && n < 40) {
            levels[n] = static_cast<unsigned>(level);
            entries[n++] = reinterpret_cast<const KVS_LOG_ENTRY*>(entry);
        }
    });
    for (int i = 0; i < 33; ++i) KVS_Printf(3, "line %d", i);
    ASSERT_EQ(n, 33);
    EXPECT_EQ(entries[32], entries[0]) << "the 33rd message reuses the first entry";
    EXPECT_STREQ(entries[0]->text, "line 32");
    EXPECT_EQ(levels[5], 3u);
    EXPECT_EQ(std::strlen(entries[0]->time), 8u);
    EXPECT_EQ(entries[0]->time[2], ':');
    EXPECT_EQ(entries[0]->time[5], ':');

    // Without a level: level 2; a NULL format logs nothing.
    KVS_Printf("plain");
    EXPECT_EQ(levels[33], 2u);
    KVS_Printf(nullptr);
    KVS_Printf(1, nullptr);
    EXPECT_EQ(n, 34);

    // Long messages are cut inside the entry.
    std::string big(400, 'x');
    KVS_Printf(1, "%s", big.c_str());
    EXPECT_EQ(std::strlen(entries[34]->text), 255u);

    // Unregistered: nothing is posted.
    KVS_UnregistInfoWnd();
    KVS_Printf(1, "quiet");
    EXPECT_EQ(n, 35);
}

TEST(Log, LibraryTextsReachReceiversAsGbk) {
    kvs_test::LogCapture capture;
    kvs::Log(1, kvs::TextId::kUartOpen, "COM9");
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].second, "无法打开串口设备:COM9");
}

TEST(Key, KeyByteIsTheDigitSumAndSharedByBothSetters) {
    KVSGetKey("99999999999999999999999999999999");
    EXPECT_EQ(kvs::KeyByte(), (32 * 9) % 256);
    mKVSGetKey("00000000");
    EXPECT_EQ(kvs::KeyByte(), 0);
    KVSGetKey("62719405");
    KVSGetKey("62719405");
    EXPECT_EQ(kvs::KeyByte(), 34);
    KVSGetKey(nullptr);
    EXPECT_EQ(kvs::KeyByte(), 0);
}

TEST(Usb, ListingWithoutRoomStoresNothing) {
    int idx[2] = {-7, -7};
    EXPECT_EQ(KVS_GetUSBDevIndexs(idx, 0), 0);
    EXPECT_EQ(KVS_GetUSBDevIndexs(idx, -1), 0);
    EXPECT_EQ(KVS_GetUSBDevIndexs(nullptr, 2), 0);
    EXPECT_EQ(idx[0], -7);
}

}  // namespace
