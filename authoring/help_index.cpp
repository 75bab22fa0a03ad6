#include "authoring/help_index.h"

#include <QFileInfo>

#include "authoring/data_paths.h"
#include "authoring/help_window.h"
#include "authoring/xml/xml_doc.h"

namespace {
const QString kIndexFile = QStringLiteral("help/help.xml");
const QString kManualFolder = QStringLiteral("help/manual");
}  // namespace

CHelpIndex::CHelpIndex(IHelpViewer& viewer, const QString& dataRoot) : m_viewer(viewer) {
    const QString root = dataRoot.isEmpty() ? FindDataRoot(kIndexFile) : dataRoot;
    m_index = root + u'/' + kIndexFile;
    m_manual = root + u'/' + kManualFolder;
}

QString CHelpIndex::TopicKey(const QString& key) {
    qsizetype dash = key.indexOf(u'-');
    return dash < 0 ? QString() : key.left(dash);
}

void CHelpIndex::OpenTopic(const QString& key) {
    const QString topic = TopicKey(key);
    if (topic.isEmpty()) return;  // matches no element
    CXmlDoc index;
    if (!index.LoadFile(m_index)) return;
    if (!QFileInfo(m_manual).isDir()) return;
    while (index.NextElement()) {
        if (index.ElementName() == topic)
            m_viewer.ShowTopic(m_manual, index.AttributeValue(QStringLiteral("目录地址")));
    }
}

IHelpViewer& HelpWindowViewer() {
    static CHelpWindowViewer viewer;
    return viewer;
}
