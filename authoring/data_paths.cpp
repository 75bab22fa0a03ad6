#include "authoring/data_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString FindDataRoot(const QString& relative) {
    const QString work = QDir::currentPath();
    if (QFileInfo::exists(work + u'/' + relative)) return work;
    if (QCoreApplication::instance()) {
        const QString exe = QCoreApplication::applicationDirPath();
        if (QFileInfo::exists(exe + u'/' + relative)) return exe;
    }
    return work;
}
