// The sampling strip against the simulated controller in this process (UDP on loopback, in a
// private network namespace) with its work loop running: two sample points chosen, a rising
// edge trigger, a recording started, fetched by the poll, the timer's square wave found in the
// view with the period the timer was set to, and the VCD of it read back to the same edges.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "analyzer/dialog_waveform.h"
#include "analyzer/tests/analyzer_test_support.h"
#include "analyzer/tests/vcd_reader.h"
#include "app/device/device.h"
#include "browser/dialog_sel_attr.h"
#include "devsim/device.h"

namespace {
const QString kMgr = QStringLiteral("组件管理器");

struct Edges {
    std::vector<int> rising, falling;
};
Edges EdgesOf(const CWaveViewWnd& v, int channel) {
    Edges e;
    for (int s = 1; s < v.Samples(); ++s) {
        const bool a = v.Bit(s - 1, channel), b = v.Bit(s, channel);
        if (!a && b) e.rising.push_back(s);
        if (a && !b) e.falling.push_back(s);
    }
    return e;
}
}  // namespace

TEST(AnalyzerEndToEnd, RecordsTheDemoTimersSquareWaveAndExportsItsEdges) {
    std::unique_ptr<devsim::Device> sim = devsim::Device::CreateDemo();
    std::string error;
    ASSERT_TRUE(sim->StartUdp("127.0.0.1", 30001, &error)) << error;
    CAnswering service;
    CKvsDevice device;
    device.SetKey(QString::fromStdString(sim->Key()));
    ASSERT_TRUE(device.OpenUdp({127, 0, 0, 1}));
    // The timer at 20 ms (half high, half low), the work loop running.
    ASSERT_TRUE(device.SetAttributeVal("定时器-5", "定时周期_ms", "20").Ok());
    ASSERT_TRUE(device.SetAttributeVal(kMgr, "运行状态", "true").Ok());

    CDialogWaveform strip(device);
    strip.resize(1000, 240);
    strip.show();
    strip.RefreshSampling();
    EXPECT_EQ(strip.TriggerSource()->count(), 4);  // the demo's own four sample points

    // The timer's output and the gate it drives (the gate's other input is a switch that is
    // on), chosen in the attribute selection dialog in place of the demo's four.
    QStringList offered;
    service.onDialog = [&](QDialog& d) {
        auto& dlg = static_cast<CDialogSelAttr&>(d);
        offered = dlg.Entries();
        while (dlg.ResultList()->count() > 0) {
            dlg.ResultList()->setCurrentRow(0);
            dlg.Remove();
        }
        for (const char* component : {"定时器-5", "与门-1"}) {
            auto found = dlg.ComponentTree()->findItems(QString::fromUtf8(component),
                                                        Qt::MatchExactly | Qt::MatchRecursive);
            if (found.isEmpty()) return int(QDialog::Rejected);
            dlg.ComponentTree()->setCurrentItem(found[0]);
            auto output = dlg.AttributeList()->findItems("输出", Qt::MatchExactly);
            if (output.isEmpty()) return int(QDialog::Rejected);
            dlg.AttributeList()->setCurrentItem(output[0]);
            dlg.Add();
        }
        // Four entries at most: the fifth is refused.
        dlg.Add();
        dlg.Add();
        dlg.Add();
        while (dlg.ResultList()->count() > 2) {
            dlg.ResultList()->setCurrentRow(2);
            dlg.Remove();
        }
        dlg.accept();
        return dlg.result();
    };
    strip.SamplePointButton()->click();
    EXPECT_EQ(service.dialogs, QStringList({"CDialogSelAttr"}));
    EXPECT_EQ(offered.size(), 4);
    EXPECT_EQ(service.informs, QStringList({"属性项超过最高限定!"}));
    service.informs.clear();
    ASSERT_EQ(strip.TriggerSource()->count(), 2);
    EXPECT_EQ(strip.TriggerSource()->itemText(0), "定时器-5.输出");
    std::string points;
    sim->GetValue("组件管理器", "采样点列表", &points);
    EXPECT_EQ(points, "定时器-5.输出;与门-1.输出;");

    strip.TriggerMode()->setCurrentIndex(1);
    emit strip.TriggerMode()->activated(1);  // rising edge
    strip.TriggerSource()->setCurrentIndex(0);
    emit strip.TriggerSource()->activated(0);  // of the timer
    strip.PeriodEdit()->setText("500");
    strip.StartButton()->click();
    ASSERT_TRUE(strip.Polling());
    // 2048 samples of 500 us: about a second of the device's time.
    for (int i = 0; i < 300 && strip.Polling(); ++i) QTest::qWait(50);
    ASSERT_FALSE(strip.Polling());
    EXPECT_TRUE(service.informs.isEmpty());

    const CWaveViewWnd& view = strip.WaveView();
    ASSERT_EQ(view.Samples(), 2048);
    EXPECT_EQ(view.PeriodUs(), 500.0);
    std::string triggerText;
    sim->GetValue("组件管理器", "触发起始位置", &triggerText);
    EXPECT_EQ(view.TriggerPos(), std::stoi(triggerText));
    // The trigger sample is the timer's rising edge.
    ASSERT_GT(view.TriggerPos(), 0);
    EXPECT_TRUE(view.Bit(view.TriggerPos(), 0));
    EXPECT_FALSE(view.Bit(view.TriggerPos() - 1, 0));

    // A square wave of 20 ms: 40 samples of 500 us from rising edge to rising edge, high for 20.
    const Edges timer = EdgesOf(view, 0);
    ASSERT_GE(timer.rising.size(), 45u);
    for (size_t i = 1; i < timer.rising.size(); ++i)
        EXPECT_EQ(timer.rising[i] - timer.rising[i - 1], 40) << i;
    for (int r : timer.rising) {
        auto f = std::upper_bound(timer.falling.begin(), timer.falling.end(), r);
        if (f != timer.falling.end()) EXPECT_EQ(*f - r, 20) << r;
    }
    // The gate follows the timer, one work-loop tick (10 ms, 20 samples) later at most; the
    // unused channels stay low.
    const Edges gate = EdgesOf(view, 1);
    ASSERT_GE(gate.rising.size(), 45u);
    const int lag = (gate.rising[0] - timer.rising[0] + 40) % 40;
    EXPECT_LE(lag, 20);
    for (size_t i = 1; i < gate.rising.size(); ++i)
        EXPECT_EQ(gate.rising[i] - gate.rising[i - 1], 40) << i;
    EXPECT_TRUE(EdgesOf(view, 2).rising.empty());
    EXPECT_FALSE(view.Bit(100, 3));

    // The VCD of the shown recording has the same edges at the same times.
    QTemporaryDir dir;
    service.fileToSave = dir.filePath("demo.vcd");
    strip.WaveView().ExportVcd();
    QFile file(service.fileToSave);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const VcdFile vcd = ReadVcd(file.readAll());
    ASSERT_TRUE(vcd.error.isEmpty()) << vcd.error.toStdString();
    EXPECT_EQ(vcd.timescale, "100 us");
    ASSERT_EQ(vcd.names.mid(0, 2), QStringList({"定时器-5.输出", "与门-1.输出"}));
    std::vector<int> vcdRising;
    for (const auto& [time, value] : vcd.changes.value("定时器-5.输出"))
        if (value == 1 && time > 0) vcdRising.push_back(int(time / 5));
    EXPECT_EQ(vcdRising, timer.rising);
    EXPECT_EQ(vcd.endTime, 2048 * 5);

    device.SetAttributeVal(kMgr, "运行状态", "false");
    device.Close();
}
