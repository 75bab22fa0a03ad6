// The firmware dialog with its real worker thread against the simulated controller in this
// process (UDP on loopback, in a private network namespace): backup and upgrade with their
// files, a stop request, a file of the wrong length, closing during an operation.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/device/device.h"
#include "app/tests/test_support.h"
#include "devsim/device.h"
#include "link_flash_device.h"
#include "maintenance/firmware_ctrl.h"

namespace fw = kvs::fw;

namespace {
constexpr int kImageSize = 131072;  // the simulated flash: 512 pages of 256 bytes
constexpr int kPages = 512;

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One page of the controller's flash, read past the dialog through the library.
QByteArray FlashPage(int address) {
    fw::CLinkFlashDevice flash;
    if (!flash.SetAttr(fw::kAttrAddress, std::to_string(address)) ||
        !flash.SetAttr(fw::kAttrRead, "true"))
        return {};
    auto page = flash.GetMemData(fw::kAttrData);
    return page ? QByteArray(reinterpret_cast<const char*>(page->data()), qsizetype(page->size()))
                : QByteArray();
}

QByteArray Complemented(QByteArray bytes) {
    for (char& c : bytes) c = char(fw::FirmwareFileByte(uint8_t(c)));
    return bytes;
}

// A file image whose flash content holds 0x00, 0xFF, 0x5A and a counting pattern.
QByteArray PatternFile() {
    QByteArray file(kImageSize, '\0');
    for (int i = 0; i < kImageSize; ++i) file[i] = char((i * 7 + i / 256) & 0xFF);
    file[0] = char(0x00);
    file[1] = char(0xFF);
    file[2] = char(0xA5);  // 0x5A in flash
    return file;
}

struct LogRecord {
    fw::FirmwareLogLevel level;
    QString function;
    QString text;
};
}  // namespace

class FirmwareDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        dev->SetLog([this](const std::string& line) {
            QMutexLocker lock(&m_lock);
            m_devLines << QString::fromStdString(line);
        });
        device = std::make_unique<CKvsDevice>();
        device->SetKey(QString::fromStdString(dev->Key()));
        device->SetRequestWait(3000);
        QVERIFY(device->OpenUdp({127, 0, 0, 1}));
        service = std::make_unique<CRecordingService>();
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        CFirmwareCtrl::SetServiceMode(false);
    }
    void cleanup() {
        device->Close();
        device.reset();
        service.reset();
        dev.reset();
        m_devLines.clear();
        m_records.clear();
    }

    void backupWritesTheComplementedImageAndReachesTheEnd() {
        auto dlg = MakeDialog();
        const QString path = tmp->filePath("backup.fw");
        dlg->BackupPath()->setText(path);
        service->answers = {true};
        dlg->BackupButton()->click();
        QCOMPARE(service->asks, QStringList({QStringLiteral("确信要备份固件吗？")}));
        // One operation at a time: every start button waits for it; stop is offered.
        QVERIFY(!dlg->BackupButton()->isEnabled());
        QVERIFY(!dlg->UpgradeButton()->isEnabled());
        QVERIFY(dlg->StopButton()->isEnabled());
        QVERIFY(dlg->WaitIdle(60000));

        QCOMPARE(dlg->StatusLine()->text(), QStringLiteral("备份成功."));
        QCOMPARE(dlg->Progress()->maximum(), kPages);
        QCOMPARE(dlg->Progress()->value(), kPages);
        QVERIFY(dlg->BackupButton()->isEnabled());
        QVERIFY(!dlg->StopButton()->isEnabled());
        const QByteArray file = ReadFile(path);
        QCOMPARE(file.size(), kImageSize);
        // The first and the last page as the controller holds them, stored complemented
        // (0x00 and 0xFF unchanged); the image begins with its header text.
        QCOMPARE(file.left(256), Complemented(FlashPage(0)));
        QCOMPARE(file.right(256), Complemented(FlashPage(kImageSize - 256)));
        QCOMPARE(Complemented(file.left(6)), QByteArray("KVS-FW"));
        QVERIFY(m_records.isEmpty());  // a backup writes no log records
    }

    void upgradeProgramsTheFileAndReadsItBack() {
        auto dlg = MakeDialog();
        const QString path = tmp->filePath("new.fw");
        const QByteArray file = PatternFile();
        QVERIFY(WriteFile(path, file));
        dlg->UpgradePath()->setText(path);
        service->answers = {true};
        dlg->UpgradeButton()->click();
        QCOMPARE(service->asks, QStringList({QStringLiteral("确信要升级固件吗？")}));
        QVERIFY(dlg->WaitIdle(60000));
        QCOMPARE(dlg->StatusLine()->text(), QStringLiteral("升级成功."));
        QCOMPARE(dlg->Progress()->value(), kPages);
        QVERIFY(dlg->UpgradeButton()->isEnabled());

        const QByteArray page0 = FlashPage(0);
        QCOMPARE(uint8_t(page0[0]), uint8_t(0x00));
        QCOMPARE(uint8_t(page0[1]), uint8_t(0xFF));
        QCOMPARE(uint8_t(page0[2]), uint8_t(0x5A));
        QCOMPARE(page0, Complemented(file.left(256)));
        {
            QMutexLocker lock(&m_lock);
            // 32 erase blocks of 4096 bytes, each erased before its first page.
            QCOMPARE(m_devLines.filter(QStringLiteral("Flash执行擦除")).size(), 32);
        }
        // A backup now gives the same file back.
        const QString back = tmp->filePath("back.fw");
        dlg->BackupPath()->setText(back);
        service->answers = {true};
        dlg->BackupButton()->click();
        QVERIFY(dlg->WaitIdle(60000));
        QCOMPARE(ReadFile(back), file);
        QVERIFY(m_records.isEmpty());
    }

    void aFileOfTheWrongLengthIsRefusedBeforeAnythingIsWritten() {
        auto dlg = MakeDialog();
        const QByteArray before = FlashPage(0);
        for (int size : {kImageSize - 1, kImageSize + 1}) {
            const QString path = tmp->filePath(QStringLiteral("len%1.fw").arg(size));
            QVERIFY(WriteFile(path, PatternFile().leftJustified(size, '\x11', true)));
            dlg->UpgradePath()->setText(path);
            service->answers = {true};
            dlg->UpgradeButton()->click();
            QVERIFY(dlg->WaitIdle(10000));
            QCOMPARE(dlg->StatusLine()->text(), QStringLiteral("文件长度不匹配!"));
        }
        QCOMPARE(FlashPage(0), before);
        {
            QMutexLocker lock(&m_lock);
            QVERIFY(m_devLines.filter(QStringLiteral("Flash执行擦除")).isEmpty());
            QVERIFY(m_devLines.filter(QStringLiteral("Flash执行写入")).isEmpty());
            QCOMPARE(m_records.size(), 2);
            QCOMPARE(m_records[0].function, QStringLiteral("CFirmwareCtrl::WriteFlash"));
            QCOMPARE(m_records[0].text, QStringLiteral("文件长度不匹配!"));
            QVERIFY(m_records[0].level == fw::FirmwareLogLevel::Error);
        }
    }

    void aStopRequestEndsTheBackupWithoutTouchingTheFile() {
        SlowDevice();
        auto dlg = MakeDialog();
        const QString path = tmp->filePath("kept.fw");
        QVERIFY(WriteFile(path, "an earlier backup"));
        dlg->BackupPath()->setText(path);
        service->answers = {true};
        dlg->BackupButton()->click();
        QTest::qWait(300);
        QVERIFY(dlg->Running() == CFirmwareCtrl::Operation::Backup);
        service->answers = {true};
        QElapsedTimer t;
        t.start();
        dlg->StopButton()->click();
        QCOMPARE(service->asks.last(), QStringLiteral("确信要停止当前操作吗？"));
        QVERIFY(dlg->WaitIdle(10000));
        // Noticed at the first page that ends more than a second after the last status.
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(dlg->StatusLine()->text(), QStringLiteral("用户停止."));
        QVERIFY(dlg->Progress()->value() < kPages);
        QCOMPARE(ReadFile(path), QByteArray("an earlier backup"));
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files), QStringList({"kept.fw"}));
        QVERIFY(dlg->BackupButton()->isEnabled());
        QVERIFY(!dlg->StopButton()->isEnabled());
    }

    void closingDuringAnOperationAsksStopsAtTheNextPageAndWaits() {
        SlowDevice();
        auto dlg = MakeDialog();
        const QString path = tmp->filePath("new.fw");
        QVERIFY(WriteFile(path, PatternFile()));
        dlg->UpgradePath()->setText(path);
        dlg->show();
        service->answers = {true};
        dlg->UpgradeButton()->click();
        QTest::qWait(200);

        service->answers = {false};  // "No": the dialog stays and the upgrade goes on
        dlg->close();
        QCOMPARE(service->asks.last(), QStringLiteral("确信要停止当前操作吗？"));
        QVERIFY(dlg->isVisible());
        QVERIFY(dlg->Running() == CFirmwareCtrl::Operation::Upgrade);

        service->answers = {true};
        QElapsedTimer t;
        t.start();
        dlg->ExitButton()->click();
        QVERIFY(!dlg->ExitButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), 5000);
        // The page in progress was the last one, not a page a second later.
        QVERIFY2(t.elapsed() < 900, qPrintable(QString::number(t.elapsed())));
        QVERIFY(dlg->Running() == CFirmwareCtrl::Operation::None);
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        // Shown again, it is ready for the next operation and closes without a question.
        dlg->show();
        QVERIFY(dlg->ExitButton()->isEnabled() && dlg->UpgradeButton()->isEnabled());
        const int asked = int(service->asks.size());
        dlg->ExitButton()->click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(int(service->asks.size()), asked);
        dlg.reset();  // the worker is idle: destruction joins it at once
    }

    void destroyingTheDialogDuringAnOperationStopsTheWorkerFirst() {
        SlowDevice();
        const QString path = tmp->filePath("never.fw");
        {
            auto dlg = MakeDialog();
            dlg->BackupPath()->setText(path);
            service->answers = {true};
            dlg->BackupButton()->click();
            QTest::qWait(100);
        }
        QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files), QStringList());
    }

    void theEnduranceTestIsForServiceStaffAndLogsItsRounds() {
        QVERIFY(!MakeDialog()->TestButton()->isVisibleTo(nullptr));
        CFirmwareCtrl::SetServiceMode(true);
        auto dlg = MakeDialog();
        QVERIFY(!dlg->TestButton()->isHidden());
        service->answers = {true};
        dlg->TestButton()->click();
        QCOMPARE(service->asks, QStringList({QStringLiteral("确信要测试吗？")}));
        QTRY_VERIFY(Records().size() >= 1);
        service->answers = {true};
        dlg->StopButton()->click();
        QVERIFY(dlg->WaitIdle(10000));
        const auto records = Records();
        QVERIFY(records[0].level == fw::FirmwareLogLevel::Message);
        QCOMPARE(records[0].function, QStringLiteral("CFirmwareCtrl::FirmwareThreadFun"));
        QCOMPARE(records[0].text, QStringLiteral("测试次数:0"));
        QVERIFY(!dlg->StopButton()->isEnabled());
    }

    void theFileChoosersStartAtKvsFwAndACancelChangesNothing() {
        auto dlg = MakeDialog();
        QString offered, filter;
        const QString chosen = tmp->filePath("chosen.fw");
        service->onDialog = [&](QDialog& d) {
            auto& files = static_cast<QFileDialog&>(d);
            offered = QDir(files.directory())
                          .filePath(files.selectedFiles().value(0).section(QLatin1Char('/'), -1));
            filter = files.nameFilters().join(";");
            files.selectFile(chosen);
            return int(QDialog::Accepted);
        };
        dlg->findChild<QPushButton*>("chooseBackupFile")->click();
        QCOMPARE(offered, CFirmwareCtrl::DefaultFileName());
        QVERIFY(offered.endsWith(QStringLiteral("/KVS.fw")));
        QCOMPARE(filter, QStringLiteral("KVS固件(*.fw)"));
        QCOMPARE(dlg->BackupPath()->text(), chosen);
        QCOMPARE(service->dialogs, QStringList({"backupFileDialog"}));

        service->onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        dlg->findChild<QPushButton*>("chooseBackupFile")->click();
        dlg->findChild<QPushButton*>("chooseUpgradeFile")->click();
        QCOMPARE(dlg->BackupPath()->text(), chosen);
        QVERIFY(dlg->UpgradePath()->text().isEmpty());
    }

    void progressCountsPagesOfAnyNumber() {
        struct Case {
            int64_t done, total;
            int value, maximum;
        };
        const Case cases[] = {
            {0, 512, 0, 512},
            {512, 512, 512, 512},
            {65535, 65535, 65535, 65535},
            {1, 70000, 0, 65535},
            {35000, 70000, 32767, 65535},
            {70000, 70000, 65535, 65535},
            {1 << 30, 1 << 30, 65535, 65535},
        };
        for (const Case& c : cases) {
            auto p = CFirmwareCtrl::ScaleProgress(c.done, c.total);
            QCOMPARE(p.value, c.value);
            QCOMPARE(p.maximum, c.maximum);
        }
    }

  private:
    std::unique_ptr<CFirmwareCtrl> MakeDialog() {
        auto dlg = std::make_unique<CFirmwareCtrl>();
        dlg->SetLogSink([this](fw::FirmwareLogLevel level, const char*, const char* function, int,
                               const std::string& text) {
            QMutexLocker lock(&m_lock);
            m_records.push_back({level, QString::fromUtf8(function), QString::fromStdString(text)});
        });
        return dlg;
    }
    QList<LogRecord> Records() {
        QMutexLocker lock(&m_lock);
        return m_records;
    }
    // Every reply 3 ms late: a backup takes several seconds.
    void SlowDevice() {
        devsim::Faults slow;
        slow.delay_ms = 3;
        dev->SetFaults(slow);
    }

    std::unique_ptr<devsim::Device> dev;
    std::unique_ptr<CKvsDevice> device;
    std::unique_ptr<CRecordingService> service;
    std::unique_ptr<QTemporaryDir> tmp;
    QMutex m_lock;
    QStringList m_devLines;
    QList<LogRecord> m_records;
};

QTEST_MAIN(FirmwareDialogTest)
#include "firmware_dialog_test.moc"
