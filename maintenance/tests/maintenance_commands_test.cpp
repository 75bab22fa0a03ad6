// The frame's maintenance commands open their dialogs, loaded from the simulated controller in
// this process (UDP on loopback, in a private network namespace), with the firmware records
// going to the sink the frame gives.
#include "maintenance/maintenance_commands.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <map>
#include <memory>

#include "app/common/commands.h"
#include "app/device/device.h"
#include "app/tests/test_support.h"
#include "devsim/device.h"
#include "maintenance/boot_dialogs.h"
#include "maintenance/dialog_gloable_set.h"

class MaintenanceCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void eachCommandOpensItsDialogLoaded() {
        auto dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        CKvsDevice device;
        device.SetKey(QString::fromStdString(dev->Key()));
        QVERIFY(device.OpenUdp({127, 0, 0, 1}));
        CRecordingService service;
        int records = 0;
        std::map<int, std::function<void()>> handlers;
        RegisterMaintenanceCommands(
            [&](int id, std::function<void()> h) { handlers[id] = std::move(h); }, device, nullptr,
            [&](kvs::fw::FirmwareLogLevel, const char*, const char*, int, const std::string&) {
                ++records;
            });
        QCOMPARE(handlers.size(), size_t(3));

        QStringList seen;
        service.onDialog = [&](QDialog& d) {
            seen << d.objectName();
            if (auto* settings = qobject_cast<CDialogGloableSet*>(&d))
                seen << settings->KeyEdit()->text();
            if (auto* firmware = qobject_cast<CFirmwareCtrl*>(&d)) {
                // An upgrade of a file that is not there: one error record through the sink.
                firmware->UpgradePath()->setText(QStringLiteral("/nonexistent/KVS.fw"));
                service.answers = {true};
                firmware->UpgradeButton()->click();
                firmware->WaitIdle(10000);
                seen << QString::number(records);
            }
            return int(QDialog::Rejected);
        };
        handlers[ID_GLOBAL_SET]();
        handlers[ID_BOOT]();
        handlers[ID_FIRMWARE]();
        QCOMPARE(seen, QStringList({"CDialogGloableSet", QString::fromStdString(dev->Key()),
                                    "BootCtrlDlg", "CFirmwareCtrl", "1"}));
        QVERIFY(service.informs.isEmpty());
        device.Close();
    }
};

QTEST_MAIN(MaintenanceCommandsTest)
#include "maintenance_commands_test.moc"
