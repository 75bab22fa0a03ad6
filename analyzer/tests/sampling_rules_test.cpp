// The sampling strip's text rules: numbers as the device writes them, list entries, trigger
// mode, the period written and shown, and the two label lines of a sample point.
#include "analyzer/sampling_rules.h"

#include <gtest/gtest.h>

#include <climits>

using namespace sampling;

TEST(SamplingRules, NumbersAreReadFromTheStartOfTheText) {
    struct Case {
        const char* text;
        double number;
        int integer;
    } cases[] = {
        {"1000.00", 1000, 1000}, {"2.5us", 2.5, 2}, {" 7", 7, 7},  {"-3.5", -3.5, -3},
        {".5", 0.5, 0},          {"1e3x", 1000, 1}, {"abc", 0, 0}, {"", 0, 0},
        {"12;", 12, 12},         {"+4", 4, 4},      {"x12", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(LeadingNumber(QString::fromUtf8(c.text)), c.number) << c.text;
        EXPECT_EQ(LeadingInt(QString::fromUtf8(c.text)), c.integer) << c.text;
    }
    EXPECT_EQ(LeadingInt("99999999999"), INT_MAX);
    EXPECT_EQ(LeadingInt("-99999999999999999999999"), INT_MIN);
}

TEST(SamplingRules, OnlyPiecesFollowedBySemicolonAreEntries) {
    struct Case {
        const char* list;
        QStringList entries;
    } cases[] = {
        {"定时器-5.输出;开关-1.输出", {"定时器-5.输出"}},
        {"定时器-5.输出;开关-1.输出;", {"定时器-5.输出", "开关-1.输出"}},
        {"", {}},
        {"a", {}},
        {";", {""}},
    };
    for (const Case& c : cases) EXPECT_EQ(ListEntries(QString::fromUtf8(c.list)), c.entries);
    EXPECT_EQ(JoinEntries({"a.b", "c.d"}), "a.b;c.d;");
    EXPECT_EQ(JoinEntries({}), "");
}

TEST(SamplingRules, TriggerModeFollowsTheTwoFlags) {
    EXPECT_EQ(TriggerModeIndex("false", "true"), kModeFree);
    EXPECT_EQ(TriggerModeIndex("", ""), kModeFree);
    EXPECT_EQ(TriggerModeIndex("true", "true"), kModeRising);
    EXPECT_EQ(TriggerModeIndex("true", "false"), kModeFalling);
    EXPECT_EQ(TriggerModeIndex("true", ""), kModeFalling);
}

TEST(SamplingRules, PeriodIsWrittenWithTwoDecimalsAndTypedAsANumber) {
    EXPECT_EQ(PeriodText(2.5), "2.50");
    EXPECT_EQ(PeriodText(1000), "1000.00");
    EXPECT_EQ(PeriodDisplay(1000), "1000");
    EXPECT_EQ(PeriodDisplay(2.5), "2.5");
    EXPECT_EQ(PeriodDisplay(0.1), "0.1");
    EXPECT_EQ(ParsePeriod(" 2.5 "), 2.5);
    EXPECT_EQ(ParsePeriod("1e3"), 1000);
    for (const char* bad : {"", "abc", "2.5x", "inf", "nan", "1,5"})
        EXPECT_FALSE(ParsePeriod(bad).has_value()) << bad;
}

TEST(SamplingRules, LabelsSplitAtTheLastColonOrElseTheLastDot) {
    struct Case {
        const char* entry;
        const char* component;
        const char* attribute;
    } cases[] = {
        {"定时器-5.输出", "定时器-5", "输出"},
        {"与门-1:输出", "与门-1", "输出"},
        {"a:b.c", "a", "b.c"},
        {"a.b.c", "a.b", "c"},
        {"无分隔", "无分隔", ""},
    };
    for (const Case& c : cases) {
        LabelLines l = SplitSamplePoint(QString::fromUtf8(c.entry));
        EXPECT_EQ(l.component, QString::fromUtf8(c.component)) << c.entry;
        EXPECT_EQ(l.attribute, QString::fromUtf8(c.attribute)) << c.entry;
    }
}
