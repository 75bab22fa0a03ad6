// CFirmwareCtrl, "固件升级与备份": backs the controller's program flash up into a .fw file and
// programs a .fw file into it (followed by a full read-back), page by page, on a worker thread
// so that the dialog stays responsive and can stop an operation. The page algorithms are
// kvs_firmware's; this dialog owns the worker, the buttons, the progress bar and the status.
//
// Threads: the dialog lives on the user-interface thread. The worker thread makes every device
// call of an operation, on its own flash device (by default the library's global connection,
// which the library serves from any thread), and reaches the widgets only through events
// queued to the dialog. Requests go to the worker under m_mutex (four flags that are cleared
// when taken, as auto-reset events are); the stop request is the engine's atomic flag. The
// dialog never goes away while the worker runs: closing during an operation stops it after
// the page in progress and closes once the worker has finished; the destructor joins it.
#pragma once

#include <QDialog>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "firmware.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CFirmwareCtrl : public QDialog {
    Q_OBJECT
  public:
    // A record for the file log: level, source file, function, line, text.
    using LogSink = std::function<void(kvs::fw::FirmwareLogLevel level, const char* file,
                                       const char* function, int line, const std::string& text)>;
    enum class Operation { None, Backup, Upgrade, Test };

    // flash: the device the worker talks to; null for the library's global connection.
    explicit CFirmwareCtrl(QWidget* parent = nullptr,
                           std::unique_ptr<kvs::fw::IFlashDevice> flash = nullptr);
    ~CFirmwareCtrl() override;

    // Service staff see the hidden endurance test button "测试" (process-wide, set at start-up).
    static void SetServiceMode(bool on);
    static bool ServiceMode();
    // Where the upgrade's and the endurance test's records go (none: nowhere).
    void SetLogSink(LogSink sink) { m_logSink = std::move(sink); }

    // The buttons, each with its confirmation as the user meets it.
    void OnBackup();
    void OnUpgrade();
    void OnStop();
    void OnTest();
    void OnChooseBackupFile();
    void OnChooseUpgradeFile();
    // Close box, Escape and "退出": during an operation asks "确信要停止当前操作吗？" and, on Yes,
    // stops it and closes once the worker has finished.
    void reject() override;

    // The operation the worker is carrying out (None while it waits).
    Operation Running() const { return m_running.load(); }
    // Waits (running the event loop) until the worker is idle; false after ms.
    bool WaitIdle(int ms);

  signals:
    // The worker has ended an operation; the status line shows its outcome.
    void OperationFinished();

  public:
    // The progress bar's range holds at most 65535: above that, pages are scaled into it.
    struct ProgressPosition {
        int value;
        int maximum;
    };
    static ProgressPosition ScaleProgress(int64_t done, int64_t total);
    static constexpr int64_t kMaxProgressRange = 65535;

    QLineEdit* BackupPath() const { return m_backupPath; }
    QLineEdit* UpgradePath() const { return m_upgradePath; }
    QPushButton* BackupButton() const { return m_backupButton; }
    QPushButton* UpgradeButton() const { return m_upgradeButton; }
    QPushButton* StopButton() const { return m_stopButton; }
    QPushButton* TestButton() const { return m_testButton; }
    QPushButton* ExitButton() const { return m_exitButton; }
    QLabel* StatusLine() const { return m_status; }
    QProgressBar* Progress() const { return m_progress; }
    // The file name the choosers start from: KVS.fw in the user's documents folder.
    static QString DefaultFileName();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Request(Operation op);
    void WorkerLoop();
    void Finished(Operation op);
    void PostProgress(int32_t done, int32_t total);
    void PostStatus(const std::string& text);
    void SetIdleButtons();
    QString ChooseFile(bool save, const QString& current);

    // --- widgets (user-interface thread) ---
    QLineEdit* m_backupPath;
    QLineEdit* m_upgradePath;
    QPushButton* m_backupButton;
    QPushButton* m_upgradeButton;
    QPushButton* m_stopButton;
    QPushButton* m_testButton;
    QPushButton* m_exitButton;
    QLabel* m_status;
    QProgressBar* m_progress;
    bool m_closing = false;  // closing waits for the running operation to end
    LogSink m_logSink;

    // --- shared with the worker ---
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_backup = false;
    bool m_upgrade = false;
    bool m_test = false;
    std::string m_backupFile;  // the paths as the boxes held them when asked
    std::string m_upgradeFile;
    std::atomic<Operation> m_running{Operation::None};
    // Added to the engine's clock: a stop on closing moves it on by more than a status
    // interval, so that the page in progress is the last one.
    std::atomic<int64_t> m_clockSkew{0};
    std::atomic<int32_t> m_done{0};
    std::atomic<int32_t> m_total{0};
    std::atomic<bool> m_progressQueued{false};
    int64_t m_lastProgressMs = 0;  // worker only

    std::unique_ptr<kvs::fw::IFlashDevice> m_flash;
    std::unique_ptr<kvs::fw::CFirmwareEngine> m_engine;
    std::thread m_worker;  // last: started once everything above exists
};
