#include "app/main_frame.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>
#include <atomic>

#include "analyzer/dialog_waveform.h"
#include "app/common/busy_hook.h"
#include "app/common/commands.h"
#include "app/common/frame_events.h"
#include "app/common/icons.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/unsolicited_lines.h"
#include "app/frame_coordinator.h"
#include "app/looks.h"
#include "app/output_bar.h"
#include "app/xlog.h"
#include "authoring/authoring_hooks.h"
#include "browser/component_tree.h"
#include "browser/event_monitor.h"
#include "browser/property_view_bar.h"
#include "diagram/korvessa_view.h"
#include "kvs_version.h"
#include "kvsh_vocab.h"
#include "maintenance/dlg_dev_sel.h"
#include "maintenance/dlg_slot_sel.h"
#include "maintenance/maintenance_commands.h"

namespace {
const QString kManager = QStringLiteral(KVS_COMPONENT_MANAGER);

std::atomic<bool> g_testToggle{false};

QSettings Settings() {
    return QSettings(QString::fromUtf8(SettingsKey::kOrganization),
                     QString::fromUtf8(SettingsKey::kApplication));
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent, std::unique_ptr<CDevice> device)
    : QMainWindow(parent), m_device(device ? std::move(device) : std::make_unique<CKvsDevice>()) {
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(ApplicationIcon());

    // Every request shows the busy cursor, and the input given while it waited is dropped.
    m_busyHook = new CBusyCursorHook(this);
    m_device->SetBusyHook(m_busyHook);
    m_device->SetMessageHandler([this](const QByteArray& message) { OnDeviceMessage(message); });

    m_look = Settings().value(SettingsKey::kLook, kDefaultLook).toInt();
    if (!IsLookId(m_look)) m_look = kDefaultLook;
    ApplyLook(m_look);

    m_doc = std::make_unique<CKorvessaDoc>(*m_device, *this, this);
    connect(m_doc.get(), &CKorvessaDoc::TitleChanged, this, [this](const QString& title) {
        setWindowTitle(title + QStringLiteral(" - Korvessa"));
    });
    connect(m_doc.get(), &CKorvessaDoc::RecentFilesChanged, this, [this] { UpdateRecentMenu(); });

    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks);
    CreateActions();
    RegisterCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateDocks();
    m_coordinator = std::make_unique<CFrameCoordinator>(
        *m_device, *Tree(),
        CFrameCoordinator::FrameHooks{
            [this](const QString& text) { CMessageService::Get().Inform(this, text); },
            [this] { m_analyzerBar->show(); },
            [this] { m_propertyBar->setWindowTitle(QStringLiteral("属性    ")); }});
    // The property grid fills the "属性" pane; the monitoring command edits the device's table.
    auto* grid = new CPropertyViewBar(*m_device, m_propertyBar);
    grid->SetNotifyTarget(this);
    grid->SetTitleTarget(m_propertyBar);
    AttachGrid(grid, grid);
    m_commands.Register(ID_EVENT_MONITOR, [this] { RunEventMonitorSettings(*m_device, this); });
    // The work area: the diagram view, coordinated through IDiagramView.
    auto* view = new CKorvessaView(*m_device, this);
    view->SetNotifyTarget(this);
    view->SetDocument(m_doc.get());
    AttachView(view, view);
    // The view's double clicks and F1, and the help command, open the authoring module's
    // dialogs and the manual.
    m_authoring = std::make_unique<CAuthoringHooks>(*m_device, this);
    view->SetEditors(m_authoring.get());
    m_commands.Register(ID_HELP_DOC, [this] { m_authoring->OpenHelpHome(); });
    // The logic analyzer's sampling strip fills the "逻辑分析仪" pane.
    auto* strip = new CDialogWaveform(*m_device, m_analyzerBar);
    AttachStrip(strip, strip);
    UpdateCommandUI();
    RestoreLayout();

    // From now on every line the library logs reaches the output pane.
    m_outputBar->AttachLog(*m_device);
    m_doc->New();  // the start-up document: touches no device
}

CMainFrame::~CMainFrame() {
    // The link goes first: its receive thread must not log into panes being destroyed.
    m_device->SetMessageHandler(nullptr);
    m_device->Close();
    m_outputBar->DetachLog();
    m_device->SetBusyHook(nullptr);
}

// --- construction ----------------------------------------------------------------------------

void CMainFrame::CreateActions() {
    for (const CommandInfo& info : CommandTable()) {
        if (info.id >= ID_FILE_MRU_FIRST && info.id < ID_FILE_MRU_FIRST + kRecentFileCount) {
            auto* a = new QAction(this);
            int index = info.id - ID_FILE_MRU_FIRST;
            connect(a, &QAction::triggered, this, [this, index] {
                if (index < m_doc->RecentFiles().size()) m_doc->Open(m_doc->RecentFiles()[index]);
            });
            m_actions[info.id] = a;
            continue;
        }
        auto* a = new QAction(MenuText(info), this);
        a->setObjectName(QStringLiteral("cmd%1").arg(info.id));
        a->setData(info.id);
        QString accel = AcceleratorText(info);
        if (!accel.isEmpty()) a->setShortcut(QKeySequence(accel));
        a->setStatusTip(PromptText(info));
        if (!TooltipText(info).isEmpty()) a->setToolTip(TooltipText(info));
        a->setIcon(CommandIcon(info.id));
        a->setIconVisibleInMenu(false);
        int id = info.id;
        connect(a, &QAction::triggered, this, [this, id] { Execute(id); });
        m_actions[info.id] = a;
    }

    m_lookGroup = new QActionGroup(this);
    m_lookGroup->setExclusive(true);
    for (int id = ID_LOOK_WIN2000; id <= ID_LOOK_OFF2007_AQUA; ++id) {
        QAction* a = m_actions[id];
        a->setCheckable(true);
        a->setChecked(id == m_look);
        m_lookGroup->addAction(a);
    }
    m_actions[ID_VIEW_STATUS_BAR]->setCheckable(true);
    m_actions[ID_VIEW_STATUS_BAR]->setChecked(true);
}

void CMainFrame::RegisterCommands() {
    auto add = [this](int id, std::function<void()> handler) {
        m_commands.Register(id, std::move(handler));
    };
    add(ID_CONNECT, [this] { OnConnect(); });
    add(ID_DISCONNECT, [this] { OnDisconnect(); });
    add(ID_RUN, [this] { OnRun(); });
    add(ID_STOP, [this] { OnStop(); });
    add(ID_RESTART, [this] { OnRestart(); });
    add(ID_SAVE_FLASH, [this] { OnSaveFlash(); });
    add(ID_TEST, [this] { OnTest(); });
    add(ID_APP_ABOUT, [this] { OnAbout(); });
    add(ID_CUSTOMIZE, [this] { OnCustomizeToolbar(); });
    add(ID_APP_EXIT, [this] { close(); });
    add(ID_VIEW_STATUS_BAR,
        [this] { statusBar()->setVisible(m_actions[ID_VIEW_STATUS_BAR]->isChecked()); });
    for (int id = ID_LOOK_WIN2000; id <= ID_LOOK_OFF2007_AQUA; ++id)
        add(id, [this, id] { SetLook(id); });
    add(ID_FILE_NEW, [this] { m_doc->New(); });
    add(ID_FILE_OPEN, [this] {
        QString path = CMessageService::Get().AskOpenFile(this, CKorvessaDoc::FileFilter());
        if (!path.isEmpty()) m_doc->Open(path);
    });
    add(ID_FILE_SAVE, [this] { m_doc->Save(); });
    add(ID_FILE_SAVE_AS, [this] { m_doc->SaveAs(); });
    // "启动参数设置", "boot操作", "固件操作"; the firmware records go to the file log.
    RegisterMaintenanceCommands(
        add, *m_device, this,
        [](kvs::fw::FirmwareLogLevel level, const char* file, const char* function, int line,
           const std::string& text) {
            int l = level == kvs::fw::FirmwareLogLevel::Error ? CxLog::Error : CxLog::Message;
            CxLog::Instance().LogWrite(file, function, line, l, "%s", text.c_str());
        });
}

void CMainFrame::CreateMenus() {
    auto add = [this](QMenu* menu, int id) { menu->addAction(m_actions.at(id)); };

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    add(file, ID_CONNECT);
    add(file, ID_DISCONNECT);
    file->addSeparator();
    add(file, ID_FILE_NEW);
    add(file, ID_FILE_OPEN);
    add(file, ID_FILE_SAVE);
    add(file, ID_FILE_SAVE_AS);
    file->addSeparator();
    m_recentMenu = file->addMenu(QStringLiteral("最近的文件"));
    for (int i = 0; i < kRecentFileCount; ++i)
        m_recentMenu->addAction(m_actions[ID_FILE_MRU_FIRST + i]);
    UpdateRecentMenu();
    file->addSeparator();
    add(file, ID_APP_EXIT);

    QMenu* kvs = menuBar()->addMenu(QStringLiteral("KVS设置"));
    add(kvs, ID_SAVE_FLASH);
    add(kvs, ID_GLOBAL_SET);
    add(kvs, ID_RESTART);
    kvs->addSeparator();
    add(kvs, ID_RUN);
    add(kvs, ID_STOP);
    add(kvs, ID_EVENT_MONITOR);
    add(kvs, ID_FIRMWARE);
    add(kvs, ID_BOOT);

    QMenu* view = menuBar()->addMenu(QStringLiteral("视图(&V)"));
    QMenu* bars = view->addMenu(QStringLiteral("工具栏和停靠窗口(&T)"));
    connect(bars, &QMenu::aboutToShow, this, [this, bars] {
        bars->clear();
        if (QMenu* list = createPopupMenu()) {
            for (QAction* a : list->actions()) bars->addAction(a);
            list->setParent(bars);
        }
        bars->addSeparator();
        bars->addAction(m_actions[ID_CUSTOMIZE]);
    });
    add(view, ID_VIEW_STATUS_BAR);
    QMenu* looks = view->addMenu(QStringLiteral("应用程序外观(&A)"));
    for (int id = ID_LOOK_WIN2000; id <= ID_LOOK_VS2005; ++id) add(looks, id);
    QMenu* office2007 = looks->addMenu(QStringLiteral("Office 2007(&7)"));
    for (int id = ID_LOOK_OFF2007_BLUE; id <= ID_LOOK_OFF2007_AQUA; ++id) add(office2007, id);

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    add(help, ID_APP_ABOUT);
    add(help, ID_HELP_DOC);
    add(help, ID_TEST);
}

const std::vector<int>& CMainFrame::ToolbarLayout() {
    static const std::vector<int> layout = {
        ID_CONNECT, ID_DISCONNECT, 0, ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE,
        0,          ID_APP_ABOUT,  0, ID_RUN,      ID_STOP,      ID_EVENT_MONITOR};
    return layout;
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(QStringLiteral("标准"));
    m_toolBar->setObjectName(QStringLiteral("standardToolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    std::vector<int> ids;
    for (int id : ToolbarLayout())
        if (id) ids.push_back(id);
    QSettings s = Settings();
    if (s.contains(SettingsKey::kToolbarButtons)) {
        ids.clear();
        for (const QVariant& v : s.value(SettingsKey::kToolbarButtons).toList())
            if (std::count(ToolbarLayout().begin(), ToolbarLayout().end(), v.toInt()) && v.toInt())
                ids.push_back(v.toInt());
    }
    RebuildToolBar(ids);
}

void CMainFrame::RebuildToolBar(const std::vector<int>& ids) {
    m_toolBar->clear();
    m_toolbarButtons.clear();
    bool pendingSeparator = false;
    for (int id : ToolbarLayout()) {
        if (id == 0) {
            pendingSeparator = !m_toolbarButtons.empty();
            continue;
        }
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) continue;
        if (pendingSeparator) m_toolBar->addSeparator();
        pendingSeparator = false;
        m_toolBar->addAction(m_actions[id]);
        m_toolbarButtons.push_back(id);
    }
}

std::vector<int> CMainFrame::VisibleToolbarButtons() const { return m_toolbarButtons; }

void CMainFrame::SetVisibleToolbarButtons(const std::vector<int>& ids) {
    RebuildToolBar(ids);
    QVariantList list;
    for (int id : m_toolbarButtons) list << id;
    Settings().setValue(SettingsKey::kToolbarButtons, list);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    m_readyLabel = new QLabel(QStringLiteral("就绪"), bar);
    m_readyLabel->setObjectName(QStringLiteral("readyMessage"));
    bar->addWidget(m_readyLabel, 1);
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(QString::fromLatin1(indicator), bar);
        label->setObjectName(QStringLiteral("indicator%1").arg(QString::fromLatin1(indicator)));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setEnabled(false);  // lock states are not read on this platform
        bar->addPermanentWidget(label);
    }
}

void CMainFrame::CreateDocks() {
    // The work area: the diagram view attaches here; until then a plain grid surface.
    auto* area = new QWidget(this);
    area->setObjectName(QStringLiteral("workArea"));
    area->setAutoFillBackground(true);
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, Qt::white);
    area->setPalette(pal);
    setCentralWidget(area);

    m_treeBar = new CKVSWorkBar(*m_device, this);
    m_treeBar->Tree()->SetNotifyTarget(this);
    m_outputBar = new COutputBar(this);
    m_propertyBar = new QDockWidget(QStringLiteral("属性"), this);
    m_propertyBar->setObjectName(QStringLiteral("propertyBar"));
    m_propertyBar->setWidget(new QWidget(m_propertyBar));
    m_analyzerBar = new QDockWidget(QStringLiteral("逻辑分析仪"), this);
    m_analyzerBar->setObjectName(QStringLiteral("analyzerBar"));
    m_analyzerBar->setWidget(new QWidget(m_analyzerBar));

    for (QDockWidget* d : {static_cast<QDockWidget*>(m_treeBar),
                           static_cast<QDockWidget*>(m_outputBar), m_propertyBar, m_analyzerBar}) {
        d->setAllowedAreas(Qt::AllDockWidgetAreas);
        d->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                       QDockWidget::DockWidgetFloatable);
    }
    addDockWidget(Qt::LeftDockWidgetArea, m_treeBar);
    addDockWidget(Qt::BottomDockWidgetArea, m_outputBar);
    addDockWidget(Qt::RightDockWidgetArea, m_propertyBar);
    addDockWidget(Qt::RightDockWidgetArea, m_analyzerBar);
    resizeDocks({m_treeBar, m_propertyBar}, {200, 200}, Qt::Horizontal);
    resizeDocks({m_outputBar}, {100}, Qt::Vertical);
    resize(1024, 700);
}

// --- layout and looks -------------------------------------------------------------------------

void CMainFrame::SaveLayout() const {
    QSettings s = Settings();
    s.setValue(SettingsKey::kGeometry, saveGeometry());
    s.setValue(SettingsKey::kDockState, saveState(kLayoutVersion));
    s.setValue(SettingsKey::kStatusBarShown, m_actions.at(ID_VIEW_STATUS_BAR)->isChecked());
}

void CMainFrame::RestoreLayout() {
    QSettings s = Settings();
    if (s.contains(SettingsKey::kGeometry))
        restoreGeometry(s.value(SettingsKey::kGeometry).toByteArray());
    if (s.contains(SettingsKey::kDockState))
        restoreState(s.value(SettingsKey::kDockState).toByteArray(), kLayoutVersion);
    bool statusShown = s.value(SettingsKey::kStatusBarShown, true).toBool();
    m_actions.at(ID_VIEW_STATUS_BAR)->setChecked(statusShown);
    statusBar()->setVisible(statusShown);
}

void CMainFrame::SetLook(int id) {
    if (!IsLookId(id)) return;
    m_look = id;
    ApplyLook(id);
    if (QAction* a = Action(id)) a->setChecked(true);
    Settings().setValue(SettingsKey::kLook, id);
    update();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    // Unsaved changes are offered for saving first; Cancel keeps the program open.
    if (!m_doc->SaveModified()) {
        e->ignore();
        return;
    }
    SaveLayout();
    QMainWindow::closeEvent(e);
}

// --- commands ------------------------------------------------------------------------------------

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::SetCommandHandler(int id, std::function<void()> handler) {
    m_commands.Register(id, std::move(handler));
}

void CMainFrame::Execute(int id) {
    if (m_commands.Execute(id, State()) == CCommandRegistry::Result::NoHandler)
        statusBar()->showMessage(QStringLiteral("此功能尚未提供"), 3000);  // not attached yet
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [id, action] : m_actions) {
        if (id >= ID_FILE_MRU_FIRST && id < ID_FILE_MRU_FIRST + kRecentFileCount) continue;
        action->setEnabled(m_commands.IsEnabled(id, State()));
    }
}

void CMainFrame::SetConnected(bool connected) {
    m_connected = connected;
    UpdateCommandUI();
}

void CMainFrame::SetRunning(bool running) {
    m_running = running;
    UpdateCommandUI();
}

void CMainFrame::WriteManager(const QString& attribute, const QString& value) {
    m_device->SetAttributeVal(kManager, attribute, value);  // the result is not reported
}

void CMainFrame::OnConnect() {
    CDlgDevSel dlg(*m_device, this);
    dlg.Load();
    if (CMessageService::Get().Run(dlg) != QDialog::Accepted) return;
    LinkParams p;
    p.way = dlg.Way();
    p.linkText = dlg.LinkText();
    p.deviceIndex = dlg.DeviceIndex();
    p.address = dlg.Address();
    ConnectWith(p);
}

bool CMainFrame::ConnectWith(const LinkParams& params) {
    m_link = params;
    bool opened = false;
    QString failure;
    {
        CDeviceBusy busy(m_busyHook);
        switch (LinkWay(params.way)) {
            case LinkWay::Serial:
                opened = m_device->OpenSerial(params.linkText);
                failure = QStringLiteral("初始化串口出错！");
                break;
            case LinkWay::Usb:
                opened = m_device->OpenUsb(params.deviceIndex);
                failure = QStringLiteral("初始化USB口出错！");
                break;
            default:
                opened = m_device->OpenUdp(params.address);
                failure = QStringLiteral("初始化UDP口出错！");
                break;
        }
    }
    if (!opened) {
        SetConnected(false);
        CMessageService::Get().Inform(this, failure);
        return false;
    }
    // One operation: a device that falls silent halfway costs one wait, reported once.
    CDeviceOperation op(*m_device, QStringLiteral("连接下位机"));
    if (m_settleMs > 0) {
        CDeviceBusy busy(m_busyHook);
        QThread::msleep(ulong(m_settleMs));  // let the controller settle
    }
    // Without a tree there is nothing to show: the frame stays disconnected, the link open.
    if (!m_coordinator->RebuildTree()) {
        SetConnected(false);
        if (Tree()->LastRead().NoAnswer())
            statusBar()->showMessage(QStringLiteral("下位机无应答"), kNoAnswerNoticeMs);
        return false;
    }
    m_coordinator->LoadDiagram();
    m_coordinator->RefreshSamplingAndShow();
    m_running = m_coordinator->ReadRunningState();
    SetConnected(true);
    return true;
}

void CMainFrame::OnDisconnect() {
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要断开下位机吗？"))) return;
    m_device->Close();
    SetConnected(false);  // tree, diagram, grid and output keep their content
}

void CMainFrame::OnRun() {
    WriteManager(QStringLiteral(KVS_ATTR_RUN_STATE), QStringLiteral("true"));
    SetRunning(true);  // whatever the device answered
}

void CMainFrame::OnStop() {
    WriteManager(QStringLiteral(KVS_ATTR_RUN_STATE), QStringLiteral("false"));
    SetRunning(false);
}

void CMainFrame::OnRestart() {
    if (!CMessageService::Get().Ask(
            this, QStringLiteral("请确信要重启下位机，重启动后，本界面也需要退出!")))
        return;
    CDeviceOperation op(*m_device, QStringLiteral("重新启动"));
    WriteManager(QStringLiteral(KVS_ATTR_RESTART), QStringLiteral("true"));
    // The device comes back with its work loop stopped: once it answers again, the running
    // flag follows it. A device that stays silent leaves the flag as it was.
    if (!m_connected) return;
    bool answered = false;
    bool running = m_coordinator->ReadRunningState(&answered);
    if (answered) SetRunning(running);
}

void CMainFrame::OnSaveFlash() {
    CDlgSlotSel dlg(*m_device, this);
    dlg.Load();
    if (CMessageService::Get().Run(dlg) != QDialog::Accepted || dlg.m_nSlot < 0) return;
    uint8_t slot = uint8_t(dlg.m_nSlot);
    bool ok =
        m_device->ConfigFileOperate(KVS_CONFIG_SAVE_TO_FLASH, &slot, nullptr, nullptr, nullptr)
            .Ok();
    CMessageService::Get().Inform(this, ok ? QStringLiteral("保存配置文件到下位机Flash成功!")
                                           : QStringLiteral("保存配置文件到下位机Flash失败!"));
}

bool CMainFrame::TestToggle() { return g_testToggle.load(); }

void CMainFrame::OnTest() {
    bool on = !g_testToggle.load();
    g_testToggle.store(on);
    const QString names = QStringLiteral("定时器-5.启用定时器;信号发生器-2.启动频率_KHz;");
    CDeviceOperation op(*m_device, QStringLiteral("test"));
    m_device->SetBatchAttrVal(names, on ? QStringLiteral("true;1;") : QStringLiteral("false;2;"),
                              2);
    DeviceResult<QString> values = m_device->GetBatchAttrVal(names, 2);
    if (values.Ok())
        m_device->Log(KVS_LEVEL_NORMAL, QStringLiteral("读取值:") + values.value);
    else
        m_device->Log(KVS_LEVEL_ERROR, QStringLiteral("读取值失败"));
}

void CMainFrame::OnAbout() {
    QDialog box(this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setWindowTitle(QStringLiteral("关于 Korvessa"));
    auto* icon = new QLabel(&box);
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("Korvessa  %1,%2,%3版")
                                .arg(KVS_VERSION_MAJOR)
                                .arg(KVS_VERSION_MINOR)
                                .arg(KVS_VERSION_PATCH),
                            &box);
    text->setObjectName(QStringLiteral("aboutText"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* lay = new QVBoxLayout(&box);
    lay->addLayout(row);
    lay->addWidget(buttons);
    CMessageService::Get().Run(box);
}

void CMainFrame::OnCustomizeToolbar() {
    QDialog dlg(this);
    dlg.setObjectName(QStringLiteral("customizeDialog"));
    dlg.setWindowTitle(QStringLiteral("自定义"));
    auto* list = new QListWidget(&dlg);
    list->setObjectName(QStringLiteral("toolbarButtons"));
    for (int id : ToolbarLayout()) {
        if (!id) continue;
        auto* item = new QListWidgetItem(m_actions[id]->icon(), m_actions[id]->text(), list);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        bool shown = std::count(m_toolbarButtons.begin(), m_toolbarButtons.end(), id) > 0;
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* lay = new QVBoxLayout(&dlg);
    lay->addWidget(new QLabel(QStringLiteral("工具栏\"标准\"显示的按钮:"), &dlg));
    lay->addWidget(list);
    lay->addWidget(buttons);
    if (CMessageService::Get().Run(dlg) != QDialog::Accepted) return;
    std::vector<int> ids;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            ids.push_back(list->item(i)->data(Qt::UserRole).toInt());
    SetVisibleToolbarButtons(ids);
}

bool CMainFrame::ReloadAfterDownload() {
    CDeviceOperation op(*m_device, QStringLiteral("装载配置"));
    if (!m_coordinator->RebuildTree()) return false;
    m_coordinator->LoadDiagram();
    m_coordinator->EmptyGrid();
    m_coordinator->RefreshSamplingAndShow();
    SetRunning(m_coordinator->ReadRunningState());
    if (op.Silent()) return false;  // the device fell silent halfway: no success to report
    CMessageService::Get().Inform(this, QStringLiteral("下位机载新的配置成功!"));
    return true;
}

bool CMainFrame::ClearProject() {
    CDeviceOperation op(*m_device, QStringLiteral("清理工程"));
    uint8_t slot = 0;
    if (!m_device->ConfigFileOperate(KVS_CONFIG_CLEAR, &slot, nullptr, nullptr, nullptr).Ok()) {
        CMessageService::Get().Inform(this, QStringLiteral("清理当前工程配置失败!"));
        return false;
    }
    SetRunning(false);
    m_coordinator->ClearDiagram();
    m_coordinator->RebuildTree();  // its result is ignored
    m_coordinator->EmptyGrid();
    // A device that left the tree unanswered is not asked again: the scope answers for it.
    m_coordinator->RefreshSamplingAndShow();
    return true;
}

// --- recent files --------------------------------------------------------------------------------

void CMainFrame::UpdateRecentMenu() {
    const QStringList& recent = m_doc->RecentFiles();
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* a = m_actions[ID_FILE_MRU_FIRST + i];
        bool used = i < recent.size();
        a->setVisible(used);
        if (used)
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(recent[i]).fileName()));
    }
    m_recentMenu->setEnabled(!recent.isEmpty());
}

// --- panes and messages -------------------------------------------------------------------------

CComponentTree* CMainFrame::Tree() const { return m_treeBar->Tree(); }

void CMainFrame::AttachView(IDiagramView* view, QWidget* widget) {
    m_coordinator->AttachView(view);
    if (widget) setCentralWidget(widget);
}

void CMainFrame::AttachGrid(IPropertyGrid* grid, QWidget* content) {
    m_coordinator->AttachGrid(grid);
    if (content) m_propertyBar->setWidget(content);
}

void CMainFrame::AttachStrip(ISamplingStrip* strip, QWidget* content) {
    m_coordinator->AttachStrip(strip);
    if (content) m_analyzerBar->setWidget(content);
}

bool CMainFrame::event(QEvent* e) {
    if (e->type() == KvsEvent::FrameNotify) {
        auto* n = static_cast<CFrameNotifyEvent*>(e);
        m_coordinator->Handle(n->code, n->name);
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::OnDeviceMessage(const QByteArray& message) {
    for (const auto& [level, text] : UnsolicitedLines(message)) m_device->Log(level, text);
}
