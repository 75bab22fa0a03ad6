// The component tree built from hand-made replies: contents, images, instance list, selection
// by the user and by name, and the drag of a type that ends in a drop event.
#include "browser/component_tree.h"

#include <QApplication>
#include <QTest>
#include <QTreeWidget>

#include "app/common/frame_events.h"
#include "app/device/fake_device.h"
#include "test_support.h"

namespace {
// Receives what the tree posts.
class CEventSink : public QWidget {
  public:
    std::vector<std::pair<int, QString>> notifies;
    std::vector<std::pair<QString, QPoint>> drops;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == KvsEvent::FrameNotify) {
            auto* n = static_cast<CFrameNotifyEvent*>(e);
            notifies.emplace_back(n->code, n->name);
            return true;
        }
        if (e->type() == KvsEvent::ComponentDrop) {
            auto* d = static_cast<CComponentDropEvent*>(e);
            drops.emplace_back(d->type, d->point);
            return true;
        }
        return QWidget::event(e);
    }
};

QStringList Children(QTreeWidgetItem* item) {
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i) names << item->child(i)->text(0);
    return names;
}

int Image(QTreeWidgetItem* item) { return item->data(0, CComponentTree::kImageRole).toInt(); }
int Kind(QTreeWidgetItem* item) { return item->data(0, CComponentTree::kKindRole).toInt(); }
}  // namespace

class ComponentTreeTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        sink = new CEventSink;
        tree = new CComponentTree(device);
        tree->SetNotifyTarget(sink);
        tree->resize(300, 400);
        tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(tree));
    }
    void cleanup() {
        delete tree;
        delete sink;
    }

    void typesAndInstancesInReplyOrderWithTheirImages() {
        auto reply = BuildReply(1, {{1, 0, "定时器"},
                                    {2, 0, "定时器-1"},
                                    {2, 1, "定时器-5"},
                                    {1, 7, "信号发生器"},
                                    {1, 0, "表达式运算"},
                                    {2, 0, "表达式运算-3"}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("组件管理器"));
        QCOMPARE(Image(root), 0);
        QCOMPARE(Kind(root), 0);
        QCOMPARE(Children(root), QStringList({"定时器", "信号发生器", "表达式运算"}));
        QTreeWidgetItem* timer = root->child(0);
        QCOMPARE(Children(timer), QStringList({"定时器-1", "定时器-5"}));
        QCOMPARE(Image(timer), 1);
        QCOMPARE(Image(root->child(1)), 3);  // a type with a non-zero flag
        QCOMPARE(Image(timer->child(0)), 2);
        QCOMPARE(Image(timer->child(1)), 4);  // an instance with a non-zero flag
        QCOMPARE(Kind(timer), 1);
        QCOMPARE(Kind(timer->child(0)), 2);
        QCOMPARE(tree->InstanceList(), QStringLiteral("定时器-1;定时器-5;表达式运算-3;"));
        // Every instance is visible: root and the types that have instances are expanded.
        QVERIFY(root->isExpanded());
        QVERIFY(timer->isExpanded());
        QVERIFY(!root->child(1)->isExpanded());
    }

    void edgeShapesOfTheReply() {
        // No records: the root alone, collapsed, and an empty instance list.
        auto empty = BuildReply(1, {});
        QVERIFY(tree->Rebuild(AsHead(empty)));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
        QVERIFY(!tree->topLevelItem(0)->isExpanded());
        QCOMPARE(tree->InstanceList(), QString());

        // An instance before any type lands at the top level beside the root.
        auto early = BuildReply(1, {{2, 0, "孤儿-1"}, {1, 0, "定时器"}});
        QVERIFY(tree->Rebuild(AsHead(early)));
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("孤儿-1"));
        QCOMPARE(tree->InstanceList(), QStringLiteral("孤儿-1;"));

        // No reply: empty tree, false, and the instance list of the last rebuild stays.
        QVERIFY(!tree->Rebuild(nullptr));
        QCOMPARE(tree->topLevelItemCount(), 0);
        QCOMPARE(tree->InstanceList(), QStringLiteral("孤儿-1;"));
    }

    void malformedReplyFailsWithoutReadingPastIt() {
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-1"}});
        reply[7] = 5;  // the head promises more records than the reply holds
        QVERIFY(!tree->Rebuild(AsHead(reply)));
        auto cut = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-1"}});
        cut[12] = 0xFF;  // the first record's size runs past the end
        QVERIFY(!tree->Rebuild(AsHead(cut)));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
    }

    void userSelectionPostsTheTextProgramSelectionDoesNot() {
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-1"}, {2, 0, "定时器-2"}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        QTreeWidgetItem* second = tree->topLevelItem(0)->child(0)->child(1);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(second).center());
        QTRY_COMPARE(sink->notifies.size(), size_t(1));
        QCOMPARE(sink->notifies[0], std::make_pair(int(NOTIFY_SELECT), QStringLiteral("定时器-2")));
        QCOMPARE(tree->SelectedText(), QStringLiteral("定时器-2"));

        // The keyboard counts as the user.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Up);
        QTRY_COMPARE(sink->notifies.size(), size_t(2));
        QCOMPARE(sink->notifies[1].second, QStringLiteral("定时器-1"));

        // SelectByName and a rebuild post nothing; a rebuild leaves nothing selected.
        QVERIFY(tree->SelectByName(QStringLiteral("定时器-2")));
        QVERIFY(tree->Rebuild(AsHead(reply)));
        QCOMPARE(tree->selectedItems().size(), 0);
        QCoreApplication::processEvents();  // delivers anything already posted
        QCOMPARE(sink->notifies.size(), size_t(2));
    }

    void aRebuiltTreeShowsNothingSelectedEvenWhenItGetsTheFocus() {
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-1"}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        QApplication::setActiveWindow(tree);
        QVERIFY(QTest::qWaitForWindowActive(tree));
        tree->setFocus();
        QTRY_VERIFY(tree->hasFocus());
        QCOMPARE(tree->selectedItems().size(), 0);
        QVERIFY(!tree->currentItem());
        QCoreApplication::processEvents();
        QVERIFY(sink->notifies.empty());
        // The tree device's rebuild leaves nothing selected as well.
        QVERIFY(tree->SelectByName(QStringLiteral("定时器-1")));
        device.SetRecords(
            1, QString(),
            QByteArray(reinterpret_cast<const char*>(reply.data()), qsizetype(reply.size())));
        QVERIFY(tree->RefreshFromDevice());
        QCOMPARE(tree->selectedItems().size(), 0);
    }

    void inertItemsAreNotSelected() {
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {255, 0, "占位"}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        QTreeWidgetItem* inert = tree->topLevelItem(0)->child(0)->child(0);
        QCOMPARE(Kind(inert), 255);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(inert).center());
        QCoreApplication::processEvents();  // delivers anything already posted
        QVERIFY(sink->notifies.empty());
    }

    void selectByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("selected");
        QTest::newRow("root") << QStringLiteral("组件管理器") << true
                              << QStringLiteral("组件管理器");
        QTest::newRow("instance") << QStringLiteral("定时器-5") << true
                                  << QStringLiteral("定时器-5");
        QTest::newRow("type") << QStringLiteral("定时器") << true << QStringLiteral("定时器");
        QTest::newRow("first:second below first")
            << QStringLiteral("定时器:定时器-5") << true << QStringLiteral("定时器-5");
        QTest::newRow("slot name clears") << QStringLiteral("定时器-5:输出") << false << QString();
        QTest::newRow("unknown clears") << QStringLiteral("无此组件") << false << QString();
        QTest::newRow("empty clears") << QString() << false << QString();
        QTest::newRow("over-long clears") << QString(64, QLatin1Char('a')) << false << QString();
    }

    void selectByName() {
        QFETCH(QString, name);
        QFETCH(bool, found);
        QFETCH(QString, selected);
        auto reply = BuildReply(
            1, {{1, 0, "定时器"}, {2, 0, "定时器-5"}, {2, 0, QString(64, 'a').toStdString()}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        QVERIFY(tree->SelectByName(QStringLiteral("定时器")));  // something selected before
        QCOMPARE(tree->SelectByName(name), found);
        QList<QTreeWidgetItem*> sel = tree->selectedItems();
        if (found) {
            QCOMPARE(sel.size(), 1);
            QCOMPARE(sel[0]->text(0), selected);
        } else {
            QCOMPARE(sel.size(), 0);
        }
        QCoreApplication::processEvents();  // delivers anything already posted
        QVERIFY(sink->notifies.empty());
    }

    void draggingATypePostsTheDropToTheWidgetUnderThePointer() {
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-1"}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        sink->setGeometry(500, 100, 300, 300);
        sink->show();
        QVERIFY(QTest::qWaitForWindowExposed(sink));
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QTreeWidgetItem* type = root->child(0);
        QTreeWidgetItem* instance = type->child(0);

        // Only types can be dragged.
        QVERIFY(!tree->BeginDrag(root, QPoint(10, 10)));
        QVERIFY(!tree->BeginDrag(instance, QPoint(10, 10)));
        QVERIFY(!tree->IsDragging());

        QVERIFY(tree->BeginDrag(type, tree->mapToGlobal(QPoint(5, 5))));
        QVERIFY(tree->IsDragging());
        // The mouse is grabbed by the viewport, which gets the release (a grab on the scroll
        // area itself never sees it, and the mouse would stay locked out of the program).
        QCOMPARE(QWidget::mouseGrabber(), tree->viewport());
        tree->DragMove(sink->mapToGlobal(QPoint(30, 30)));
        QPoint drop = sink->mapToGlobal(QPoint(40, 60));
        QCOMPARE(tree->EndDrag(drop), static_cast<QWidget*>(sink));
        QVERIFY(!tree->IsDragging());
        QVERIFY(!QWidget::mouseGrabber());
        QTRY_COMPARE(sink->drops.size(), size_t(1));
        QCOMPARE(sink->drops[0].first, QStringLiteral("定时器"));
        QCOMPARE(sink->drops[0].second, QPoint(40, 60));
        QCOMPARE(tree->DropPoint(), QPoint(40, 60));
    }

    void mouseDragOfATypeEndsInADrop() {
        auto reply = BuildReply(1, {{1, 0, "定时器"}, {2, 0, "定时器-1"}});
        QVERIFY(tree->Rebuild(AsHead(reply)));
        sink->setGeometry(500, 100, 300, 300);
        sink->show();
        QVERIFY(QTest::qWaitForWindowExposed(sink));
        QTreeWidgetItem* type = tree->topLevelItem(0)->child(0);
        QPoint start = tree->visualItemRect(type).center();
        QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, start + QPoint(30, 0),
                         tree->viewport()->mapToGlobal(start + QPoint(30, 0)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &move);
        QVERIFY(tree->IsDragging());
        QPoint global = sink->mapToGlobal(QPoint(20, 25));
        QMouseEvent release(QEvent::MouseButtonRelease, tree->viewport()->mapFromGlobal(global),
                            global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &release);
        QVERIFY(!tree->IsDragging());
        QTRY_COMPARE(sink->drops.size(), size_t(1));
        QCOMPARE(sink->drops[0].second, QPoint(20, 25));
    }

  private:
    CFakeDevice device;
    CEventSink* sink = nullptr;
    CComponentTree* tree = nullptr;
};

QTEST_MAIN(ComponentTreeTest)
#include "component_tree_test.moc"
