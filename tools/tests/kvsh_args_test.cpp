#include <gtest/gtest.h>

#include "args.h"
#include "settings.h"

namespace kvsh {
namespace {

TEST(CommandLine, ConnectionAndOutputOptionsMayStandAnywhere) {
    Invocation inv = ParseCommandLine(
        {"get", "--udp", "10.1.2.3", "定时器-1", "--json", "启用定时器", "-v", "--timeout=2.5"},
        nullptr);
    EXPECT_EQ(inv.link, LinkKind::Udp);
    EXPECT_EQ(inv.udp[0], 10);
    EXPECT_EQ(inv.udp[3], 3);
    EXPECT_TRUE(inv.json);
    EXPECT_TRUE(inv.verbose);
    EXPECT_DOUBLE_EQ(inv.timeoutSeconds, 2.5);
    EXPECT_EQ(inv.words, (std::vector<std::string>{"get", "定时器-1", "启用定时器"}));
    EXPECT_EQ(inv.key, kDefaultKey);
}

TEST(CommandLine, KeyComesFromOptionThenEnvironmentThenDefault) {
    EXPECT_EQ(ParseCommandLine({"tree"}, nullptr).key, "62719405");
    EXPECT_EQ(ParseCommandLine({"tree"}, "").key, "62719405");
    EXPECT_EQ(ParseCommandLine({"tree"}, "11112222").key, "11112222");
    EXPECT_EQ(ParseCommandLine({"--key", "33334444", "tree"}, "11112222").key, "33334444");
}

TEST(CommandLine, NegativeNumbersAndWordsAfterDoubleDashAreArguments) {
    Invocation inv = ParseCommandLine({"set", "a-1", "x", "-5"}, nullptr);
    EXPECT_EQ(inv.words.back(), "-5");
    inv = ParseCommandLine({"set", "a-1", "x", "--", "--json"}, nullptr);
    EXPECT_EQ(inv.words.back(), "--json");
    EXPECT_FALSE(inv.json);
}

TEST(CommandLine, RejectsBadOptionsWithUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--udp", "127.0.0.256", "tree"},
        {"--udp", "1.2.3", "tree"},
        {"--udp", "1.2.3.4.5", "tree"},
        {"--udp", "01234.1.1.1", "tree"},
        {"--udp"},
        {"--usb", "x", "tree"},
        {"--usb", "-1", "tree"},
        {"--timeout", "0", "tree"},
        {"--timeout", "abc", "tree"},
        {"--serial", ":9600", "tree"},
        {"--frobnicate", "tree"},
        {"--json=yes", "tree"},
        {"--udp", "1.2.3.4", "--usb", "0", "tree"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        try {
            ParseCommandLine(args, nullptr);
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_EQ(e.code, kExitUsage);
        }
    }
}

TEST(CommandLine, EveryCommandHasHelp) {
    for (const char* c : {"tree",     "attrs",    "get",      "set",  "add",  "del",     "link",
                          "unlink",   "upload",   "download", "run",  "stop", "restart", "flash",
                          "settings", "firmware", "monitor",  "boot", "usb",  "help"}) {
        SCOPED_TRACE(c);
        auto h = CommandHelp(c);
        ASSERT_TRUE(h.has_value());
        EXPECT_NE(h->find(std::string("kvsh [CONNECTION] [--json] [-v] ") + c), std::string::npos);
        EXPECT_NE(GeneralHelp().find(std::string("  ") + c), std::string::npos);
    }
    EXPECT_FALSE(CommandHelp("frobnicate").has_value());
}

// ---------------------------------------------------------------------------------------------

TEST(StartupSettingsView, DecodesTheSerialByteWithTheDialogLabels) {
    StartupSettings s;
    s.serial = 0x53;  // 115200 baud, 8 data bits, one stop bit, odd parity
    s.device = 3;
    s.slot = 2;
    const uint8_t ip[4] = {192, 168, 1, 10};
    std::copy(ip, ip + 4, s.record.deviceIp);
    s.record.clientPort = 0xFFFFFFFF;  // shown as signed decimal
    std::memcpy(s.record.key, "62719405", 8);
    auto lines = SettingsLines(s);
    auto find = [&](const std::string& label) {
        for (auto& [l, v] : lines)
            if (l == label) return v;
        return std::string("<missing>");
    };
    EXPECT_EQ(find("通讯设备选择："), "UDP口通讯");
    EXPECT_EQ(find("串口波特率："), "115200");
    EXPECT_EQ(find("串口数据位："), "8");
    EXPECT_EQ(find("串口停止位："), "1");
    EXPECT_EQ(find("串口校验位："), "奇校验");
    EXPECT_EQ(find("设备IP："), "192.168.1.10");
    EXPECT_EQ(find("客户端端口号："), "-1");
    EXPECT_EQ(find("启动配置文件选择："), "配置文件槽位2");
    EXPECT_EQ(find("秘钥："), "62719405");
    EXPECT_EQ(lines.size(), 15u);
    Json::Value j = SettingsJson(s);
    EXPECT_EQ(j["baud"].asInt(), 115200);
    EXPECT_EQ(j["parity"].asString(), "odd");
    EXPECT_EQ(j["key"].asString(), "62719405");
}

TEST(StartupSettingsEdit, AssignmentsSetTheirBitsAndFields) {
    StartupSettings s;
    std::string error;
    for (const char* a : {"baud=9600", "data-bits=6", "stop-bits=2", "parity=偶校验"})
        ASSERT_TRUE(ApplySetting(s, a, &error)) << a << ": " << error;
    EXPECT_EQ(s.serial, 0xA0);  // the dialog's 9600/6/2/even
    ASSERT_TRUE(ApplySetting(s, "parity=odd", &error));
    ASSERT_TRUE(ApplySetting(s, "baud=115200", &error));
    ASSERT_TRUE(ApplySetting(s, "data-bits=8", &error));
    ASSERT_TRUE(ApplySetting(s, "stop-bits=1", &error));
    EXPECT_EQ(s.serial, 0x53);
    for (const char* a :
         {"device=udp", "slot=5", "gateway=10.0.0.1", "modbus-port=502", "key=12345678"})
        ASSERT_TRUE(ApplySetting(s, a, &error)) << a << ": " << error;
    EXPECT_EQ(s.device, 3);
    EXPECT_EQ(s.slot, 5);
    EXPECT_EQ(s.record.gateway[0], 10);
    EXPECT_EQ(uint32_t{s.record.modbusPort}, 502u);
    EXPECT_EQ(std::string(s.record.key, 8), "12345678");
    ASSERT_TRUE(ApplySetting(s, "device=USB转串口通讯", &error));
    EXPECT_EQ(s.device, 1);
}

TEST(StartupSettingsEdit, RefusesBadAssignmentsAndLeavesTheSettingsUnchanged) {
    StartupSettings s;
    s.serial = 0x53;
    std::memcpy(s.record.key, "62719405", 8);
    const StartupSettings before = s;
    const char* bad[] = {"baud=4800",     "data-bits=5",   "stop-bits=1.5",
                         "parity=mark",   "slot=6",        "slot=-1",
                         "device=5",      "gateway=1.2.3", "modbus-port=65536",
                         "client-port=x", "key=1234567",   "key=123456789",
                         "colour=red",    "baud",          "=9600"};
    for (const char* a : bad) {
        SCOPED_TRACE(a);
        std::string error;
        EXPECT_FALSE(ApplySetting(s, a, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    }
    std::string error;
    ApplySetting(s, "key=123456789", &error);
    EXPECT_EQ(error, "秘钥修改失败，秘钥必须为8位！！");
}

}  // namespace
}  // namespace kvsh

namespace {

TEST(ValueList, SplitsValuesEachEndedBySemicolon) {
    using V = std::vector<std::string>;
    const std::pair<std::string, std::optional<V>> cases[] = {
        {"1;true;", V{"1", "true"}}, {";;", V{"", ""}}, {"", V{}},
        {"1;2", std::nullopt},  // cut after the last separator
        {"x", std::nullopt},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(kvsh::SplitValueList(text), want) << text;
}

}  // namespace
