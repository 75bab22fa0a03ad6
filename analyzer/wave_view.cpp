#include "analyzer/wave_view.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QSaveFile>
#include <QScrollBar>
#include <algorithm>
#include <cstring>

#include "app/common/message_service.h"

namespace {
const QColor kBackground(0, 0, 0);
const QColor kGrid(32, 32, 32);
const QColor kLabel(255, 0, 0);
const QColor kTrigger(224, 0, 0);
const QColor kTrace(0, 224, 0);
const QColor kCursorLabel(255, 255, 255);
constexpr int kLabelY = 8;
constexpr int kCursorLabelY = 32;

wave::ScrollCode CodeOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return wave::ScrollCode::LineLeft;
        case QAbstractSlider::SliderSingleStepAdd:
            return wave::ScrollCode::LineRight;
        case QAbstractSlider::SliderPageStepSub:
            return wave::ScrollCode::PageLeft;
        case QAbstractSlider::SliderPageStepAdd:
            return wave::ScrollCode::PageRight;
        case QAbstractSlider::SliderToMinimum:
            return wave::ScrollCode::Left;
        case QAbstractSlider::SliderToMaximum:
            return wave::ScrollCode::Right;
        case QAbstractSlider::SliderMove:
            return wave::ScrollCode::ThumbTrack;
        default:
            return wave::ScrollCode::EndScroll;
    }
}
}  // namespace

CWaveViewWnd::CWaveViewWnd(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("waveView"));
    m_font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                        QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
    m_font.setPixelSize(12);
    m_font.setWeight(QFont::Normal);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName(QStringLiteral("waveScroll"));
    m_scroll->setSingleStep(1);
    connect(m_scroll, &QScrollBar::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderNoAction) return;
        const wave::ScrollCode code = CodeOf(action);
        wave::ScrollState s = ScrollBarState();
        m_scroll->setSliderPosition(wave::Scroll(s, code, m_scroll->sliderPosition()));
    });
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_settingRange) return;
        m_nScrollPos = v;
        m_cursorX.reset();
        update();
    });
}

CWaveViewWnd::~CWaveViewWnd() = default;

void CWaveViewWnd::CreateView(QWidget* parent, const QRect& rect) {
    setParent(parent);
    setGeometry(rect);
    m_bits.fill(0);
    m_dPeriodUs = 1.0;
    m_nCapacity = wave::kCapacity;
    m_nChannels = wave::kChannels;
    m_nTriggerPos = 0;
    m_nSamples = wave::kCapacity;
    m_cursorX.reset();
    show();
    UpdateScroll();
}

void CWaveViewWnd::SetRecord(const QByteArray& bits, int samples, int triggerPos, double periodUs) {
    m_bits.fill(0);
    std::memcpy(m_bits.data(), bits.constData(),
                size_t(std::min<qsizetype>(bits.size(), m_bits.size())));
    const int count = std::clamp(samples, 0, m_nCapacity);
    const bool rescale = count != m_nSamples;
    m_nSamples = count;
    m_nTriggerPos = triggerPos;
    m_dPeriodUs = periodUs;
    m_cursorX.reset();
    if (rescale) UpdateScroll();
    update();
}

void CWaveViewWnd::SetChannelNames(const QStringList& names) { m_names = names; }

int CWaveViewWnd::ClientWidth() const { return width(); }
int CWaveViewWnd::ClientHeight() const {
    return std::max(0, height() - m_scroll->sizeHint().height());
}

wave::ScrollState CWaveViewWnd::ScrollBarState() const {
    wave::ScrollState s = wave::ScrollRange(m_nSamples, ClientWidth(), m_dZoom, m_nScrollPos);
    s.pos = m_nScrollPos;
    return s;
}

void CWaveViewWnd::UpdateScroll() {
    const wave::ScrollState s =
        wave::ScrollRange(m_nSamples, ClientWidth(), m_dZoom, m_scroll->value());
    m_settingRange = true;
    m_scroll->setRange(s.min, s.Limit());
    m_scroll->setPageStep(std::max(1, s.page));
    m_scroll->setValue(s.pos);
    m_settingRange = false;
    m_nScrollPos = m_scroll->value();
}

void CWaveViewWnd::ZoomIn() {
    m_dZoom = wave::ZoomIn(m_dZoom);
    m_cursorX.reset();
    UpdateScroll();
    update();
}

void CWaveViewWnd::ZoomOut() {
    m_dZoom = wave::ZoomOut(m_dZoom, m_nSamples, ClientWidth());
    m_cursorX.reset();
    UpdateScroll();
    update();
}

void CWaveViewWnd::OnHScroll(wave::ScrollCode code, int thumb) {
    const int pos = wave::Scroll(ScrollBarState(), code, thumb);
    m_settingRange = true;
    m_scroll->setValue(pos);
    m_settingRange = false;
    m_nScrollPos = m_scroll->value();
    m_cursorX.reset();
    update();
}

void CWaveViewWnd::SetCursorX(std::optional<int> x) {
    m_cursorX = x;
    update();
}

bool CWaveViewWnd::Bit(int sample, int channel) const {
    return wave::SampleBit(m_bits.data(), m_bits.size(), sample, m_nChannels, channel);
}

wave::Recording CWaveViewWnd::Record() const {
    wave::Recording r;
    const int bytes = (m_nSamples * m_nChannels + 7) / 8;
    r.bits = QByteArray(reinterpret_cast<const char*>(m_bits.data()), bytes);
    r.samples = m_nSamples;
    r.channels = m_nChannels;
    r.triggerPos = m_nTriggerPos;
    r.periodUs = m_dPeriodUs;
    r.names = m_names;
    return r;
}

void CWaveViewWnd::Draw(QPainter& p) const {
    const int w = ClientWidth();
    const int h = ClientHeight();
    const int s = m_nScrollPos;
    p.fillRect(QRect(0, 0, w, h), kBackground);
    p.setClipRect(QRect(0, 0, w, h));

    // Time grid with its labels.
    p.setFont(m_font);
    const int ascent = QFontMetrics(m_font).ascent();
    for (const wave::GridLine& g : wave::Grid(w, m_dZoom, s, m_dPeriodUs)) {
        p.setPen(QPen(kGrid, 1, Qt::SolidLine));
        p.drawLine(g.x, 0, g.x, h - 1);
        p.setPen(kLabel);
        p.drawText(QPoint(g.x + 1, kLabelY + ascent), g.label);
    }

    const int tx = wave::TriggerX(m_nTriggerPos, s, m_dZoom);
    if (tx >= 0 && tx < w) {
        p.setPen(QPen(kTrigger, 1, Qt::DotLine));
        p.drawLine(tx, 0, tx, h - 1);
    }

    // Traces: a vertical edge where the level changes at a sample boundary, a horizontal run
    // otherwise; runs of equal samples become one line.
    const int count = wave::TraceCount(wave::VisibleSamples(w, m_dZoom), s, m_nSamples);
    p.setPen(QPen(kTrace, 1, Qt::SolidLine));
    QPolygon line;
    for (int k = 0; k < m_nChannels; ++k) {
        line.clear();
        int y = wave::LowLevel(k);
        line << QPoint(0, y);
        for (int j = 0; j < count; ++j) {
            const int level = Bit(s + j, k) ? wave::HighLevel(k) : wave::LowLevel(k);
            if (level != y) {
                const int x = int(j * m_dZoom);
                line << QPoint(x, y) << QPoint(x, level);
                y = level;
            }
        }
        line << QPoint(int(count * m_dZoom), y);
        p.drawPolyline(line);
    }

    if (m_cursorX) {
        const int x = *m_cursorX;
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(Qt::white);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawLine(x, 0, x, h - 1);
        p.setBackgroundMode(Qt::TransparentMode);
        p.setPen(kCursorLabel);
        p.drawText(QPoint(x + 1, kCursorLabelY + ascent),
                   wave::CursorLabel(x, m_dZoom, s, m_dPeriodUs));
    }
}

void CWaveViewWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Draw(p);
}

QImage CWaveViewWnd::Render() const {
    QImage image(std::max(1, ClientWidth()), std::max(1, ClientHeight()), QImage::Format_RGB32);
    QPainter p(&image);
    Draw(p);
    return image;
}

void CWaveViewWnd::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) SetCursorX(int(e->position().x()));
    QWidget::mousePressEvent(e);
}

void CWaveViewWnd::resizeEvent(QResizeEvent* e) {
    const int sh = m_scroll->sizeHint().height();
    m_scroll->setGeometry(0, height() - sh, width(), sh);
    UpdateScroll();
    update();
    QWidget::resizeEvent(e);
}

void CWaveViewWnd::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("waveMenu"));
    menu.addAction(QStringLiteral("导出VCD文件..."), this, &CWaveViewWnd::ExportVcd);
    menu.addAction(QStringLiteral("导出CSV文件..."), this, &CWaveViewWnd::ExportCsv);
    menu.addSeparator();
    menu.addAction(QStringLiteral("保存为PNG图片..."), this, &CWaveViewWnd::SavePng);
    menu.exec(e->globalPos());
}

namespace {
QString WithSuffix(const QString& path, const char* suffix) {
    return QFileInfo(path).suffix().isEmpty() ? path + '.' + suffix : path;
}
}  // namespace

void CWaveViewWnd::WriteFile(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        CMessageService::Get().Inform(
            this, QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

void CWaveViewWnd::ExportVcd() {
    const QString path =
        CMessageService::Get().AskSaveFile(this, QStringLiteral("VCD 波形文件 (*.vcd)"));
    if (!path.isEmpty()) WriteFile(WithSuffix(path, "vcd"), wave::ToVcd(Record()));
}

void CWaveViewWnd::ExportCsv() {
    const QString path =
        CMessageService::Get().AskSaveFile(this, QStringLiteral("CSV 文件 (*.csv)"));
    if (!path.isEmpty()) WriteFile(WithSuffix(path, "csv"), wave::ToCsv(Record()));
}

void CWaveViewWnd::SavePng() {
    const QString path =
        CMessageService::Get().AskSaveFile(this, QStringLiteral("PNG 图片 (*.png)"));
    if (path.isEmpty()) return;
    const QString file = WithSuffix(path, "png");
    if (!Render().save(file, "PNG"))
        CMessageService::Get().Inform(this, QStringLiteral("无法写入文件 %1").arg(file));
}
