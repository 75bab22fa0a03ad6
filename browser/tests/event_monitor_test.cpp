// The monitoring dialogs and the command that edits "属性监控表", offscreen: the dialog's tree,
// its filtered attribute list, the result list's rules (maximum, conditions, removal), and the
// command against the simulated controller (UDP on loopback, in a private network namespace).
#include "browser/event_monitor.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <deque>
#include <functional>
#include <memory>

#include "app/common/message_service.h"
#include "app/device/fake_device.h"
#include "browser/dialog_event_set.h"
#include "browser/dialog_sel_attr.h"
#include "browser/tests/reply_builder.h"
#include "devsim/device.h"

namespace {
// Answers dialogs from a queue of callbacks (Rejected when empty) and records messages.
class CScriptedService : public CMessageService {
  public:
    CScriptedService() { CMessageService::Install(this); }
    ~CScriptedService() override { CMessageService::Install(nullptr); }
    void Inform(QWidget*, const QString& text) override { informs << text; }
    int Run(QDialog& dialog) override {
        dialogs << dialog.objectName();
        if (steps.empty()) return QDialog::Rejected;
        auto step = std::move(steps.front());
        steps.pop_front();
        return step(dialog);
    }
    // The condition dialog answered with OK on the given choice, or cancelled.
    void Condition(bool onChange, const QString& target = QString()) {
        steps.push_back([onChange, target](QDialog& d) {
            auto& dlg = static_cast<CDialogEventSet&>(d);
            (onChange ? dlg.OnChangeButton() : dlg.EqualsTargetButton())->click();
            dlg.TargetEdit()->setText(target);
            return int(QDialog::Accepted);
        });
    }
    void Cancel() {
        steps.push_back([](QDialog&) { return int(QDialog::Rejected); });
    }
    QStringList informs, dialogs;
    std::deque<std::function<int(QDialog&)>> steps;
};

QStringList Items(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

void Choose(CDialogSelAttr& dlg, const QString& component, const QString& attribute) {
    QTreeWidgetItem* root = dlg.ComponentTree()->topLevelItem(0);
    QTreeWidgetItem* item = root->text(0) == component ? root : nullptr;
    for (int i = 0; !item && i < root->childCount(); ++i)
        if (root->child(i)->text(0) == component) item = root->child(i);
    QVERIFY(item);
    dlg.ComponentTree()->setCurrentItem(item);
    const auto found = dlg.AttributeList()->findItems(attribute, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    dlg.AttributeList()->setCurrentItem(found.first());
}

// A scripted device with one component of every interesting type, slots and two links.
void ScriptDevice(CFakeDevice& fake) {
    fake.SetRecords(1, "",
                    BuildAttrReply(1, {{1, 0, 0, 0, {"定时器"}},
                                       {2, 0, 0, 0, {"定时器-5"}},
                                       {2, 1, 0, 0, {"定时器-6"}},
                                       {1, 0, 0, 0, {"槽位连接线"}},
                                       {2, 1, 0, 0, {"槽位连接线-1"}},
                                       {2, 0, 0, 0, {"槽位连接线-2"}}}));
    fake.SetRecords(2, "定时器-5",
                    BuildAttrReply(2, {Comp("定时器-5"), Attr(5, 0, {"启用定时器", "true"}),
                                       Attr(1, 0, {"定时周期_ms", "100"}),
                                       Attr(8, 0, {"用户注释", ""}), Attr(10, 0, {"清零", ""})}));
    fake.SetRecords(12, "定时器-5",
                    BuildAttrReply(12, {Comp("定时器-5"), Attr(5, 4, {"输出", "false"}, 3),
                                        Attr(2, 0, {"模拟量", "0"}, 3)}));
    fake.SetRecords(2, "组件管理器",
                    BuildAttrReply(2, {Comp("组件管理器"), Attr(5, 0, {"运行状态", "false"})}));
}
}  // namespace

class EventMonitorTest : public QObject {
    Q_OBJECT
  private slots:
    void theTreeOffersNoLinkComponentsAndTheListFollowsTheTypeMask() {
        CFakeDevice fake;
        ScriptDevice(fake);
        struct Case {
            uint32_t mask;
            QStringList attributes;
        };
        const Case cases[] = {
            {CDialogSelAttr::kAllTypes,
             {"启用定时器", "定时周期_ms", "用户注释", "清零", "输出", "模拟量"}},
            {38, {"启用定时器", "定时周期_ms", "输出", "模拟量"}},  // types 1, 2 and 5
            {1u << 10, {"清零"}},
        };
        for (const Case& c : cases) {
            CDialogSelAttr dlg(fake, QString(), c.mask, 4, false);
            QVERIFY(dlg.Load());
            QTreeWidgetItem* root = dlg.ComponentTree()->topLevelItem(0);
            QCOMPARE(dlg.ComponentTree()->topLevelItemCount(), 1);
            QCOMPARE(root->text(0), QString("组件管理器"));
            QVERIFY(root->isExpanded());
            QCOMPARE(root->childCount(), 2);
            QCOMPARE(root->child(0)->text(0), QString("定时器-5"));
            QCOMPARE(root->child(1)->text(0), QString("定时器-6"));
            dlg.ComponentTree()->setCurrentItem(root->child(0));
            QCOMPARE(Items(dlg.AttributeList()), c.attributes);
        }
        // The root lists the manager's own attributes; a refused component lists nothing.
        CDialogSelAttr dlg(fake, QString(), CDialogSelAttr::kAllTypes, 4, false);
        dlg.Load();
        dlg.ComponentTree()->setCurrentItem(dlg.ComponentTree()->topLevelItem(0));
        QCOMPARE(Items(dlg.AttributeList()), QStringList({"运行状态"}));
        dlg.ComponentTree()->setCurrentItem(dlg.ComponentTree()->topLevelItem(0)->child(1));
        QVERIFY(Items(dlg.AttributeList()).isEmpty());
        // Without a tree the dialog still opens, with its result list.
        fake.FallSilentAfter(0);
        CDialogSelAttr silent(fake, "a.b@change;c", CDialogSelAttr::kAllTypes, 4, false);
        QVERIFY(!silent.Load());
        QCOMPARE(silent.ComponentTree()->topLevelItemCount(), 0);
        QCOMPARE(silent.Entries(), QStringList({"a.b@change"}));
    }

    void theResultListKeepsItsRules() {
        CFakeDevice fake;
        ScriptDevice(fake);
        CScriptedService service;
        CDialogSelAttr dlg(fake, "定时器-5.启用定时器@change;;x.y@1;tail",
                           CDialogSelAttr::kAllTypes, 5, true);
        dlg.Load();
        QCOMPARE(dlg.Entries(), QStringList({"定时器-5.启用定时器@change", "", "x.y@1"}));
        Choose(dlg, "定时器-5", "定时周期_ms");
        service.Condition(false, "200");
        dlg.Add();
        service.Cancel();  // a cancelled condition adds nothing
        dlg.Add();
        service.Condition(false, "");  // an empty target gives "@"
        dlg.Add();
        QCOMPARE(dlg.Entries().mid(3),
                 QStringList({"定时器-5.定时周期_ms@200", "定时器-5.定时周期_ms@"}));
        // Full: the message, and no condition asked.
        const int asked = service.dialogs.size();
        dlg.Add();
        QCOMPARE(service.informs, QStringList({"属性项超过最高限定!"}));
        QCOMPARE(service.dialogs.size(), asked);
        // Removing needs a selection.
        dlg.ResultList()->setCurrentRow(-1);
        dlg.Remove();
        QCOMPARE(dlg.Entries().size(), 5);
        dlg.ResultList()->setCurrentRow(1);
        dlg.findChild<QPushButton*>("removeButton")->click();
        QCOMPARE(dlg.Result(), QString("定时器-5.启用定时器@change;x.y@1;定时器-5.定时周期_ms@200;"
                                       "定时器-5.定时周期_ms@;"));
        // Without a chosen attribute "=>" does nothing.
        dlg.AttributeList()->setCurrentRow(-1);
        dlg.Add();
        QCOMPARE(dlg.Entries().size(), 4);

        // The analyzer's use: no condition, duplicates allowed, the fifth refused.
        CDialogSelAttr points(fake, QString(), 38, 4, false);
        points.Load();
        Choose(points, "定时器-5", "输出");
        for (int i = 0; i < 5; ++i) points.Add();
        QCOMPARE(points.Result(), QString("定时器-5.输出;").repeated(4));
        QCOMPARE(service.informs.size(), 2);
    }

    void theConditionDialogEnablesTheTargetOnlyForTheTargetCondition() {
        CDialogEventSet dlg;
        QVERIFY(dlg.OnChangeButton()->isChecked());
        QVERIFY(!dlg.TargetEdit()->isEnabled());
        QCOMPARE(dlg.Condition(), QString("@change"));
        dlg.EqualsTargetButton()->click();
        QVERIFY(dlg.TargetEdit()->isEnabled());
        dlg.TargetEdit()->setText("true");
        QCOMPARE(dlg.Condition(), QString("@true"));
        dlg.OnChangeButton()->click();
        QVERIFY(!dlg.TargetEdit()->isEnabled());
        QCOMPARE(dlg.Condition(), QString("@change"));
    }

    void theCommandEditsTheDevicesTableFromWhatItHolds() {
        auto dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        CKvsDevice device;
        device.SetKey(QString::fromStdString(dev->Key()));
        QVERIFY(device.OpenUdp({127, 0, 0, 1}));
        CScriptedService service;
        auto table = [&dev] {
            std::string v;
            dev->GetValue("组件管理器", "属性监控表", &v);
            return QString::fromStdString(v);
        };

        // Ten entries from the device; the eleventh is refused.
        QString ten;
        for (int i = 0; i < 10; ++i) ten += QStringLiteral("定时器-5.定时周期_ms@%1;").arg(i);
        QVERIFY(dev->SetValue("组件管理器", "属性监控表", ten.toStdString()));
        service.steps.push_back([&service](QDialog& d) {
            auto& dlg = static_cast<CDialogSelAttr&>(d);
            Choose(dlg, "开关-1", "开关状态");
            dlg.Add();
            [&] { QCOMPARE(service.informs, QStringList({"属性项超过最高限定!"})); }();
            dlg.ResultList()->setCurrentRow(0);
            dlg.Remove();
            service.Condition(true);
            dlg.Add();
            dlg.accept();
            return dlg.result();
        });
        RunEventMonitorSettings(device, nullptr);
        QCOMPARE(service.dialogs, QStringList({"CDialogSelAttr", "CDialogEventSet"}));
        QCOMPARE(table(), ten.mid(ten.indexOf(';') + 1) + "开关-1.开关状态@change;");

        // Cancel writes nothing; OK on an empty list clears every watch.
        service.Cancel();
        RunEventMonitorSettings(device, nullptr);
        QVERIFY(!table().isEmpty());
        service.steps.push_back([](QDialog& d) {
            auto& dlg = static_cast<CDialogSelAttr&>(d);
            dlg.ResultList()->clear();
            dlg.accept();
            return dlg.result();
        });
        RunEventMonitorSettings(device, nullptr);
        QCOMPARE(table(), QString());
        device.Close();
    }
};

QTEST_MAIN(EventMonitorTest)
#include "event_monitor_test.moc"
