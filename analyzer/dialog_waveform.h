// CDialogWaveform: the logic analyzer's sampling strip in the dock "逻辑分析仪". It writes the
// sampling set-up into attributes of the component manager, starts a recording, polls every
// 300 ms until the device reports it complete, and hands the recorded bits to its wave view.
// The frame calls RefreshSampling after connecting, reloading and component changes; the strip
// loads nothing from the device by itself before that. User-interface thread only.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "analyzer/wave_view.h"
#include "app/common/pane_hooks.h"

class CDevice;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTimer;

class CDialogWaveform : public QWidget, public ISamplingStrip {
    Q_OBJECT
  public:
    static constexpr int kPollMs = 300;
    // Value types 1, 2 and 5 may be sampled; at most one sample point per channel.
    static constexpr unsigned kSamplePointMask = 38;
    static constexpr int kMaxSamplePoints = 4;
    // Polls in a row without an answer after which the strip stops polling: each one holds the
    // window for the whole wait, and the busy cursor discards the clicks given meanwhile.
    static constexpr int kMaxSilentPolls = 2;
    // The wave view's margins inside the strip; the top one differs at creation and on resize.
    static constexpr int kViewLeft = 100;
    static constexpr int kViewTopAtCreation = 40;
    static constexpr int kViewTop = 50;

    // Opens the sample-point chooser on the current list (mask, maximum and no condition
    // question as above); the new list ("a;b;"), or nullopt when the user cancelled.
    using SamplePointChooser = std::function<std::optional<QString>(
        QWidget* parent, CDevice& device, const QString& current)>;
    // The chooser in use (the attribute selection dialog by default); null restores it.
    static void SetSamplePointChooser(SamplePointChooser chooser);

    CDialogWaveform(CDevice& device, QWidget* parent = nullptr);
    ~CDialogWaveform() override;

    // Reads the sampling set-up and the last recording from the device.
    void RefreshSampling() override;

    // The handlers, as the controls call them.
    void OnStart();
    void OnStop();
    void OnPoll();
    void OnTriggerModeChanged(int index);
    void OnTriggerSourceChanged(int index);
    void OnSamplePoints();
    void FetchRecording();
    void RefreshSourceList();

    CWaveViewWnd& WaveView() { return m_wndWave; }
    QComboBox* TriggerMode() const { return m_cbTriggerMode; }
    QComboBox* TriggerSource() const { return m_cbTriggerSource; }
    QLineEdit* PeriodEdit() const { return m_editPeriod; }
    QPushButton* StartButton() const { return m_btnStart; }
    QPushButton* StopButton() const { return m_btnStop; }
    QPushButton* SamplePointButton() const { return m_btnSamplePoints; }
    QPushButton* ZoomInButton() const { return m_btnZoomIn; }
    QPushButton* ZoomOutButton() const { return m_btnZoomOut; }
    bool Polling() const;
    double PeriodUs() const { return m_dPeriodUs; }
    // The colour of channel label i (red marks the trigger source unless free running).
    QColor LabelColor(int i) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    QString Read(const QString& attribute);
    void Write(const QString& attribute, const QString& value);
    void ShowPeriod();
    void EndPolling();

    CDevice& m_device;
    CWaveViewWnd m_wndWave;
    QString m_szComponent;
    QFont m_fontLabels;
    bool m_bInitialized = false;
    QComboBox* m_cbTriggerMode = nullptr;
    QComboBox* m_cbTriggerSource = nullptr;
    double m_dPeriodUs = 0.0;
    QLineEdit* m_editPeriod = nullptr;
    QPushButton* m_btnStart = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnSamplePoints = nullptr;
    QPushButton* m_btnZoomIn = nullptr;
    QPushButton* m_btnZoomOut = nullptr;
    QTimer* m_poll = nullptr;
    int m_silentPolls = 0;
};
