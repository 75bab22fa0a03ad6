#include "app/main_frame.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "app/common/commands.h"
#include "app/common/frame_events.h"
#include "app/common/icons.h"
#include "app/common/message_service.h"
#include "app/common/wait_cursor.h"
#include "app/device/gbk_text.h"
#include "app/looks.h"
#include "app/output_bar.h"
#include "browser/component_tree.h"
#include "kvsh_user.h"
#include "maintenance/dlg_dev_sel.h"
#include "maintenance/dlg_slot_sel.h"

namespace {
const QString kManager = QStringLiteral("组件管理器");
const QString kRunState = QStringLiteral("运行状态");
const QString kRestart = QStringLiteral("重新启动");
constexpr qint64 kMaxProjectBytes = 1048576;
const QString kProjectFilter = QStringLiteral("KVS Project files(*.kvs)");

std::atomic<bool> g_testToggle{false};

QSettings Settings() {
    return QSettings(QString::fromUtf8(SettingsKey::kOrganization),
                     QString::fromUtf8(SettingsKey::kApplication));
}

bool WriteManager(const QString& attribute, const char* value) {
    CWaitCursor busy;
    return KVS_SetAttributeVal(ToGbk(kManager).constData(), ToGbk(attribute).constData(), value,
                               true);
}

// A format text for KVS_Printf: GBK, converted once per process.
const char* GbkFormat(const char* utf8) {
    static std::mutex lock;
    static std::map<const char*, QByteArray> cache;
    std::lock_guard<std::mutex> g(lock);
    auto it = cache.find(utf8);
    if (it == cache.end()) it = cache.emplace(utf8, ToGbk(QString::fromUtf8(utf8))).first;
    return it->second.constData();
}
}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(ApplicationIcon());
    setWindowTitle(QStringLiteral("无标题 - Korvessa"));

    QSettings s = Settings();
    m_look = s.value(SettingsKey::kLook, kDefaultLook).toInt();
    if (!IsLookId(m_look)) m_look = kDefaultLook;
    ApplyLook(m_look);
    m_recent = s.value(SettingsKey::kRecentFiles).toStringList().mid(0, kRecentFileCount);

    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateDocks();
    UpdateCommandUI();
    RestoreLayout();

    // From now on every line the library logs reaches the output pane.
    m_outputBar->RegisterWithLibrary();
}

CMainFrame::~CMainFrame() {
    // The link goes first: its receive thread must not log into panes being destroyed.
    KVS_Clear();
    KVS_UnregistInfoWnd();
}

// --- construction ----------------------------------------------------------------------------

void CMainFrame::CreateActions() {
    for (const CommandInfo& info : CommandTable()) {
        if (info.id >= ID_FILE_MRU_FIRST && info.id < ID_FILE_MRU_FIRST + kRecentFileCount) {
            auto* a = new QAction(this);
            int index = info.id - ID_FILE_MRU_FIRST;
            connect(a, &QAction::triggered, this, [this, index] {
                if (index < m_recent.size()) OpenDocumentFile(m_recent[index]);
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

    m_handlers[ID_CONNECT] = [this] { OnConnect(); };
    m_handlers[ID_DISCONNECT] = [this] { OnDisconnect(); };
    m_handlers[ID_RUN] = [this] { OnRun(); };
    m_handlers[ID_STOP] = [this] { OnStop(); };
    m_handlers[ID_RESTART] = [this] { OnRestart(); };
    m_handlers[ID_SAVE_FLASH] = [this] { OnSaveFlash(); };
    m_handlers[ID_TEST] = [this] { OnTest(); };
    m_handlers[ID_APP_ABOUT] = [this] { OnAbout(); };
    m_handlers[ID_CUSTOMIZE] = [this] { OnCustomizeToolbar(); };
    m_handlers[ID_APP_EXIT] = [this] { close(); };
    m_handlers[ID_VIEW_STATUS_BAR] = [this] {
        statusBar()->setVisible(m_actions[ID_VIEW_STATUS_BAR]->isChecked());
    };
    for (int id = ID_LOOK_WIN2000; id <= ID_LOOK_OFF2007_AQUA; ++id)
        m_handlers[id] = [this, id] { SetLook(id); };
    m_handlers[ID_FILE_NEW] = [this] { ClearProject(); };
    m_handlers[ID_FILE_OPEN] = [this] {
        QString path = CMessageService::Get().AskOpenFile(this, kProjectFilter);
        if (!path.isEmpty()) OpenDocumentFile(path);
    };
    auto save = [this](bool askName) {
        QString path = m_documentPath;
        if (askName || path.isEmpty())
            path = CMessageService::Get().AskSaveFile(this, kProjectFilter);
        if (path.isEmpty()) return;
        if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".kvs");
        SaveDocumentFile(path);
    };
    m_handlers[ID_FILE_SAVE] = [save] { save(false); };
    m_handlers[ID_FILE_SAVE_AS] = [save] { save(true); };
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

    m_treeBar = new CKVSWorkBar(this);
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
}

void CMainFrame::RestoreLayout() {
    QSettings s = Settings();
    if (s.contains(SettingsKey::kGeometry))
        restoreGeometry(s.value(SettingsKey::kGeometry).toByteArray());
    if (s.contains(SettingsKey::kDockState))
        restoreState(s.value(SettingsKey::kDockState).toByteArray(), kLayoutVersion);
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
    SaveLayout();
    QMainWindow::closeEvent(e);
}

// --- commands ------------------------------------------------------------------------------------

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::SetCommandHandler(int id, std::function<void()> handler) {
    m_handlers[id] = std::move(handler);
}

void CMainFrame::Execute(int id) {
    if (!IsCommandEnabled(id, m_connected, m_running)) return;
    auto it = m_handlers.find(id);
    if (it != m_handlers.end() && it->second)
        it->second();
    else
        statusBar()->showMessage(QStringLiteral("此功能尚未提供"),
                                 3000);  // module not attached yet
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [id, action] : m_actions) {
        if (id >= ID_FILE_MRU_FIRST && id < ID_FILE_MRU_FIRST + kRecentFileCount) continue;
        action->setEnabled(IsCommandEnabled(id, m_connected, m_running));
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

bool CMainFrame::ReadRunningState() {
    CWaitCursor busy;
    const char* v = KVS_GetAttrVal(ToGbk(kManager).constData(), ToGbk(kRunState).constData());
    return v && std::strcmp(v, "true") == 0;  // no reply counts as not running
}

void CMainFrame::RefreshSamplingAndShow() {
    if (m_strip) m_strip->RefreshSampling();
    m_analyzerBar->show();
}

void CMainFrame::EmptyGrid() {
    if (m_grid) m_grid->Empty();
    m_propertyBar->setWindowTitle(QStringLiteral("属性    "));
}

void CMainFrame::OnConnect() {
    CDlgDevSel dlg(this);
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
    CWaitCursor busy;
    bool opened = false;
    QString failure;
    switch (params.way) {
        case 0: {
            QByteArray init = ToGbk(params.linkText);  // split in place by the library
            opened = KVS_Initial_UART(init.data());
            failure = QStringLiteral("初始化串口出错！");
            break;
        }
        case 1:
            opened = KVS_Initial_USB(params.deviceIndex);
            failure = QStringLiteral("初始化USB口出错！");
            break;
        default:
            opened = KVS_Initial_UDP(params.address[0], params.address[1], params.address[2],
                                     params.address[3]);
            failure = QStringLiteral("初始化UDP口出错！");
            break;
    }
    if (!opened) {
        SetConnected(false);
        CMessageService::Get().Inform(this, failure);
        return false;
    }
    KVS_RegistRecvCallBack(&CMainFrame::OnDeviceMessage);
    if (m_settleMs > 0) QThread::msleep(ulong(m_settleMs));  // let the controller settle
    // Without a tree there is nothing to show: the frame stays disconnected, the link open.
    if (!Tree()->RefreshFromDevice()) {
        SetConnected(false);
        return false;
    }
    if (m_view) m_view->LoadDiagram(Tree()->InstanceList());
    RefreshSamplingAndShow();
    m_running = ReadRunningState();
    SetConnected(true);
    return true;
}

void CMainFrame::OnDisconnect() {
    if (!CMessageService::Get().Ask(this, QStringLiteral("确信要断开下位机吗？"))) return;
    KVS_Clear();
    SetConnected(false);  // tree, diagram, grid and output keep their content
}

void CMainFrame::OnRun() {
    WriteManager(kRunState, "true");
    SetRunning(true);  // whatever the device answered
}

void CMainFrame::OnStop() {
    WriteManager(kRunState, "false");
    SetRunning(false);
}

void CMainFrame::OnRestart() {
    if (!CMessageService::Get().Ask(
            this, QStringLiteral("请确信要重启下位机，重启动后，本界面也需要退出!")))
        return;
    WriteManager(kRestart, "true");
}

void CMainFrame::OnSaveFlash() {
    CDlgSlotSel dlg(this);
    if (CMessageService::Get().Run(dlg) != QDialog::Accepted || dlg.m_nSlot < 0) return;
    uint8_t slot = uint8_t(dlg.m_nSlot);
    bool ok;
    {
        CWaitCursor busy;
        ok = KVS_ConfigFile_Operate(1, &slot, nullptr, nullptr, nullptr);
    }
    CMessageService::Get().Inform(this, ok ? QStringLiteral("保存配置文件到下位机Flash成功!")
                                           : QStringLiteral("保存配置文件到下位机Flash失败!"));
}

bool CMainFrame::TestToggle() { return g_testToggle.load(); }

void CMainFrame::OnTest() {
    bool on = !g_testToggle.load();
    g_testToggle.store(on);
    QByteArray names = ToGbk(QStringLiteral("定时器-5.启用定时器;信号发生器-2.启动频率_KHz;"));
    CWaitCursor busy;
    KVS_SetBatchAttrVal(names.constData(), on ? "true;1;" : "false;2;", 2, true);
    const char* values = KVS_GetBatchAttrVal(names.constData(), 2);
    if (values)
        KVS_Printf(KVS_LEVEL_NORMAL, GbkFormat("读取值:%s"), values);
    else
        KVS_Printf(KVS_LEVEL_ERROR, "%s", GbkFormat("读取值失败"));
}

void CMainFrame::OnAbout() {
    QDialog box(this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setWindowTitle(QStringLiteral("关于 Korvessa"));
    auto* icon = new QLabel(&box);
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("Korvessa  1,2,0版"), &box);
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
    if (!Tree()->RefreshFromDevice()) return false;
    if (m_view) m_view->LoadDiagram(Tree()->InstanceList());
    EmptyGrid();
    RefreshSamplingAndShow();
    SetRunning(ReadRunningState());
    CMessageService::Get().Inform(this, QStringLiteral("下位机载新的配置成功!"));
    return true;
}

bool CMainFrame::ClearProject() {
    uint8_t slot = 0;
    bool ok;
    {
        CWaitCursor busy;
        ok = KVS_ConfigFile_Operate(3, &slot, nullptr, nullptr, nullptr);
    }
    if (!ok) {
        CMessageService::Get().Inform(this, QStringLiteral("清理当前工程配置失败!"));
        return false;
    }
    SetRunning(false);
    if (m_view) m_view->ClearDiagram();
    bool treeRead;
    {
        CWaitCursor busy;
        treeRead = Tree()->RefreshFromDevice();
    }
    EmptyGrid();
    // A device that did not answer the tree is not asked again for the sampling set-up:
    // one time-out is enough.
    if (treeRead) RefreshSamplingAndShow();
    SetDocumentPath(QString());
    return true;
}

// --- recent files and the project file -----------------------------------------------------------

void CMainFrame::AddRecentFile(const QString& path) {
    QString abs = QFileInfo(path).absoluteFilePath();
    m_recent.removeAll(abs);
    m_recent.prepend(abs);
    while (m_recent.size() > kRecentFileCount) m_recent.removeLast();
    Settings().setValue(SettingsKey::kRecentFiles, m_recent);
    UpdateRecentMenu();
}

void CMainFrame::UpdateRecentMenu() {
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* a = m_actions[ID_FILE_MRU_FIRST + i];
        bool used = i < m_recent.size();
        a->setVisible(used);
        if (used)
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(m_recent[i]).fileName()));
    }
    m_recentMenu->setEnabled(!m_recent.isEmpty());
}

void CMainFrame::SetDocumentPath(const QString& path) {
    m_documentPath = path;
    QString title = path.isEmpty() ? QStringLiteral("无标题") : QFileInfo(path).fileName();
    setWindowTitle(title + QStringLiteral(" - Korvessa"));
    if (!path.isEmpty()) AddRecentFile(path);
}

void CMainFrame::SaveDocumentFile(const QString& path) {
    const char* text;
    {
        CWaitCursor busy;
        text = KVS_UploadConfig();
    }
    // The file is replaced only once the whole text is written: a failed upload or write
    // keeps what the file held before.
    QSaveFile file(path);
    bool saved = text && file.open(QIODevice::WriteOnly) &&
                 file.write(text, qint64(std::strlen(text))) == qint64(std::strlen(text)) &&
                 file.commit();
    SetDocumentPath(path);  // the document takes the name either way
    CMessageService::Get().Inform(this, saved ? QStringLiteral("保存当前下位机配置成功！")
                                              : QStringLiteral("获取下位机配置出错，保存失败"));
}

void CMainFrame::OpenDocumentFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        CMessageService::Get().Inform(this, QStringLiteral("打开文件失败: %1").arg(path));
        return;
    }
    QByteArray text = file.read(kMaxProjectBytes);  // longer files are sent cut at 1 MiB
    SetDocumentPath(path);
    bool ok;
    {
        CWaitCursor busy;
        ok = KVS_DownloadConfig(text.constData());
    }
    if (ok)
        ReloadAfterDownload();
    else
        CMessageService::Get().Inform(this, QStringLiteral("下位机装载配置出错!"));
}

// --- panes and messages -------------------------------------------------------------------------

CComponentTree* CMainFrame::Tree() const { return m_treeBar->Tree(); }

bool CMainFrame::event(QEvent* e) {
    if (e->type() == KvsEvent::FrameNotify) {
        auto* n = static_cast<CFrameNotifyEvent*>(e);
        HandleFrameNotify(n->code, n->name);
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::HandleFrameNotify(int code, const QString& name) {
    switch (code) {
        case NOTIFY_REFRESH_TREE: {
            CWaitCursor busy;
            Tree()->RefreshFromDevice();
            break;
        }
        case NOTIFY_SELECT:
            if (m_grid) m_grid->ShowComponent(name, false);
            if (!name.isNull() && m_view) m_view->SelectItemByName(name);
            Tree()->SelectByName(name);
            break;
        case NOTIFY_COMPONENT_CHANGED:
            if (name.isNull() || !m_view) break;
            m_view->ReloadComponent(name);
            RefreshSamplingAndShow();
            break;
        case NOTIFY_COMMENT_CHANGED:
            if (!name.isNull() && m_view) m_view->ReloadComment(name);
            break;
        case NOTIFY_DELETE_COMPONENT:
            if (ReadRunningState()) {
                CMessageService::Get().Inform(this, QStringLiteral("请停止工程，然后再删除组件!"));
                break;
            }
            if (!name.isNull() && m_view) {
                if (m_view->HasItem(name)) m_view->DeleteItem(name);
            }
            RefreshSamplingAndShow();
            break;
        default:
            break;  // codes 2, 3 and others are ignored
    }
}

void CMainFrame::OnDeviceMessage(const unsigned char* msg, int length, void*) {
    // Bytes from the device are untrusted: every text is bounded by the message's length.
    if (!msg || length < int(sizeof(T_MSG_HEAD))) return;
    const auto* head = reinterpret_cast<const T_MSG_HEAD*>(msg);
    const char* p = reinterpret_cast<const char*>(msg) + sizeof(T_MSG_HEAD);
    const char* end = reinterpret_cast<const char*>(msg) + length;
    auto takeText = [&](const char*& at) {
        const void* nul = std::memchr(at, 0, size_t(end - at));
        std::string text(at, nul ? static_cast<const char*>(nul) : end);
        at = nul ? static_cast<const char*>(nul) + 1 : end;
        return text;
    };
    switch (head->cmd) {
        case 20: {
            std::string name = takeText(p);
            std::string value = p < end ? takeText(p) : std::string();
            KVS_Printf(KVS_LEVEL_NORMAL, GbkFormat("收到监控事件--属性名:%s,当前值:%s"),
                       name.c_str(), value.c_str());
            break;
        }
        case 100: {
            uint32_t count = uint32_t(head->param.value);
            for (uint32_t i = 0; i < count && p < end; ++i) {
                int level = static_cast<signed char>(*p++);
                std::string text = p < end ? takeText(p) : std::string();
                KVS_Printf(unsigned(level), GbkFormat("KVS固件信息:  %s"), text.c_str());
            }
            break;
        }
        default:
            KVS_Printf(KVS_LEVEL_NORMAL, "%s", GbkFormat("收到不能识别的KVS消息类型"));
            break;
    }
}
