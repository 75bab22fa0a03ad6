#include "analyzer/dialog_waveform.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "analyzer/sample_point_chooser.h"
#include "analyzer/sampling_rules.h"
#include "app/common/message_service.h"
#include "app/device/device.h"

namespace {
// Attributes of the component manager that carry the sampling.
const QString kStart = QStringLiteral("启动采样");
const QString kTriggerOn = QStringLiteral("启用采样触发");
const QString kRising = QStringLiteral("上升_下降沿触发");
const QString kPeriod = QStringLiteral("采样时间_us");
const QString kPoints = QStringLiteral("采样点列表");
const QString kTriggerPin = QStringLiteral("触发管脚号");
const QString kRecord = QStringLiteral("记录数据");
const QString kTriggerStart = QStringLiteral("触发起始位置");
const QString kTrue = QStringLiteral("true");
const QString kFalse = QStringLiteral("false");

// The strip's layout is given in dialog units of its 9-point font (570 x 144 in all).
QRect Du(int x, int y, int w, int h) { return QRect(x * 3 / 2, y * 3 / 2, w * 3 / 2, h * 3 / 2); }

constexpr int kLabelX = 2;
constexpr int kLabelY = 80;
constexpr int kLabelY2 = 94;
constexpr int kLabelPitch = 32;

CDialogWaveform::SamplePointChooser& Chooser() {
    static CDialogWaveform::SamplePointChooser chooser;
    return chooser;
}
}  // namespace

void CDialogWaveform::SetSamplePointChooser(SamplePointChooser chooser) {
    Chooser() = std::move(chooser);
}

CDialogWaveform::CDialogWaveform(CDevice& device, QWidget* parent)
    : QWidget(parent), m_device(device) {
    setObjectName(QStringLiteral("CDialogWaveform"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    m_fontLabels.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                              QStringLiteral("Noto Sans CJK SC"),
                              QStringLiteral("WenQuanYi Micro Hei")});
    m_fontLabels.setPixelSize(12);
    m_fontLabels.setWeight(QFont::Normal);

    m_btnSamplePoints = new QPushButton(QStringLiteral("采样点设置"), this);
    m_btnSamplePoints->setObjectName(QStringLiteral("btnSamplePoints"));
    m_btnSamplePoints->setGeometry(Du(5, 3, 54, 19));
    auto* periodLabel = new QLabel(QStringLiteral("采样周期(us)"), this);
    periodLabel->setGeometry(Du(73, 9, 51, 8).adjusted(0, -3, 10, 3));
    m_editPeriod = new QLineEdit(this);
    m_editPeriod->setObjectName(QStringLiteral("editPeriod"));
    m_editPeriod->setGeometry(Du(122, 7, 40, 12).adjusted(6, 0, 6, 0));
    auto* modeLabel = new QLabel(QStringLiteral("触发模式"), this);
    modeLabel->setGeometry(Du(182, 9, 33, 8).adjusted(0, -3, 0, 3));
    m_cbTriggerMode = new QComboBox(this);
    m_cbTriggerMode->setObjectName(QStringLiteral("cbTriggerMode"));
    m_cbTriggerMode->setGeometry(Du(217, 6, 66, 14));
    auto* sourceLabel = new QLabel(QStringLiteral("触发源"), this);
    sourceLabel->setGeometry(Du(294, 9, 25, 8).adjusted(0, -3, 0, 3));
    m_cbTriggerSource = new QComboBox(this);
    m_cbTriggerSource->setObjectName(QStringLiteral("cbTriggerSource"));
    m_cbTriggerSource->setGeometry(Du(320, 6, 113, 14));
    auto button = [this](const char* text, const char* name, QRect r) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(r);
        return b;
    };
    m_btnStart = button("＞", "btnStart", Du(461, 1, 24, 20));
    m_btnStop = button("▉", "btnStop", Du(485, 1, 24, 20));
    m_btnZoomIn = button("╋", "btnZoomIn", Du(515, 1, 24, 20));
    m_btnZoomOut = button("━", "btnZoomOut", Du(539, 1, 24, 20));
    m_btnStart->setToolTip(QStringLiteral("启动采样"));
    m_btnStop->setToolTip(QStringLiteral("停止采样"));
    m_btnZoomIn->setToolTip(QStringLiteral("放大"));
    m_btnZoomOut->setToolTip(QStringLiteral("缩小"));

    m_poll = new QTimer(this);
    m_poll->setObjectName(QStringLiteral("samplingPoll"));
    m_poll->setInterval(kPollMs);

    connect(m_btnStart, &QPushButton::clicked, this, &CDialogWaveform::OnStart);
    connect(m_btnStop, &QPushButton::clicked, this, &CDialogWaveform::OnStop);
    connect(m_btnZoomIn, &QPushButton::clicked, &m_wndWave, &CWaveViewWnd::ZoomIn);
    connect(m_btnZoomOut, &QPushButton::clicked, &m_wndWave, &CWaveViewWnd::ZoomOut);
    connect(m_btnSamplePoints, &QPushButton::clicked, this, &CDialogWaveform::OnSamplePoints);
    connect(m_poll, &QTimer::timeout, this, &CDialogWaveform::OnPoll);
    // Only the user's choices write to the device, not the selections RefreshSampling makes.
    connect(m_cbTriggerMode, &QComboBox::activated, this, &CDialogWaveform::OnTriggerModeChanged);
    connect(m_cbTriggerSource, &QComboBox::activated, this,
            &CDialogWaveform::OnTriggerSourceChanged);

    // Initialisation as the dialog's creation does it.
    m_szComponent = QStringLiteral("组件管理器");
    m_cbTriggerMode->clear();
    m_cbTriggerMode->addItems(
        {QStringLiteral("自由采样"), QStringLiteral("上升沿触发"), QStringLiteral("下降沿触发")});
    resize(sizeHint());
    m_wndWave.CreateView(this, rect().adjusted(kViewLeft, kViewTopAtCreation, -3, -1));
    m_bInitialized = true;
}

CDialogWaveform::~CDialogWaveform() = default;

QSize CDialogWaveform::sizeHint() const { return Du(0, 0, 570, 144).size(); }

bool CDialogWaveform::Polling() const { return m_poll->isActive(); }

QString CDialogWaveform::Read(const QString& attribute) {
    // A value that did not come is read as empty text.
    DeviceResult<QString> r = m_device.GetAttrVal(m_szComponent, attribute);
    return r.Ok() ? r.value : QString();
}

void CDialogWaveform::Write(const QString& attribute, const QString& value) {
    m_device.SetAttributeVal(m_szComponent, attribute, value, true);  // outcome not reported
}

void CDialogWaveform::ShowPeriod() { m_editPeriod->setText(sampling::PeriodDisplay(m_dPeriodUs)); }

void CDialogWaveform::RefreshSampling() {
    CDeviceOperation op(m_device, QStringLiteral("刷新采样设置"));
    if (Read(kStart) == kTrue)
        m_btnStart->setEnabled(false);
    else
        m_btnStop->setEnabled(false);
    const QString triggerOn = Read(kTriggerOn);
    const QString rising = triggerOn == kTrue ? Read(kRising) : QString();
    m_cbTriggerMode->setCurrentIndex(sampling::TriggerModeIndex(triggerOn, rising));
    RefreshSourceList();
    m_dPeriodUs = sampling::LeadingNumber(Read(kPeriod));
    ShowPeriod();
    FetchRecording();
}

void CDialogWaveform::OnStart() {
    const double previous = m_dPeriodUs;
    if (std::optional<double> typed = sampling::ParsePeriod(m_editPeriod->text()))
        m_dPeriodUs = *typed;
    else
        CMessageService::Get().Inform(this, QStringLiteral("请输入一个数字。"));
    if (m_dPeriodUs != previous) Write(kPeriod, sampling::PeriodText(m_dPeriodUs));
    Write(kStart, kTrue);
    m_silentPolls = 0;
    m_poll->start();
    m_btnStart->setEnabled(false);
    m_btnStop->setEnabled(true);
}

void CDialogWaveform::EndPolling() {
    m_poll->stop();
    m_btnStart->setEnabled(true);
    m_btnStop->setEnabled(false);
}

void CDialogWaveform::OnPoll() {
    DeviceResult<QString> r = m_device.GetAttrVal(m_szComponent, kStart);
    if (r.NoAnswer()) {
        // A lost reply is a recording still in progress; a device that stays silent is not
        // polled on, so that the window does not hang wait after wait.
        if (++m_silentPolls >= kMaxSilentPolls) {
            m_poll->stop();
            m_btnStart->setEnabled(true);
            m_btnStop->setEnabled(true);
            m_device.Log(1, QStringLiteral("逻辑分析仪: 下位机无应答, 已停止查询采样状态"));
        }
        return;
    }
    if (r.outcome == DeviceOutcome::NotSent) {
        // The link is gone: there is no recording to follow until the next connect.
        m_poll->stop();
        m_btnStart->setEnabled(true);
        m_btnStop->setEnabled(true);
        return;
    }
    m_silentPolls = 0;
    if (!r.Ok() || r.value != kFalse) return;
    EndPolling();
    FetchRecording();
}

void CDialogWaveform::OnStop() {
    m_poll->stop();
    Write(kStart, kFalse);
    m_btnStart->setEnabled(true);
    m_btnStop->setEnabled(false);
    FetchRecording();
}

void CDialogWaveform::FetchRecording() {
    CDeviceOperation op(m_device, QStringLiteral("读取采样记录"));
    ShowPeriod();
    const int bytes = std::max(0, sampling::LeadingInt(Read(kRecord)));
    const int samples = wave::SampleCount(bytes, m_wndWave.Channels());
    // A recording larger than the view's buffer is not shown; the view keeps the previous one.
    if (samples > m_wndWave.Capacity()) return;
    DeviceResult<QByteArray> mem = m_device.GetAttrMemData(m_szComponent, kRecord);
    QByteArray data = mem.Ok() ? mem.value.left(bytes) : QByteArray();
    const int trigger = m_cbTriggerMode->currentIndex() != sampling::kModeFree
                            ? sampling::LeadingInt(Read(kTriggerStart))
                            : 0;
    // Only the bytes that came are shown: the samples end where the data ends.
    const int shown = std::min(samples, wave::SampleCount(data.size(), m_wndWave.Channels()));
    QStringList names;
    for (int i = 0; i < m_cbTriggerSource->count(); ++i) names << m_cbTriggerSource->itemText(i);
    m_wndWave.SetChannelNames(names);
    m_wndWave.SetRecord(data, shown, trigger, m_dPeriodUs);
}

void CDialogWaveform::OnTriggerModeChanged(int index) {
    switch (index) {
        case sampling::kModeFree:
            Write(kTriggerOn, kFalse);
            break;
        case sampling::kModeRising:
            Write(kTriggerOn, kTrue);
            Write(kRising, kTrue);
            break;
        case sampling::kModeFalling:
            Write(kTriggerOn, kTrue);
            Write(kRising, kFalse);
            break;
        default:
            break;
    }
    update();  // the trigger source's label colour follows the mode
}

void CDialogWaveform::OnTriggerSourceChanged(int index) {
    Write(kTriggerPin, QString::number(index));
    update();
}

void CDialogWaveform::RefreshSourceList() {
    m_cbTriggerSource->clear();
    m_cbTriggerSource->addItems(sampling::ListEntries(Read(kPoints)));
    const int pin = sampling::LeadingInt(Read(kTriggerPin));
    m_cbTriggerSource->setCurrentIndex(pin >= 0 && pin < m_cbTriggerSource->count() ? pin : -1);
    QStringList names;
    for (int i = 0; i < m_cbTriggerSource->count(); ++i) names << m_cbTriggerSource->itemText(i);
    m_wndWave.SetChannelNames(names);
    update();
}

void CDialogWaveform::OnSamplePoints() {
    const QString current = Read(kPoints);
    SamplePointChooser chooser = Chooser() ? Chooser() : DefaultSamplePointChooser();
    std::optional<QString> chosen = chooser(this, m_device, current);
    if (!chosen) return;
    Write(kPoints, *chosen);
    RefreshSourceList();
}

QColor CDialogWaveform::LabelColor(int i) const {
    const bool trigger = m_cbTriggerMode->currentIndex() != sampling::kModeFree &&
                         i == m_cbTriggerSource->currentIndex();
    return trigger ? QColor(255, 0, 0) : QColor(0, 0, 0);
}

void CDialogWaveform::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    QPainter p(this);
    p.setFont(m_fontLabels);
    p.setBackgroundMode(Qt::TransparentMode);
    const int ascent = QFontMetrics(m_fontLabels).ascent();
    for (int i = 0; i < m_cbTriggerSource->count(); ++i) {
        const sampling::LabelLines lines =
            sampling::SplitSamplePoint(m_cbTriggerSource->itemText(i));
        p.setPen(LabelColor(i));
        p.drawText(QPoint(kLabelX, kLabelY + kLabelPitch * i + ascent), lines.component);
        p.drawText(QPoint(kLabelX, kLabelY2 + kLabelPitch * i + ascent), lines.attribute);
    }
}

void CDialogWaveform::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (!m_bInitialized) return;
    m_wndWave.setGeometry(rect().adjusted(kViewLeft, kViewTop, -3, -1));
    m_wndWave.update();
}
