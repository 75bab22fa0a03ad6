// The entry points the diagram view and the frame call: which dialog runs for a component,
// and which topics F1 and the help command ask for.
#include <QDir>
#include <QTest>

#include "app/device/fake_device.h"
#include "app/tests/test_support.h"
#include "authoring/authoring_hooks.h"
#include "authoring/help_index.h"

namespace {
class CRecordingViewer : public IHelpViewer {
  public:
    void ShowTopic(const QString&, const QString& address) override { requests << address; }
    QStringList requests;
};
}  // namespace

class HooksTest : public QObject {
    Q_OBJECT
  private slots:
    void theDoubleClickedComponentGetsItsDialog() {
        CRecordingService service;
        CFakeDevice device;
        device.SetValue("用户自定义组件-1", "脚本代码", "x = 1");
        CAuthoringHooks hooks(device, nullptr);
        hooks.OpenScriptEditor(nullptr, "用户自定义组件-1");
        hooks.OpenExpressionPanel(nullptr, "表达式运算-1");
        QCOMPARE(service.dialogs, QStringList({"CDlgScriptEditor", "CDlgExpressionPanel"}));

        device.FallSilentAfter(0);  // a silent device: no panel to configure
        service.dialogs.clear();
        hooks.OpenExpressionPanel(nullptr, "表达式运算-1");
        QVERIFY(service.dialogs.isEmpty());
    }

    void helpKeysOpenTheShippedManualsTopics() {
        const QString old = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(KVS_SOURCE_DIR));
        CFakeDevice device;
        CRecordingViewer viewer;
        CAuthoringHooks hooks(device, nullptr, &viewer);
        hooks.OpenHelpHome();
        hooks.OpenHelpTopic("定时器-5");
        hooks.OpenHelpTopic("表达式运算-1:输入2");
        hooks.OpenHelpTopic("组件管理器");
        QDir::setCurrent(old);
        QCOMPARE(viewer.requests, QStringList({"index.html", "timer.html", "expression.html"}));
    }
};

QTEST_MAIN(HooksTest)
#include "hooks_test.moc"
