// The main frame without a device: menus, the toolbar and its customisation, looks and layout
// kept from one run to the next, the receive callback's lines and the notification routing.
#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "app/common/commands.h"
#include "app/common/frame_events.h"
#include "app/main_frame.h"
#include "app/output_bar.h"
#include "browser/component_tree.h"
#include "test_support.h"

namespace {
QStringList MenuEntries(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        QString text = a->isSeparator() ? QStringLiteral("-") : a->text();
        if (!a->shortcut().isEmpty()) text += QLatin1Char('\t') + a->shortcut().toString();
        out << text;
    }
    return out;
}

QMenu* TopMenu(CMainFrame& frame, const QString& title) {
    for (QAction* a : frame.menuBar()->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

// Panes of later modules, recording the frame's calls in order.
struct CFakePanes : IDiagramView, IPropertyGrid, ISamplingStrip {
    QStringList calls;
    bool hasItem = true;
    static QString N(const QString& s) { return s.isNull() ? QStringLiteral("<null>") : s; }
    void ClearDiagram() override { calls << "ClearDiagram"; }
    void LoadDiagram(const QString& i) override { calls << "LoadDiagram " + i; }
    bool SelectItemByName(const QString& n) override {
        calls << "SelectItemByName " + N(n);
        return true;
    }
    bool ReloadComponent(const QString& n) override {
        calls << "ReloadComponent " + N(n);
        return true;
    }
    bool ReloadComment(const QString& n) override {
        calls << "ReloadComment " + N(n);
        return true;
    }
    bool HasItem(const QString& n) override {
        calls << "HasItem " + N(n);
        return hasItem;
    }
    bool DeleteItem(const QString& n) override {
        calls << "DeleteItem " + N(n);
        return true;
    }
    void ShowComponent(const QString& n, bool force) override {
        calls << QStringLiteral("ShowComponent %1 %2").arg(N(n)).arg(force);
    }
    void Empty() override { calls << "Empty"; }
    void RefreshSampling() override { calls << "RefreshSampling"; }
};

std::vector<uint8_t> Message(uint8_t cmd, int32_t param, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> m(12, 0);
    m[6] = cmd;
    std::memcpy(&m[8], &param, 4);
    m.insert(m.end(), payload.begin(), payload.end());
    int32_t len = int32_t(m.size());
    std::memcpy(m.data(), &len, 4);
    return m;
}

QByteArray Bytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

std::vector<uint8_t> Gbk(const char* utf8, bool nul = true) {
    QByteArray b = ToGbk(QString::fromUtf8(utf8));
    std::vector<uint8_t> v(b.begin(), b.end());
    if (nul) v.push_back(0);
    return v;
}
}  // namespace

class FrameUiTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { QSettings(QString::fromUtf8(SettingsKey::kOrganization), "Korvessa").clear(); }

    void menusCarryTheirTextsAndAccelerators() {
        CMainFrame frame;
        QStringList titles;
        for (QAction* a : frame.menuBar()->actions()) titles << a->text();
        QCOMPARE(titles, QStringList({"文件(&F)", "KVS设置", "视图(&V)", "帮助(&H)"}));
        QCOMPARE(MenuEntries(TopMenu(frame, "文件(&F)")),
                 QStringList({"连接下位机", "断开下位机", "-", "新建工程(&N)\tCtrl+N",
                              "打开(&O)...\tCtrl+O", "保存(&S)\tCtrl+S", "另存为(&A)...", "-",
                              "最近的文件", "-", "退出(&X)"}));
        QCOMPARE(MenuEntries(TopMenu(frame, "KVS设置")),
                 QStringList({"保存配置到flash", "启动参数设置", "重新启动", "-", "运行工程",
                              "停止工程", "事件监控设置", "固件操作", "boot操作"}));
        QCOMPARE(MenuEntries(TopMenu(frame, "帮助(&H)")),
                 QStringList({"关于 Korvessa(&A)...", "KVS帮助文档", "test"}));
        QStringList view = MenuEntries(TopMenu(frame, "视图(&V)"));
        QCOMPARE(view, QStringList({"工具栏和停靠窗口(&T)", "状态栏(&S)", "应用程序外观(&A)"}));
        QCOMPARE(frame.Action(ID_RUN)->statusTip(), QStringLiteral("启动交换网和工作循环"));
        QCOMPARE(frame.Action(ID_RUN)->toolTip(), QStringLiteral("启动"));
    }

    void panesToolbarAndStatusBarAreWhereTheyBelong() {
        CMainFrame frame;
        struct Pane {
            QDockWidget* dock;
            const char* title;
            Qt::DockWidgetArea area;
        } panes[] = {{frame.TreeBar(), "组件树", Qt::LeftDockWidgetArea},
                     {frame.OutputBar(), "输出", Qt::BottomDockWidgetArea},
                     {frame.PropertyBar(), "属性", Qt::RightDockWidgetArea},
                     {frame.AnalyzerBar(), "逻辑分析仪", Qt::RightDockWidgetArea}};
        for (const Pane& p : panes) {
            QCOMPARE(p.dock->windowTitle(), QString::fromUtf8(p.title));
            QCOMPARE(frame.dockWidgetArea(p.dock), p.area);
            QCOMPARE(p.dock->allowedAreas(), Qt::AllDockWidgetAreas);
            QVERIFY(p.dock->features() & QDockWidget::DockWidgetFloatable);
            QVERIFY(!p.dock->objectName().isEmpty());
        }
        QVERIFY(frame.dockOptions() & QMainWindow::AllowTabbedDocks);
        QCOMPARE(frame.StandardToolBar()->windowTitle(), QStringLiteral("标准"));
        QVERIFY((frame.VisibleToolbarButtons() ==
                 std::vector<int>{ID_CONNECT, ID_DISCONNECT, ID_FILE_NEW, ID_FILE_OPEN,
                                  ID_FILE_SAVE, ID_APP_ABOUT, ID_RUN, ID_STOP, ID_EVENT_MONITOR}));
        int separators = 0;
        for (QAction* a : frame.StandardToolBar()->actions()) separators += a->isSeparator();
        QCOMPARE(separators, 3);
        QCOMPARE(frame.findChild<QLabel*>("readyMessage")->text(), QStringLiteral("就绪"));
    }

    void looksLayoutAndToolbarChoiceAreKeptForTheNextRun() {
        {
            CMainFrame frame;
            QCOMPARE(frame.Look(), int(ID_LOOK_VS2005));
            QVERIFY(frame.Action(ID_LOOK_VS2005)->isChecked());
            frame.Execute(ID_LOOK_OFF2007_BLACK);
            QVERIFY(frame.Action(ID_LOOK_OFF2007_BLACK)->isChecked());
            QVERIFY(!frame.Action(ID_LOOK_VS2005)->isChecked());
            frame.addDockWidget(Qt::TopDockWidgetArea, frame.OutputBar());
            frame.tabifyDockWidget(frame.PropertyBar(), frame.AnalyzerBar());
            frame.SetVisibleToolbarButtons({ID_CONNECT, ID_RUN, ID_STOP});
            frame.Action(ID_VIEW_STATUS_BAR)->trigger();  // hides the status bar
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.close();  // keeps the layout
        }
        CMainFrame next;
        QCOMPARE(next.Look(), int(ID_LOOK_OFF2007_BLACK));
        QVERIFY(next.Action(ID_LOOK_OFF2007_BLACK)->isChecked());
        QCOMPARE(QSettings(QString::fromUtf8(SettingsKey::kOrganization), "Korvessa")
                     .value("ApplicationLook")
                     .toInt(),
                 216);
        QCOMPARE(next.dockWidgetArea(next.OutputBar()), Qt::TopDockWidgetArea);
        QCOMPARE(next.tabifiedDockWidgets(next.PropertyBar()).size(), 1);
        QVERIFY((next.VisibleToolbarButtons() == std::vector<int>{ID_CONNECT, ID_RUN, ID_STOP}));
        QVERIFY(!next.statusBar()->isVisibleTo(&next));
        QVERIFY(!next.Action(ID_VIEW_STATUS_BAR)->isChecked());
    }

    void anUnknownStoredLookFallsBackToTheDefault() {
        QSettings(QString::fromUtf8(SettingsKey::kOrganization), "Korvessa")
            .setValue("ApplicationLook", 999);
        CMainFrame frame;
        QCOMPARE(frame.Look(), int(ID_LOOK_VS2005));
    }

    void customizeChoosesTheToolbarButtons() {
        CRecordingService service;
        CMainFrame frame;
        service.onDialog = [](QDialog& dlg) {
            auto* list = dlg.findChild<QListWidget*>("toolbarButtons");
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->data(Qt::UserRole).toInt() == ID_APP_ABOUT)
                    list->item(i)->setCheckState(Qt::Unchecked);
            return int(QDialog::Accepted);
        };
        frame.Execute(ID_CUSTOMIZE);
        std::vector<int> shown = frame.VisibleToolbarButtons();
        QCOMPARE(shown.size(), size_t(8));
        QVERIFY(std::find(shown.begin(), shown.end(), int(ID_APP_ABOUT)) == shown.end());
        for (QAction* a : frame.StandardToolBar()->actions())
            QVERIFY(a != frame.Action(ID_APP_ABOUT));

        service.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        frame.Execute(ID_CUSTOMIZE);
        QCOMPARE(frame.VisibleToolbarButtons().size(), size_t(8));
    }

    void aboutBoxShowsTheVersionLine() {
        CRecordingService service;
        CMainFrame frame;
        QString line;
        service.onDialog = [&](QDialog& dlg) {
            line = dlg.findChild<QLabel*>("aboutText")->text();
            return int(QDialog::Accepted);
        };
        frame.Execute(ID_APP_ABOUT);
        QCOMPARE(line, QStringLiteral("Korvessa  1,2,0版"));
    }

    void deviceMessagesBecomeOutputLines() {
        CMainFrame frame;
        COutputList* out = frame.OutputBar()->List();
        auto event = Message(20, 0, Gbk("开关-1.开关状态"));
        auto value = Gbk("false");
        event.insert(event.end(), value.begin(), value.end());
        int32_t len = int32_t(event.size());
        std::memcpy(event.data(), &len, 4);

        std::vector<uint8_t> lines;
        for (auto part :
             {std::vector<uint8_t>{1}, Gbk("看门狗复位"), std::vector<uint8_t>{3}, Gbk("调试")})
            lines.insert(lines.end(), part.begin(), part.end());
        auto info = Message(100, 2, lines);
        auto unknown = Message(77, 0, {});
        // Untrusted: texts without their NUL, a count larger than the entries present.
        auto cut = Message(20, 0, Gbk("无结尾", false));
        auto shortInfo = Message(100, 1000, {2});

        struct Case {
            const std::vector<uint8_t>* msg;
            QStringList texts;  // newest last
            QList<unsigned> levels;
        } cases[] = {
            {&event, {"收到监控事件--属性名:开关-1.开关状态,当前值:false"}, {2}},
            {&info, {"KVS固件信息:  看门狗复位", "KVS固件信息:  调试"}, {1, 3}},
            {&unknown, {"收到不能识别的KVS消息类型"}, {2}},
            {&cut, {"收到监控事件--属性名:无结尾,当前值:"}, {2}},
            {&shortInfo, {"KVS固件信息:  "}, {2}},
        };
        int total = 0;
        for (const Case& c : cases) {
            frame.OnDeviceMessage(Bytes(*c.msg));
            total += int(c.texts.size());
            QTRY_COMPARE(out->topLevelItemCount(), total);
            for (int i = 0; i < c.texts.size(); ++i) {
                QTreeWidgetItem* row = out->topLevelItem(int(c.texts.size()) - 1 - i);
                QCOMPARE(row->text(2), c.texts[i]);
                QCOMPARE(row->data(0, Qt::UserRole).toUInt(), c.levels[i]);
            }
        }
        // Shorter than a head: ignored.
        frame.OnDeviceMessage(Bytes(event).left(11));
        QCoreApplication::processEvents();  // delivers anything already posted
        QCOMPARE(out->topLevelItemCount(), total);
    }

    void notificationsReachThePanesInOrder_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("select a component")
            << int(NOTIFY_SELECT) << QStringLiteral("定时器-5")
            << QStringList({"ShowComponent 定时器-5 0", "SelectItemByName 定时器-5"});
        QTest::newRow("select nothing")
            << int(NOTIFY_SELECT) << QString() << QStringList({"ShowComponent <null> 0"});
        QTest::newRow("component changed")
            << int(NOTIFY_COMPONENT_CHANGED) << QStringLiteral("表达式运算-1")
            << QStringList({"ReloadComponent 表达式运算-1", "RefreshSampling"});
        QTest::newRow("component changed without name")
            << int(NOTIFY_COMPONENT_CHANGED) << QString() << QStringList();
        QTest::newRow("comment changed") << int(NOTIFY_COMMENT_CHANGED) << QStringLiteral("开关-1")
                                         << QStringList({"ReloadComment 开关-1"});
        QTest::newRow("comment without name")
            << int(NOTIFY_COMMENT_CHANGED) << QString() << QStringList();
        QTest::newRow("code 2 ignored") << 2 << QStringLiteral("x") << QStringList();
        QTest::newRow("code 3 ignored") << 3 << QStringLiteral("x") << QStringList();
        QTest::newRow("code 99 ignored") << 99 << QStringLiteral("x") << QStringList();
    }

    void notificationsReachThePanesInOrder() {
        QFETCH(int, code);
        QFETCH(QString, name);
        QFETCH(QStringList, calls);
        CMainFrame frame;
        CFakePanes panes;
        frame.AttachView(&panes);
        frame.AttachGrid(&panes);
        frame.AttachStrip(&panes);
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-5"}});
        frame.Tree()->Rebuild(AsHead(reply));
        QVERIFY(frame.Tree()->SelectByName(QStringLiteral("定时器")));
        QCoreApplication::postEvent(&frame, new CFrameNotifyEvent(code, name));
        QCoreApplication::processEvents();
        QCOMPARE(panes.calls, calls);
        if (code == NOTIFY_SELECT) {
            // The tree follows: the named instance, or nothing for a null name.
            QList<QTreeWidgetItem*> sel = frame.Tree()->selectedItems();
            QCOMPARE(sel.size(), name.isNull() ? 0 : 1);
            if (!name.isNull()) QCOMPARE(sel[0]->text(0), name);
        }
    }
};

QTEST_MAIN(FrameUiTest)
#include "frame_ui_test.moc"
