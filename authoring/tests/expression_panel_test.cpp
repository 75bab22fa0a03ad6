// The expression panel against a small catalogue and a scripted device: the tree, what a
// selection shows, the selection on opening, and what "添加" writes.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "app/device/fake_device.h"
#include "app/tests/test_support.h"
#include "authoring/dlg_expression_panel.h"
#include "frame_recorder.h"

namespace {
const QString kComp = QStringLiteral("表达式运算-1");

// Two categories with a prototype of the same name, a prototype with one child and one
// without children.
const char* const kCatalogue = R"(<?xml version="1.0" encoding="UTF-8"?>
<分类一>
  <加法 关联波形="/pic/add.bmp" 输入口个数="2"><e>x1+x2</e><d>两数之和</d></加法>
  <同名 关联波形="/pic/first.bmp" 输入口个数="1"><e>x1</e><d>第一类</d></同名>
  <单子 输入口个数="3"><e>x1&amp;&amp;x2</e></单子>
  <空原型 输入口个数="0"/>
</分类一>
<分类二>
  <同名 关联波形="/pic/second.bmp" 输入口个数="4"><e>x1*4</e><d>第二类</d></同名>
</分类二>
)";

QTreeWidgetItem* Find(QTreeWidget* tree, const QString& text) {
    QList<QTreeWidgetItem*> items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.first();
}
}  // namespace

class ExpressionPanelTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString oldCwd;
    CFakeDevice device;
    CFrameRecorder frame;

    std::unique_ptr<CDlgExpressionPanel> Open() {
        auto panel = std::make_unique<CDlgExpressionPanel>(device, kComp, &frame);
        panel->Load();
        return panel;
    }
    template <class T>
    T* Child(QDialog& d, const char* name) {
        return d.findChild<T*>(QString::fromLatin1(name));
    }
    QStringList Boxes(QDialog& d) {
        return {Child<QLineEdit>(d, "aliasEdit")->text(),
                Child<QPlainTextEdit>(d, "expressionEdit")->toPlainText(),
                Child<QLineEdit>(d, "inputCountEdit")->text(),
                Child<QPlainTextEdit>(d, "descriptionEdit")->toPlainText()};
    }

  private slots:
    void initTestCase() {
        QDir(dir.path()).mkpath("expression");
        QDir(dir.path()).mkpath("pic");
        QFile f(dir.filePath("expression/expcfg.xml"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kCatalogue);
        f.close();
        for (auto [name, w] : {std::pair{"first", 30}, std::pair{"second", 40}}) {
            QImage img(w, 20, QImage::Format_RGB32);
            img.fill(Qt::red);
            QVERIFY(img.save(dir.filePath(QStringLiteral("pic/%1.bmp").arg(name)), "BMP"));
        }
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void cleanupTestCase() { QDir::setCurrent(oldCwd); }
    void init() {
        device.m_log.clear();
        device.SetValue(kComp, "用户注释", "原别名");
        device.SetValue(kComp, "运算表达式", "x1-x2");
    }

    void theTreeListsCategoriesAndPrototypesUnderAnExpandedRoot() {
        auto panel = Open();
        auto* tree = Child<QTreeWidget>(*panel, "catalogTree");
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("运算表达式"));
        QVERIFY(root->isExpanded());
        QCOMPARE(root->childCount(), 2);
        QStringList names;
        for (int c = 0; c < root->childCount(); ++c) {
            QVERIFY(root->child(c)->isExpanded());
            QVERIFY(!root->child(c)->icon(0).isNull());
            for (int p = 0; p < root->child(c)->childCount(); ++p)
                names << root->child(c)->text(0) + '/' + root->child(c)->child(p)->text(0);
        }
        QCOMPARE(names, QStringList({"分类一/加法", "分类一/同名", "分类一/单子", "分类一/空原型",
                                     "分类二/同名"}));
        QCOMPARE(panel->CatalogPath(), dir.path() + "/expression/expcfg.xml");
    }

    void aSelectionFillsTheBoxesFromThePrototype_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("picture");
        QTest::newRow("prototype")
            << "加法" << QStringList{"加法", "x1+x2", "2", "两数之和"} << "/pic/add.bmp";
        // the later category's prototype of the same name overwrites the boxes
        QTest::newRow("same name")
            << "同名" << QStringList{"同名", "x1*4", "4", "第二类"} << "/pic/second.bmp";
        QTest::newRow("one child") << "单子" << QStringList{"单子", "x1&&x2", "3", "x1&&x2"} << "";
        QTest::newRow("no child") << "空原型" << QStringList{"空原型", "", "0", ""} << "";
        // categories and the root change only the alias
        QTest::newRow("category") << "分类二" << QStringList{"分类二", "x1+x2", "2", "两数之和"}
                                  << "/pic/add.bmp";
        QTest::newRow("root") << "运算表达式" << QStringList{"运算表达式", "x1+x2", "2", "两数之和"}
                              << "/pic/add.bmp";
    }
    void aSelectionFillsTheBoxesFromThePrototype() {
        QFETCH(QString, item);
        QFETCH(QStringList, boxes);
        QFETCH(QString, picture);
        auto panel = Open();
        auto* tree = Child<QTreeWidget>(*panel, "catalogTree");
        tree->setCurrentItem(Find(tree, "加法"));
        tree->setCurrentItem(Find(tree, item));
        QCOMPARE(Boxes(*panel), boxes);
        QCOMPARE(panel->PicturePath(), picture.isEmpty() ? QString() : dir.path() + picture);
    }

    void thePictureIsTheBitmapUnscaled() {
        auto panel = Open();
        auto* tree = Child<QTreeWidget>(*panel, "catalogTree");
        auto* picture = panel->findChild<CExpressionPicture*>("pictureArea");
        tree->setCurrentItem(Find(tree, "同名"));
        QCOMPARE(picture->Image().size(), QSize(40, 20));
        panel->resize(1200, 700);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        QImage shown = picture->grab().toImage();
        QCOMPARE(shown.pixelColor(39, 19), QColor(Qt::red));
        QVERIFY(shown.pixelColor(41, 10) != QColor(Qt::red));
        QVERIFY(shown.pixelColor(10, 21) != QColor(Qt::red));
        tree->setCurrentItem(Find(tree, "加法"));  // its file is missing: no picture
        QVERIFY(picture->Image().isNull());
    }

    void openingSelectsThePrototypeOfTheExpressionAndKeepsTheComment_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("match") << "x1+x2"
                               << "加法" << QStringList{"原别名", "x1+x2", "2", "两数之和"};
        QTest::newRow("no match") << "x1-x2"
                                  << "运算表达式" << QStringList{"原别名", "", "", ""};
        QTest::newRow("same name in two categories")
            << "x1"
            << "同名" << QStringList{"原别名", "x1*4", "4", "第二类"};
        QTest::newRow("nothing read") << ""
                                      << "运算表达式" << QStringList{"原别名", "", "", ""};
    }
    void openingSelectsThePrototypeOfTheExpressionAndKeepsTheComment() {
        QFETCH(QString, expression);
        QFETCH(QString, selected);
        QFETCH(QStringList, boxes);
        device.SetValue(kComp, "运算表达式", expression);
        auto panel = Open();
        QCOMPARE(Child<QTreeWidget>(*panel, "catalogTree")->currentItem()->text(0), selected);
        QCOMPARE(Boxes(*panel), boxes);
    }

    void addWritesInputsExpressionAndCommentInOrderAndAsksForTheBoxToBeRebuilt() {
        auto panel = Open();
        auto* tree = Child<QTreeWidget>(*panel, "catalogTree");
        tree->setCurrentItem(Find(tree, "单子"));
        Child<QLineEdit>(*panel, "aliasEdit")->setText("与运算");
        Child<QLineEdit>(*panel, "inputCountEdit")->setText("3 ");  // sent as it stands
        device.m_log.clear();
        frame.Take();
        Child<QPushButton>(*panel, "addButton")->click();
        QCOMPARE(device.m_log, QStringList({"SetAttributeVal 表达式运算-1.输入槽位个数=3 ",
                                            "SetAttributeVal 表达式运算-1.运算表达式=x1&&x2",
                                            "SetAttributeVal 表达式运算-1.用户注释=与运算"}));
        QCOMPARE(frame.Take(), QStringList({"5 表达式运算-1"}));
        QCOMPARE(panel->result(), int(QDialog::Accepted));
    }

    void refusedWritesStillCloseAndNotify() {
        CFakeDevice refusing;
        refusing.Refuse(kComp + ".输入槽位个数");
        refusing.Refuse(kComp + ".运算表达式");
        CDlgExpressionPanel panel(refusing, kComp, &frame);
        panel.Load();
        frame.Take();
        panel.Add();
        QCOMPARE(refusing.m_log.size(), 5);  // two reads, three writes
        QCOMPARE(frame.Take().size(), 1);
        QCOMPARE(panel.result(), int(QDialog::Accepted));
    }

    void exitWritesNothing() {
        auto panel = Open();
        device.m_log.clear();
        Child<QPushButton>(*panel, "exitButton")->click();
        QVERIFY(device.m_log.isEmpty());
        QVERIFY(frame.Take().isEmpty());
        QCOMPARE(panel->result(), int(QDialog::Rejected));
    }

    void withoutCatalogueOnlyTheRootIsShown() {
        QTemporaryDir empty;
        QDir::setCurrent(empty.path());
        auto panel = Open();
        QDir::setCurrent(dir.path());
        auto* tree = Child<QTreeWidget>(*panel, "catalogTree");
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
        QCOMPARE(Boxes(*panel), QStringList({"原别名", "", "", ""}));
    }

    void aSilentDeviceFailsTheLoad() {
        CFakeDevice silent;
        silent.FallSilentAfter(0);
        CDlgExpressionPanel panel(silent, kComp, &frame);
        QVERIFY(!panel.Load());
        QCOMPARE(silent.m_log.size(), 1);  // the operation stops at the first silence
        CDlgExpressionPanel ok(device, kComp, &frame);
        QVERIFY(ok.Load());
    }
};

QTEST_MAIN(ExpressionPanelTest)
#include "expression_panel_test.moc"
