// The startup-parameter dialog against the simulated controller in this process (UDP on
// loopback, in a private network namespace) and, where a test must see exactly which requests
// are made, against the scripted fake device.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "app/common/ip_address_edit.h"
#include "app/device/device.h"
#include "app/device/fake_device.h"
#include "app/tests/test_support.h"
#include "devsim/device.h"
#include "maintenance/dialog_gloable_set.h"
#include "maintenance/global_settings.h"

namespace gs = global_settings;

namespace {
void Choose(QComboBox* box, const QString& item) {
    int i = box->findText(item);
    QVERIFY2(i >= 0, qPrintable(item));
    box->setCurrentIndex(i);
}
}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        device = std::make_unique<CKvsDevice>();
        device->SetKey(QString::fromStdString(dev->Key()));
        device->SetRequestWait(2000);
        QVERIFY(device->OpenUdp({127, 0, 0, 1}));
        service = std::make_unique<CRecordingService>();
    }
    void cleanup() {
        device->Close();
        device.reset();
        service.reset();
        dev.reset();
    }

    void serialByteAndListPositionsMapBothWays() {
        struct Case {
            uint8_t byte;
            const char *baud, *dataBits, *stopBits, *parity;
        };
        const Case cases[] = {
            {0x53, "115200", "8", "1", "奇校验"},
            {0xA0, "9600", "6", "2", "偶校验"},
            {0x0A, "38400", "7", "1", "无校验"},
        };
        for (const Case& c : cases) {
            gs::SerialPositions p = gs::PositionsFromSerialByte(c.byte);
            QCOMPARE(gs::BaudItems().value(p.baud), QString::fromUtf8(c.baud));
            QCOMPARE(gs::DataBitsItems().value(p.dataBits), QString::fromUtf8(c.dataBits));
            QCOMPARE(gs::StopBitsItems().value(p.stopBits), QString::fromUtf8(c.stopBits));
            QCOMPARE(gs::ParityItems().value(p.parity), QString::fromUtf8(c.parity));
            QCOMPARE(gs::SerialByteFromPositions(p, 0), c.byte);
        }
        // Codes that no item shows (baud 7, data bits 3, parity 3) are kept as they were read.
        gs::SerialPositions unknown = gs::PositionsFromSerialByte(0xFF);
        QCOMPARE(unknown, (gs::SerialPositions{-1, -1, 1, -1}));
        QCOMPARE(gs::SerialByteFromPositions(unknown, 0xFF), uint8_t(0xFF));
    }

    void openingShowsTheControllersParameters() {
        CDialogGloableSet dlg(*device);
        QVERIFY(dlg.Load());
        QCOMPARE(dlg.DeviceList()->currentText(), QStringLiteral("UDP口通讯"));
        QCOMPARE(dlg.SlotList()->currentText(), QStringLiteral("配置文件槽位0"));
        // The controller's serial byte is 0x53.
        QCOMPARE(dlg.BaudList()->currentText(), QStringLiteral("115200"));
        QCOMPARE(dlg.DataBitsList()->currentText(), QStringLiteral("8"));
        QCOMPARE(dlg.StopBitsList()->currentText(), QStringLiteral("1"));
        QCOMPARE(dlg.ParityList()->currentText(), QStringLiteral("奇校验"));
        QCOMPARE(dlg.AddressEdit(0)->Text(), QStringLiteral("192.168.1.100"));
        QCOMPARE(dlg.AddressEdit(1)->Text(), QStringLiteral("255.255.255.0"));
        QCOMPARE(dlg.AddressEdit(2)->Text(), QStringLiteral("192.168.1.1"));
        QCOMPARE(dlg.AddressEdit(3)->Text(), QStringLiteral("192.168.1.10"));
        QCOMPARE(dlg.PortEdit(0)->text(), QStringLiteral("30000"));
        QCOMPARE(dlg.PortEdit(2)->text(), QStringLiteral("502"));
        QCOMPARE(dlg.KeyEdit()->text(), QString::fromStdString(dev->Key()));
        QVERIFY(service->informs.isEmpty());
    }

    void everyFieldRoundTripsThroughTheController() {
        {
            CDialogGloableSet dlg(*device);
            QVERIFY(dlg.Load());
            Choose(dlg.DeviceList(), QStringLiteral("USB口通讯"));
            Choose(dlg.SlotList(), QStringLiteral("配置文件槽位4"));
            Choose(dlg.BaudList(), "9600");
            Choose(dlg.DataBitsList(), "6");
            Choose(dlg.StopBitsList(), "2");
            Choose(dlg.ParityList(), QStringLiteral("偶校验"));
            const std::array<uint8_t, 4> addresses[4] = {
                {10, 1, 2, 3}, {255, 255, 0, 0}, {10, 1, 0, 254}, {172, 16, 9, 200}};
            for (int i = 0; i < 4; ++i) dlg.AddressEdit(i)->SetAddress(addresses[i]);
            const char* ports[4] = {"4001", "-5", "1502", "2147483647"};
            for (int i = 0; i < 4; ++i) dlg.PortEdit(i)->setText(ports[i]);
            dlg.KeyEdit()->setText("AB12cd34");
            dlg.accept();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(service->informs,
                     QStringList({QStringLiteral("KVS启动参数改变，重启动后该参数生效!")}));
        }
        // What the controller now holds, as its own reply gives it.
        uint8_t slot = 0, way = 0, serial = 0;
        T_GLOAT_SET r{};
        QVERIFY(device->ConfigFileOperate(4, &slot, &way, &serial, &r).Ok());
        QCOMPARE(int(slot), 4);
        QCOMPARE(int(way), 2);
        QCOMPARE(int(serial), 0xA0);
        QCOMPARE(r.serverPort, 0xFFFFFFFBu);
        QCOMPARE(r.serverListenPort, 2147483647u);
        QCOMPARE(QByteArray(r.key, 8), QByteArray("AB12cd34"));
        QCOMPARE(int(r.gateway[3]), 254);

        CDialogGloableSet again(*device);
        QVERIFY(again.Load());
        QCOMPARE(again.DeviceList()->currentText(), QStringLiteral("USB口通讯"));
        QCOMPARE(again.SlotList()->currentText(), QStringLiteral("配置文件槽位4"));
        QCOMPARE(again.BaudList()->currentText(), QStringLiteral("9600"));
        QCOMPARE(again.DataBitsList()->currentText(), QStringLiteral("6"));
        QCOMPARE(again.StopBitsList()->currentText(), QStringLiteral("2"));
        QCOMPARE(again.ParityList()->currentText(), QStringLiteral("偶校验"));
        QCOMPARE(again.AddressEdit(0)->Text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(again.AddressEdit(1)->Text(), QStringLiteral("255.255.0.0"));
        QCOMPARE(again.AddressEdit(2)->Text(), QStringLiteral("10.1.0.254"));
        QCOMPARE(again.AddressEdit(3)->Text(), QStringLiteral("172.16.9.200"));
        QCOMPARE(again.PortEdit(0)->text(), QStringLiteral("4001"));
        QCOMPARE(again.PortEdit(1)->text(), QStringLiteral("-5"));
        QCOMPARE(again.PortEdit(2)->text(), QStringLiteral("1502"));
        QCOMPARE(again.PortEdit(3)->text(), QStringLiteral("2147483647"));
        QCOMPARE(again.KeyEdit()->text(), QStringLiteral("AB12cd34"));
    }

    void aKeyThatIsNotEightCharactersSendsNothingAndStaysOpen() {
        // The last has eight characters, but sixteen bytes: they would not fit the record.
        const char* keys[] = {"123456789", "1234567", "秘钥秘钥秘钥秘钥"};
        for (const char* key : keys) {
            CFakeDevice fake;
            CRecordingService answers;
            CDialogGloableSet dlg(fake);
            QVERIFY(dlg.Load());
            dlg.KeyEdit()->setText(QString::fromUtf8(key));
            dlg.accept();
            QCOMPARE(answers.informs,
                     QStringList({QStringLiteral("秘钥修改失败，秘钥必须为8位！！")}));
            QCOMPARE(fake.m_log, QStringList({"ConfigFileOperate 4"}));
            QVERIFY(dlg.result() != QDialog::Accepted);
        }
    }

    void aSilentControllerGivesTheReadingAndSavingMessages() {
        CFakeDevice fake;
        fake.FallSilentAfter(0);
        CDialogGloableSet dlg(fake);
        QVERIFY(!dlg.Load());
        QCOMPARE(service->informs, QStringList({QStringLiteral("读取全局配置错误!")}));
        QCOMPARE(dlg.BaudList()->currentIndex(), -1);
        QCOMPARE(dlg.DeviceList()->currentIndex(), -1);
        QVERIFY(dlg.KeyEdit()->text().isEmpty());
        QVERIFY(dlg.AddressEdit(0)->Field(0)->text().isEmpty());

        for (int i = 0; i < 4; ++i) dlg.AddressEdit(i)->SetAddress({1, 2, 3, 4});
        dlg.KeyEdit()->setText("12345678");
        dlg.accept();
        QCOMPARE(service->informs.last(), QStringLiteral("保存全局配置错误!"));
        QCOMPARE(fake.m_log.last(), QStringLiteral("ConfigFileOperate 5"));
        QCOMPARE(dlg.result(), int(QDialog::Accepted));  // closed in both cases
    }

  private:
    std::unique_ptr<devsim::Device> dev;
    std::unique_ptr<CKvsDevice> device;
    std::unique_ptr<CRecordingService> service;
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
