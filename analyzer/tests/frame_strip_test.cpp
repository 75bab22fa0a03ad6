// The strip inside the main frame: it is the content of the "逻辑分析仪" pane, and connecting
// to the simulated controller (private network namespace) refreshes it from the device.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QSettings>
#include <memory>

#include "analyzer/dialog_waveform.h"
#include "analyzer/tests/analyzer_test_support.h"
#include "app/main_frame.h"
#include "devsim/device.h"

TEST(FrameStrip, ConnectingShowsTheDevicesSamplePointsInTheAnalyzerPane) {
    QSettings(QString::fromUtf8(SettingsKey::kOrganization), "Korvessa").clear();
    std::unique_ptr<devsim::Device> sim = devsim::Device::CreateDemo();
    std::string error;
    ASSERT_TRUE(sim->StartUdp("127.0.0.1", 30001, &error)) << error;
    ASSERT_TRUE(sim->SetValue("组件管理器", "触发管脚号", "2"));
    CAnswering service;
    CMainFrame frame;
    frame.Device().SetKey(QString::fromStdString(sim->Key()));
    auto* strip = qobject_cast<CDialogWaveform*>(frame.AnalyzerBar()->widget());
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->TriggerSource()->count(), 0);  // nothing is read before a connection

    LinkParams udp;
    udp.way = 2;
    udp.address = {127, 0, 0, 1};
    ASSERT_TRUE(frame.ConnectWith(udp));
    ASSERT_EQ(strip->TriggerSource()->count(), 4);
    EXPECT_EQ(strip->TriggerSource()->itemText(0), "定时器-5.输出");
    EXPECT_EQ(strip->TriggerSource()->currentIndex(), 2);
    EXPECT_EQ(strip->PeriodEdit()->text(), "1000");
    EXPECT_TRUE(frame.AnalyzerBar()->isVisibleTo(&frame));
}
