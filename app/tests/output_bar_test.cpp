// The output pane as the library's information window: lines logged through KVS_Printf (on
// any thread) arrive newest first, with their level icon, time and text.
#include "app/output_bar.h"

#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <cstring>
#include <thread>

#include "app/device/device.h"
#include "app/device/gbk_text.h"
#include "kvsh_user.h"

class OutputBarTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        bar = new COutputBar;
        bar->resize(700, 200);
        bar->show();
        bar->AttachLog(device);
    }
    void cleanup() {
        delete bar;
        bar = nullptr;
    }

    void levelsShowTheirIconsAndLinesArriveNewestFirst() {
        struct Case {
            unsigned level;
            bool icon;
        } cases[] = {{0, false}, {1, true}, {2, true}, {3, true}, {4, false}};
        for (const Case& c : cases)
            KVS_Printf(c.level, "%s %u", ToGbk(QStringLiteral("级别")).constData(), c.level);
        COutputList* list = bar->List();
        QTRY_COMPARE(list->topLevelItemCount(), 5);
        for (int row = 0; row < 5; ++row) {
            const Case& c = cases[4 - row];  // the last line logged is the first row
            QTreeWidgetItem* item = list->topLevelItem(row);
            QCOMPARE(item->text(2), QStringLiteral("级别 %1").arg(c.level));
            QCOMPARE(item->text(0), QString());
            QCOMPARE(!item->icon(0).isNull(), c.icon);
            QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                        .match(item->text(1))
                        .hasMatch());
        }
        // The three level icons differ from each other.
        auto image = [&](int row) { return list->topLevelItem(row)->icon(0).pixmap(16).toImage(); };
        QVERIFY(image(1) != image(2));
        QVERIFY(image(2) != image(3));
        QVERIFY(image(1) != image(3));
    }

    void linesLoggedOnOtherThreadsOutliveTheRing() {
        // More lines than the library's 32-entry ring, all logged before the pane handles any:
        // each must still show its own text.
        std::thread t([] {
            for (int i = 0; i < 100; ++i) KVS_Printf(KVS_LEVEL_NORMAL, "line %d", i);
        });
        t.join();
        COutputList* list = bar->List();
        QTRY_COMPARE(list->topLevelItemCount(), 100);
        for (int row = 0; row < 100; ++row)
            QCOMPARE(list->topLevelItem(row)->text(2), QStringLiteral("line %1").arg(99 - row));
    }

    void textColumnFollowsThePaneWidth() {
        COutputList* list = bar->List();
        QCOMPARE(list->columnWidth(0), 20);
        QCOMPARE(list->columnWidth(1), 60);
        // The time text fits its column whatever font this machine has.
        QVERIFY(QFontMetrics(list->TimeFont()).horizontalAdvance(QStringLiteral("00:00:00")) <=
                60 - 6);
        bar->resize(500, 200);
        QTRY_COMPARE(list->columnWidth(2), 500 - 82);
        bar->resize(600, 200);  // 100 pixels wider: the text column gains all 100
        QTRY_COMPARE(list->columnWidth(2), 600 - 82);
        QVERIFY(list->isHeaderHidden());
        QCOMPARE(list->headerItem()->text(2), QStringLiteral("信息内容"));
    }

    void aLineLoggedAfterThePanesDestructionIsDropped() {
        // Another thread keeps logging while the pane goes away.
        std::atomic<bool> stop{false};
        std::thread t([&] {
            while (!stop) KVS_Printf(KVS_LEVEL_NORMAL, "late");
        });
        QTest::qWait(5);
        delete bar;
        bar = nullptr;
        KVS_Printf(KVS_LEVEL_NORMAL, "after");
        stop = true;
        t.join();
        QCoreApplication::processEvents();  // nothing was posted to the freed pane
    }

  private:
    CKvsDevice device;
    COutputBar* bar = nullptr;
};

QTEST_MAIN(OutputBarTest)
#include "output_bar_test.moc"
