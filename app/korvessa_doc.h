// CKorvessaDoc: the project document. A project file is the device's configuration text; the
// document never interprets it. Opening downloads the file's text to the device (the frame
// then re-reads everything), saving writes the text the device uploads. The document keeps
// the path, the title shown in the frame's caption, the modified flag and the recent files.
// User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "diagram/editor_hooks.h"

class CDevice;
class QWidget;

// What the document asks of the frame after its own device step.
class IDocumentFrame {
  public:
    virtual ~IDocumentFrame() = default;
    // Re-reads tree, diagram, grid, strip and running state after a download.
    virtual bool ReloadAfterDownload() = 0;
    // Clears the device's running project (its own failure message applies).
    virtual bool ClearProject() = 0;
};

class CKorvessaDoc : public QObject, public IDiagramDocument {
    Q_OBJECT
  public:
    static constexpr qint64 kMaxProjectBytes = 1048576;  // longer files are sent cut
    static constexpr int kRecentFileCount = 4;
    static QString FileFilter();  // "KVS Project files(*.kvs)"
    // The question asked before a new document clears a device that holds components.
    static QString ClearQuestion();

    // dialogParent: the window that message boxes and file dialogs belong to.
    CKorvessaDoc(CDevice& device, IDocumentFrame& frame, QWidget* dialogParent);

    // A new document: empty path, title "无标题". The first one (at start-up) touches no
    // device. Every later one first offers to save changes, then, when the device holds
    // components, asks whether its whole configuration may be cleared (only Yes goes on),
    // and clears the device's project. False when the user stopped it.
    bool New();
    // Offers to save changes first, then reads the file (at most kMaxProjectBytes) and
    // downloads it; on success the frame reloads. The document takes the file's name and the
    // file joins the recent list even when the device step failed. False when the user
    // stopped it, the file could not be read or the device refused it (its message was shown).
    bool Open(const QString& path);
    // While the document is modified, asks "是否保存对 %1 的更改?": Yes saves (the store step),
    // No goes on without saving, Cancel stops. True when the command may go on. Before new,
    // open and exit.
    bool SaveModified();
    // Saves under the current path, asking for one when there is none / always (SaveAs).
    // False when the user cancelled or the save failed.
    bool Save();
    bool SaveAs();
    // The store step: the device's text into path, replacing the file only once it is whole
    // (a failed upload or write keeps what the file held, and the message says which). The
    // document takes the name and is no longer modified either way.
    bool SaveTo(const QString& path);

    const QString& Path() const { return m_path; }
    // "无标题" for a new document, else the file's name.
    QString Title() const;
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified);
    // IDiagramDocument: a diagram item was pressed.
    void SetModifiedFlag() override { SetModified(true); }

    // The recent-file list (newest first, absolute paths), kept in the settings store.
    const QStringList& RecentFiles() const { return m_recent; }
    void AddRecentFile(const QString& path);

  signals:
    void TitleChanged(const QString& title);
    void RecentFilesChanged();

  private:
    void SetPath(const QString& path);
    bool DeviceHoldsComponents();
    // The file dialog for a save; "" when cancelled. A name without suffix gets ".kvs".
    QString AskSavePath();

    CDevice& m_device;
    IDocumentFrame& m_frame;
    QWidget* m_dialogParent;
    QString m_path;
    bool m_firstNew = true;
    bool m_modified = false;
    QStringList m_recent;
};
