// The help facility: which topics a key opens (a recording viewer stands in for the window),
// and the help window's pages, links and history.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "authoring/help_index.h"
#include "authoring/help_window.h"

namespace {
class CRecordingViewer : public IHelpViewer {
  public:
    void ShowTopic(const QString& manual, const QString& address) override {
        requests << QDir(manual).dirName() + ':' + address;
    }
    QStringList requests;
};

void Write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}
const char* const kIndex = R"(<?xml version="1.0" encoding="UTF-8"?>
<帮助主页面 目录地址="index.html"/>
<定时器 目录地址="timer.html"/>
<与门 目录地址="gates.html#and"/>
<定时器 目录地址="timer.html#example"/>
<用户自定义组件 目录地址="user.html"/>
)";
}  // namespace

class HelpTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void initTestCase() {
        Write(dir.filePath("help/help.xml"), kIndex);
        QDir().mkpath(dir.filePath("help/manual"));
    }

    void aKeyOpensEveryEntryOfItsTopicInDocumentOrder_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("instance") << "定时器-5"
                                  << QStringList{"manual:timer.html", "manual:timer.html#example"};
        QTest::newRow("help command") << "帮助主页面-0" << QStringList{"manual:index.html"};
        QTest::newRow("cut at the first dash")
            << "用户自定义组件-1-2" << QStringList{"manual:user.html"};
        QTest::newRow("no dash") << "定时器" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("leading dash") << "-5" << QStringList{};
        QTest::newRow("unknown type") << "计数器-1" << QStringList{};
    }
    void aKeyOpensEveryEntryOfItsTopicInDocumentOrder() {
        QFETCH(QString, key);
        QFETCH(QStringList, requests);
        CRecordingViewer viewer;
        CHelpIndex(viewer, dir.path()).OpenTopic(key);
        QCOMPARE(viewer.requests, requests);
    }

    void aMissingIndexOrManualOpensNothing() {
        QTemporaryDir empty;
        CRecordingViewer viewer;
        CHelpIndex(viewer, empty.path()).OpenTopic("定时器-5");
        QDir().mkpath(empty.filePath("help"));
        QFile::copy(dir.filePath("help/help.xml"), empty.filePath("help/help.xml"));
        CHelpIndex(viewer, empty.path()).OpenTopic("定时器-5");  // no manual folder
        QVERIFY(viewer.requests.isEmpty());
    }

    void theIndexIsFoundInTheWorkingDirectory() {
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        CRecordingViewer viewer;
        CHelpIndex index(viewer);
        QDir::setCurrent(old);
        QCOMPARE(index.IndexPath(), dir.path() + "/help/help.xml");
        index.OpenTopic("与门-1");
        QCOMPARE(viewer.requests, QStringList({"manual:gates.html#and"}));
    }

    void pageAddressesKeepTheirAnchorAndMissingPagesGiveNothing() {
        Write(dir.filePath("help/manual/timer.html"), "<html><body>t</body></html>");
        const QString manual = dir.filePath("help/manual");
        QUrl url = CHelpWindowViewer::PageUrl(manual, "timer.html#example");
        QCOMPARE(url.fileName(), QStringLiteral("timer.html"));
        QCOMPARE(url.fragment(), QStringLiteral("example"));
        QVERIFY(CHelpWindowViewer::PageUrl(manual, "missing.html").isEmpty());
    }

    void theWindowFollowsLinksAndGoesBackForwardAndHome() {
        const QString manual = dir.filePath("help/manual");
        Write(manual + "/index.html",
              "<html><head><title>主页</title></head><body><a href=\"a.html\">A</a></body></html>");
        Write(
            manual + "/a.html",
            "<html><head><title>页面A</title></head><body><a href=\"b.html\">B</a></body></html>");
        Write(manual + "/b.html", "<html><head><title>页面B</title></head><body>b</body></html>");
        CHelpWindowViewer viewer;
        viewer.ShowTopic(manual, "a.html");
        CHelpWindow* window = viewer.Window();
        QVERIFY(window && window->isVisible());
        QTextBrowser* browser = window->Browser();
        QCOMPARE(browser->documentTitle(), QStringLiteral("页面A"));
        browser->setSource(QUrl("b.html"));  // what clicking the link does
        QCOMPARE(browser->documentTitle(), QStringLiteral("页面B"));
        QVERIFY(window->windowTitle().startsWith("页面B"));
        browser->backward();
        QCOMPARE(browser->documentTitle(), QStringLiteral("页面A"));
        browser->forward();
        QCOMPARE(browser->documentTitle(), QStringLiteral("页面B"));
        window->findChild<QAction*>("helpHome")->trigger();
        QCOMPARE(browser->documentTitle(), QStringLiteral("主页"));
        viewer.ShowTopic(manual, "missing.html");  // nothing happens
        QCOMPARE(browser->documentTitle(), QStringLiteral("主页"));
        window->close();
    }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
