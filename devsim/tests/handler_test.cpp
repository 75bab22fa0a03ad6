// The request handler of the simulated controller, driven in-process with real request messages.
#include <gtest/gtest.h>

#include <algorithm>

#include "wire.h"

namespace devsim::test {
namespace {

constexpr const char* kMgr = "组件管理器";

class HandlerTest : public ::testing::Test {
  protected:
    std::unique_ptr<Device> dev = Device::CreateDemo(Quiet());
    std::string Get(const std::string& c, const std::string& a) {
        Reply r = Ask(*dev, Request(kvs::kCmdGetVal, {c, a}));
        return r.status() == 0 ? r.Text(20) : "<status " + std::to_string(r.status()) + ">";
    }
    int Set(const std::string& c, const std::string& a, const std::string& v) {
        return Ask(*dev, Request(kvs::kCmdSetVal, {c, a, v})).status();
    }
};

TEST_F(HandlerTest, TreeListsEveryTypeFollowedByItsInstances) {
    Reply r = Ask(*dev, Request(kvs::kCmdTree, {}, 0, {}, 0));
    ASSERT_EQ(r.status(), 0);
    auto recs = r.Records();
    ASSERT_FALSE(recs.empty());
    ASSERT_NE(recs.back().kind, 0xBADu);
    EXPECT_EQ(recs[0].kind, 1u);
    EXPECT_EQ(recs[0].texts[0], "定时器");
    EXPECT_NE(recs[0].flag, 0);  // timers carry the alternate icon
    EXPECT_EQ(recs[1].kind, 2u);
    EXPECT_EQ(recs[1].texts[0], "定时器-5");
    int types = 0, links = 0;
    std::string type;
    for (const auto& rec : recs) {
        if (rec.kind == 1) {
            ++types;
            type = rec.texts[0];
        } else {
            EXPECT_EQ(rec.texts[0].rfind(type + "-", 0), 0u)
                << rec.texts[0] << " listed under " << type;
            links += type == "槽位连接线";
        }
    }
    EXPECT_EQ(types, static_cast<int>(dev->ListTypes().size()));
    EXPECT_EQ(links, 6);
}

TEST_F(HandlerTest, AttributeRecordsSeparateSlotsFromAttributes) {
    Reply attrs = Ask(*dev, Request(kvs::kCmdAttrInfoAll, {"信号发生器-2"}));
    ASSERT_EQ(attrs.status(), 0);
    auto recs = attrs.Records();
    ASSERT_GE(recs.size(), 3u);
    EXPECT_EQ(recs[0].kind, 1u);
    EXPECT_EQ(recs[0].texts[0], "信号发生器-2");
    bool saw_enum = false;
    for (size_t i = 1; i < recs.size(); ++i) {
        EXPECT_EQ(recs[i].kind, 3u);
        EXPECT_EQ(recs[i].role, 0u) << recs[i].texts[0];
        if (recs[i].texts[0] == "波形类型") {
            saw_enum = true;
            EXPECT_EQ(recs[i].type, 4u);
            EXPECT_EQ(recs[i].texts, (std::vector<std::string>{"波形类型", "正弦波", "方波",
                                                               "正弦波", "三角波", "锯齿波"}));
        }
    }
    EXPECT_TRUE(saw_enum);

    Reply slots = Ask(*dev, Request(kvs::kCmdSlotInfo, {"与门-1"}));
    auto s = slots.Records();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[1].texts[0], "输入1");
    EXPECT_EQ(s[1].role, 1u);
    EXPECT_EQ(s[3].texts[0], "输出");
    EXPECT_EQ(s[3].role, 3u);
    EXPECT_EQ(s[3].type, 5u);
    EXPECT_TRUE(s[3].flags & 4);

    Reply one = Ask(*dev, Request(kvs::kCmdAttrInfo, {"类型不存在-1", "x"}));
    EXPECT_EQ(one.status(), 1);
    Reply ro = Ask(*dev, Request(kvs::kCmdAttrInfo, {"定时器", "总资源数"}));
    ASSERT_EQ(ro.Records().size(), 1u);
    EXPECT_EQ(ro.Records()[0].flags & 1, 1u);
    EXPECT_EQ(ro.bytes[17], 1);  // the type, read by the PC at offset 17
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&ro.bytes[20])), kvs::Utf8ToGbk("总资源数"));
}

TEST_F(HandlerTest, WritesAreCheckedAgainstTypeFlagsAndRanges) {
    struct Case {
        const char* comp;
        const char* attr;
        const char* value;
        int status;
    } cases[] = {
        {"定时器-5", "启用定时器", "false", 0},    {"定时器-5", "启用定时器", "yes", 1},
        {"定时器-5", "定时周期_ms", "250", 0},     {"定时器-5", "定时周期_ms", "0", 1},
        {"定时器-5", "定时周期_ms", "12abc", 1},   {"信号发生器-2", "波形类型", "三角波", 0},
        {"信号发生器-2", "波形类型", "矩形波", 1}, {"信号发生器-2", "启动频率_KHz", "2.5", 0},
        {"定时器", "总资源数", "99", 1},           {"组件管理器", "记录数据", "1", 1},
        {"组件管理器", "采样时间_us", "2.50", 0},  {"组件管理器", "触发管脚号", "4", 1},
        {"不存在-1", "用户注释", "x", 1},          {"定时器-5", "不存在", "x", 1},
        {"组件管理器", "重新启动", "maybe", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Set(c.comp, c.attr, c.value), c.status)
            << c.comp << "." << c.attr << "=" << c.value;
    EXPECT_EQ(Get("定时器-5", "定时周期_ms"), "250");
    EXPECT_EQ(Get("信号发生器-2", "波形类型"), "三角波");
    EXPECT_EQ(Get("定时器", "总资源数"), "8");

    // Layout and comments keep any text, Chinese and separators included, byte for byte.
    for (const char* text : {"(100,50),(180,90)", "4,(150,70),(175,70),(175,120),(200,120),",
                             "注释; 含分号:冒号.点 @", ""}) {
        EXPECT_EQ(Set("开关-1", "用户注释", text), 0);
        EXPECT_EQ(Get("开关-1", "用户注释"), text);
        EXPECT_EQ(Set("开关-1", "区域位置", text), 0);
        EXPECT_EQ(Get("开关-1", "区域位置"), text);
    }
}

TEST_F(HandlerTest, CreationHonoursResourcesAndNamesAreTypeDashNumber) {
    EXPECT_EQ(Get("信号发生器", "已用资源数"), "1");
    std::vector<std::string> made;
    for (;;) {
        Reply r = Ask(*dev, Request(kvs::kCmdAddComponent, {"信号发生器", ""}));
        if (r.status() != 0) break;
        made.push_back(r.Text(20));
    }
    EXPECT_EQ(made, (std::vector<std::string>{"信号发生器-3", "信号发生器-4", "信号发生器-5"}));
    EXPECT_EQ(Get("信号发生器", "已用资源数"), Get("信号发生器", "总资源数"));
    EXPECT_NE(Get("信号发生器", "创建的组件").find("信号发生器-5;"), std::string::npos);

    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdDelComponent, {"信号发生器-5"})).status(), 0);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdDelComponent, {"信号发生器-5"})).status(), 1);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdDelComponent, {kMgr})).status(), 1);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdDelComponent, {"定时器"})).status(), 1);
    // A freed number is not handed out again, so a stale name never finds a newcomer.
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdAddComponent, {"信号发生器", ""})).Text(20),
              "信号发生器-6");
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdAddComponent, {"组件管理器", ""})).status(), 1);
}

TEST_F(HandlerTest, AFullyUsedDeviceStillListsItsWholeTreeInOneReply) {
    // The reply's record count is one byte: every type filled to its total must still fit.
    int instances = 0;
    for (const auto& type : dev->ListTypes()) {
        while (Ask(*dev, Request(kvs::kCmdAddComponent, {type, ""})).status() == 0) {
        }
        instances += std::stoi(Get(type, "已用资源数"));
    }
    Reply r = Ask(*dev, Request(kvs::kCmdTree, {}, 0, {}, 0));
    ASSERT_EQ(r.status(), 0);
    auto recs = r.Records();
    EXPECT_NE(recs.back().kind, 0xBADu);
    EXPECT_EQ(recs.size(), dev->ListTypes().size() + instances);
}

TEST_F(HandlerTest, LinksJoinReceiveToSendSlotsAndEmptySourceRemoves) {
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdGetLink, {"与门-1", "输入1"})).Text(20), "定时器-5:输出");
    struct Case {
        const char* comp;
        const char* slot;
        const char* source;
        int status;
    } cases[] = {
        {"与门-1", "输入1", "开关-1:输出", 0},
        {"与门-1", "输入1", "开关-1.输出", 0},   // "." separates as well
        {"与门-1", "输入1", "与门-1:输入2", 1},  // a receive slot is no source
        {"与门-1", "输出", "开关-1:输出", 1},    // a send slot takes no link
        {"与门-1", "输入1", "不存在-1:输出", 1},
        {"与门-1", "输入1", "开关-1", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ask(*dev, Request(kvs::kCmdSetLink, {c.comp, c.slot, c.source})).status(),
                  c.status)
            << c.source;
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdGetLink, {"与门-1", "输入1"})).Text(20), "开关-1:输出");
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdSetLink, {"与门-1", "输入1", ""})).status(), 0);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdGetLink, {"与门-1", "输入1"})).Text(20), "");

    // Deleting a component drops the links from its send slots and the link components drawing
    // them.
    ASSERT_EQ(Ask(*dev, Request(kvs::kCmdDelComponent, {"计数器-1"})).status(), 0);
    EXPECT_EQ(dev->GetLink("表达式运算-1", "输入1"), "");
    EXPECT_EQ(dev->GetLink("表达式运算-1", "输入2"), "信号发生器-2:输出");
    std::string list;
    ASSERT_TRUE(dev->GetValue("槽位连接线", "创建的组件", &list));
    EXPECT_EQ(std::count(list.begin(), list.end(), ';'), 3);
}

TEST_F(HandlerTest, ModifyStrListEditsOneEntry) {
    auto modify = [&](int op, int index, const char* text) {
        return Ask(*dev, Request(kvs::kCmdSetLink, {kMgr, "属性监控表", text}, op | (index << 8)))
            .status();
    };
    EXPECT_EQ(modify(1, 0, "开关-1.输出@change"), 0);
    EXPECT_EQ(modify(1, 9, "定时器-5.输出@true"), 0);  // past the end appends
    EXPECT_EQ(modify(3, 0, "与门-1.输出@change"), 0);
    EXPECT_EQ(Get(kMgr, "属性监控表"), "与门-1.输出@change;定时器-5.输出@true;");
    EXPECT_EQ(modify(2, 0, ""), 0);
    EXPECT_EQ(modify(2, 5, ""), 1);
    EXPECT_EQ(modify(1, 0, "a;b"), 1);  // one entry cannot smuggle in two
    EXPECT_EQ(Get(kMgr, "属性监控表"), "定时器-5.输出@true;");
}

TEST_F(HandlerTest, BatchReadsAndWritesUseTheNameListOrder) {
    const std::string names = "定时器-5.启用定时器;信号发生器-2.启动频率_KHz;";
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdSetBatch, {names, "false;2;"}, 2)).status(), 0);
    Reply r = Ask(*dev, Request(kvs::kCmdGetBatch, {names}, 2));
    EXPECT_EQ(r.status(), 0);
    EXPECT_EQ(r.Text(12), "false;2;");
    // An unknown name refuses the whole batch before anything is written.
    EXPECT_EQ(
        Ask(*dev, Request(kvs::kCmdSetBatch, {names + "不存在-1.x;", "true;1;1;"}, 3)).status(), 1);
    EXPECT_EQ(Get("定时器-5", "启用定时器"), "false");
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdSetBatch, {names, "true;"}, 2)).status(),
              2);  // lists of unequal length
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdGetBatch, {"定时器-5;"}, 1)).status(),
              1);  // no attribute named
}

TEST_F(HandlerTest, UploadDownloadRoundTripsExactly) {
    Reply up = Ask(*dev, Request(kvs::kCmdUpload, {}, 0, {}, 0));
    ASSERT_EQ(up.status(), 0);
    std::string text = up.Text(12);
    EXPECT_EQ(text.rfind("KVS配置 1\n", 0), 0u);
    auto other = Device::CreateEmpty(Quiet());
    Reply down = Ask(*other, Request(kvs::kCmdDownload, {text}, 0, {}, 0));
    ASSERT_EQ(down.status(), 0);
    EXPECT_EQ(Ask(*other, Request(kvs::kCmdUpload, {}, 0, {}, 0)).Text(12), text);
    EXPECT_EQ(other->ListComponents(), dev->ListComponents());
    EXPECT_EQ(other->GetLink("与门-1", "输入2"), "开关-1:输出");
    std::string script;
    other->GetValue("用户自定义组件-1", "编译信息", &script);
    EXPECT_EQ(script.rfind("编译成功", 0), 0u) << script;
}

TEST_F(HandlerTest, MalformedConfigurationIsRefusedAndChangesNothing) {
    const std::string before = dev->ExportConfig();
    const char* bad[] = {
        "",
        "not a configuration\n",
        "KVS配置 1\n用户注释=x\n",                  // attribute before any component
        "KVS配置 1\n[定时器-5]\n启用定时器\n",      // no '='
        "KVS配置 1\n[定时器-5]\n启用定时器=yes\n",  // invalid value
        "KVS配置 1\n[定时器-5]\n不存在=1\n",
        "KVS配置 1\n[定时器-5]\n输出=true\n",  // a computed slot is not stored
        "KVS配置 1\n[火箭-1]\n",
        "KVS配置 1\n[定时器-x]\n",
        "KVS配置 1\n[定时器-05]\n",
        "KVS配置 1\n[定时器-1]\n[定时器-1]\n",
        "KVS配置 1\n[与门-1]\n@输入1=不存在-1:输出\n",
        "KVS配置 1\n[定时器-1]\n用户注释=a\\qb\n",  // unknown escape
        "KVS配置 1\n[定时器-1\n",
        "KVS配置 "
        "1\n[定时器-1]\n[定时器-2]\n[定时器-3]\n[定时器-4]\n[定时器-5]\n[定时器-6]\n[定时器-7]\n["
        "定时器-8]\n[定时器-9]\n",
    };
    for (const char* text : bad) {
        EXPECT_NE(Ask(*dev, Request(kvs::kCmdDownload, {text}, 0, {}, 0)).status(), 0) << text;
        EXPECT_EQ(dev->ExportConfig(), before) << text;
    }
    std::string error;
    EXPECT_FALSE(dev->ImportConfig("KVS配置 1\n[定时器-5]\n启用定时器=yes\n", &error));
    EXPECT_EQ(error.rfind("第3行", 0), 0u) << error;
}

TEST_F(HandlerTest, KeyCommandAcceptsExactlyTheDeviceKey) {
    auto key = [&](const std::string& k) {
        std::vector<uint8_t> buf(64);
        kvs::MsgBuilder b(buf.data(), buf.size(), kvs::kCmdKey, 0);
        b.TextNoNul(k.c_str());
        buf.resize(b.size());
        return Ask(*dev, buf).status();
    };
    EXPECT_EQ(key("62719405"), 1);
    EXPECT_EQ(key("62719406"), 0);
    EXPECT_EQ(key("6271940"), 0);
    EXPECT_EQ(key(""), 0);
}

TEST_F(HandlerTest, StartupParametersTakeEffectAtRestart) {
    T_GLOAT_SET rec{};
    std::vector<uint8_t> raw(sizeof rec);
    Reply r4 = Ask(*dev, Request(kvs::kCmdConfigOp, {}, 4));
    ASSERT_EQ(r4.status(), 0);
    ASSERT_GE(r4.bytes.size(), 52u);
    std::memcpy(&rec, &r4.bytes[12], sizeof rec);
    EXPECT_EQ(std::string(rec.key, 8), "62719405");
    EXPECT_EQ(rec.serverPort, 30001u);

    std::memcpy(rec.key, "11111111", 8);
    std::memcpy(raw.data(), &rec, sizeof rec);
    // op 5, boot slot 2, UDP, serial byte 0x53
    int32_t param = 5 | (2 << 8) | (3 << 16) | (0x53 << 24);
    ASSERT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, param, raw)).status(), 0);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, 5 | (9 << 8), raw)).status(), 1);  // slot 9
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, 5 | (0xFF << 24), raw)).status(),
              1);                                                         // bad serial byte
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, 5)).status(), 2);  // no record
    Reply again = Ask(*dev, Request(kvs::kCmdConfigOp, {}, 4));
    EXPECT_EQ(again.bytes[9], 2);
    EXPECT_EQ(again.bytes[11], 0x53);
    EXPECT_EQ(dev->Key(), "62719405");  // not before the restart
    // Save into slot 2 and empty the running configuration; the restart loads slot 2.
    ASSERT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, 1 | (2 << 8))).status(), 0);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, 1 | (6 << 8))).status(), 1);
    ASSERT_EQ(Ask(*dev, Request(kvs::kCmdConfigOp, {}, 3)).status(), 0);
    EXPECT_EQ(dev->ListComponents().size(), 1u);
    EXPECT_EQ(Set(kMgr, "重新启动", "true"), 0);
    EXPECT_EQ(dev->Key(), "11111111");
    EXPECT_GT(dev->ListComponents().size(), 10u);
}

TEST_F(HandlerTest, BootLoaderAnswersOnlyBootCommands) {
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdBootFactory, {}, 0, {}, 0)).status(), 1);  // not in boot
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdBootLeave, {}, 0, {}, 0)).status(), 1);
    ASSERT_EQ(Ask(*dev, Request(kvs::kCmdBootEnter, {}, 0, {}, 0)).status(), 0);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdTree, {}, 0, {}, 0)).status(), 3);
    EXPECT_EQ(Get(kMgr, "运行状态"), "<status 3>");
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdBootNormal, {}, 0, {}, 0)).status(), 0);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdBootLeave, {}, 0, {}, 0)).status(), 0);
    EXPECT_EQ(Get(kMgr, "运行模式"), "正常模式");
    EXPECT_EQ(Get("定时器-5", "启用定时器"), "true");  // the restart reloaded the stored demo
}

TEST_F(HandlerTest, MalformedRequestsAreAnsweredWithoutReadingPastThem) {
    auto msg = Request(kvs::kCmdGetVal, {kMgr, "运行状态"});
    // A length field larger than what came.
    auto longer = msg;
    longer[0] = static_cast<uint8_t>(msg.size() + 1);
    EXPECT_EQ(Ask(*dev, longer).status(), 2);
    // Texts without their terminator.
    auto cut = std::vector<uint8_t>(msg.begin(), msg.end() - 1);
    cut[0] = static_cast<uint8_t>(cut.size());
    EXPECT_EQ(Ask(*dev, cut).status(), 2);
    // A memory write announcing more bytes than it carries.
    EXPECT_EQ(
        Ask(*dev, Request(kvs::kCmdSetMem, {kMgr, "Flash操作数据"}, 300, std::vector<uint8_t>(10)))
            .status(),
        2);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdSetMem, {kMgr, "Flash操作数据"}, -1)).status(), 2);
    // A text written as raw bytes must not carry a NUL that would cut it short later.
    EXPECT_EQ(
        Ask(*dev, Request(kvs::kCmdSetMem, {"开关-1", "用户注释"}, 3, {'a', 0, 'b'})).status(), 1);
    EXPECT_EQ(Ask(*dev, Request(kvs::kCmdSetMem, {"开关-1", "用户注释"}, 2, {'a', 'b'})).status(),
              0);
    // An unknown code is answered, so that the caller does not wait out its time-out.
    EXPECT_EQ(Ask(*dev, Request(99, {})).status(), 2);
    // Too short to be a message, or itself a reply: no answer.
    EXPECT_FALSE(Ask(*dev, std::vector<uint8_t>(11)).answered);
    auto reply = Request(kvs::kCmdTree, {});
    reply[6] |= 0x80;
    EXPECT_FALSE(Ask(*dev, reply).answered);
}

}  // namespace
}  // namespace devsim::test
