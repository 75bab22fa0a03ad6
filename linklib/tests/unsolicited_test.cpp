// The decoder of the controller's unsolicited messages (monitor events, firmware information).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kvsh_unsolicited.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Message(uint8_t cmd, uint32_t param, const std::string& body) {
    Bytes m(12, 0);
    m[6] = cmd;
    std::memcpy(&m[8], &param, 4);
    m.insert(m.end(), body.begin(), body.end());
    const int32_t len = static_cast<int32_t>(m.size());
    std::memcpy(m.data(), &len, 4);
    return m;
}

std::string S(const KVS_TEXT_SPAN& t) { return std::string(t.text, t.length); }
const std::string kNul(1, '\0');

TEST(Unsolicited, MonitorEventsKeepTheirTextsInsideTheMessage) {
    struct Case {
        const char* what;
        std::string body;
        std::string name, value;
        int has_value;
    } cases[] = {
        {"name and value", "c-1.a" + kNul + "17" + kNul, "c-1.a", "17", 1},
        {"an empty value", "c-1.a" + kNul + kNul, "c-1.a", "", 1},
        {"no value", "c-1.a" + kNul, "c-1.a", "", 0},
        {"a value cut by the end", "c-1.a" + kNul + "12", "c-1.a", "12", 1},
        {"a name cut by the end", "c-1", "c-1", "", 0},
        {"nothing after the head", "", "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes m = Message(KVS_UNSOLICITED_MONITOR_EVENT, 0, c.body);
        m.push_back('X');  // a byte past the message that must never be read
        KVS_MONITOR_EVENT e;
        ASSERT_TRUE(KVS_DecodeMonitorEvent(m.data(), static_cast<int>(m.size() - 1), &e));
        EXPECT_EQ(S(e.name), c.name);
        EXPECT_EQ(S(e.value), c.value);
        EXPECT_EQ(e.has_value, c.has_value);
    }
    // Padding a link delivers after the head's length is not part of the message.
    Bytes padded = Message(KVS_UNSOLICITED_MONITOR_EVENT, 0, "c-1.a" + kNul);
    padded.insert(padded.end(), {0, 0, 0});
    KVS_MONITOR_EVENT e;
    ASSERT_TRUE(KVS_DecodeMonitorEvent(padded.data(), static_cast<int>(padded.size()), &e));
    EXPECT_EQ(e.has_value, 0);
    const Bytes info = Message(KVS_UNSOLICITED_INFO_LINES, 0, "");
    EXPECT_FALSE(KVS_DecodeMonitorEvent(info.data(), static_cast<int>(info.size()), &e));
    const Bytes event = Message(KVS_UNSOLICITED_MONITOR_EVENT, 0, "a" + kNul);
    EXPECT_FALSE(KVS_DecodeMonitorEvent(event.data(), 11, &e)) << "shorter than a head";
    EXPECT_EQ(KVS_UnsolicitedCode(event.data(), 11), -1);
    EXPECT_EQ(e.name.length, 0u);
}

TEST(Unsolicited, InfoLinesStopAtTheirCountOrTheMessageEnd) {
    struct Case {
        const char* what;
        uint32_t count;
        std::string body;
        std::vector<std::pair<int, std::string>> lines;
        int bad;
    } cases[] = {
        {"two entries",
         2,
         "\x01"
         "boot" +
             kNul +
             "\xFD"
             "dbg" +
             kNul,
         {{1, "boot"}, {-3, "dbg"}},
         0},
        {"fewer wanted than given",
         1,
         "\x02"
         "a" +
             kNul +
             "\x02"
             "b" +
             kNul,
         {{2, "a"}},
         0},
        {"count past the end",
         0x7FFFFFFF,
         "\x02"
         "a" +
             kNul,
         {{2, "a"}},
         1},
        {"a level byte without text",
         2,
         "\x02"
         "a" +
             kNul + "\x03",
         {{2, "a"}, {3, ""}},
         0},
        {"a cut text",
         1,
         "\x02"
         "ab",
         {{2, "ab"}},
         0},
        {"no entries", 0, "", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes m = Message(KVS_UNSOLICITED_INFO_LINES, c.count, c.body);
        m.push_back('X');
        KVS_INFO_ITER it;
        KVS_INFO_LINE line;
        ASSERT_TRUE(KVS_InfoLinesBegin(&it, m.data(), static_cast<int>(m.size() - 1)));
        std::vector<std::pair<int, std::string>> got;
        while (KVS_InfoLinesNext(&it, &line)) got.emplace_back(line.level, S(line.text));
        EXPECT_EQ(got, c.lines);
        EXPECT_EQ(it.bad, c.bad);
    }
}

}  // namespace
