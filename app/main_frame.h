// CMainFrame: the main window. It alone knows whether a device is connected and whether its
// work loop runs; every command's enable rule follows from these two flags. It owns the
// device-call layer (the program's one CDevice, with the busy-cursor hook) and hands it to the
// panes and dialogs, opens and closes the link, drives the device through the component
// manager, and prints unsolicited device messages. Project files are the document's
// (CKorvessaDoc); the routing of CFrameNotifyEvent to the panes is the coordinator's
// (CFrameCoordinator); commands are a registry that later modules attach to.
//
// Attach points for later modules: AttachView (the central widget and IDiagramView),
// AttachGrid (the "属性" pane's content and IPropertyGrid), AttachStrip (the "逻辑分析仪"
// pane's content and ISamplingStrip), Commands() (handlers and enable rules), Document() (the
// view's IDiagramDocument), Device() and the frame itself as the target of posted events.
//
// Threads: everything runs on the user-interface thread except OnDeviceMessage, which the
// device layer calls on the library's receive thread; it reads no frame state and only logs
// through the device, whose lines reach the output pane as posted events.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "app/common/command_registry.h"
#include "app/common/pane_hooks.h"
#include "app/device/device.h"
#include "app/korvessa_doc.h"
#include "app/settings_keys.h"

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QToolBar;
class CAuthoringHooks;
class CBusyCursorHook;
class CComponentTree;
class CFrameCoordinator;
class CKVSWorkBar;
class COutputBar;

// How to reach the device: the connection dialog's result.
struct LinkParams {
    int way = 2;                                   // 0 serial, 1 USB, 2 UDP (LinkWay)
    QString linkText;                              // serial initialisation text
    int deviceIndex = 0;                           // USB device index
    std::array<uint8_t, 4> address{127, 0, 0, 1};  // UDP address
};

class CMainFrame : public QMainWindow, public IDocumentFrame {
    Q_OBJECT
  public:
    static constexpr int kLayoutVersion = 1;
    // How long the status bar says why a connect found no device (ms).
    static constexpr int kNoAnswerNoticeMs = 5000;

    // device: the device-call layer to use (tests pass a scripted one); by default the
    // library's global connection.
    explicit CMainFrame(QWidget* parent = nullptr, std::unique_ptr<CDevice> device = nullptr);
    ~CMainFrame() override;

    bool IsConnected() const { return m_connected; }
    bool IsRunning() const { return m_running; }
    FrameState State() const { return {m_connected, m_running}; }
    const LinkParams& Link() const { return m_link; }
    CDevice& Device() const { return *m_device; }
    CKorvessaDoc* Document() const { return m_doc.get(); }
    CBusyCursorHook* BusyHook() const { return m_busyHook; }

    // --- commands ------------------------------------------------------------------------------
    // The action of a command id (menus and toolbar share it), or nullptr.
    QAction* Action(int id) const;
    // Carries out a command as its menu entry would (only when it is enabled).
    void Execute(int id);
    // Where modules attach their commands; call UpdateCommandUI after changing a rule.
    CCommandRegistry& Commands() { return m_commands; }
    // Replaces or adds the handler of a command (Commands().Register without a rule).
    void SetCommandHandler(int id, std::function<void()> handler);
    // Re-applies every command's enable rule to its action.
    void UpdateCommandUI();

    void OnConnect();                            // the dialog, then ConnectWith
    bool ConnectWith(const LinkParams& params);  // opens the link and reads the device
    // The pause between opening the link and the first request (100 ms).
    void SetSettleDelay(int ms) { m_settleMs = ms; }
    void OnDisconnect();
    void OnRun();
    void OnStop();
    void OnRestart();
    void OnSaveFlash();
    void OnTest();
    void OnAbout();
    void OnCustomizeToolbar();
    // Reload after a configuration download; false when the tree read failed.
    bool ReloadAfterDownload() override;
    // Clears the device's running project; false on failure (message shown).
    bool ClearProject() override;

    // --- looks and layout ------------------------------------------------------------------------
    int Look() const { return m_look; }
    void SetLook(int id);
    void SaveLayout() const;
    void RestoreLayout();
    // The toolbar's buttons in their order, as command ids (0 = separator).
    static const std::vector<int>& ToolbarLayout();
    std::vector<int> VisibleToolbarButtons() const;
    void SetVisibleToolbarButtons(const std::vector<int>& ids);

    // --- the project document (forwarders kept for the command line and tests) -------------------
    QStringList RecentFiles() const { return m_doc->RecentFiles(); }
    void AddRecentFile(const QString& path) { m_doc->AddRecentFile(path); }
    void OpenDocumentFile(const QString& path) { m_doc->Open(path); }
    void SaveDocumentFile(const QString& path) { m_doc->SaveTo(path); }
    const QString& DocumentPath() const { return m_doc->Path(); }

    // --- panes -----------------------------------------------------------------------------------
    CComponentTree* Tree() const;
    CKVSWorkBar* TreeBar() const { return m_treeBar; }
    COutputBar* OutputBar() const { return m_outputBar; }
    QDockWidget* PropertyBar() const { return m_propertyBar; }
    QDockWidget* AnalyzerBar() const { return m_analyzerBar; }
    QToolBar* StandardToolBar() const { return m_toolBar; }
    CFrameCoordinator& Coordinator() const { return *m_coordinator; }
    // The diagram view: its interface, and the widget that becomes the central widget (the
    // frame takes it over; null keeps the current one).
    void AttachView(IDiagramView* view, QWidget* widget = nullptr);
    // The property grid: its interface and the "属性" pane's content.
    void AttachGrid(IPropertyGrid* grid, QWidget* content = nullptr);
    // The sampling strip: its interface and the "逻辑分析仪" pane's content.
    void AttachStrip(ISamplingStrip* strip, QWidget* content = nullptr);

    // An unsolicited device message (the receive thread calls it through the device layer).
    void OnDeviceMessage(const QByteArray& message);
    // The process-wide toggle of the "test" command (false before its first use).
    static bool TestToggle();

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void CreateActions();
    void RegisterCommands();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateDocks();
    void RebuildToolBar(const std::vector<int>& ids);
    void UpdateRecentMenu();
    void SetConnected(bool connected);
    void SetRunning(bool running);
    void WriteManager(const QString& attribute, const QString& value);

    std::unique_ptr<CDevice> m_device;
    CBusyCursorHook* m_busyHook = nullptr;
    std::unique_ptr<CKorvessaDoc> m_doc;
    std::unique_ptr<CFrameCoordinator> m_coordinator;
    std::unique_ptr<CAuthoringHooks> m_authoring;
    CCommandRegistry m_commands;

    bool m_connected = false;
    bool m_running = false;
    int m_settleMs = 100;
    LinkParams m_link;
    int m_look = 0;

    std::map<int, QAction*> m_actions;
    QActionGroup* m_lookGroup = nullptr;
    QMenu* m_recentMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::vector<int> m_toolbarButtons;
    QLabel* m_readyLabel = nullptr;

    CKVSWorkBar* m_treeBar = nullptr;
    COutputBar* m_outputBar = nullptr;
    QDockWidget* m_propertyBar = nullptr;
    QDockWidget* m_analyzerBar = nullptr;
};
