// How the grid's rows come out of the device's attribute records: each row kind, options,
// read-only, the box-shaping flag, order, the slot view, and replies that lie about their size.
#include "browser/property_rows.h"

#include <gtest/gtest.h>

#include "browser/tests/reply_builder.h"

namespace {
QStringList Names(const PropRows& rows) {
    QStringList n;
    for (const auto& r : rows) n << r->Name();
    return n;
}
}  // namespace

TEST(PropertyRows, EachRecordKindGivesItsRowInReplyOrder) {
    const QByteArray reply =
        BuildAttrReply(2, {Comp("信号发生器-2"),
                           Attr(2, 0, {"启动频率_KHz", "1.5"}),
                           Attr(4, 0, {"波形类型", "正弦波", "方波", "正弦波", "方波", "三角波"}),
                           Attr(4, 0, {"空枚举", "x"}),
                           Attr(5, 0, {"启用输出", "true"}),
                           Attr(5, 0, {"大写", "TRUE"}),
                           Attr(5, 0, {"空", ""}),
                           Attr(10, 0, {"清零", "whatever"}),
                           Attr(1, 1, {"运算状态", "ok"}),
                           Attr(3, 2, {"输入槽位个数", "2"}),
                           {7, 0, 0, 0, {"其他记录"}}});
    ComponentRows built = BuildComponentRows(reply);
    ASSERT_TRUE(built.hasComponent);
    EXPECT_EQ(built.component, "信号发生器-2");
    ASSERT_EQ(Names(built.rows), QStringList({"启动频率_KHz", "波形类型", "空枚举", "启用输出",
                                              "大写", "空", "清零", "运算状态", "输入槽位个数"}));

    struct Expect {
        QString value;
        QStringList options;
        bool allowEdit, enabled, command, shapes;
    };
    const QStringList tf = {"True", "False"};
    const Expect expected[] = {
        {"1.5", {}, true, true, false, false},
        // options in record order, the repeated "方波" once, no free typing
        {"正弦波", {"方波", "正弦波", "三角波"}, false, true, false, false},
        {"x", {}, false, true, false, false},  // an enumeration of two texts has no options
        {"True", tf, false, true, false, false},
        {"False", tf, false, true, false, false},  // only "true" is True
        {"False", tf, false, true, false, false},
        {"", {}, false, true, true, false},  // a command shows no value
        {"ok", {}, true, false, false, false},
        {"2", {}, true, true, false, true},
    };
    for (size_t i = 0; i < built.rows.size(); ++i) {
        const CBaseProp& row = *built.rows[i];
        SCOPED_TRACE(row.Name().toStdString());
        EXPECT_EQ(row.Value(), expected[i].value);
        EXPECT_EQ(row.Options(), expected[i].options);
        EXPECT_EQ(row.AllowEdit(), expected[i].allowEdit);
        EXPECT_EQ(row.IsEnabled(), expected[i].enabled);
        EXPECT_EQ(row.IsCommand(), expected[i].command);
        EXPECT_EQ(row.ShapesBox(), expected[i].shapes);
        EXPECT_FALSE(row.IsModified());
    }
}

TEST(PropertyRows, BooleanRowsSendLowerCaseAndOthersTheirText) {
    ComponentRows built = BuildComponentRows(BuildAttrReply(
        2, {Comp("开关-1"), Attr(5, 0, {"开关状态", "false"}), Attr(8, 0, {"脚本代码", "a b"})}));
    ASSERT_EQ(built.rows.size(), 2u);
    built.rows[0]->SetValue("True");
    EXPECT_EQ(built.rows[0]->TextToSend(), "true");
    EXPECT_TRUE(built.rows[0]->IsModified());
    built.rows[0]->SetValue("False");
    EXPECT_EQ(built.rows[0]->TextToSend(), "false");
    EXPECT_FALSE(built.rows[0]->IsModified());
    built.rows[1]->SetValue(" typed as is;");
    EXPECT_EQ(built.rows[1]->TextToSend(), " typed as is;");
}

TEST(PropertyRows, RepliesThatLieAboutTheirSizeGiveOnlyWholeRecords) {
    QByteArray reply =
        BuildAttrReply(2, {Comp("与门-1"), Attr(2, 0, {"甲", "1"}), Attr(2, 0, {"乙", "2"})});
    const QByteArray whole = reply;
    // The last record cut off, the head's length still claiming all of it.
    reply.chop(3);
    EXPECT_EQ(Names(BuildComponentRows(reply).rows), QStringList({"甲"}));
    // A head alone, and less than a head.
    EXPECT_TRUE(BuildComponentRows(whole.left(12)).rows.empty());
    EXPECT_FALSE(BuildComponentRows(whole.left(5)).hasComponent);
    EXPECT_FALSE(BuildComponentRows(QByteArray()).hasComponent);
    // A record whose texts run without their NUL gives empty texts, not bytes beyond it.
    QByteArray open = BuildAttrReply(2, {Attr(2, 0, {"丙", "3"})});
    open[open.size() - 1] = 'x';
    ComponentRows rows = BuildComponentRows(open);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0]->Name(), "丙");
    EXPECT_EQ(rows.rows[0]->Value(), "");
}

TEST(PropertyRows, SlotViewShowsTheSlotAndTheLinkOfAReceivingSlot) {
    struct Case {
        const char* what;
        AttrRecordSpec record;
        QStringList names;
        QString value;
        bool linkAsked;
    };
    const Case cases[] = {
        {"receiving boolean, read-only bit set",
         Attr(5, 1 | 4, {"输入1", "true"}, 1),
         {"输入1", "链接到输出"},
         "True",
         true},
        {"sending number", Attr(2, 0, {"输出", "3.5"}, 3), {"输出"}, "3.5", false},
        {"enumeration typed slot is free text",
         Attr(4, 0, {"模式", "a", "a", "b"}, 3),
         {"模式"},
         "a",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool asked = false;
        PropRows rows = BuildSlotRows(c.record.texts[0], BuildAttrReply(3, {c.record}), [&asked] {
            asked = true;
            return QStringLiteral("定时器-5:输出");
        });
        EXPECT_EQ(Names(rows), c.names);
        EXPECT_EQ(asked, c.linkAsked);
        ASSERT_FALSE(rows.empty());
        EXPECT_TRUE(rows[0]->IsEnabled());
        EXPECT_EQ(rows[0]->Value(), c.value);
        EXPECT_TRUE(rows[0]->Options().isEmpty() == (c.record.type != 5));
        if (rows.size() == 2) {
            EXPECT_FALSE(rows[1]->IsEnabled());
            EXPECT_EQ(rows[1]->Value(), "定时器-5:输出");
        }
    }
    EXPECT_TRUE(BuildSlotRows("x", QByteArray(), [] { return QString(); }).empty());
}
