#include "authoring/help_window.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/common/icons.h"

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("CHelpWindow"));
    setWindowTitle(QStringLiteral("KVS平台使用手册"));
    setWindowIcon(ApplicationIcon());
    resize(900, 680);
    setAttribute(Qt::WA_DeleteOnClose);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(true);  // web addresses go to the system's browser

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("helpToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack),
                                   QStringLiteral("后退"), m_browser, &QTextBrowser::backward);
    QAction* forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward),
                                      QStringLiteral("前进"), m_browser, &QTextBrowser::forward);
    QAction* home =
        bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("主页"), this,
                       [this] { m_browser->setSource(m_home); });
    back->setObjectName(QStringLiteral("helpBack"));
    forward->setObjectName(QStringLiteral("helpForward"));
    home->setObjectName(QStringLiteral("helpHome"));
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString manual = QStringLiteral("KVS平台使用手册");
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() || title == manual ? manual
                                                          : title + QStringLiteral(" - ") + manual);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_browser, 1);
}

void CHelpWindow::ShowPage(const QUrl& page, const QUrl& home) {
    m_home = home;
    m_browser->setSource(page);
}

void CHelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Back))
        m_browser->backward();
    else if (event->matches(QKeySequence::Forward))
        m_browser->forward();
    else
        QWidget::keyPressEvent(event);
}

QUrl CHelpWindowViewer::PageUrl(const QString& manual, const QString& address) {
    QString file = address;
    QString anchor;
    if (qsizetype hash = address.indexOf(u'#'); hash >= 0) {
        file = address.left(hash);
        anchor = address.mid(hash + 1);
    }
    const QString path =
        QDir(manual).filePath(file.isEmpty() ? QStringLiteral("index.html") : file);
    if (!QFileInfo(path).isFile()) return {};
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (!anchor.isEmpty()) url.setFragment(anchor);
    return url;
}

void CHelpWindowViewer::ShowTopic(const QString& manual, const QString& address) {
    const QUrl page = PageUrl(manual, address);
    if (page.isEmpty()) return;  // a manual without this page shows nothing
    if (!m_window) m_window = new CHelpWindow;
    m_window->ShowPage(page, PageUrl(manual, QStringLiteral("index.html")));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
