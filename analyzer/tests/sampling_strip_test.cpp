// The sampling strip against a scripted device: what RefreshSampling reads into the controls
// and the view, the fetch rules, the writes of start, stop and the trigger lists in their
// order, the poll, the sample-point chooser, the channel labels and the layout.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "analyzer/dialog_waveform.h"
#include "analyzer/tests/analyzer_test_support.h"
#include "app/device/fake_device.h"

namespace {
const QString kMgr = QStringLiteral("组件管理器");

// The fake keeps one text per attribute; the recording's bytes come separately.
class CSamplerDevice : public CFakeDevice {
  public:
    QByteArray memory;

  protected:
    DeviceResult<QByteArray> DoGetAttrMemData(const QString& c, const QString& a) override {
        DeviceResult<QByteArray> r = CFakeDevice::DoGetAttrMemData(c, a);
        if (r.Ok()) r.value = memory;
        return r;
    }
};

QByteArray Pattern(int bytes) {
    QByteArray b(bytes, '\0');
    for (int i = 0; i < bytes; ++i) b[i] = char(i * 37 + 5);
    return b;
}

struct StripFixture : ::testing::Test {
    CAnswering service;
    CSamplerDevice dev;
    CDialogWaveform strip{dev};

    void Set(const char* attr, const QString& value) {
        dev.SetValue(kMgr, QString::fromUtf8(attr), value);
    }
    void SetUpSampler() {
        Set("启动采样", "false");
        Set("启用采样触发", "true");
        Set("上升_下降沿触发", "false");
        Set("采样时间_us", "2.50");
        Set("采样点列表", "定时器-5.输出;开关-1.输出;与门-1.输出");
        Set("触发管脚号", "1");
        Set("记录数据", "512");
        Set("触发起始位置", "64");
        dev.memory = Pattern(512);
    }
    // The writes made since the last call, as "attribute=value".
    QStringList Writes() {
        QStringList w;
        for (const QString& line : dev.m_log)
            if (line.startsWith("SetAttributeVal ")) w << line.mid(16).remove(kMgr + '.');
        dev.m_log.clear();
        return w;
    }
    bool ViewBitsMatch(const QByteArray& bytes, int samples) {
        for (int s = 0; s < samples; ++s)
            for (int k = 0; k < 4; ++k) {
                const int b = s * 4 + k;
                const bool bit = (b / 8 < bytes.size()) && ((uint8_t(bytes[b / 8]) >> (b % 8)) & 1);
                if (strip.WaveView().Bit(s, k) != bit) return false;
            }
        return true;
    }
};
}  // namespace

TEST_F(StripFixture, RefreshSamplingShowsTheDeviceSetUpAndItsLastRecordingWithoutWriting) {
    SetUpSampler();
    strip.RefreshSampling();
    EXPECT_EQ(strip.TriggerMode()->currentIndex(), 2);  // falling edge
    ASSERT_EQ(strip.TriggerSource()->count(), 2);       // the third entry lacks its ";"
    EXPECT_EQ(strip.TriggerSource()->itemText(1), "开关-1.输出");
    EXPECT_EQ(strip.TriggerSource()->currentIndex(), 1);
    EXPECT_EQ(strip.PeriodEdit()->text(), "2.5");
    EXPECT_TRUE(strip.StartButton()->isEnabled());
    EXPECT_FALSE(strip.StopButton()->isEnabled());
    const CWaveViewWnd& v = strip.WaveView();
    EXPECT_EQ(v.Samples(), 1024);
    EXPECT_EQ(v.TriggerPos(), 64);
    EXPECT_EQ(v.PeriodUs(), 2.5);
    EXPECT_TRUE(ViewBitsMatch(dev.memory, 1024));
    EXPECT_EQ(v.ChannelNames(), QStringList({"定时器-5.输出", "开关-1.输出"}));
    EXPECT_TRUE(Writes().isEmpty());
    // The trigger source's label is red while a trigger mode is chosen.
    EXPECT_EQ(strip.LabelColor(0), QColor(0, 0, 0));
    EXPECT_EQ(strip.LabelColor(1), QColor(255, 0, 0));
    // Drawn left of the view: two lines per entry from y = 80, 32 pixels apart.
    const QImage img = strip.grab().toImage();
    // (the text is smoothed: count the pixels that are mostly black or mostly red)
    auto count = [&](QRect r, bool red) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                n += red ? c.red() > 160 && c.green() < 90 : c.red() < 90 && c.green() < 90;
            }
        return n;
    };
    EXPECT_GT(count(QRect(0, 80, 100, 28), false), 20);  // 定时器-5 / 输出
    EXPECT_EQ(count(QRect(0, 80, 100, 28), true), 0);
    EXPECT_GT(count(QRect(0, 112, 100, 28), true), 20);  // 开关-1 / 输出, in red
    EXPECT_EQ(count(QRect(0, 112, 100, 28), false), 0);
    EXPECT_EQ(count(QRect(0, 144, 100, 28), false), 0);  // no third entry

    // A recording in progress disables start; the stop button keeps its state.
    Set("启动采样", "true");
    Set("启用采样触发", "false");
    strip.RefreshSampling();
    EXPECT_FALSE(strip.StartButton()->isEnabled());
    EXPECT_EQ(strip.TriggerMode()->currentIndex(), 0);
    EXPECT_EQ(strip.LabelColor(1), QColor(0, 0, 0));  // free running: no trigger source
    EXPECT_EQ(strip.WaveView().TriggerPos(), 0);      // whatever "触发起始位置" holds
}

TEST_F(StripFixture, FetchShowsRecordsUpToTheViewsCapacityOnly) {
    SetUpSampler();
    struct Case {
        const char* count;
        int memoryBytes;
        int samples;  // -1: the view keeps the previous record
    } cases[] = {
        {"512", 512, 1024},
        {"1024", 1024, 2048},
        {"1025", 1025, -1},
        {"2000", 2000, -1},
        {"0", 0, 0},
        {"", 16, 0},
        {"-4", 16, 0},
        {"1024", 100, 200},  // fewer bytes came than announced: only those are
                             // shown
        {"16", 100, 32},     // more came: the count rules
    };
    for (const Case& c : cases) {
        // A known previous record first.
        Set("记录数据", "8");
        dev.memory = QByteArray(8, char(0xFF));
        strip.FetchRecording();
        ASSERT_EQ(strip.WaveView().Samples(), 16);

        Set("记录数据", c.count);
        dev.memory = Pattern(c.memoryBytes);
        strip.FetchRecording();
        if (c.samples < 0) {
            EXPECT_EQ(strip.WaveView().Samples(), 16) << c.count;
            EXPECT_TRUE(strip.WaveView().Bit(15, 3)) << c.count;
            continue;
        }
        EXPECT_EQ(strip.WaveView().Samples(), c.samples) << c.count;
        EXPECT_TRUE(ViewBitsMatch(dev.memory.left(c.samples / 2), c.samples)) << c.count;
        // Nothing of the previous record is left behind the new one.
        EXPECT_FALSE(strip.WaveView().Bit(c.samples, 0)) << c.count;
    }
}

TEST_F(StripFixture, MissingValuesReadAsEmptyTextAndAMissingRecordingAsAnEmptyOne) {
    for (bool silent : {false, true}) {
        CSamplerDevice bare;  // answers no attribute at all (or nothing at all)
        if (silent) bare.FallSilentAfter(0);
        CDialogWaveform s(bare);
        s.RefreshSampling();
        EXPECT_EQ(s.TriggerMode()->currentIndex(), 0) << silent;
        EXPECT_EQ(s.TriggerSource()->count(), 0) << silent;
        EXPECT_EQ(s.PeriodEdit()->text(), "0") << silent;
        EXPECT_EQ(s.WaveView().Samples(), 0) << silent;
        EXPECT_FALSE(s.StopButton()->isEnabled()) << silent;
    }
}

TEST_F(StripFixture, StartWritesThePeriodOnlyWhenItChangedAndPolls) {
    SetUpSampler();
    strip.RefreshSampling();
    Writes();
    struct Case {
        const char* typed;
        QStringList writes;
        double period;
    } cases[] = {
        {"2.5", {"启动采样=true"}, 2.5},   // same as the device's
        {"2.50", {"启动采样=true"}, 2.5},  // the same number
        {"1000", {"采样时间_us=1000.00", "启动采样=true"}, 1000},
        {"0.125", {"采样时间_us=0.13", "启动采样=true"}, 0.125},
        {"1000", {"采样时间_us=1000.00", "启动采样=true"}, 1000},
    };
    for (const Case& c : cases) {
        strip.PeriodEdit()->setText(c.typed);
        strip.OnStart();
        EXPECT_EQ(Writes(), c.writes) << c.typed;
        EXPECT_EQ(strip.PeriodUs(), c.period);
        EXPECT_TRUE(strip.Polling());
        EXPECT_FALSE(strip.StartButton()->isEnabled());
        EXPECT_TRUE(strip.StopButton()->isEnabled());
    }
    EXPECT_TRUE(service.informs.isEmpty());
}

TEST_F(StripFixture, APeriodThatIsNotANumberIsReportedAndTheRecordingStartsAllTheSame) {
    SetUpSampler();
    strip.RefreshSampling();
    Writes();
    strip.PeriodEdit()->setText("abc");
    strip.OnStart();
    EXPECT_EQ(service.informs, QStringList({"请输入一个数字。"}));
    EXPECT_EQ(Writes(), QStringList({"启动采样=true"}));
    EXPECT_EQ(strip.PeriodUs(), 2.5);
    EXPECT_TRUE(strip.Polling());
}

TEST_F(StripFixture, PollFetchesTheRecordingWhenTheDeviceReportsItComplete) {
    SetUpSampler();
    strip.RefreshSampling();
    strip.OnStart();
    // Still recording: nothing changes.
    strip.OnPoll();
    EXPECT_TRUE(strip.Polling());
    EXPECT_EQ(strip.WaveView().Samples(), 1024);
    Set("记录数据", "1024");
    dev.memory = Pattern(1024);
    Set("启动采样", "false");
    Writes();
    // The timer itself polls every 300 ms.
    for (int i = 0; i < 40 && strip.Polling(); ++i) QTest::qWait(50);
    EXPECT_FALSE(strip.Polling());
    EXPECT_TRUE(strip.StartButton()->isEnabled());
    EXPECT_FALSE(strip.StopButton()->isEnabled());
    EXPECT_EQ(strip.WaveView().Samples(), 2048);
    EXPECT_TRUE(Writes().isEmpty());
}

TEST_F(StripFixture, PollKeepsOnThroughOneLostReplyButNotASilentDeviceOrAClosedLink) {
    SetUpSampler();
    strip.RefreshSampling();
    strip.OnStart();
    Set("启动采样", "true");
    dev.FallSilentAfter(0);
    strip.OnPoll();
    EXPECT_TRUE(strip.Polling());  // one lost reply
    dev.FallSilentAfter(-1);
    strip.OnPoll();  // an answer resets the count
    dev.FallSilentAfter(0);
    strip.OnPoll();
    EXPECT_TRUE(strip.Polling());
    strip.OnPoll();
    EXPECT_FALSE(strip.Polling());
    // Both ways on are open to the user: start again, or stop the device's recording.
    EXPECT_TRUE(strip.StartButton()->isEnabled());
    EXPECT_TRUE(strip.StopButton()->isEnabled());
    ASSERT_EQ(dev.m_printed.size(), 1);
    EXPECT_TRUE(dev.m_printed[0].contains("无应答"));

    // A closed link ends the poll at once.
    dev.FallSilentAfter(-1);
    strip.OnStart();
    dev.m_open = false;
    strip.OnPoll();
    EXPECT_FALSE(strip.Polling());
    EXPECT_TRUE(strip.StartButton()->isEnabled());
}

TEST_F(StripFixture, StopEndsTheRecordingAndFetchesIt) {
    SetUpSampler();
    strip.RefreshSampling();
    strip.OnStart();
    Writes();
    Set("记录数据", "100");
    strip.StopButton()->click();
    EXPECT_EQ(Writes(), QStringList({"启动采样=false"}));
    EXPECT_FALSE(strip.Polling());
    EXPECT_TRUE(strip.StartButton()->isEnabled());
    EXPECT_FALSE(strip.StopButton()->isEnabled());
    EXPECT_EQ(strip.WaveView().Samples(), 200);
}

TEST_F(StripFixture, TriggerChoicesWriteTheirAttributesInOrder) {
    SetUpSampler();
    strip.RefreshSampling();
    Writes();
    struct Case {
        int index;
        QStringList writes;
    } modes[] = {
        {2, {"启用采样触发=true", "上升_下降沿触发=false"}},
        {1, {"启用采样触发=true", "上升_下降沿触发=true"}},
        {0, {"启用采样触发=false"}},
    };
    for (const Case& c : modes) {
        strip.TriggerMode()->setCurrentIndex(c.index);
        emit strip.TriggerMode()->activated(c.index);
        EXPECT_EQ(Writes(), c.writes) << c.index;
    }
    strip.TriggerSource()->setCurrentIndex(0);
    emit strip.TriggerSource()->activated(0);
    EXPECT_EQ(Writes(), QStringList({"触发管脚号=0"}));
}

TEST_F(StripFixture, ChosenSamplePointsAreWrittenAndBecomeTheSourceList) {
    SetUpSampler();
    strip.RefreshSampling();
    Writes();
    QString offered;
    std::optional<QString> answer = QStringLiteral("与门-1.输出;计数器-1.溢出;");
    CDialogWaveform::SetSamplePointChooser(
        [&](QWidget*, CDevice&, const QString& current) -> std::optional<QString> {
            offered = current;
            return answer;
        });
    strip.SamplePointButton()->click();
    EXPECT_EQ(offered, "定时器-5.输出;开关-1.输出;与门-1.输出");
    EXPECT_EQ(Writes(), QStringList({"采样点列表=与门-1.输出;计数器-1.溢出;"}));
    ASSERT_EQ(strip.TriggerSource()->count(), 2);
    EXPECT_EQ(strip.TriggerSource()->itemText(1), "计数器-1.溢出");
    EXPECT_EQ(strip.TriggerSource()->currentIndex(), 1);

    answer.reset();  // cancelled
    strip.SamplePointButton()->click();
    EXPECT_TRUE(Writes().isEmpty());
    CDialogWaveform::SetSamplePointChooser(nullptr);
}

TEST_F(StripFixture, TheViewSitsRightOfTheLabelsAndFollowsTheStripsSize) {
    EXPECT_EQ(strip.WaveView().geometry(), strip.rect().adjusted(100, 40, -3, -1));
    strip.show();  // a hidden widget gets its resize event only when shown
    strip.resize(1000, 260);
    EXPECT_EQ(strip.WaveView().geometry(), QRect(100, 50, 897, 209));
    strip.ZoomInButton()->click();
    EXPECT_EQ(strip.WaveView().Zoom(), 32.0);
    strip.ZoomOutButton()->click();
    EXPECT_EQ(strip.WaveView().Zoom(), 16.0);
}
