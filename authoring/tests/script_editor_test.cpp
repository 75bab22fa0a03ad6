// The script editor against a scripted device: the editor's colouring and folding, opening,
// the running guard, what a compile sends and shows, and a dialog without editor.
#include <Qsci/qsciscintillabase.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/device/fake_device.h"
#include "app/tests/test_support.h"
#include "authoring/dlg_script_editor.h"
#include "frame_recorder.h"

namespace {
using Sci = QsciScintillaBase;
const QString kComp = QStringLiteral("用户自定义组件-1");

QString EditorText(Sci* e) {
    long n = e->SendScintilla(Sci::SCI_GETTEXTLENGTH);
    QByteArray text(n + 1, '\0');
    e->SendScintilla(Sci::SCI_GETTEXT, (unsigned long)(n + 1), static_cast<void*>(text.data()));
    text.resize(n);
    return QString::fromUtf8(text);
}

void SetText(Sci* e, const QString& text) {
    e->SendScintilla(Sci::SCI_SETTEXT, text.toUtf8().constData());
    e->SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
}

int StyleAt(Sci* e, const QString& text, const QString& word) {
    return int(
        e->SendScintilla(Sci::SCI_GETSTYLEAT, (unsigned long)text.toUtf8().indexOf(word.toUtf8())));
}

QStringList Writes(const CFakeDevice& d) {
    QStringList out;
    for (const QString& l : d.m_log)
        if (l.startsWith("SetAttributeVal")) out << l;
    return out;
}
}  // namespace

class ScriptEditorTest : public QObject {
    Q_OBJECT
    CFakeDevice device;
    CFrameRecorder frame;

  private slots:
    void init() {
        device.m_log.clear();
        device.SetValue(kComp, "脚本代码", "input a\noutput y\ny = a * 2\n");
        device.SetValue(kComp, "编译信息", "编译成功: 输入1个, 输出1个, 属性0个, 引用0个");
        device.SetValue("组件管理器", "运行状态", "false");
        frame.Take();
    }

    void theEditorColoursKeywordsCommentsAndNumbers() {
        CDlgScriptEditor dlg(device, kComp, &frame);
        Sci* e = dlg.Editor();
        QVERIFY(e);
        const QString text = "// 注释\nif x > 10 then y = 1 end\n";
        SetText(e, text);
        QCOMPARE(StyleAt(e, text, "//"), 2);  // line comment
        QCOMPARE(StyleAt(e, text, "if"), 5);  // keyword
        QCOMPARE(StyleAt(e, text, "end"), 5);
        QCOMPARE(StyleAt(e, text, "10"), 4);  // number
        QCOMPARE(StyleAt(e, text, ">"), 10);  // operator
        QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETFORE, 5UL), 128L << 16);
        QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETBOLD, 5UL), 1L);
        QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETBACK, 32UL), 255L | 255L << 8 | 225L << 16);
        QCOMPARE(uint32_t(e->SendScintilla(Sci::SCI_GETMARGINMASKN, 2UL)),
                 uint32_t(Sci::SC_MASK_FOLDERS));
        QCOMPARE(e->SendScintilla(Sci::SCI_GETMARGINTYPEN, 1UL), long(Sci::SC_MARGIN_NUMBER));
        QCOMPARE(e->SendScintilla(Sci::SCI_GETTABWIDTH), 4L);
    }

    void aClickInEitherMarginTogglesTheFoldOfItsLine() {
        CDlgScriptEditor dlg(device, kComp, &frame);
        Sci* e = dlg.Editor();
        SetText(e, "//{ 判断\nif a > 1 then\n  y = 1\nend\n//}\ny = 0\n");
        QVERIFY(e->SendScintilla(Sci::SCI_GETFOLDLEVEL, 0UL) & Sci::SC_FOLDLEVELHEADERFLAG);
        long line0 = e->SendScintilla(Sci::SCI_POSITIONFROMLINE, 0UL);
        QCOMPARE(e->SendScintilla(Sci::SCI_GETFOLDEXPANDED, 0UL), 1L);
        emit e->SCN_MARGINCLICK(int(line0) + 2, 0, 2);  // fold margin
        QCOMPARE(e->SendScintilla(Sci::SCI_GETFOLDEXPANDED, 0UL), 0L);
        QCOMPARE(e->SendScintilla(Sci::SCI_GETLINEVISIBLE, 2UL), 0L);
        emit e->SCN_MARGINCLICK(int(line0), 0, 1);  // line-number margin
        QCOMPARE(e->SendScintilla(Sci::SCI_GETFOLDEXPANDED, 0UL), 1L);
        QCOMPARE(e->SendScintilla(Sci::SCI_GETLINEVISIBLE, 2UL), 1L);
    }

    void openingShowsTheScriptOrSaysItCouldNotBeRead() {
        CRecordingService service;
        CDlgScriptEditor dlg(device, kComp, &frame);
        QVERIFY(dlg.Load());
        QCOMPARE(EditorText(dlg.Editor()), QStringLiteral("input a\noutput y\ny = a * 2\n"));
        QVERIFY(service.informs.isEmpty());
        QVERIFY(dlg.findChild<QPlainTextEdit*>("resultEdit")->toPlainText().isEmpty());

        CDlgScriptEditor other(device, "用户自定义组件-9", &frame);
        QVERIFY(!other.Load());
        QCOMPARE(service.informs, QStringList({"通讯异常，无法获取源代码!"}));
        QCOMPARE(EditorText(other.Editor()), QString());
    }

    void aRunningDeviceRefusesTheCompile() {
        CRecordingService service;
        device.SetValue("组件管理器", "运行状态", "true");
        CDlgScriptEditor dlg(device, kComp, &frame);
        dlg.Load();
        dlg.findChild<QPushButton*>("compileButton")->click();
        QCOMPARE(service.informs, QStringList({"请停止工程，然后再修改程序!"}));
        QVERIFY(Writes(device).isEmpty());
        QVERIFY(frame.Take().isEmpty());
    }

    void anUnreadableRunningStateCountsAsStopped() {
        CRecordingService service;
        CFakeDevice d;  // no "运行状态": the read is refused
        d.SetValue(kComp, "脚本代码", "x = 1");
        CDlgScriptEditor dlg(d, kComp, &frame);
        dlg.Load();
        dlg.Compile();
        QCOMPARE(Writes(d), QStringList({"SetAttributeVal 用户自定义组件-1.脚本代码=x = 1"}));
        QVERIFY(service.informs.isEmpty());
        QCOMPARE(dlg.Result(), QString());  // no "编译信息": the report is emptied
    }

    void twoCompilesWriteTwiceAndShowTheNewerReport() {
        CRecordingService service;
        CDlgScriptEditor dlg(device, kComp, &frame);
        dlg.Load();
        dlg.Compile();
        QCOMPARE(dlg.findChild<QPlainTextEdit*>("resultEdit")->toPlainText(),
                 QStringLiteral("编译成功: 输入1个, 输出1个, 属性0个, 引用0个"));
        SetText(dlg.Editor(), "y = (");
        device.SetValue(kComp, "编译信息", "编译失败\n第1行: 缺少 )");
        dlg.findChild<QPushButton*>("compileButton")->click();
        QCOMPARE(
            Writes(device),
            QStringList({"SetAttributeVal 用户自定义组件-1.脚本代码=input a\noutput y\ny = a * 2\n",
                         "SetAttributeVal 用户自定义组件-1.脚本代码=y = ("}));
        QCOMPARE(dlg.findChild<QPlainTextEdit*>("resultEdit")->toPlainText(),
                 QStringLiteral("编译失败\n第1行: 缺少 )"));
        QCOMPARE(frame.Take(), QStringList({"5 用户自定义组件-1", "5 用户自定义组件-1"}));
        QVERIFY(service.informs.isEmpty());
    }

    void aLongScriptIsCutToTheDevicesLimit() {
        CDlgScriptEditor dlg(device, kComp, &frame);
        SetText(dlg.Editor(), QString(9000, 'a'));
        dlg.Compile();
        QStringList writes = Writes(device);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes[0].size() - writes[0].indexOf('=') - 1, CDlgScriptEditor::kMaxScriptBytes);
    }

    void theCutKeepsWholeCharacters_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("sent");
        QTest::newRow("fits") << "abc" << 3 << "abc";
        QTest::newRow("ascii") << "abcd" << 3 << "abc";
        QTest::newRow("two-byte characters") << "定时器" << 5 << "定时";
        QTest::newRow("mixed") << "a定b" << 2 << "a";
        QTest::newRow("exactly") << "a定" << 3 << "a定";
    }
    void theCutKeepsWholeCharacters() {
        QFETCH(QString, script);
        QFETCH(int, bytes);
        QFETCH(QString, sent);
        QCOMPARE(CDlgScriptEditor::CutToBytes(script, bytes), sent);
    }

    void withoutAnEditorNothingIsSent() {
        CDlgScriptEditor::SetEditorFactory([](QWidget*) -> QsciScintillaBase* { return nullptr; });
        CDlgScriptEditor dlg(device, kComp, &frame);
        CDlgScriptEditor::SetEditorFactory({});
        QVERIFY(!dlg.Editor());
        QVERIFY(!dlg.findChild<QPushButton*>("compileButton")->isEnabled());
        dlg.Load();
        dlg.Compile();
        QVERIFY(Writes(device).isEmpty());
        QVERIFY(frame.Take().isEmpty());
    }
};

QTEST_MAIN(ScriptEditorTest)
#include "script_editor_test.moc"
