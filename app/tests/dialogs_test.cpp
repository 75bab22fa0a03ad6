// The connection dialog without a device: defaults, what each way enables, the link text it
// builds and the key check.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "maintenance/dlg_dev_sel.h"
#include "test_support.h"

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    // The simulated USB driver with nothing plugged in: no controller, whatever this machine has.
    void initTestCase() { qputenv("KVSH_USB_SIM", ""); }

    void opensOnSerialWithTheDefaultsWhenNoUsbControllerIsAttached() {
        CDlgDevSel dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("请选择通讯方式"));
        QCOMPARE(dlg.Way(), int(CDlgDevSel::kSerial));
        QVERIFY(dlg.WayButton(0)->isChecked());
        QCOMPARE(dlg.BaudList()->currentText(), QStringLiteral("115200"));
        QCOMPARE(dlg.DataBitsList()->currentText(), QStringLiteral("8"));
        QCOMPARE(dlg.StopBitsList()->currentText(), QStringLiteral("1"));
        QCOMPARE(dlg.ParityList()->currentText(), QStringLiteral("无校验"));
        QCOMPARE(dlg.KeyEdit()->text(), QStringLiteral("62719405"));
        QCOMPARE(dlg.UsbList()->count(), 0);
    }

    void eachWayEnablesOnlyItsOwnControls() {
        CDlgDevSel dlg;
        struct Case {
            int way;
            bool serial, usb, address;
        } cases[] = {{0, true, false, false}, {1, false, true, false}, {2, false, false, true}};
        for (const Case& c : cases) {
            dlg.WayButton(c.way)->click();
            QCOMPARE(dlg.Way(), c.way);
            for (QComboBox* box : {dlg.PortList(), dlg.BaudList(), dlg.DataBitsList(),
                                   dlg.StopBitsList(), dlg.ParityList()})
                QCOMPARE(box->isEnabled(), c.serial);
            QCOMPARE(dlg.UsbList()->isEnabled(), c.usb);
            QCOMPARE(dlg.AddressControl()->isEnabled(), c.address);
            QVERIFY(dlg.KeyEdit()->isEnabled());
        }
    }

    void serialOkBuildsTheLinkTextFromTheListsAndATypedPath() {
        CRecordingService service;
        CDlgDevSel dlg;
        dlg.SelectWay(CDlgDevSel::kSerial);
        dlg.PortList()->setEditText(QStringLiteral("/dev/pts/7"));
        dlg.BaudList()->setCurrentText(QStringLiteral("9600"));
        dlg.ParityList()->setCurrentText(QStringLiteral("偶校验"));
        dlg.StopBitsList()->setCurrentText(QStringLiteral("2"));
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.LinkText(), QStringLiteral("/dev/pts/7:9600-8-2-偶校验"));
        QVERIFY(service.informs.isEmpty());
    }

    void udpOkKeepsTheAddressBytes() {
        CRecordingService service;
        CDlgDevSel dlg;
        dlg.SelectWay(CDlgDevSel::kUdp);
        dlg.SetAddress({10, 0, 200, 255});
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.Way(), 2);
        QVERIFY((dlg.Address() == std::array<uint8_t, 4>{10, 0, 200, 255}));
        QCOMPARE(dlg.Key(), QStringLiteral("62719405"));
    }

    void usbWithoutControllerYieldsNoDeviceIndex() {
        CRecordingService service;
        CDlgDevSel dlg;
        QCOMPARE(dlg.UsbList()->count(), 0);
        dlg.SelectWay(CDlgDevSel::kUsb);
        dlg.accept();
        // Not index 0 of a list that is empty: opening it fails instead of reaching some device.
        QCOMPARE(dlg.DeviceIndex(), -1);
    }

    void aKeyOfAnyOtherLengthKeepsTheDialogOpen() {
        for (QString key : {QStringLiteral("1234567"), QStringLiteral("123456789"), QString(),
                            QStringLiteral("密钥密钥密钥密钥")}) {
            CRecordingService service;
            CDlgDevSel dlg;
            dlg.SelectWay(CDlgDevSel::kUdp);
            dlg.KeyEdit()->setText(key);
            dlg.show();
            dlg.accept();
            QVERIFY2(dlg.isVisible(), qPrintable(key));
            QCOMPARE(service.informs, QStringList({QStringLiteral("秘钥应该为8位")}));
            QCOMPARE(dlg.Key(), QString());
        }
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
