// The connection dialog on a scripted device: defaults, what each way enables, the link text
// it builds, the key check and the address entry's keys.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "app/common/ip_address_edit.h"
#include "app/device/fake_device.h"
#include "maintenance/dlg_dev_sel.h"
#include "test_support.h"

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { dev = std::make_unique<CFakeDevice>(); }

    void opensOnSerialWithTheDefaultsWhenNoUsbControllerIsAttached() {
        CDlgDevSel dlg(*dev);
        dlg.Load();
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
        CDlgDevSel dlg(*dev);
        dlg.Load();
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
        CDlgDevSel dlg(*dev);
        dlg.Load();
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
        CDlgDevSel dlg(*dev);
        dlg.Load();
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
        CDlgDevSel dlg(*dev);
        dlg.Load();
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
            CDlgDevSel dlg(*dev);
            dlg.Load();
            dlg.SelectWay(CDlgDevSel::kUdp);
            dlg.KeyEdit()->setText(key);
            dlg.show();
            dlg.accept();
            QVERIFY2(dlg.isVisible(), qPrintable(key));
            QCOMPARE(service.informs, QStringList({QStringLiteral("秘钥应该为8位")}));
            QCOMPARE(dlg.Key(), QString());
            QCOMPARE(dev->m_key, QString());  // the key byte is left as it was
        }
    }

    void okSetsTheKeyAndAUsbControllerIsProposed() {
        CRecordingService service;
        dev->m_usbIndexes = {2};
        CDlgDevSel dlg(*dev);
        QCOMPARE(dlg.UsbList()->count(), 0);  // nothing is asked before Load
        dlg.Load();
        QCOMPARE(dlg.UsbList()->itemText(0), QStringLiteral("Index 2"));
        QCOMPARE(dlg.Way(), int(CDlgDevSel::kUsb));
        dlg.accept();
        QCOMPARE(dlg.DeviceIndex(), 2);
        QCOMPARE(dev->m_key, QStringLiteral("62719405"));
    }

    void addressEntryTypesLikeAnAddressControl_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("address");
        QTest::newRow("dots move on") << "127.0.0.9"
                                      << "127.0.0.9";
        QTest::newRow("a third digit moves on") << "192168001010"
                                                << "192.168.1.10";
        QTest::newRow("a dot after a full field is not a second move") << "10.255.1.2"
                                                                       << "10.255.1.2";
        QTest::newRow("values above 255 are clamped") << "300.1.2.999"
                                                      << "255.1.2.255";
        QTest::newRow("letters are dropped") << "1a.b2.3.4"
                                             << "1.2.3.4";
        QTest::newRow("a lone dot stays in its field") << ".5.6.7.8"
                                                       << "5.6.7.8";
    }

    void addressEntryTypesLikeAnAddressControl() {
        QFETCH(QString, typed);
        QFETCH(QString, address);
        CIpAddressEdit edit;
        edit.show();
        QApplication::setActiveWindow(&edit);
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        edit.Field(0)->setFocus();
        for (QChar c : typed) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            QTest::keyClick(focus, c.toLatin1());
        }
        QCOMPARE(edit.Text(), address);
    }

    void addressEntryTakesAPastedAddressAndBackspaceGoesBack() {
        CIpAddressEdit edit;
        edit.show();
        QApplication::setActiveWindow(&edit);
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        edit.Field(0)->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("10.20.30.40"));
        QTest::keySequence(edit.Field(0), QKeySequence::Paste);
        QCOMPARE(edit.Text(), QStringLiteral("10.20.30.40"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit.Field(3)));
        // Backspace through the last field and on into the one before it.
        for (int i = 0; i < 3; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit.Field(2)));
        QCOMPARE(edit.Text(), QStringLiteral("10.20.3.0"));
    }

  private:
    std::unique_ptr<CFakeDevice> dev;
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
