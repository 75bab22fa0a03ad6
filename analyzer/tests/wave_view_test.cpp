// The wave view as drawn (offscreen images), its scroll bar, zoom and cursor, and the exports
// of the shown recording (VCD read back, CSV, PNG) through its file actions.
#include "analyzer/wave_view.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "analyzer/tests/analyzer_test_support.h"
#include "analyzer/tests/vcd_reader.h"
#include "analyzer/wave_export.h"

namespace {
const QRgb kGreen = qRgb(0, 224, 0);
const QRgb kBlack = qRgb(0, 0, 0);

// A packed record from one level string per channel ("0011..." sample after sample).
QByteArray Pack(const QStringList& channels) {
    const int samples = channels.value(0).size();
    QByteArray bits((samples * 4 + 7) / 8, '\0');
    for (int k = 0; k < channels.size(); ++k)
        for (int s = 0; s < samples; ++s)
            if (channels[k][s] == '1') {
                const int b = s * 4 + k;
                bits[b / 8] = char(uint8_t(bits[b / 8]) | (1u << (b % 8)));
            }
    return bits;
}

struct ViewFixture : ::testing::Test {
    QWidget parent;
    CWaveViewWnd view;
    void SetUp() override {
        parent.resize(900, 300);
        view.CreateView(&parent, QRect(0, 0, 800, 220));
    }
    int ColumnGreenCount(const QImage& img, int x) const {
        int n = 0;
        for (int y = 0; y < img.height(); ++y) n += img.pixel(x, y) == kGreen;
        return n;
    }
};
}  // namespace

TEST_F(ViewFixture, AfterCreationFourFlatLowTracesSpanTheView) {
    EXPECT_EQ(view.Samples(), 2048);
    EXPECT_EQ(view.Capacity(), 2048);
    EXPECT_EQ(view.Channels(), 4);
    EXPECT_EQ(view.TriggerPos(), 0);
    EXPECT_EQ(view.PeriodUs(), 1.0);
    EXPECT_EQ(view.Zoom(), 16.0);
    const QImage img = view.Render();
    for (int k = 0; k < 4; ++k) {
        for (int x : {5, 300, 799}) {
            EXPECT_EQ(img.pixel(x, wave::LowLevel(k)), kGreen) << k << " " << x;
            EXPECT_NE(img.pixel(x, wave::HighLevel(k)), kGreen) << k << " " << x;
        }
    }
    // Black between the traces, grid lines every 64 pixels, the trigger marker at x = 0.
    EXPECT_EQ(img.pixel(30, 100), kBlack);
    EXPECT_EQ(img.pixel(64, 100), qRgb(32, 32, 32));
    EXPECT_EQ(img.pixel(128, 180), qRgb(32, 32, 32));
    int marker = 0;
    for (int y = 0; y < img.height(); ++y) marker += img.pixel(0, y) == qRgb(224, 0, 0);
    EXPECT_GT(marker, img.height() / 4);  // dotted: every other pixel or so
    EXPECT_LT(marker, img.height());
    // The scroll range covers the record.
    EXPECT_EQ(view.ScrollBarState().max, 2047);
    EXPECT_EQ(view.ScrollBarState().page, 50);
}

TEST_F(ViewFixture, LevelChangesAreVerticalEdgesAtSampleBoundariesAndTracesEndWithTheRecord) {
    // Channel 0 high for samples 2..4, channel 2 high from sample 6 on; 10 samples in all.
    view.SetRecord(Pack({"0011100000", "0000000000", "0000001111", "0000000000"}), 10, 0, 1.0);
    const QImage img = view.Render();
    const int low0 = wave::LowLevel(0), high0 = wave::HighLevel(0);
    EXPECT_EQ(img.pixel(20, low0), kGreen);
    EXPECT_EQ(img.pixel(40, high0), kGreen);
    EXPECT_NE(img.pixel(40, low0), kGreen);
    EXPECT_EQ(img.pixel(32, (low0 + high0) / 2), kGreen);  // rising edge at 2 x 16
    EXPECT_EQ(img.pixel(80, (low0 + high0) / 2), kGreen);  // falling edge at 5 x 16
    EXPECT_NE(img.pixel(48, (low0 + high0) / 2), kGreen);
    EXPECT_EQ(img.pixel(100, wave::HighLevel(2)), kGreen);
    // The traces stop at the end of sample 9 (x = 160).
    EXPECT_EQ(img.pixel(159, low0), kGreen);
    EXPECT_EQ(ColumnGreenCount(img, 200), 0);
    // Another sample count sets the scroll range anew.
    EXPECT_EQ(view.ScrollBarState().max, 9);
    EXPECT_EQ(view.ScrollPos(), 0);
}

TEST_F(ViewFixture, ZoomInStopsAt32AndZoomOutStopsWhenTheRecordFits) {
    view.ZoomIn();
    EXPECT_EQ(view.Zoom(), 32.0);
    view.ZoomIn();
    EXPECT_EQ(view.Zoom(), 32.0);
    EXPECT_EQ(view.ScrollBarState().page, 25);
    for (int i = 0; i < 20; ++i) view.ZoomOut();
    // 2048 samples fit 800 pixels only at a quarter pixel per sample.
    EXPECT_EQ(view.Zoom(), 0.25);
    EXPECT_EQ(view.findChild<QScrollBar*>("waveScroll")->maximum(), 0);
    // The whole record is drawn: its last sample ends at x = 512.
    const QImage img = view.Render();
    EXPECT_EQ(img.pixel(510, wave::LowLevel(0)), kGreen);
    EXPECT_EQ(ColumnGreenCount(img, 600), 0);
}

TEST_F(ViewFixture, ScrollBarActionsMoveTheFirstVisibleSample) {
    auto* bar = view.findChild<QScrollBar*>("waveScroll");
    ASSERT_NE(bar, nullptr);
    struct Step {
        QAbstractSlider::SliderAction action;
        int expected;
    } steps[] = {
        {QAbstractSlider::SliderSingleStepAdd, 1},  {QAbstractSlider::SliderPageStepAdd, 51},
        {QAbstractSlider::SliderSingleStepSub, 50}, {QAbstractSlider::SliderToMaximum, 1998},
        {QAbstractSlider::SliderPageStepAdd, 1998}, {QAbstractSlider::SliderPageStepSub, 1948},
        {QAbstractSlider::SliderToMinimum, 0},      {QAbstractSlider::SliderSingleStepSub, 0},
    };
    for (const Step& s : steps) {
        bar->triggerAction(s.action);
        EXPECT_EQ(view.ScrollPos(), s.expected) << int(s.action);
        EXPECT_EQ(bar->value(), s.expected);
    }
    view.OnHScroll(wave::ScrollCode::ThumbTrack, 700);
    EXPECT_EQ(view.ScrollPos(), 700);
    view.SetRecord(QByteArray(), 2048, 0, 1.0);
    EXPECT_EQ(view.ScrollPos(), 700);  // same sample count: the position stays
}

TEST_F(ViewFixture, ClickShowsTheMeasuringCursorUntilTheViewMoves) {
    view.SetRecord(QByteArray(), 2048, 0, 2.0);
    view.OnHScroll(wave::ScrollCode::ThumbPosition, 10);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(100, 120));
    ASSERT_EQ(view.CursorX(), 100);
    QImage img = view.Render();
    int white = 0, black = 0;
    for (int y = 0; y < view.ClientHeight(); ++y) {
        white += img.pixel(100, y) == qRgb(255, 255, 255);
        black += img.pixel(100, y) == kBlack;
    }
    EXPECT_GT(white, 20);  // white gaps between black dots, full height
    EXPECT_GT(black, 20);
    // Its label: white text right of the cursor from y = 32.
    int labelPixels = 0;
    for (int x = 101; x < 160; ++x)
        for (int y = 32; y < 46; ++y) labelPixels += img.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_GT(labelPixels, 10);
    view.OnHScroll(wave::ScrollCode::LineRight);
    EXPECT_FALSE(view.CursorX().has_value());
}

TEST(WaveExport, TimescaleIsTheCoarsestUnitWithWholeTicks) {
    struct Case {
        double us;
        const char* text;
        long long ticks;
    } cases[] = {
        {1000, "1 ms", 1},  {1, "1 us", 1},        {2.5, "100 ns", 25},
        {0.5, "100 ns", 5}, {20, "10 us", 2},      {1000.5, "100 ns", 10005},
        {0.001, "1 ns", 1}, {250000, "10 ms", 25},  // 100 ms would make 2.5 ticks
        {0, "1 us", 1},     {-3, "1 us", 1},
    };
    for (const Case& c : cases) {
        wave::Timescale t = wave::TimescaleFor(c.us);
        EXPECT_EQ(t.Text(), QString::fromUtf8(c.text)) << c.us;
        EXPECT_EQ(t.ticksPerSample, c.ticks) << c.us;
    }
}

TEST(WaveExport, VcdReadsBackToTheSameEdgesUnderTheSamplePointNames) {
    wave::Recording r;
    r.bits = Pack({"0011100011", "1111111111", "0101010101", "0000000000"});
    r.samples = 10;
    r.periodUs = 2.5;
    r.triggerPos = 3;
    r.names = {"定时器-5.输出", "开关-1:输出", "无分隔"};  // the fourth channel has no name
    const VcdFile f = ReadVcd(wave::ToVcd(r));
    ASSERT_TRUE(f.error.isEmpty()) << f.error.toStdString();
    EXPECT_EQ(f.timescale, "100 ns");
    EXPECT_EQ(f.names, QStringList({"定时器-5.输出", "开关-1.输出", "无分隔", "通道3"}));
    for (int k = 0; k < 4; ++k) {
        std::vector<std::pair<long long, int>> expected;
        for (int s = 0; s < r.samples; ++s)
            if (s == 0 || r.Bit(s, k) != r.Bit(s - 1, k))
                expected.push_back({s * 25LL, r.Bit(s, k)});
        EXPECT_EQ(f.changes.value(f.names[k]), expected) << k;
    }
    EXPECT_EQ(f.endTime, 250);  // the last sample lasts its period
}

TEST(WaveExport, CsvHasTheTimeAndOneColumnPerChannel) {
    wave::Recording r;
    r.bits = Pack({"01", "11", "00", "10"});
    r.samples = 2;
    r.periodUs = 2.5;
    r.names = {"a.b", "c,d"};
    const QByteArray csv = wave::ToCsv(r);
    ASSERT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(QString::fromUtf8(csv.mid(3)),
              QStringLiteral("time_us,a.b,\"c,d\",通道2,通道3\r\n0,0,1,0,1\r\n2.5,1,1,0,0\r\n"));
}

TEST_F(ViewFixture, FileActionsWriteTheShownRecordingAndReportAFailure) {
    CAnswering service;
    QTemporaryDir dir;
    view.SetChannelNames({"定时器-5.输出", "开关-1.输出"});
    view.SetRecord(Pack({"0110", "1111", "0000", "0000"}), 4, 1, 1000);

    service.fileToSave = dir.filePath("rec");  // the suffix is added
    view.ExportVcd();
    QFile vcd(dir.filePath("rec.vcd"));
    ASSERT_TRUE(vcd.open(QIODevice::ReadOnly));
    const VcdFile f = ReadVcd(vcd.readAll());
    EXPECT_TRUE(f.error.isEmpty());
    EXPECT_EQ(f.timescale, "1 ms");
    using Changes = std::vector<std::pair<long long, int>>;
    EXPECT_EQ(f.changes.value("定时器-5.输出"), Changes({{0, 0}, {1, 1}, {3, 0}}));

    service.fileToSave = dir.filePath("rec.csv");
    view.ExportCsv();
    QFile csv(dir.filePath("rec.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count("\r\n"), 5);

    service.fileToSave = dir.filePath("wave.png");
    view.SavePng();
    QImage png(dir.filePath("wave.png"));
    EXPECT_EQ(png.size(), QSize(view.ClientWidth(), view.ClientHeight()));
    EXPECT_EQ(png.pixel(5, wave::LowLevel(2)), kGreen);
    EXPECT_TRUE(service.informs.isEmpty());

    service.fileToSave = dir.filePath("missing/rec.vcd");
    view.ExportVcd();
    ASSERT_EQ(service.informs.size(), 1);
    EXPECT_TRUE(service.informs[0].startsWith("无法写入文件")) << service.informs[0].toStdString();

    service.fileToSave.clear();  // cancelled: nothing written, nothing said
    view.ExportCsv();
    EXPECT_EQ(service.informs.size(), 1);
}
