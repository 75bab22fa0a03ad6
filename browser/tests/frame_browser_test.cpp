// The grid and the monitoring command inside the main frame, against the simulated controller
// (UDP on loopback, in a private network namespace): the frame's selection fills the "属性"
// pane, the grid's edits reach the diagram view through the frame, and a watch set up with
// "事件监控设置" brings the device's monitor events into the output pane while the work loop
// runs.
#include <QDockWidget>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include "app/common/commands.h"
#include "app/common/frame_events.h"
#include "app/main_frame.h"
#include "app/output_bar.h"
#include "app/settings_keys.h"
#include "app/tests/test_support.h"
#include "browser/component_tree.h"
#include "browser/dialog_event_set.h"
#include "browser/dialog_sel_attr.h"
#include "browser/property_view_bar.h"
#include "devsim/device.h"

namespace {
// A diagram view that records what the frame asks of it.
class CRecordingView : public IDiagramView {
  public:
    QStringList calls;
    void ClearDiagram() override { calls << "ClearDiagram"; }
    void LoadDiagram(const QString&) override { calls << "LoadDiagram"; }
    bool SelectItemByName(const QString&) override { return true; }
    bool ReloadComponent(const QString& n) override {
        return calls << "ReloadComponent " + n, true;
    }
    bool ReloadComment(const QString& n) override { return calls << "ReloadComment " + n, true; }
    bool HasItem(const QString&) override { return false; }
    bool DeleteItem(const QString&) override { return false; }
};

LinkParams Udp() {
    LinkParams p;
    p.way = 2;
    p.address = {127, 0, 0, 1};
    return p;
}

QModelIndex ValueCell(CPropertyViewBar& bar, const QString& name) {
    for (int r = 0; r < bar.Model()->rowCount(); ++r)
        if (bar.Model()->Row(r)->Name() == name)
            return bar.Model()->index(r, CPropertyModel::kValueColumn);
    return {};
}
}  // namespace

class FrameBrowserTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        QSettings(QString::fromUtf8(SettingsKey::kOrganization),
                  QString::fromUtf8(SettingsKey::kApplication))
            .clear();
        dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        KVSGetKey(dev->Key().c_str());
        service = std::make_unique<CRecordingService>();
        frame = std::make_unique<CMainFrame>();
        frame->SetSettleDelay(0);
        frame->AttachView(&view);
        grid = frame->PropertyBar()->findChild<CPropertyViewBar*>();
        QVERIFY(grid);
        QVERIFY(frame->ConnectWith(Udp()));
    }
    void cleanup() {
        frame.reset();
        service.reset();
        dev.reset();
        view.calls.clear();
    }

    void selectionFillsThePaneAndEditsReachTheBoxThroughTheFrame() {
        QCoreApplication::postEvent(frame.get(),
                                    new CFrameNotifyEvent(NOTIFY_SELECT, "表达式运算-1"));
        QTRY_COMPARE(frame->PropertyBar()->windowTitle(), QString("属性    表达式运算-1"));
        QVERIFY(grid->Model()->rowCount() > 0);
        view.calls.clear();
        QVERIFY(grid->Model()->setData(ValueCell(*grid, "输入槽位个数"), "3", Qt::EditRole));
        QVERIFY(grid->Model()->setData(ValueCell(*grid, "用户注释"), "新的注释", Qt::EditRole));
        QTRY_COMPARE(view.calls,
                     QStringList({"ReloadComponent 表达式运算-1", "ReloadComment 表达式运算-1"}));
        std::string v;
        dev->GetValue("表达式运算-1", "用户注释", &v);
        QCOMPARE(v, std::string("新的注释"));
        dev->GetValue("表达式运算-1", "输入槽位个数", &v);
        QCOMPARE(v, std::string("3"));

        // A slot's full name shows the slot view; a null name empties the pane.
        QCoreApplication::postEvent(frame.get(),
                                    new CFrameNotifyEvent(NOTIFY_SELECT, "与门-1:输入1"));
        QTRY_COMPARE(frame->PropertyBar()->windowTitle(), QString("通讯槽位    与门-1:输入1"));
        QCoreApplication::postEvent(frame.get(), new CFrameNotifyEvent(NOTIFY_SELECT, QString()));
        QTRY_COMPARE(frame->PropertyBar()->windowTitle(), QString("属性    "));
        QCOMPARE(grid->Model()->rowCount(), 0);
    }

    void aWatchSetUpWithTheCommandBringsEventsIntoTheOutputPane() {
        frame->Execute(ID_RUN);
        QVERIFY(dev->Running());
        service->onDialog = [this](QDialog& d) {
            if (d.objectName() == "CDialogEventSet") return int(QDialog::Accepted);  // on change
            auto& dlg = static_cast<CDialogSelAttr&>(d);
            QTreeWidgetItem* root = dlg.ComponentTree()->topLevelItem(0);
            for (int i = 0; i < root->childCount(); ++i)
                if (root->child(i)->text(0) == "开关-1")
                    dlg.ComponentTree()->setCurrentItem(root->child(i));
            dlg.AttributeList()->setCurrentItem(
                dlg.AttributeList()->findItems("开关状态", Qt::MatchExactly).value(0));
            dlg.Add();
            dlg.accept();
            return dlg.result();
        };
        frame->Execute(ID_EVENT_MONITOR);
        QCOMPARE(service->dialogs, QStringList({"CDialogSelAttr", "CDialogEventSet"}));
        std::string table;
        dev->GetValue("组件管理器", "属性监控表", &table);
        QCOMPARE(table, std::string("开关-1.开关状态@change;"));

        // The switch turned off through the grid: the device reports the change.
        frame->Tree()->SelectByName("开关-1");
        grid->ShowComponent("开关-1", false);
        QTest::qWait(100);  // the device takes the new table as its starting point first
        QVERIFY(grid->Model()->setData(ValueCell(*grid, "开关状态"), "False", Qt::EditRole));
        auto top = [this] {
            COutputList* list = frame->OutputBar()->List();
            return list->topLevelItemCount() ? list->topLevelItem(0)->text(2) : QString();
        };
        QTRY_COMPARE(top(), QString("收到监控事件--属性名:开关-1.开关状态,当前值:false"));
    }

  private:
    std::unique_ptr<devsim::Device> dev;
    std::unique_ptr<CRecordingService> service;
    std::unique_ptr<CMainFrame> frame;
    CRecordingView view;
    CPropertyViewBar* grid = nullptr;
};

QTEST_MAIN(FrameBrowserTest)
#include "frame_browser_test.moc"
