#include "maintenance/firmware_ctrl.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/common/message_service.h"
#include "link_flash_device.h"

namespace fw = kvs::fw;

namespace {
std::atomic<bool> g_serviceMode{false};

constexpr const char* kFileFilter = "KVS固件(*.fw)";

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void CFirmwareCtrl::SetServiceMode(bool on) { g_serviceMode.store(on); }
bool CFirmwareCtrl::ServiceMode() { return g_serviceMode.load(); }

QString CFirmwareCtrl::DefaultFileName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    return QDir(folder).filePath(QStringLiteral("KVS.fw"));
}

CFirmwareCtrl::ProgressPosition CFirmwareCtrl::ScaleProgress(int64_t done, int64_t total) {
    if (total <= 0) return {0, 0};
    done = std::clamp<int64_t>(done, 0, total);
    if (total <= kMaxProgressRange) return {int(done), int(total)};
    return {int(done * kMaxProgressRange / total), int(kMaxProgressRange)};
}

CFirmwareCtrl::CFirmwareCtrl(QWidget* parent, std::unique_ptr<fw::IFlashDevice> flash)
    : QDialog(parent), m_flash(std::move(flash)) {
    setObjectName(QStringLiteral("CFirmwareCtrl"));
    setWindowTitle(QStringLiteral("固件升级与备份"));

    auto* backupBox = new QGroupBox(QStringLiteral("备份操作"), this);
    m_backupPath = new QLineEdit(backupBox);
    m_backupPath->setObjectName(QStringLiteral("backupPath"));
    auto* chooseBackup = MakeButton(QStringLiteral("..."), "chooseBackupFile", backupBox);
    m_backupButton = MakeButton(QStringLiteral("开始备份"), "startBackup", backupBox);
    auto* backupRow = new QHBoxLayout(backupBox);
    backupRow->addWidget(new QLabel(QStringLiteral("文件路径："), backupBox));
    backupRow->addWidget(m_backupPath, 1);
    backupRow->addWidget(chooseBackup);
    backupRow->addSpacing(20);
    backupRow->addWidget(m_backupButton);

    auto* upgradeBox = new QGroupBox(QStringLiteral("升级操作"), this);
    m_upgradePath = new QLineEdit(upgradeBox);
    m_upgradePath->setObjectName(QStringLiteral("upgradePath"));
    auto* chooseUpgrade = MakeButton(QStringLiteral("..."), "chooseUpgradeFile", upgradeBox);
    m_upgradeButton = MakeButton(QStringLiteral("开始升级"), "startUpgrade", upgradeBox);
    auto* upgradeRow = new QHBoxLayout(upgradeBox);
    upgradeRow->addWidget(new QLabel(QStringLiteral("文件路径："), upgradeBox));
    upgradeRow->addWidget(m_upgradePath, 1);
    upgradeRow->addWidget(chooseUpgrade);
    upgradeRow->addSpacing(20);
    upgradeRow->addWidget(m_upgradeButton);

    auto* stateBox = new QGroupBox(QStringLiteral("当前作业状态"), this);
    m_status = new QLabel(QStringLiteral("操作进度"), stateBox);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setMinimumWidth(110);
    m_progress = new QProgressBar(stateBox);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_stopButton = MakeButton(QStringLiteral("停止操作"), "stop", stateBox);
    auto* stateRow = new QHBoxLayout(stateBox);
    stateRow->addWidget(m_status);
    stateRow->addWidget(m_progress, 1);
    stateRow->addSpacing(20);
    stateRow->addWidget(m_stopButton);

    auto* warning = new QLabel(
        QStringLiteral("特别注意：在操作过程中请不要断电断线,否则导致器件无法工作!"), this);
    warning->setWordWrap(true);
    m_testButton = MakeButton(QStringLiteral("测试"), "test", this);
    m_testButton->setVisible(ServiceMode());
    m_exitButton = MakeButton(QStringLiteral("退出"), "exit", this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(warning, 1);
    bottom->addWidget(m_testButton);
    bottom->addWidget(m_exitButton);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(backupBox);
    lay->addWidget(upgradeBox);
    lay->addWidget(stateBox);
    lay->addLayout(bottom);
    setMinimumWidth(520);

    connect(chooseBackup, &QPushButton::clicked, this, &CFirmwareCtrl::OnChooseBackupFile);
    connect(chooseUpgrade, &QPushButton::clicked, this, &CFirmwareCtrl::OnChooseUpgradeFile);
    connect(m_backupButton, &QPushButton::clicked, this, &CFirmwareCtrl::OnBackup);
    connect(m_upgradeButton, &QPushButton::clicked, this, &CFirmwareCtrl::OnUpgrade);
    connect(m_stopButton, &QPushButton::clicked, this, &CFirmwareCtrl::OnStop);
    connect(m_testButton, &QPushButton::clicked, this, &CFirmwareCtrl::OnTest);
    connect(m_exitButton, &QPushButton::clicked, this, &CFirmwareCtrl::reject);

    if (!m_flash) m_flash = std::make_unique<fw::CLinkFlashDevice>();
    fw::FirmwareCallbacks cb;
    cb.progress = [this](fw::FirmwarePhase, int32_t done, int32_t total) {
        PostProgress(done, total);
    };
    cb.status = [this](const std::string& text) { PostStatus(text); };
    cb.debug = [](const std::string& text) { qDebug().noquote() << QString::fromStdString(text); };
    // The sink is set before any operation starts and is not changed while one runs.
    cb.log = [this](fw::FirmwareLogLevel level, const char* function, const std::string& text) {
        if (m_logSink) m_logSink(level, __FILE__, function, __LINE__, text);
    };
    cb.clockMs = [this] { return SteadyMs() + m_clockSkew.load(); };
    m_engine = std::make_unique<fw::CFirmwareEngine>(*m_flash, std::move(cb));

    m_stopButton->setEnabled(false);
    m_worker = std::thread([this] { WorkerLoop(); });
}

CFirmwareCtrl::~CFirmwareCtrl() {
    // Whatever runs stops after its page in progress; the worker ends before any member goes.
    m_engine->RequestStop();
    m_clockSkew.fetch_add(1000000);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable()) m_worker.join();
}

// --- buttons -------------------------------------------------------------------------------

void CFirmwareCtrl::OnBackup() {
    if (m_running.load() != Operation::None) return;
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要备份固件吗？"))) return;
    Request(Operation::Backup);
}

void CFirmwareCtrl::OnUpgrade() {
    if (m_running.load() != Operation::None) return;
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要升级固件吗？"))) return;
    Request(Operation::Upgrade);
}

void CFirmwareCtrl::OnTest() {
    if (m_running.load() != Operation::None) return;
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要测试吗？"))) return;
    Request(Operation::Test);
}

void CFirmwareCtrl::OnStop() {
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要停止当前操作吗？"))) return;
    m_engine->RequestStop();
}

void CFirmwareCtrl::Request(Operation op) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_backupFile = QFile::encodeName(m_backupPath->text()).toStdString();
        m_upgradeFile = QFile::encodeName(m_upgradePath->text()).toStdString();
        m_backup = op == Operation::Backup;
        m_upgrade = op == Operation::Upgrade;
        m_test = op == Operation::Test;
        // Counted as running from now on, so that a second request cannot slip in before the
        // worker has picked this one up.
        m_running.store(op);
    }
    m_wake.notify_all();
    // One operation at a time: every start button waits for the running one to end.
    m_backupButton->setEnabled(false);
    m_upgradeButton->setEnabled(false);
    m_testButton->setEnabled(false);
    m_stopButton->setEnabled(true);
}

QString CFirmwareCtrl::ChooseFile(bool save, const QString& current) {
    QFileDialog dialog(this);
    dialog.setObjectName(save ? QStringLiteral("backupFileDialog")
                              : QStringLiteral("upgradeFileDialog"));
    dialog.setNameFilter(QString::fromUtf8(kFileFilter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("fw"));
    const QString start = current.isEmpty() ? DefaultFileName() : current;
    dialog.setDirectory(QFileInfo(start).absolutePath());
    dialog.selectFile(QFileInfo(start).fileName());
    if (CMessageService::Get().Run(dialog) != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void CFirmwareCtrl::OnChooseBackupFile() {
    QString path = ChooseFile(true, m_backupPath->text());
    if (!path.isEmpty()) m_backupPath->setText(path);
}

void CFirmwareCtrl::OnChooseUpgradeFile() {
    QString path = ChooseFile(false, m_upgradePath->text());
    if (!path.isEmpty()) m_upgradePath->setText(path);
}

void CFirmwareCtrl::reject() {
    if (m_closing) return;
    if (m_running.load() == Operation::None) {
        QDialog::reject();
        return;
    }
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要停止当前操作吗？"))) return;
    m_closing = true;
    m_engine->RequestStop();
    m_clockSkew.fetch_add(1000000);
    for (QPushButton* b :
         {m_backupButton, m_upgradeButton, m_stopButton, m_testButton, m_exitButton})
        b->setEnabled(false);
    // Finished() closes the dialog when the worker reports the end.
}

void CFirmwareCtrl::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

bool CFirmwareCtrl::WaitIdle(int ms) {
    if (m_running.load() == Operation::None) return true;
    QEventLoop loop;
    connect(this, &CFirmwareCtrl::OperationFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return m_running.load() == Operation::None;
}

// --- the worker ------------------------------------------------------------------------------

void CFirmwareCtrl::WorkerLoop() {
    for (;;) {
        Operation op = Operation::None;
        std::string backupFile, upgradeFile;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_backup || m_upgrade || m_test; });
            if (m_quit) return;
            op = m_backup ? Operation::Backup : m_upgrade ? Operation::Upgrade : Operation::Test;
            m_backup = m_upgrade = m_test = false;
            backupFile = m_backupFile;
            upgradeFile = m_upgradeFile;
        }
        switch (op) {
            case Operation::Backup:
                m_engine->Backup(backupFile);
                break;
            case Operation::Upgrade:
                m_engine->Upgrade(upgradeFile);
                break;
            case Operation::Test:
                m_engine->EnduranceTest(upgradeFile);
                break;
            case Operation::None:
                break;
        }
        m_engine->ClearStop();
        // The last progress first, then the end of the operation.
        QMetaObject::invokeMethod(
            this, [this, op] { Finished(op); }, Qt::QueuedConnection);
    }
}

void CFirmwareCtrl::Finished(Operation op) {
    (void)op;
    // Progress updates queued earlier have run already; show the final position as well.
    ProgressPosition p = ScaleProgress(m_done.load(), m_total.load());
    if (p.maximum > 0) {
        m_progress->setRange(0, p.maximum);
        m_progress->setValue(p.value);
    }
    m_running.store(Operation::None);
    SetIdleButtons();
    if (m_closing) {
        // Closed now; shown again, the dialog starts as new.
        m_closing = false;
        m_exitButton->setEnabled(true);
        QDialog::reject();
    }
    emit OperationFinished();
}

void CFirmwareCtrl::SetIdleButtons() {
    m_backupButton->setEnabled(true);
    m_upgradeButton->setEnabled(true);
    m_testButton->setEnabled(true);
    m_stopButton->setEnabled(false);
}

void CFirmwareCtrl::PostProgress(int32_t done, int32_t total) {
    m_done.store(done);
    m_total.store(total);
    // The bar moves at most once a second (and at the start and the end of a phase), and at
    // most one update waits in the queue; it shows the newest position when it runs.
    const int64_t now = SteadyMs();
    if (done != 0 && done != total && now - m_lastProgressMs < 1000) return;
    if (m_progressQueued.exchange(true)) return;
    m_lastProgressMs = now;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_progressQueued.store(false);
            ProgressPosition p = ScaleProgress(m_done.load(), m_total.load());
            m_progress->setRange(0, std::max(p.maximum, 1));
            m_progress->setValue(p.value);
        },
        Qt::QueuedConnection);
}

void CFirmwareCtrl::PostStatus(const std::string& text) {
    QString line = QString::fromStdString(text);
    QMetaObject::invokeMethod(
        this, [this, line] { m_status->setText(line); }, Qt::QueuedConnection);
}
