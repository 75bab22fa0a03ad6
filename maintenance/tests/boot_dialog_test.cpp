// The boot-loader dialogs: against the simulated controller behind a pseudo terminal (the
// serial way, in this process), against a silent one, and against the scripted fake device
// where a test must see which link was opened.
#include <QComboBox>
#include <QElapsedTimer>
#include <QMutex>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "app/device/device.h"
#include "app/device/fake_device.h"
#include "app/tests/test_support.h"
#include "devsim/device.h"
#include "maintenance/boot_dialogs.h"

namespace {
// The library's global connection, keeping the lines it logs (from any thread).
class CLoggingDevice : public CKvsDevice {
  public:
    void Log(int level, const QString& text) override {
        QMutexLocker lock(&m_lock);
        m_lines << QStringLiteral("%1 %2").arg(level).arg(text);
    }
    QStringList Lines() {
        QMutexLocker lock(&m_lock);
        return m_lines;
    }

  private:
    QMutex m_lock;
    QStringList m_lines;
};

// A fake that remembers which links were opened and offers USB controllers.
class CLinkFake : public CFakeDevice {
  public:
    std::vector<int> usb;
    QStringList opened;
    bool failOpen = false;
    std::vector<int> UsbDeviceIndexes() override { return usb; }
    bool OpenSerial(const QString& init) override {
        opened << QStringLiteral("serial ") + init;
        return !failOpen && CFakeDevice::OpenSerial(init);
    }
    bool OpenUsb(int index) override {
        opened << QStringLiteral("usb %1").arg(index);
        return !failOpen && CFakeDevice::OpenUsb(index);
    }
};

QByteArray Message(uint8_t cmd, uint32_t value, const QByteArray& payload) {
    QByteArray m(12, '\0');
    m[6] = char(cmd);
    for (int i = 0; i < 4; ++i) m[8 + i] = char(value >> (8 * i));
    m += payload;
    int32_t n = int32_t(m.size());
    for (int i = 0; i < 4; ++i) m[i] = char(n >> (8 * i));
    return m;
}
}  // namespace

class BootDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dev = devsim::Device::CreateDemo();
        std::string error;
        pty = QString::fromStdString(dev->StartPty("", &error));
        QVERIFY2(!pty.isEmpty(), error.c_str());
        device = std::make_unique<CLoggingDevice>();
        device->SetKey(QString::fromStdString(dev->Key()));
        service = std::make_unique<CRecordingService>();
    }
    void cleanup() {
        device->Close();
        device->SetMessageHandler(nullptr);
        device.reset();
        service.reset();
        dev.reset();
    }

    void enteringBootOverSerialShowsTheConfigurationAndSetsNormalMode() {
        BootCtrlDlg dlg(*device);
        dlg.Load();
        dlg.SelectWay(BootCtrlDlg::kSerial);
        dlg.PortList()->setEditText(pty);
        QStringList shown;
        service->onDialog = [&](QDialog& d) {
            auto& config = static_cast<BootConfig&>(d);
            shown << d.objectName() << d.windowTitle();
            // It opens on factory mode.
            if (!config.NormalMode() && config.FactoryButton()->isChecked()) shown << "factory";
            config.NormalButton()->click();
            config.Confirm();
            return int(QDialog::Rejected);  // "取消"
        };
        QVERIFY(dlg.EnterBoot());
        QCOMPARE(shown, QStringList({"BootConfig", QStringLiteral("BOOT配置选项"), "factory"}));
        QCOMPARE(service->informs, QStringList({QStringLiteral("设置普通模式成功 ")}));
        // The controller went through commands 51 and 54, and its information lines reached
        // the log through the boot link's message handler at their own level.
        QTRY_VERIFY(device->Lines().contains(QStringLiteral("2 KVS固件信息:  已设置为正常模式")));
        QVERIFY(device->Lines().contains(QStringLiteral("2 KVS固件信息:  进入BOOT模式")));

        QVERIFY(dlg.LeaveBoot());
        QCOMPARE(service->informs.last(), QStringLiteral("退出Boot模式成功"));
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QTRY_VERIFY(device->Lines().contains(QStringLiteral("2 KVS固件信息:  退出BOOT模式")));
    }

    void aSilentControllerFailsWithinHalfASecond() {
        devsim::Faults silent;
        silent.silent = true;
        dev->SetFaults(silent);
        BootCtrlDlg dlg(*device);
        dlg.Load();
        dlg.PortList()->setEditText(pty);
        QElapsedTimer t;
        t.start();
        QVERIFY(!dlg.EnterBoot());
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(service->informs, QStringList({QStringLiteral("进入boot失败 ")}));
        QVERIFY(service->dialogs.isEmpty());

        QVERIFY(!dlg.LeaveBoot());
        QCOMPARE(service->informs.last(),
                 QStringLiteral("退出Boot模式失败,请确认设备是否处于BOOT模式或通讯是否有故障"));
        QVERIFY(dlg.result() != QDialog::Accepted);  // stays open
    }

    void aLinkThatCannotBeOpenedSendsNothing() {
        BootCtrlDlg serial(*device);
        serial.Load();
        serial.PortList()->setEditText(QStringLiteral("/nonexistent/tty"));
        QVERIFY(!serial.EnterBoot());

        CLinkFake fake;
        fake.usb = {0};
        fake.failOpen = true;
        BootCtrlDlg usb(fake);
        usb.Load();
        QVERIFY(!usb.EnterBoot());
        QVERIFY(fake.m_log.isEmpty());
        QCOMPARE(service->informs, QStringList({QStringLiteral("初始化串口出错！"),
                                                QStringLiteral("初始化USB口出错！")}));
        QVERIFY(service->dialogs.isEmpty());
    }

    void theWayAndLinkFollowTheAttachedControllers() {
        // None attached: the serial way; a typed "COM3" opens COM3 at 115200-8-1, no parity.
        CLinkFake none;
        BootCtrlDlg serial(none);
        serial.Load();
        QCOMPARE(serial.Way(), int(BootCtrlDlg::kSerial));
        QVERIFY(serial.WayButton(BootCtrlDlg::kSerial)->isChecked());
        QCOMPARE(serial.UsbList()->count(), 0);
        serial.PortList()->setEditText(QStringLiteral("COM3"));
        service->onDialog = [](QDialog& d) {
            static_cast<BootConfig&>(d).Confirm();  // factory mode
            return int(QDialog::Rejected);
        };
        QVERIFY(serial.EnterBoot());
        QCOMPARE(none.opened, QStringList({QStringLiteral("serial COM3:115200-8-1-0")}));
        QCOMPARE(none.m_log, QStringList({"InBoot 0", "InBoot 2"}));
        QCOMPARE(service->informs, QStringList({QStringLiteral("设置出厂模式成功 ")}));

        // Two attached: "Index n" each, the USB way, the first one opened.
        CLinkFake two;
        two.usb = {3, 5};
        BootCtrlDlg usb(two);
        usb.Load();
        QCOMPARE(usb.Way(), int(BootCtrlDlg::kUsb));
        QVERIFY(usb.WayButton(BootCtrlDlg::kUsb)->isChecked());
        QCOMPARE(usb.UsbList()->itemText(0), QStringLiteral("Index 3"));
        QCOMPARE(usb.UsbList()->itemText(1), QStringLiteral("Index 5"));
        usb.UsbList()->setCurrentIndex(1);
        QVERIFY(usb.EnterBoot());
        QCOMPARE(two.opened, QStringList({QStringLiteral("usb 5")}));
    }

    void unsolicitedMessagesBecomeLogLinesAtTheirLevels() {
        const QByteArray name = ToGbk(QStringLiteral("定时器-1.输出"));
        const QByteArray first = QByteArray(1, char(1)) + ToGbk(QStringLiteral("版本 1.0")) + '\0';
        const QByteArray second = QByteArray(1, char(3)) + QByteArray("ok", 3);
        struct Case {
            QByteArray message;
            std::vector<std::pair<int, QString>> lines;
        };
        const Case cases[] = {
            {Message(20, 0, name + '\0' + "12" + '\0'),
             {{2, QStringLiteral("收到监控事件--属性名:定时器-1.输出,当前值:12")}}},
            // An event that ends after its name shows an empty value.
            {Message(20, 0, name),
             {{2, QStringLiteral("收到监控事件--属性名:定时器-1.输出,当前值:")}}},
            {Message(100, 2, first + second),
             {{1, QStringLiteral("KVS固件信息:  版本 1.0")},
              {3, QStringLiteral("KVS固件信息:  ok")}}},
            // A count larger than the entries present stops at the message's end.
            {Message(100, 9, first), {{1, QStringLiteral("KVS固件信息:  版本 1.0")}}},
            {Message(33, 0, {}), {{2, QStringLiteral("收到不能识别的KVS消息类型")}}},
            {QByteArray(5, '\0'), {}},
        };
        for (const Case& c : cases) QCOMPARE(BootCtrlDlg::MessageLines(c.message), c.lines);
    }

  private:
    std::unique_ptr<devsim::Device> dev;
    QString pty;
    std::unique_ptr<CLoggingDevice> device;
    std::unique_ptr<CRecordingService> service;
};

QTEST_MAIN(BootDialogTest)
#include "boot_dialog_test.moc"
