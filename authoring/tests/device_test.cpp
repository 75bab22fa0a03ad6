// The script editor and the expression panel against the simulated controller in this
// process (UDP on loopback; the test runs in a private network namespace): the controller's
// compiler reports, the slots a script declares, and what a chosen prototype makes of the
// demo's expression component.
#include "app/device/device.h"

#include <Qsci/qsciscintillabase.h>

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "app/tests/test_support.h"
#include "authoring/dlg_expression_panel.h"
#include "authoring/dlg_script_editor.h"
#include "devsim/device.h"
#include "frame_recorder.h"

namespace {
using Sci = QsciScintillaBase;

std::string Value(devsim::Device& dev, const std::string& comp, const std::string& attr) {
    std::string v;
    dev.GetValue(comp, attr, &v);
    return v;
}

// "r:name" for receive slots and "s:name" for send slots, in the device's order.
QStringList Slots(devsim::Device& dev, const std::string& comp) {
    QStringList out;
    for (const devsim::AttrInfo& a : dev.Attributes(comp))
        if (a.role == 1 || a.role == 3)
            out << QString(a.role == 1 ? "r:" : "s:") + QString::fromStdString(a.name);
    return out;
}

void SetText(Sci* e, const QString& text) {
    e->SendScintilla(Sci::SCI_SETTEXT, text.toUtf8().constData());
}
}  // namespace

class AuthoringDeviceTest : public QObject {
    Q_OBJECT
    std::unique_ptr<devsim::Device> dev;
    std::unique_ptr<CKvsDevice> device;
    std::unique_ptr<CRecordingService> service;
    CFrameRecorder frame;

  private slots:
    void init() {
        dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        KVSGetKey(dev->Key().c_str());
        device = std::make_unique<CKvsDevice>();
        QVERIFY(device->OpenUdp({127, 0, 0, 1}));
        service = std::make_unique<CRecordingService>();
        frame.Take();
    }
    void cleanup() {
        device->Close();
        device.reset();
        service.reset();
        dev.reset();
    }

    void aCompileReportsTheFailingLineAndAGoodScriptDeclaresTheSlots() {
        const QString comp = "用户自定义组件-1";
        CDlgScriptEditor dlg(*device, comp, &frame);
        QVERIFY(dlg.Load());
        SetText(dlg.Editor(), "input a\noutput y\ny = a +\n");
        dlg.Compile();
        QVERIFY2(dlg.Result().startsWith("编译失败") && dlg.Result().contains("第3行"),
                 qPrintable(dlg.Result()));
        QCOMPARE(Slots(*dev, comp.toStdString()), QStringList({"r:计数", "s:超限"}));

        SetText(dlg.Editor(), "// 两路加权\ninput p, q\noutput s\nattr k = 3\ns = p * k + q\n");
        dlg.Compile();
        QCOMPARE(dlg.Result(), QStringLiteral("编译成功: 输入2个, 输出1个, 属性1个, 引用0个"));
        QCOMPARE(Slots(*dev, comp.toStdString()), QStringList({"r:p", "r:q", "s:s"}));
        QCOMPARE(frame.Take(), QStringList({"5 " + comp, "5 " + comp}));
        QVERIFY(service->informs.isEmpty());
    }

    void aRunningControllerKeepsItsScript() {
        const std::string before = Value(*dev, "用户自定义组件-1", "脚本代码");
        dev->SetValue("组件管理器", "运行状态", "true");
        CDlgScriptEditor dlg(*device, "用户自定义组件-1", &frame);
        QVERIFY(dlg.Load());
        SetText(dlg.Editor(), "output z\n");
        dlg.Compile();
        QCOMPARE(service->informs, QStringList({"请停止工程，然后再修改程序!"}));
        QCOMPARE(Value(*dev, "用户自定义组件-1", "脚本代码"), before);
    }

    void aChosenPrototypeReconfiguresTheExpressionComponent() {
        const QString old = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(KVS_SOURCE_DIR));
        CDlgExpressionPanel panel(*device, "表达式运算-1", &frame);
        QDir::setCurrent(old);
        QVERIFY(panel.Load());
        auto* tree = panel.findChild<QTreeWidget*>("catalogTree");
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("加权叠加"));
        QCOMPARE(panel.findChild<QLineEdit*>("aliasEdit")->text(), QStringLiteral("计数×2+波形"));
        QVERIFY(QFile::exists(panel.PicturePath()));

        tree->setCurrentItem(tree->findItems("区间判断", Qt::MatchExactly | Qt::MatchRecursive)[0]);
        panel.Add();
        QCOMPARE(Value(*dev, "表达式运算-1", "输入槽位个数"), std::string("3"));
        QCOMPARE(Value(*dev, "表达式运算-1", "运算表达式"), std::string("x1>=x2&&x1<=x3"));
        QCOMPARE(Value(*dev, "表达式运算-1", "用户注释"), std::string("区间判断"));
        QCOMPARE(Value(*dev, "表达式运算-1", "运算状态"), std::string());
        QCOMPARE(Slots(*dev, "表达式运算-1"),
                 QStringList({"r:输入1", "r:输入2", "r:输入3", "s:输出"}));
        QCOMPARE(frame.Take(), QStringList({"5 表达式运算-1"}));
    }
};

QTEST_MAIN(AuthoringDeviceTest)
#include "device_test.moc"
