// Start-up as `korvessa [--demo] [--screenshot FILE] [PROJECT.kvs]`: the command line, and the
// demo that starts the simulated controller in this process and connects to it (UDP on the
// fixed ports: runs in a private network namespace).
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/korvessa_app.h"
#include "app/main_frame.h"
#include "browser/component_tree.h"
#include "devsim/device.h"
#include "test_support.h"

class DemoStartTest : public QObject {
    Q_OBJECT
  private slots:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QString>("project");
        QTest::addColumn<QString>("screenshot");
        QTest::addColumn<bool>("refused");
        QTest::newRow("nothing") << QStringList{"korvessa"} << false << ""
                                 << "" << false;
        QTest::newRow("demo and project")
            << QStringList{"korvessa", "--demo", "a.kvs"} << true << "a.kvs"
            << "" << false;
        QTest::newRow("screenshot")
            << QStringList{"korvessa", "--screenshot", "s.png", "--demo"} << true << ""
            << "s.png" << false;
        QTest::newRow("screenshot without file")
            << QStringList{"korvessa", "--screenshot"} << false << ""
            << "" << true;
        QTest::newRow("unknown option") << QStringList{"korvessa", "--fast"} << false << ""
                                        << "" << true;
        QTest::newRow("two projects")
            << QStringList{"korvessa", "a.kvs", "b.kvs"} << false << "a.kvs"
            << "" << true;
    }

    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(bool, demo);
        QFETCH(QString, project);
        QFETCH(QString, screenshot);
        QFETCH(bool, refused);
        StartOptions o = ParseCommandLine(args);
        QCOMPARE(!o.error.isEmpty(), refused);
        if (refused) return;
        QCOMPARE(o.demo, demo);
        QCOMPARE(o.projectFile, project);
        QCOMPARE(o.screenshot, screenshot);
    }

    void serviceOptionOffersTheFirmwareEnduranceTest() {
        StartOptions o = ParseCommandLine({"korvessa", "--service", "--demo"});
        QVERIFY(o.error.isEmpty());
        QVERIFY(o.service);
        QVERIFY(!ParseCommandLine({"korvessa", "--demo"}).service);
    }

    void demoConnectsToItsSimulatorAndOpensTheNamedProject() {
        CRecordingService service;
        // A project holding a single counter, made by a simulator of its own.
        auto source = devsim::Device::CreateEmpty();
        std::string counter = source->AddComponent("计数器");
        QTemporaryDir dir;
        QString project = dir.filePath("one-counter.kvs");
        {
            QFile f(project);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ToGbk(QString::fromStdString(source->ExportConfig())));
        }
        StartOptions o;
        o.demo = true;
        o.projectFile = project;
        CKorvessaApp korvessa;
        QVERIFY(korvessa.Start(o));
        QVERIFY(korvessa.Simulator());
        QTRY_VERIFY(korvessa.Frame()->IsConnected());
        // The project was downloaded after the connect: the simulator now holds its counter.
        QTRY_COMPARE(service.informs, QStringList({"下位机载新的配置成功!"}));
        QCOMPARE(korvessa.Frame()->Tree()->InstanceList(), QString::fromStdString(counter) + ";");
        QVERIFY(korvessa.Frame()->windowTitle().startsWith("one-counter.kvs"));
    }

    void demoWhoseSimulatorCannotStartStaysDisconnected() {
        CRecordingService service;
        auto other = devsim::Device::CreateDemo();
        QVERIFY(other->StartUdp("127.0.0.1", 30001));  // the port is taken
        StartOptions o;
        o.demo = true;
        CKorvessaApp korvessa;
        QVERIFY(korvessa.Start(o));
        QCOMPARE(service.informs.size(), 1);
        QVERIFY(service.informs[0].startsWith(QStringLiteral("无法启动模拟下位机")));
        QCoreApplication::processEvents();
        QVERIFY(!korvessa.Frame()->IsConnected());
    }
};

QTEST_MAIN(DemoStartTest)
#include "demo_start_test.moc"
