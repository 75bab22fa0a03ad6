// The property grid offscreen: against a scripted device for which requests it makes and what
// it posts, and against the simulated controller (UDP on loopback, in a private network
// namespace) for what it shows and writes.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <mutex>

#include "app/common/frame_events.h"
#include "app/device/fake_device.h"
#include "browser/property_view_bar.h"
#include "browser/tests/reply_builder.h"
#include "devsim/device.h"

namespace {
// Collects the frame notifications the grid posts.
class CNotifySink : public QObject {
  public:
    QList<QPair<int, QString>> notes;

  protected:
    bool event(QEvent* e) override {
        if (e->type() != KvsEvent::FrameNotify) return QObject::event(e);
        auto* n = static_cast<CFrameNotifyEvent*>(e);
        notes << qMakePair(n->code, n->name);
        return true;
    }
};

QStringList RowNames(const CPropertyViewBar& bar) {
    QStringList names;
    for (const auto& r : bar.Model()->Rows()) names << r->Name();
    return names;
}

int RowOf(const CPropertyViewBar& bar, const QString& name) { return RowNames(bar).indexOf(name); }

QModelIndex ValueCell(const CPropertyViewBar& bar, const QString& name) {
    return bar.Model()->index(RowOf(bar, name), CPropertyModel::kValueColumn);
}

bool IsBold(const CPropertyViewBar& bar, const QString& name) {
    return ValueCell(bar, name).data(Qt::FontRole).value<QFont>().bold();
}

int Count(const QStringList& log, const QString& prefix) {
    int n = 0;
    for (const QString& l : log) n += l.startsWith(prefix);
    return n;
}
}  // namespace

class PropertyGridTest : public QObject {
    Q_OBJECT
  private slots:
    // --- a scripted device ----------------------------------------------------------------

    void selectingTheShownComponentAgainReadsNothingUnlessForced() {
        CFakeDevice fake;
        fake.SetRecords(2, "定时器-5",
                        BuildAttrReply(2, {Comp("定时器-5"), Attr(5, 0, {"启用定时器", "true"})}));
        fake.SetRecords(2, "开关-1",
                        BuildAttrReply(2, {Comp("开关-1"), Attr(5, 0, {"开关状态", "false"})}));
        fake.SetRecords(3, "定时器-5", BuildAttrReply(3, {Attr(5, 0, {"输出", "false"}, 3)}));
        CPropertyViewBar bar(fake);
        auto reads = [&] { return Count(fake.m_log, "Records"); };

        bar.ShowComponent("定时器-5", false);
        QCOMPARE(bar.PaneTitle(), QString("属性    定时器-5"));
        bar.ShowComponent("定时器-5", false);
        QCOMPARE(reads(), 1);
        bar.ShowComponent("开关-1", false);
        bar.ShowComponent("定时器-5", false);
        QCOMPARE(reads(), 3);
        bar.ShowComponent("定时器-5", true);
        QCOMPARE(reads(), 4);

        // After a slot of the shown component, the component itself counts as shown.
        bar.ShowComponent("定时器-5:输出", false);
        QCOMPARE(bar.PaneTitle(), QString("通讯槽位    定时器-5:输出"));
        QCOMPARE(bar.CurrentComponent(), QString("定时器-5"));
        bar.ShowComponent("定时器-5", false);
        QCOMPARE(reads(), 5);
        QCOMPARE(RowNames(bar), QStringList({"输出"}));

        // Null, empty and over-long names empty the pane; the over-long one asks nothing.
        for (const QString& name : {QString(), QString(""), QString(64, 'x')}) {
            bar.ShowComponent("开关-1", true);
            bar.ShowComponent(name, false);
            QCOMPARE(bar.Model()->rowCount(), 0);
            QCOMPARE(bar.CurrentComponent(), QString());
            QCOMPARE(bar.PaneTitle(), QString("属性    "));
        }
        QCOMPARE(reads(), 8);
    }

    void anUnansweredSelectionLeavesTheGridEmptyAndTheTitleAsItWas() {
        CFakeDevice fake;
        fake.SetRecords(2, "开关-1",
                        BuildAttrReply(2, {Comp("开关-1"), Attr(5, 0, {"开关状态", "false"})}));
        CPropertyViewBar bar(fake);
        bar.ShowComponent("开关-1", false);
        fake.FallSilentAfter(0);
        bar.ShowComponent("与门-1", false);
        QCOMPARE(bar.Model()->rowCount(), 0);
        QCOMPARE(bar.PaneTitle(), QString("属性    开关-1"));
        QCOMPARE(bar.CurrentComponent(), QString("开关-1"));
        // A silent slot view costs one request, not one per row.
        const int before = fake.m_log.size();
        bar.ShowComponent("与门-1:输入1", false);
        QCOMPARE(fake.m_log.size(), before + 1);
        QCOMPARE(bar.Model()->rowCount(), 0);
    }

    void editsPostTheBoxAndCommentNotificationsInOrder() {
        CFakeDevice fake;
        fake.SetRecords(2, "表达式运算-1",
                        BuildAttrReply(2, {Comp("表达式运算-1"), Attr(8, 2, {"用户注释", "a"}),
                                           Attr(2, 2, {"输入槽位个数", "2"}),
                                           Attr(8, 0, {"运算表达式", "x1"})}));
        CPropertyViewBar bar(fake);
        CNotifySink sink;
        bar.SetNotifyTarget(&sink);
        bar.ShowComponent("表达式运算-1", false);
        CPropertyModel* m = bar.Model();
        QVERIFY(m->setData(ValueCell(bar, "用户注释"), "新注释", Qt::EditRole));
        QVERIFY(m->setData(ValueCell(bar, "输入槽位个数"), "3", Qt::EditRole));
        QVERIFY(m->setData(ValueCell(bar, "运算表达式"), "x1+1", Qt::EditRole));
        // The same value again is no change: nothing is written.
        QVERIFY(m->setData(ValueCell(bar, "运算表达式"), "x1+1", Qt::EditRole));
        QCoreApplication::sendPostedEvents(&sink);
        const QList<QPair<int, QString>> expected = {
            {NOTIFY_COMPONENT_CHANGED, "表达式运算-1"},
            {NOTIFY_COMMENT_CHANGED, "表达式运算-1"},
            {NOTIFY_COMPONENT_CHANGED, "表达式运算-1"},
        };
        QCOMPARE(sink.notes, expected);
        QCOMPARE(fake.m_log.filter("SetAttributeVal"),
                 QStringList({"SetAttributeVal 表达式运算-1.用户注释=新注释",
                              "SetAttributeVal 表达式运算-1.输入槽位个数=3",
                              "SetAttributeVal 表达式运算-1.运算表达式=x1+1"}));
    }

    // --- the simulated controller ---------------------------------------------------------

    void init() {
        dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        dev->SetLog([this](const std::string& line) {
            std::lock_guard<std::mutex> g(logLock);
            devLog.push_back(line);
        });
        device = std::make_unique<CKvsDevice>();
        device->SetKey(QString::fromStdString(dev->Key()));
        QVERIFY(device->OpenUdp({127, 0, 0, 1}));
        bar = std::make_unique<CPropertyViewBar>(*device);
        bar->resize(320, 500);
        bar->show();
    }
    void cleanup() {
        bar.reset();
        if (device) device->Close();
        device.reset();
        dev.reset();
        devLog.clear();
    }

    void aComponentSlotAndManagerFillTheGridAsTheDeviceListsThem() {
        for (const char* name : {"信号发生器-2", "计数器-1", "组件管理器"}) {
            bar->ShowComponent(name, false);
            QCOMPARE(bar->PaneTitle(), QString("属性    ") + name);
            QStringList expected;
            for (const devsim::AttrInfo& a : dev->Attributes(name)) {
                if (a.role != 0) continue;
                expected << QString::fromStdString(a.name);
                const int row = expected.size() - 1;
                CBaseProp* p = bar->Model()->Row(row);
                QVERIFY(p);
                QCOMPARE(p->IsEnabled(), !(a.flags & 1));
                QCOMPARE(p->IsCommand(), a.type == 10);
                QCOMPARE(bar->ExecButton(row) != nullptr, a.type == 10);
                if (a.type == 4) QCOMPARE(p->Options().size(), int(a.options.size()));
                if (a.type == 5)
                    QCOMPARE(p->Value(), QString(a.value == "true" ? "True" : "False"));
            }
            QCOMPARE(RowNames(*bar), expected);
        }
        // The command button covers exactly the value cell.
        bar->ShowComponent("计数器-1", false);
        const int row = RowOf(*bar, "清零");
        QTest::qWait(0);
        QCOMPARE(bar->ExecButton(row)->geometry(),
                 bar->Grid()->visualRect(ValueCell(*bar, "清零")));
        QCOMPARE(bar->ExecButton(row)->text(), QString("执  行"));

        bar->ShowComponent("与门-1:输入1", false);
        QCOMPARE(bar->PaneTitle(), QString("通讯槽位    与门-1:输入1"));
        QCOMPARE(RowNames(*bar), QStringList({"输入1", "链接到输出"}));
        QCOMPARE(bar->Model()->Row(1)->Value(), QString("定时器-5:输出"));
        QVERIFY(!(bar->Model()->flags(ValueCell(*bar, "链接到输出")) & Qt::ItemIsEditable));
        QVERIFY(bar->Model()->flags(ValueCell(*bar, "输入1")) & Qt::ItemIsEditable);
        bar->ShowComponent("与门-1:输出", false);
        QCOMPARE(RowNames(*bar), QStringList({"输出"}));

        bar->Empty();
        QCOMPARE(bar->Model()->rowCount(), 0);
        QCOMPARE(bar->PaneTitle(), QString("属性    "));
        QCOMPARE(bar->CurrentComponent(), QString());
    }

    void editingEachRowKindWritesTheDevice() {
        bar->ShowComponent("信号发生器-2", false);
        // An option picked in the drop-down, through the grid's own editor.
        QTreeView* grid = bar->Grid();
        grid->setCurrentIndex(ValueCell(*bar, "波形类型"));  // opens the editor
        auto* combo = grid->findChild<QComboBox*>("propertyOptions");
        QVERIFY(combo);
        QVERIFY(!combo->isEditable());
        QCOMPARE(combo->count(), 4);
        combo->setCurrentIndex(combo->findText("三角波"));
        emit combo->activated(combo->currentIndex());
        QCOMPARE(Value("信号发生器-2", "波形类型"), std::string("三角波"));

        // A typed number, through the line editor.
        QTRY_VERIFY(!grid->findChild<QComboBox*>("propertyOptions"));  // the pick closed it
        grid->setCurrentIndex(ValueCell(*bar, "幅值"));
        auto* edit = grid->findChild<QLineEdit*>("propertyEdit");
        QVERIFY(edit);
        edit->setText("7.5");
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_COMPARE(Value("信号发生器-2", "幅值"), std::string("7.5"));  // committed queued

        CPropertyModel* m = bar->Model();
        QVERIFY(m->setData(ValueCell(*bar, "启用输出"), "False", Qt::EditRole));
        QCOMPARE(Value("信号发生器-2", "启用输出"), std::string("false"));
        // Only an option can be chosen for a boolean or enumeration row.
        QVERIFY(!m->setData(ValueCell(*bar, "启用输出"), "maybe", Qt::EditRole));
        QVERIFY(!m->setData(ValueCell(*bar, "波形类型"), "圆波", Qt::EditRole));
        QCOMPARE(Value("信号发生器-2", "波形类型"), std::string("三角波"));

        // A receiving slot's own value.
        bar->ShowComponent("与门-1:输入2", false);
        QVERIFY(m->setData(ValueCell(*bar, "输入2"), "True", Qt::EditRole));
        QCOMPARE(Value("与门-1", "输入2"), std::string("true"));

        // Every press of the command button writes "true", without a question.
        bar->ShowComponent("计数器-1", false);
        CExecButton* button = bar->ExecButton(RowOf(*bar, "清零"));
        QVERIFY(button);
        QTest::qWait(0);
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        const std::string press = "\"计数器-1\" \"清零\" \"true\"";
        QTRY_COMPARE(Lines(press), 2);
    }

    void aRefusedWriteKeepsTheTypedValueBoldUntilTheNextSelection() {
        bar->ShowComponent("计数器-1", false);
        QVERIFY(!IsBold(*bar, "计数上限"));
        QVERIFY(bar->Model()->setData(ValueCell(*bar, "计数上限"), "abc", Qt::EditRole));
        QCOMPARE(Value("计数器-1", "计数上限"), std::string("10"));
        QCOMPARE(ValueCell(*bar, "计数上限").data().toString(), QString("abc"));
        QVERIFY(IsBold(*bar, "计数上限"));
        bar->ShowComponent("定时器-5", false);
        bar->ShowComponent("计数器-1", false);
        QCOMPARE(ValueCell(*bar, "计数上限").data().toString(), QString("10"));
        QVERIFY(!IsBold(*bar, "计数上限"));
    }

  private:
    std::string Value(const std::string& c, const std::string& a) {
        std::string v;
        dev->GetValue(c, a, &v);
        return v;
    }
    int Lines(const std::string& part) {
        std::lock_guard<std::mutex> g(logLock);
        int n = 0;
        for (const std::string& l : devLog)
            n += l.find("请求 cmd=7") == 0 && l.find(part) != l.npos;
        return n;
    }

    std::unique_ptr<devsim::Device> dev;
    std::unique_ptr<CKvsDevice> device;
    std::unique_ptr<CPropertyViewBar> bar;
    std::mutex logLock;
    std::vector<std::string> devLog;
};

QTEST_MAIN(PropertyGridTest)
#include "property_grid_test.moc"
