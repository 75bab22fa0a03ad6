#include "app/korvessa_doc.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/settings_keys.h"

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

bool CKorvessaDoc::New() {
    SetPath(QString());
    SetModified(false);
    if (!m_firstNew) m_frame.ClearProject();
    m_firstNew = false;
    return true;
}

bool CKorvessaDoc::Open(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
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

bool CKorvessaDoc::SaveAs() {
    QString path = CMessageService::Get().AskSaveFile(m_dialogParent, FileFilter());
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".kvs");
    return SaveTo(path);
}

bool CKorvessaDoc::SaveTo(const QString& path) {
    DeviceResult<QByteArray> text = m_device.UploadConfig();
    QSaveFile file(path);
    bool saved = text.Ok() && file.open(QIODevice::WriteOnly) &&
                 file.write(text.value) == text.value.size() && file.commit();
    SetPath(path);  // the document takes the name either way
    SetModified(false);
    CMessageService::Get().Inform(m_dialogParent,
                                  saved ? QStringLiteral("保存当前下位机配置成功！")
                                        : QStringLiteral("获取下位机配置出错，保存失败"));
    return saved;
}

void CKorvessaDoc::AddRecentFile(const QString& path) {
    QString abs = QFileInfo(path).absoluteFilePath();
    m_recent.removeAll(abs);
    m_recent.prepend(abs);
    while (m_recent.size() > kRecentFileCount) m_recent.removeLast();
    Settings().setValue(SettingsKey::kRecentFiles, m_recent);
    emit RecentFilesChanged();
}
