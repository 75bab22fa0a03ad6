// The main frame against the simulated controller in this process (UDP on loopback, run in a
// private network namespace): the connect flow and its failures, the enable rules in each
// state, the device commands, the slot dialog, and device messages in the output pane.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/common/commands.h"
#include "app/common/frame_events.h"
#include "app/main_frame.h"
#include "app/output_bar.h"
#include "browser/component_tree.h"
#include "devsim/device.h"
#include "devsim/usb_controller.h"
#include "maintenance/dlg_dev_sel.h"
#include "maintenance/dlg_slot_sel.h"
#include "test_support.h"

namespace {
const std::string kManager = "组件管理器";

LinkParams Udp() {
    LinkParams p;
    p.way = 2;
    p.address = {127, 0, 0, 1};
    return p;
}

QStringList OutputTexts(CMainFrame& frame) {
    QStringList texts;
    COutputList* list = frame.OutputBar()->List();
    for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(2);
    return texts;
}

std::string Value(devsim::Device& dev, const std::string& comp, const std::string& attr) {
    std::string v;
    dev.GetValue(comp, attr, &v);
    return v;
}
}  // namespace

class FrameDeviceTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        QSettings(QString::fromUtf8(SettingsKey::kOrganization), "Korvessa").clear();
        dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        KVSGetKey(dev->Key().c_str());
        service = std::make_unique<CRecordingService>();
        frame = std::make_unique<CMainFrame>();
    }
    void cleanup() {
        frame.reset();  // closes the link first
        service.reset();
        dev.reset();
    }

    void connectThroughTheDialogReadsTheTreeAndTheRunningState() {
        dev->SetValue(kManager, "运行状态", "true");
        service->onDialog = [](QDialog& d) {
            auto& dlg = static_cast<CDlgDevSel&>(d);
            dlg.SelectWay(CDlgDevSel::kUdp);
            dlg.SetAddress({127, 0, 0, 1});
            dlg.accept();
            return dlg.result();
        };
        frame->Execute(ID_CONNECT);
        QCOMPARE(service->dialogs, QStringList({"CDlgDevSel"}));
        QVERIFY(service->informs.isEmpty());
        QVERIFY(frame->IsConnected());
        QVERIFY(frame->IsRunning());
        // The tree lists every instance the device holds, under its type.
        QStringList expected;
        for (const std::string& c : dev->ListComponents())
            if (c != kManager) expected << QString::fromStdString(c);
        QStringList listed = frame->Tree()->InstanceList().split(';', Qt::SkipEmptyParts);
        std::sort(expected.begin(), expected.end());
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, expected);
        QVERIFY(frame->AnalyzerBar()->isVisibleTo(frame.get()));
    }

    void cancellingTheDialogOpensNothing() {
        service->onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        frame->Execute(ID_CONNECT);
        QVERIFY(!frame->IsConnected());
        QVERIFY(!KVS_GetAttrVal(ToGbk(QStringLiteral("组件管理器")).constData(),
                                ToGbk(QStringLiteral("运行状态")).constData()));
    }

    void eachWaysOpenFailureShowsItsMessage() {
        // Port 30000 taken: the UDP link cannot be opened.
        int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(30000);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

        LinkParams serial;
        serial.way = 0;
        serial.linkText = QStringLiteral("/nonexistent/tty:115200-8-1-无校验");
        LinkParams usb;
        usb.way = 1;
        usb.deviceIndex = 99;
        for (const LinkParams& p : {serial, usb, Udp()}) QVERIFY(!frame->ConnectWith(p));
        ::close(s);
        QCOMPARE(service->informs,
                 QStringList({"初始化串口出错！", "初始化USB口出错！", "初始化UDP口出错！"}));
        QVERIFY(!frame->IsConnected());
        QVERIFY(frame->Action(ID_CONNECT)->isEnabled());
    }

    void aTreeRequestWithoutAnswerLeavesTheFrameDisconnected() {
        frame->Device().SetRequestWait(500);  // the connection's own wait, not the default 10 s
        devsim::Faults silent;
        silent.silent = true;
        dev->SetFaults(silent);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!frame->ConnectWith(Udp()));  // one time-out, no more
        QVERIFY(clock.elapsed() < 2 * 500);
        QVERIFY(service->informs.isEmpty());  // the library reports the time-out itself
        // The status bar says why nothing happened, for a while.
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("下位机无应答"));
        QVERIFY(!frame->IsConnected());
        QVERIFY(frame->Action(ID_CONNECT)->isEnabled());
        QVERIFY(!frame->Action(ID_DISCONNECT)->isEnabled());
        QCOMPARE(frame->Tree()->topLevelItemCount(), 0);
        // The link stayed open: once the device answers again, connecting succeeds.
        dev->SetFaults({});
        QVERIFY(frame->ConnectWith(Udp()));
    }

    void aDeviceFallingSilentHalfwayCostsOneWaitReportedOnce() {
        const int wait = 400;
        frame->Device().SetRequestWait(wait);
        // The view loads its diagram from the device, which falls silent just then; the strip
        // and the running state come after it in the same operation.
        struct View : IDiagramView {
            std::function<void()> onLoad;
            void ClearDiagram() override {}
            void LoadDiagram(const QString&) override { onLoad(); }
            bool SelectItemByName(const QString&) override { return true; }
            bool ReloadComponent(const QString&) override { return true; }
            bool ReloadComment(const QString&) override { return true; }
            bool HasItem(const QString&) override { return false; }
            bool DeleteItem(const QString&) override { return false; }
        } view;
        struct Strip : ISamplingStrip {
            CDevice* device = nullptr;
            DeviceStatus seen;
            void RefreshSampling() override {
                seen = device->GetAttrVal(QStringLiteral("组件管理器"), QStringLiteral("启动采样"));
            }
        } strip;
        strip.device = &frame->Device();
        devsim::Faults silent;
        silent.silent = true;
        view.onLoad = [&] {
            dev->SetFaults(silent);
            frame->Device().GetAttrVal(QStringLiteral("开关-1"), QStringLiteral("开关状态"));
        };
        frame->AttachView(&view);
        frame->AttachStrip(&strip);
        auto reports = [&](const QString& line) { return OutputTexts(*frame).count(line); };

        QElapsedTimer clock;
        clock.start();
        frame->ConnectWith(Udp());
        QVERIFY2(clock.elapsed() < 2 * wait, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(strip.seen.NoAnswer());
        QVERIFY(!frame->IsRunning());  // no reply counts as not running
        QTRY_COMPARE(reports(QStringLiteral("连接下位机: 下位机无应答")), 1);

        // Reload after a download: the same, and no success is announced.
        dev->SetFaults({});
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("p.kvs"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ToGbk(QString::fromStdString(dev->ExportConfig())));
        f.close();
        clock.restart();
        frame->OpenDocumentFile(path);
        QVERIFY2(clock.elapsed() < 2 * wait, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!service->informs.contains(QStringLiteral("下位机载新的配置成功!")));
        QTRY_COMPARE(reports(QStringLiteral("装载配置: 下位机无应答")), 1);
        frame->AttachView(nullptr);
        frame->AttachStrip(nullptr);
    }

    void restartReadsTheRunningStateOnceTheDeviceAnswers() {
        dev->SetValue(kManager, "运行状态", "true");
        QVERIFY(frame->ConnectWith(Udp()));
        QVERIFY(frame->IsRunning());
        service->answers = {true};
        frame->Execute(ID_RESTART);
        QVERIFY(!dev->Running());
        QVERIFY(!frame->IsRunning());  // the device came back stopped: run is possible again
        QVERIFY(frame->Action(ID_RUN)->isEnabled());

        // A device that does not answer within one wait leaves the flag as it was.
        frame->Execute(ID_RUN);
        frame->Device().SetRequestWait(300);
        devsim::Faults silent;
        silent.silent = true;
        dev->SetFaults(silent);
        service->answers = {true};
        frame->Execute(ID_RESTART);
        QVERIFY(frame->IsRunning());
    }

    void serialWayConnectsThroughATypedPath() {
        std::string error;
        QString tty = QDir::temp().filePath(QStringLiteral("kvs-frame-tty-%1").arg(::getpid()));
        QVERIFY2(!dev->StartPty(tty.toStdString(), &error).empty(), error.c_str());
        service->onDialog = [&](QDialog& d) {
            auto& dlg = static_cast<CDlgDevSel&>(d);
            dlg.SelectWay(CDlgDevSel::kSerial);
            dlg.PortList()->setEditText(tty);
            dlg.accept();
            return dlg.result();
        };
        frame->Execute(ID_CONNECT);
        QVERIFY2(frame->IsConnected(), qPrintable(service->informs.join(',')));
        QCOMPARE(frame->Link().linkText, tty + QStringLiteral(":115200-8-1-无校验"));
        QVERIFY(frame->Tree()->InstanceList().contains(QStringLiteral("定时器-5;")));
    }

    void usbWayListsTheControllersAndOpensTheChosenOne() {
        // Two simulated USB controllers; the second holds a counter the first lacks.
        auto second = devsim::Device::CreateEmpty();
        std::string counter = second->AddComponent("计数器");
        QString base = QDir::temp().filePath(QStringLiteral("kvs-frame-usb-%1").arg(::getpid()));
        devsim::UsbController usb0(*dev, (base + "-0").toStdString());
        devsim::UsbController usb1(*second, (base + "-1").toStdString());
        QVERIFY(usb0.Plug());
        QVERIFY(usb1.Plug());
        qputenv("KVSH_USB_SIM", (base + "-0:" + base + "-1").toUtf8());
        QStringList listed;
        service->onDialog = [&](QDialog& d) {
            auto& dlg = static_cast<CDlgDevSel&>(d);
            for (int i = 0; i < dlg.UsbList()->count(); ++i) listed << dlg.UsbList()->itemText(i);
            if (dlg.Way() != CDlgDevSel::kUsb) return int(QDialog::Rejected);  // opens on USB
            dlg.UsbList()->setCurrentIndex(1);
            dlg.accept();
            return dlg.result();
        };
        frame->Execute(ID_CONNECT);
        qunsetenv("KVSH_USB_SIM");
        QCOMPARE(listed, QStringList({"Index 0", "Index 1"}));
        QVERIFY2(frame->IsConnected(), qPrintable(service->informs.join(',')));
        QCOMPARE(frame->Link().deviceIndex, 1);
        QCOMPARE(frame->Tree()->InstanceList(), QString::fromStdString(counter) + ";");
        frame.reset();  // the link goes before the controllers
    }

    void projectFilesSaveTheDeviceTextAndOpenItBack() {
        QVERIFY(frame->ConnectWith(Udp()));
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("工程.kvs"));
        service->fileToSave = path;
        frame->Execute(ID_FILE_SAVE);
        QCOMPARE(service->informs.takeFirst(), QStringLiteral("保存当前下位机配置成功！"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QByteArray text = saved.readAll();
        QCOMPARE(text, ToGbk(QString::fromStdString(dev->ExportConfig())));  // exactly the text
        QVERIFY(frame->windowTitle().startsWith(QStringLiteral("工程.kvs")));
        QCOMPARE(frame->RecentFiles().value(0), QFileInfo(path).absoluteFilePath());

        // Change the device, then open the project: the device gets the file's configuration
        // back and the tree follows.
        std::string added = dev->AddComponent("数值常量");
        QVERIFY(!added.empty());
        service->fileToOpen = path;
        frame->Execute(ID_FILE_OPEN);
        QCOMPARE(service->informs, QStringList({"下位机载新的配置成功!"}));
        std::vector<std::string> names = dev->ListComponents();
        QVERIFY(std::find(names.begin(), names.end(), added) == names.end());
        QVERIFY(!frame->Tree()->InstanceList().contains(QString::fromStdString(added)));
        QCOMPARE(frame->PropertyBar()->windowTitle(), QStringLiteral("属性    "));
    }

    void aFailedSaveKeepsTheFileAndAFailedOpenSaysSo() {
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("old.kvs"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier content");
        }
        // Disconnected: opening (as from the command line) fails with the load message and the
        // title still names the file.
        frame->OpenDocumentFile(path);
        QCOMPARE(service->informs, QStringList({"下位机装载配置出错!"}));
        QVERIFY(frame->windowTitle().startsWith(QStringLiteral("old.kvs")));

        QVERIFY(frame->ConnectWith(Udp()));
        devsim::Faults bad;
        bad.malformed = 1;
        dev->SetFaults(bad);
        service->informs.clear();
        frame->SaveDocumentFile(path);
        QCOMPARE(service->informs, QStringList({"获取下位机配置出错，保存失败"}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("earlier content"));
    }

    void newProjectClearsTheDevice() {
        QVERIFY(frame->ConnectWith(Udp()));
        frame->Execute(ID_RUN);
        service->answers = {true};  // yes, clear the device's configuration
        frame->Execute(ID_FILE_NEW);
        QCOMPARE(service->asks, QStringList({CKorvessaDoc::ClearQuestion()}));
        QVERIFY(service->informs.isEmpty());
        QVERIFY(!frame->IsRunning());
        QVERIFY(!dev->Running());
        QCOMPARE(frame->Tree()->InstanceList(), QString());
        QVERIFY(frame->windowTitle().startsWith(QStringLiteral("无标题")));

        devsim::Faults bad;
        bad.malformed = 1;
        dev->SetFaults(bad);
        service->answers = {true};
        frame->Execute(ID_FILE_NEW);
        QCOMPARE(service->informs, QStringList({"清理当前工程配置失败!"}));
    }

    void enableRulesFollowTheTwoFlags() {
        struct Row {
            int id;
            bool disconnected, stopped, running;
        } rows[] = {
            {ID_CONNECT, true, false, false},
            {ID_DISCONNECT, false, true, true},
            {ID_FILE_NEW, false, true, true},
            {ID_FILE_OPEN, false, true, true},
            {ID_FILE_SAVE, false, true, true},
            {ID_FILE_SAVE_AS, false, true, true},
            {ID_APP_EXIT, true, true, true},
            {ID_SAVE_FLASH, false, true, true},
            {ID_GLOBAL_SET, false, true, true},
            {ID_RESTART, true, true, true},
            {ID_RUN, false, true, false},
            {ID_STOP, false, false, true},
            {ID_EVENT_MONITOR, false, true, true},
            {ID_FIRMWARE, false, true, true},
            {ID_BOOT, true, false, false},
            {ID_VIEW_STATUS_BAR, true, true, true},
            {ID_CUSTOMIZE, true, true, true},
            {ID_LOOK_WIN2000, true, true, true},
            {ID_LOOK_OFF2007_AQUA, true, true, true},
            {ID_APP_ABOUT, true, true, true},
            {ID_HELP_DOC, true, true, true},
            {ID_TEST, true, true, true},
        };
        auto check = [&](const char* state, bool Row::*column) {
            for (const Row& r : rows)
                QVERIFY2(frame->Action(r.id)->isEnabled() == r.*column,
                         qPrintable(QStringLiteral("%1: command %2").arg(state).arg(r.id)));
        };
        check("disconnected", &Row::disconnected);
        QVERIFY(frame->ConnectWith(Udp()));
        QVERIFY(!frame->IsRunning());
        check("connected, stopped", &Row::stopped);
        frame->Execute(ID_RUN);
        QVERIFY(dev->Running());
        check("connected, running", &Row::running);
        frame->Execute(ID_STOP);
        QVERIFY(!dev->Running());
        check("connected, stopped again", &Row::stopped);
        service->answers = {true};
        frame->Execute(ID_DISCONNECT);
        check("disconnected again", &Row::disconnected);
    }

    void runAndStopSetTheFlagEvenWhenTheDeviceRefuses() {
        QVERIFY(frame->ConnectWith(Udp()));
        devsim::Faults bad;
        bad.malformed = 1;  // every answer is unusable: each write fails
        dev->SetFaults(bad);
        frame->Execute(ID_RUN);
        QVERIFY(frame->IsRunning());
        QVERIFY(frame->Action(ID_STOP)->isEnabled());
        frame->Execute(ID_STOP);
        QVERIFY(!frame->IsRunning());
        QVERIFY(frame->Action(ID_RUN)->isEnabled());
        QVERIFY(service->informs.isEmpty());
    }

    void disconnectAndRestartActOnlyOnYes() {
        QVERIFY(frame->ConnectWith(Udp()));
        dev->SetValue(kManager, "运行状态", "true");

        service->answers = {false};
        frame->Execute(ID_RESTART);
        QCOMPARE(service->asks.last(),
                 QStringLiteral("请确信要重启下位机，重启动后，本界面也需要退出!"));
        QVERIFY(dev->Running());  // nothing was sent
        service->answers = {true};
        frame->Execute(ID_RESTART);
        QVERIFY(!dev->Running());  // the device restarted (and stopped its work loop)
        QVERIFY(frame->IsConnected());
        QTRY_VERIFY(OutputTexts(*frame).contains(QStringLiteral("KVS固件信息:  系统重新启动")));

        int treeItems = frame->Tree()->topLevelItem(0)->childCount();
        service->answers = {false};
        frame->Execute(ID_DISCONNECT);
        QCOMPARE(service->asks.last(), QStringLiteral("确信要断开下位机吗？"));
        QVERIFY(frame->IsConnected());
        service->answers = {true};
        frame->Execute(ID_DISCONNECT);
        QVERIFY(!frame->IsConnected());
        QCOMPARE(frame->Tree()->topLevelItem(0)->childCount(), treeItems);  // content stays
        QVERIFY(frame->OutputBar()->List()->topLevelItemCount() > 0);
        QVERIFY(!KVS_GetAttrVal(ToGbk(QStringLiteral("组件管理器")).constData(),
                                ToGbk(QStringLiteral("运行状态")).constData()));
        // Restart stays enabled while disconnected; its write then fails without a message.
        service->answers = {true};
        frame->Execute(ID_RESTART);
        QVERIFY(service->informs.isEmpty());
    }

    void saveToFlashProposesTheBootSlotAndReportsTheResult() {
        QVERIFY(frame->ConnectWith(Udp()));
        // Make slot 2 the boot slot: write the startup parameters and restart the device.
        uint8_t slot = 0, device = 0, serial = 0;
        T_GLOAT_SET params{};
        QVERIFY(KVS_ConfigFile_Operate(4, &slot, &device, &serial, &params));
        slot = 2;
        QVERIFY(KVS_ConfigFile_Operate(5, &slot, &device, &serial, &params));
        QVERIFY(KVS_SetAttributeVal(ToGbk(QStringLiteral("组件管理器")).constData(),
                                    ToGbk(QStringLiteral("重新启动")).constData(), "true", true));

        QStringList lines;
        int row = -1;
        bool okEnabled = false;
        service->onDialog = [&](QDialog& d) {
            auto* list = d.findChild<QListWidget*>("slotList");
            for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
            row = list->currentRow();
            for (QPushButton* b : d.findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("确定")) okEnabled = b->isEnabled();
            d.accept();  // unchanged selection
            return d.result();
        };
        frame->Execute(ID_SAVE_FLASH);
        QCOMPARE(lines,
                 QStringList({"配置文件槽位0  ", "配置文件槽位1  ", "配置文件槽位2  (启动槽位)",
                              "配置文件槽位3  ", "配置文件槽位4  ", "配置文件槽位5  "}));
        QCOMPARE(row, 2);
        QVERIFY(okEnabled);
        QCOMPARE(service->informs, QStringList({"保存配置文件到下位机Flash成功!"}));
        // Saved into the boot slot: a restart brings the same configuration back.
        std::vector<std::string> before = dev->ListComponents();
        dev->SetValue(kManager, "重新启动", "true");
        QVERIFY(dev->ListComponents() == before);

        // The save itself fails: its own message.
        service->informs.clear();
        service->onDialog = [&](QDialog& d) {
            devsim::Faults bad;
            bad.malformed = 1;
            dev->SetFaults(bad);
            d.accept();
            return d.result();
        };
        frame->Execute(ID_SAVE_FLASH);
        QCOMPARE(service->informs, QStringList({"保存配置文件到下位机Flash失败!"}));

        // The slot state cannot be read: the list stays empty and nothing is saved.
        service->informs.clear();
        service->onDialog = [&](QDialog& d) {
            lines.clear();
            auto* list = d.findChild<QListWidget*>("slotList");
            for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
            d.accept();  // refused: nothing selected
            return d.result();
        };
        frame->Execute(ID_SAVE_FLASH);
        QVERIFY(lines.isEmpty());
        QCOMPARE(service->informs, QStringList({"读取全局配置错误!"}));

        // Cancel saves nothing and says nothing.
        dev->SetFaults({});
        service->informs.clear();
        service->onDialog = [](QDialog& d) {
            d.reject();
            return d.result();
        };
        frame->Execute(ID_SAVE_FLASH);
        QVERIFY(service->informs.isEmpty());
    }

    void testCommandAlternatesItsTwoWrites() {
        QVERIFY(frame->ConnectWith(Udp()));
        for (int use = 0; use < 2; ++use) {
            frame->Execute(ID_TEST);
            bool on = CMainFrame::TestToggle();
            QCOMPARE(Value(*dev, "定时器-5", "启用定时器"), std::string(on ? "true" : "false"));
            QCOMPARE(std::stod(Value(*dev, "信号发生器-2", "启动频率_KHz")), on ? 1.0 : 2.0);
            QString line =
                on ? QStringLiteral("读取值:true;1;") : QStringLiteral("读取值:false;2;");
            QTRY_COMPARE(OutputTexts(*frame).value(0), line);
        }
    }

    void monitorEventsArriveInTheOutputPaneNewestFirst() {
        QVERIFY(frame->ConnectWith(Udp()));
        dev->SetValue(kManager, "属性监控表", "开关-1.开关状态@change;");
        dev->SetValue("开关-1", "开关状态", "false");
        dev->SetValue("开关-1", "开关状态", "true");
        // The pane already holds the connection's own lines, so wait for the newest event
        // itself rather than for a line count.
        QTRY_COMPARE(OutputTexts(*frame).value(0),
                     QStringLiteral("收到监控事件--属性名:开关-1.开关状态,当前值:true"));
        QStringList texts = OutputTexts(*frame);
        QCOMPARE(texts.value(1),
                 QStringLiteral("收到监控事件--属性名:开关-1.开关状态,当前值:false"));
        QTreeWidgetItem* top = frame->OutputBar()->List()->topLevelItem(0);
        QCOMPARE(top->data(0, Qt::UserRole).toUInt(), 2u);
        QVERIFY(!top->icon(0).isNull());
    }

    void refreshTreeNotificationShowsANewInstance() {
        QVERIFY(frame->ConnectWith(Udp()));
        std::string created = dev->AddComponent("计数器");
        QVERIFY(!created.empty());
        QVERIFY(!frame->Tree()->InstanceList().contains(QString::fromStdString(created) + ";"));
        QCoreApplication::postEvent(frame.get(),
                                    new CFrameNotifyEvent(NOTIFY_REFRESH_TREE, QString()));
        QTRY_VERIFY(frame->Tree()->InstanceList().contains(QString::fromStdString(created) + ";"));
    }

    void deleteIsRefusedWhileTheDeviceRuns() {
        QVERIFY(frame->ConnectWith(Udp()));
        struct View : IDiagramView {
            QStringList calls;
            void ClearDiagram() override {}
            void LoadDiagram(const QString&) override {}
            bool SelectItemByName(const QString&) override { return true; }
            bool ReloadComponent(const QString&) override { return true; }
            bool ReloadComment(const QString&) override { return true; }
            bool HasItem(const QString& n) override {
                calls << "find " + n;
                return true;
            }
            bool DeleteItem(const QString& n) override {
                calls << "delete " + n;
                return true;
            }
        } view;
        frame->AttachView(&view);
        dev->SetValue(kManager, "运行状态", "true");
        QCoreApplication::postEvent(frame.get(),
                                    new CFrameNotifyEvent(NOTIFY_DELETE_COMPONENT, "开关-1"));
        QCoreApplication::processEvents();
        QCOMPARE(service->informs, QStringList({"请停止工程，然后再删除组件!"}));
        QVERIFY(view.calls.isEmpty());
        dev->SetValue(kManager, "运行状态", "false");
        QCoreApplication::postEvent(frame.get(),
                                    new CFrameNotifyEvent(NOTIFY_DELETE_COMPONENT, "开关-1"));
        QCoreApplication::processEvents();
        QCOMPARE(view.calls, QStringList({"find 开关-1", "delete 开关-1"}));
        frame->AttachView(nullptr);
    }

  private:
    std::unique_ptr<devsim::Device> dev;
    std::unique_ptr<CRecordingService> service;
    std::unique_ptr<CMainFrame> frame;
};

QTEST_MAIN(FrameDeviceTest)
#include "frame_device_test.moc"
