// The device-call layer's own rules, on the scripted device: an operation stops at its first
// unanswered request and says so once; nested scopes share that; the busy hook brackets
// every request that reaches the backend.
#include <gtest/gtest.h>

#include "app/device/fake_device.h"

namespace {
class CCountingHook : public IBusyHook {
  public:
    void Begin() override { ++begins, ++depth; }
    void End() override { ++ends, --depth; }
    int begins = 0, ends = 0, depth = 0;
};
}  // namespace

TEST(DeviceOperation, StopsAtTheFirstUnansweredRequestAndReportsOnce) {
    CFakeDevice dev;
    dev.SetValue("a", "x", "1");
    dev.FallSilentAfter(1);
    {
        CDeviceOperation op(dev, QStringLiteral("加载图表"));
        EXPECT_TRUE(dev.GetAttrVal("a", "x").Ok());
        EXPECT_TRUE(dev.GetAttrVal("a", "x").NoAnswer());
        EXPECT_TRUE(op.Silent());
        // Later calls of the operation make no request at all.
        int before = dev.m_log.size();
        EXPECT_TRUE(dev.SetAttributeVal("a", "x", "2").NoAnswer());
        EXPECT_TRUE(dev.ComponentTree().NoAnswer());
        EXPECT_EQ(dev.m_log.size(), before);
        EXPECT_TRUE(dev.m_printed.isEmpty());
    }
    ASSERT_EQ(dev.m_printed.size(), 1);
    EXPECT_EQ(dev.m_printed[0], QStringLiteral("加载图表: 下位机无应答"));
    // Outside the operation, the next call is tried again.
    int before = dev.m_log.size();
    dev.GetAttrVal("a", "x");
    EXPECT_EQ(dev.m_log.size(), before + 1);
}

TEST(DeviceOperation, NestedScopesShareTheSilenceAndOnlyTheOutermostReports) {
    CFakeDevice dev;
    dev.FallSilentAfter(0);
    {
        CDeviceOperation outer(dev, QStringLiteral("连接"));
        {
            CDeviceOperation inner(dev, QStringLiteral("刷新组件树"));
            EXPECT_TRUE(dev.ComponentTree().NoAnswer());
        }
        EXPECT_TRUE(outer.Silent());
        int before = dev.m_log.size();
        dev.GetAttrVal("组件管理器", "运行状态");
        EXPECT_EQ(dev.m_log.size(), before);
    }
    EXPECT_EQ(dev.m_printed, QStringList{QStringLiteral("连接: 下位机无应答")});
}

TEST(DeviceOperation, RefusalsDoNotStopTheOperation) {
    CFakeDevice dev;
    dev.Refuse("a.x");
    CDeviceOperation op(dev, QString());
    DeviceStatus s = dev.SetAttributeVal("a", "x", "1");
    EXPECT_EQ(s.outcome, DeviceOutcome::Refused);
    EXPECT_TRUE(s.Answered());
    EXPECT_FALSE(op.Silent());
    EXPECT_TRUE(dev.SetAttributeVal("a", "y", "1").Ok());
}

TEST(DeviceBusyHook, BracketsEveryRequestButNotSkippedOnes) {
    CFakeDevice dev;
    CCountingHook hook;
    dev.SetBusyHook(&hook);
    dev.FallSilentAfter(1);
    CDeviceOperation op(dev, QString());
    dev.GetAttrVal("a", "x");
    dev.GetAttrVal("a", "x");  // no answer
    dev.GetAttrVal("a", "x");  // skipped
    EXPECT_EQ(hook.begins, 2);
    EXPECT_EQ(hook.ends, 2);
    EXPECT_EQ(hook.depth, 0);
}
