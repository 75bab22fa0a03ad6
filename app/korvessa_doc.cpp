#include "app/korvessa_doc.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/settings_keys.h"
#include "browser/reply_records.h"
#include "tools/common/atomic_file.h"

namespace {
QSettings Settings() {
    return QSettings(QString::fromUtf8(SettingsKey::kOrganization),
                     QString::fromUtf8(SettingsKey::kApplication));
}
}  // namespace

QString CKorvessaDoc::FileFilter() { return QStringLiteral("KVS Project files(*.kvs)"); }

CKorvessaDoc::CKorvessaDoc(CDevice& device, IDocumentFrame& frame, QWidget* dialogParent)
    : m_device(device), m_frame(frame), m_dialogParent(dialogParent) {
    m_recent = Settings().value(SettingsKey::kRecentFiles).toStringList().mid(0, kRecentFileCount);
}

QString CKorvessaDoc::Title() const {
    return m_path.isEmpty() ? QStringLiteral("无标题") : QFileInfo(m_path).fileName();
}

void CKorvessaDoc::SetModified(bool modified) { m_modified = modified; }

void CKorvessaDoc::SetPath(const QString& path) {
    m_path = path;
    if (!path.isEmpty()) AddRecentFile(path);
    emit TitleChanged(Title());
}

QString CKorvessaDoc::ClearQuestion() {
    return QStringLiteral(
        "新建工程将清除下位机当前的全部配置（组件、连接和图表布局），清除后无法恢复。\n"
        "确定要清除吗？");
}

bool CKorvessaDoc::DeviceHoldsComponents() {
    DeviceResult<QByteArray> tree = m_device.ComponentTree();
    if (!tree.Ok()) return true;  // unknown: ask rather than clear unasked
    bool holds = false;
    ForEachRecord(tree.value, [&holds](const KVS_RECORD& rec) {
        holds = holds || rec.kind == KVS_KIND_INSTANCE;
    });
    return holds;
}

bool CKorvessaDoc::SaveModified() {
    if (!m_modified) return true;
    switch (CMessageService::Get().AskYesNoCancel(
        m_dialogParent, QStringLiteral("是否保存对 %1 的更改?").arg(Title()))) {
        case CMessageService::Answer::Yes: {
            const QString path = m_path.isEmpty() ? AskSavePath() : m_path;
            if (path.isEmpty()) return false;  // the file dialog was cancelled
            SaveTo(path);  // a failed save still lets the command go on, as it was carried out
            return true;
        }
        case CMessageService::Answer::No:
            return true;
        case CMessageService::Answer::Cancel:
            break;
    }
    return false;
}

bool CKorvessaDoc::New() {
    if (!m_firstNew) {
        if (!SaveModified()) return false;
        // Clearing takes the device's whole configuration with no way back: only on Yes.
        if (DeviceHoldsComponents() && !CMessageService::Get().Ask(m_dialogParent, ClearQuestion()))
            return false;
    }
    SetPath(QString());
    SetModified(false);
    if (!m_firstNew) m_frame.ClearProject();
    m_firstNew = false;
    return true;
}

bool CKorvessaDoc::Open(const QString& path) {
    if (!SaveModified()) return false;
    QFile file(path);
    // Only a regular file is read: a FIFO would block the window, a device never ends.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        CMessageService::Get().Inform(m_dialogParent, QStringLiteral("打开文件失败: %1").arg(path));
        return false;
    }
    QByteArray text = file.read(kMaxProjectBytes);
    SetPath(path);
    SetModified(false);
    if (!m_device.DownloadConfig(text).Ok()) {
        CMessageService::Get().Inform(m_dialogParent, QStringLiteral("下位机装载配置出错!"));
        return false;
    }
    m_frame.ReloadAfterDownload();
    return true;
}

bool CKorvessaDoc::Save() {
    if (m_path.isEmpty()) return SaveAs();
    return SaveTo(m_path);
}

QString CKorvessaDoc::AskSavePath() {
    QString path = CMessageService::Get().AskSaveFile(m_dialogParent, FileFilter());
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".kvs");
    return path;
}

bool CKorvessaDoc::SaveAs() {
    const QString path = AskSavePath();
    if (path.isEmpty()) return false;
    return SaveTo(path);
}

bool CKorvessaDoc::SaveTo(const QString& path) {
    DeviceResult<QByteArray> text = m_device.UploadConfig();
    // The text goes to a temporary file beside the target, which replaces the target only
    // once it is whole: without a text, or when a write fails, the file keeps what it held.
    std::string error;
    const bool written =
        text.Ok() &&
        kvs::WriteFileAtomically(QFile::encodeName(path).toStdString(), text.value.constData(),
                                 size_t(text.value.size()), &error);
    SetPath(path);  // the document takes the name either way
    SetModified(false);
    QString message = QStringLiteral("保存当前下位机配置成功！");
    if (!text.Ok())
        message = QStringLiteral("获取下位机配置出错，保存失败");
    else if (!written)
        message = QStringLiteral("写入文件出错，保存失败，文件保持原有内容: %1")
                      .arg(QString::fromLocal8Bit(error.c_str()));
    CMessageService::Get().Inform(m_dialogParent, message);
    return written;
}

void CKorvessaDoc::AddRecentFile(const QString& path) {
    QString abs = QFileInfo(path).absoluteFilePath();
    m_recent.removeAll(abs);
    m_recent.prepend(abs);
    while (m_recent.size() > kRecentFileCount) m_recent.removeLast();
    Settings().setValue(SettingsKey::kRecentFiles, m_recent);
    emit RecentFilesChanged();
}
