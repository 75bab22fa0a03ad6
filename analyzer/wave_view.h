// CWaveViewWnd: one recording of the logic analyzer, four channels of two-level samples on a
// black background with a time grid, the trigger marker, horizontal scrolling, zoom steps and
// a measuring cursor that shows the time under a click. It never talks to the device: the
// sampling strip fills its record. Its context menu exports the shown recording (VCD, CSV)
// and saves the view as an image. User-interface thread only.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

#include "analyzer/wave_export.h"
#include "analyzer/wave_layout.h"

class QScrollBar;

class CWaveViewWnd : public QWidget {
    Q_OBJECT
  public:
    explicit CWaveViewWnd(QWidget* parent = nullptr);
    ~CWaveViewWnd() override;

    // Places the view in its parent with a fresh zero-filled record of 2048 samples, period 1 us
    // and the trigger at 0, and sets the scroll range.
    void CreateView(QWidget* parent, const QRect& rect);

    // Replaces the record: bytes beyond the capacity are dropped and the rest of the buffer is
    // cleared; samples is clamped to the capacity. A record of another sample count sets the
    // scroll range anew. Repaints.
    void SetRecord(const QByteArray& bits, int samples, int triggerPos, double periodUs);
    // The sample points the channels show, in channel order (names in exports).
    void SetChannelNames(const QStringList& names);

    void ZoomIn();
    void ZoomOut();
    // One horizontal scroll code, as the scroll bar sends them.
    void OnHScroll(wave::ScrollCode code, int thumb = 0);
    // The measuring cursor at client x (as a left click there); nullopt removes it.
    void SetCursorX(std::optional<int> x);

    int Channels() const { return m_nChannels; }
    int Capacity() const { return m_nCapacity; }
    int Samples() const { return m_nSamples; }
    int TriggerPos() const { return m_nTriggerPos; }
    double PeriodUs() const { return m_dPeriodUs; }
    double Zoom() const { return m_dZoom; }
    int ScrollPos() const { return m_nScrollPos; }
    wave::ScrollState ScrollBarState() const;
    std::optional<int> CursorX() const { return m_cursorX; }
    bool Bit(int sample, int channel) const;
    // The shown recording with its names, as the exports take it.
    wave::Recording Record() const;
    QStringList ChannelNames() const { return m_names; }
    // Client area (without the scroll bar).
    int ClientWidth() const;
    int ClientHeight() const;

    // The context menu's actions; each asks for a file and reports a failure to write it.
    void ExportVcd();
    void ExportCsv();
    void SavePng();
    // The view drawn into an image of its client size.
    QImage Render() const;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    void UpdateScroll();
    void Draw(QPainter& p) const;
    void WriteFile(const QString& path, const QByteArray& data);

    int m_nChannels = wave::kChannels;
    int m_nCapacity = 0;
    int m_nSamples = 0;
    int m_nTriggerPos = 0;
    double m_dPeriodUs = 1.0;
    std::array<uint8_t, wave::kCapacityBytes> m_bits{};
    double m_dZoom = wave::kInitialZoom;
    int m_nScrollPos = 0;
    QFont m_font;
    QStringList m_names;
    std::optional<int> m_cursorX;
    QScrollBar* m_scroll = nullptr;
    bool m_settingRange = false;
};
