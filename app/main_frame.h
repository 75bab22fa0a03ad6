// CMainFrame: the main window. It alone knows whether a device is connected and whether its
// work loop runs; every command's enable rule follows from these two flags. It opens and closes
// the link, drives the device through the component manager, prints unsolicited device
// messages, and coordinates the panes on CFrameNotifyEvent.
//
// Threads: everything runs on the user-interface thread except OnDeviceMessage, which the link
// library calls on its receive thread; it reads no frame state and only logs through the
// library, whose lines reach the output pane as posted events.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <map>

#include "app/common/pane_hooks.h"

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QToolBar;
class CComponentTree;
class CKVSWorkBar;
class COutputBar;

// Names of the values the frame keeps in the settings store.
namespace SettingsKey {
inline constexpr const char* kOrganization = "应用程序向导生成的本地应用程序";
inline constexpr const char* kApplication = "Korvessa";
inline constexpr const char* kLook = "ApplicationLook";
inline constexpr const char* kGeometry = "MainFrame/Geometry";
inline constexpr const char* kDockState = "MainFrame/DockState";
inline constexpr const char* kToolbarButtons = "MainFrame/ToolbarButtons";
inline constexpr const char* kRecentFiles = "RecentFileList";
}  // namespace SettingsKey

// How to reach the device: the connection dialog's result.
struct LinkParams {
    int way = 2;                                   // 0 serial, 1 USB, 2 UDP
    QString linkText;                              // serial initialisation text
    int deviceIndex = 0;                           // USB device index
    std::array<uint8_t, 4> address{127, 0, 0, 1};  // UDP address
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kAnalyzerPaneId = 12312;
    static constexpr int kPropertyPaneId = 150;
    static constexpr int kLayoutVersion = 1;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    bool IsConnected() const { return m_connected; }
    bool IsRunning() const { return m_running; }
    const LinkParams& Link() const { return m_link; }

    // The action of a command id (menus and toolbar share it), or nullptr.
    QAction* Action(int id) const;
    // Carries out a command as its menu entry would (only when it is enabled).
    void Execute(int id);
    // Replaces or adds the handler of a command; later modules attach theirs here.
    void SetCommandHandler(int id, std::function<void()> handler);

    // --- commands ------------------------------------------------------------------------------
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
    bool ReloadAfterDownload();
    // Clears the device's running project; false on failure (message shown).
    bool ClearProject();

    // --- looks and layout ------------------------------------------------------------------------
    int Look() const { return m_look; }
    void SetLook(int id);
    void SaveLayout() const;
    void RestoreLayout();
    // The toolbar's buttons in their order, as command ids (0 = separator).
    static const std::vector<int>& ToolbarLayout();
    std::vector<int> VisibleToolbarButtons() const;
    void SetVisibleToolbarButtons(const std::vector<int>& ids);

    // --- recent files
    // -------------------------------------------------------------------------------
    QStringList RecentFiles() const { return m_recent; }
    void AddRecentFile(const QString& path);
    // Opens a project file (command line, recent list, open command): the document's load.
    void OpenDocumentFile(const QString& path);
    // Saves the device's configuration text into path (the document's store).
    void SaveDocumentFile(const QString& path);
    const QString& DocumentPath() const { return m_documentPath; }

    // --- panes
    // --------------------------------------------------------------------------------------
    CComponentTree* Tree() const;
    CKVSWorkBar* TreeBar() const { return m_treeBar; }
    COutputBar* OutputBar() const { return m_outputBar; }
    QDockWidget* PropertyBar() const { return m_propertyBar; }
    QDockWidget* AnalyzerBar() const { return m_analyzerBar; }
    QToolBar* StandardToolBar() const { return m_toolBar; }
    void AttachView(IDiagramView* view) { m_view = view; }
    void AttachGrid(IPropertyGrid* grid) { m_grid = grid; }
    void AttachStrip(ISamplingStrip* strip) { m_strip = strip; }

    // The receive callback registered with the library (runs on its receive thread).
    static void OnDeviceMessage(const unsigned char* msg, int length, void* user);
    // The process-wide toggle of the "test" command (false before its first use).
    static bool TestToggle();

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateDocks();
    void RebuildToolBar(const std::vector<int>& ids);
    void UpdateRecentMenu();
    void UpdateCommandUI();
    void SetConnected(bool connected);
    void SetRunning(bool running);
    bool ReadRunningState();
    void RefreshSamplingAndShow();
    void HandleFrameNotify(int code, const QString& name);
    void EmptyGrid();
    void SetDocumentPath(const QString& path);

    bool m_connected = false;
    bool m_running = false;
    int m_settleMs = 100;
    LinkParams m_link;
    int m_look = 0;
    QStringList m_recent;
    QString m_documentPath;

    std::map<int, QAction*> m_actions;
    std::map<int, std::function<void()>> m_handlers;
    QActionGroup* m_lookGroup = nullptr;
    QMenu* m_recentMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::vector<int> m_toolbarButtons;
    QLabel* m_readyLabel = nullptr;

    CKVSWorkBar* m_treeBar = nullptr;
    COutputBar* m_outputBar = nullptr;
    QDockWidget* m_propertyBar = nullptr;
    QDockWidget* m_analyzerBar = nullptr;

    IDiagramView* m_view = nullptr;
    IPropertyGrid* m_grid = nullptr;
    ISamplingStrip* m_strip = nullptr;
};
