#include "authoring/dlg_script_editor.h"

#include <Qsci/qsciscintillabase.h>

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/common/frame_events.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/gbk_text.h"

namespace {
using Sci = QsciScintillaBase;

const QString kAttrScript = QStringLiteral("脚本代码");
const QString kAttrReport = QStringLiteral("编译信息");
const QString kManager = QStringLiteral("组件管理器");
const QString kAttrRunning = QStringLiteral("运行状态");

constexpr long Rgb(int r, int g, int b) { return long(r) | long(g) << 8 | long(b) << 16; }

CDlgScriptEditor::EditorFactory& Factory() {
    static CDlgScriptEditor::EditorFactory factory;
    return factory;
}
}  // namespace

void CDlgScriptEditor::SetEditorFactory(EditorFactory factory) { Factory() = std::move(factory); }

QString CDlgScriptEditor::CutToBytes(const QString& script, int maxBytes) {
    QByteArray gbk = ToGbk(script);
    if (gbk.size() <= maxBytes) return script;
    // GBK characters are one byte below 0x80 and two bytes from a lead byte 0x81..0xFE on.
    qsizetype end = 0;
    while (end < gbk.size()) {
        qsizetype width = (uchar(gbk[end]) >= 0x81 && uchar(gbk[end]) <= 0xFE) ? 2 : 1;
        if (end + width > maxBytes) break;
        end += width;
    }
    return FromGbk(gbk.constData(), end);
}

CDlgScriptEditor::CDlgScriptEditor(CDevice& device, const QString& component, QObject* frame,
                                   QWidget* parent)
    : QDialog(parent), m_device(device), m_component(component), m_frame(frame) {
    setObjectName(QStringLiteral("CDlgScriptEditor"));
    setWindowTitle(QStringLiteral("脚本编辑窗口"));
    resize(760, 620);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("脚本编辑窗口"), this));
    m_wndEditor = Factory() ? Factory()(this) : new QsciScintillaBase(this);
    if (m_wndEditor) {
        m_wndEditor->setObjectName(QStringLiteral("scriptEditor"));
        m_wndEditor->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(m_wndEditor, 1);
        Configure();
        connect(m_wndEditor, &QsciScintillaBase::SCN_MARGINCLICK, this,
                [this](int position, int, int) { OnMarginClick(position); });
    } else {
        // Without an editor the dialog shows a disabled placeholder where it would be.
        auto* placeholder = new QPlainTextEdit(this);
        placeholder->setEnabled(false);
        layout->addWidget(placeholder, 1);
    }
    layout->addWidget(new QLabel(QStringLiteral("编译结果"), this));
    m_result = new QPlainTextEdit(this);
    m_result->setObjectName(QStringLiteral("resultEdit"));
    m_result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_result->setFixedHeight(90);
    layout->addWidget(m_result);

    m_compile = new QPushButton(QStringLiteral("下载并编译"), this);
    m_compile->setObjectName(QStringLiteral("compileButton"));
    m_compile->setDefault(true);
    m_compile->setEnabled(m_wndEditor != nullptr);  // nothing to send without an editor
    auto* quit = new QPushButton(QStringLiteral("退  出"), this);
    quit->setObjectName(QStringLiteral("exitButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_compile);
    buttons->addWidget(quit);
    layout->addLayout(buttons);

    connect(m_compile, &QPushButton::clicked, this, &CDlgScriptEditor::Compile);
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
}

void CDlgScriptEditor::Configure() {
    Sci* e = m_wndEditor;
    e->SendScintilla(Sci::SCI_SETLEXER, Sci::SCLEX_CPP);
    e->SendScintilla(Sci::SCI_SETKEYWORDS, 0UL, "if then else end do while input output ref attr ");
    e->SendScintilla(Sci::SCI_SETTABWIDTH, 4);

    e->SendScintilla(Sci::SCI_STYLESETFORE, Sci::STYLE_DEFAULT, Rgb(0, 0, 0));
    e->SendScintilla(Sci::SCI_STYLESETBACK, Sci::STYLE_DEFAULT, Rgb(255, 255, 225));
    e->SendScintilla(Sci::SCI_STYLESETSIZE, Sci::STYLE_DEFAULT, 11);
    e->SendScintilla(Sci::SCI_STYLESETFONT, Sci::STYLE_DEFAULT, "Verdana");
    e->SendScintilla(Sci::SCI_STYLECLEARALL);

    struct Style {
        int style;
        long fore;
        bool bold;
    };
    const Style styles[] = {
        {0, Rgb(0, 0, 0), false},      {1, Rgb(255, 0, 0), false},   {2, Rgb(128, 128, 128), false},
        {3, Rgb(0, 128, 0), false},    {15, Rgb(0, 128, 0), false},  {17, Rgb(0, 128, 0), false},
        {18, Rgb(0, 128, 0), false},   {4, Rgb(0, 128, 128), false}, {5, Rgb(0, 0, 128), true},
        {6, Rgb(128, 0, 128), false},  {11, Rgb(0, 0, 0), false},    {9, Rgb(128, 0, 0), false},
        {10, Rgb(128, 128, 0), false},
    };
    for (const Style& s : styles) {
        e->SendScintilla(Sci::SCI_STYLESETFORE, s.style, s.fore);
        e->SendScintilla(Sci::SCI_STYLESETBACK, s.style, Rgb(255, 255, 255));
        if (s.bold) e->SendScintilla(Sci::SCI_STYLESETBOLD, s.style, 1L);
    }

    e->SendScintilla(Sci::SCI_SETMARGINWIDTHN, 2, 16L);
    e->SendScintilla(Sci::SCI_SETMARGINSENSITIVEN, 2, 1L);
    e->SendScintilla(Sci::SCI_SETMARGINTYPEN, 2, long(Sci::SC_MARGIN_SYMBOL));
    e->SendScintilla(Sci::SCI_SETMARGINMASKN, 2, long(Sci::SC_MASK_FOLDERS));
    e->SendScintilla(Sci::SCI_SETMARGINWIDTHN, 1, 32L);
    e->SendScintilla(Sci::SCI_SETMARGINSENSITIVEN, 1, 1L);
    e->SendScintilla(Sci::SCI_SETMARGINTYPEN, 1, long(Sci::SC_MARGIN_NUMBER));

    e->SendScintilla(Sci::SCI_SETPROPERTY, "fold", "1");
    // The script language has no braces: comment blocks, and the regions between "//{" and
    // "//}", are what folds.
    e->SendScintilla(Sci::SCI_SETPROPERTY, "fold.comment", "1");

    struct Marker {
        int number, symbol;
        long fore, back;
    };
    const long white = Rgb(255, 255, 255), black = Rgb(0, 0, 0);
    const Marker markers[] = {
        {Sci::SC_MARKNUM_FOLDEROPEN, Sci::SC_MARK_MINUS, white, Rgb(0, 0, 255)},
        {Sci::SC_MARKNUM_FOLDER, Sci::SC_MARK_PLUS, white, black},
        {Sci::SC_MARKNUM_FOLDERSUB, Sci::SC_MARK_EMPTY, white, black},
        {Sci::SC_MARKNUM_FOLDERTAIL, Sci::SC_MARK_EMPTY, white, black},
        {Sci::SC_MARKNUM_FOLDEREND, Sci::SC_MARK_EMPTY, white, black},
        {Sci::SC_MARKNUM_FOLDEROPENMID, Sci::SC_MARK_EMPTY, white, black},
        {Sci::SC_MARKNUM_FOLDERMIDTAIL, Sci::SC_MARK_EMPTY, white, black},
    };
    for (const Marker& m : markers) {
        e->SendScintilla(Sci::SCI_MARKERDEFINE, m.number, long(m.symbol));
        e->SendScintilla(Sci::SCI_MARKERSETFORE, m.number, m.fore);
        e->SendScintilla(Sci::SCI_MARKERSETBACK, m.number, m.back);
    }

    e->SendScintilla(Sci::SCI_AUTOCSETSEPARATOR, 10);
    e->SendScintilla(Sci::SCI_SETMOUSEDWELLTIME, 1000);
    e->SendScintilla(Sci::SCI_SETMULTIPLESELECTION, 1);
    // The program's texts are Unicode; the editor holds them as UTF-8.
    e->SendScintilla(Sci::SCI_SETCODEPAGE, long(Sci::SC_CP_UTF8));
}

bool CDlgScriptEditor::Load() {
    DeviceResult<QString> script = m_device.GetAttrVal(m_component, kAttrScript);
    if (!script.Ok()) {
        CMessageService::Get().Inform(this, QStringLiteral("通讯异常，无法获取源代码!"));
        return false;
    }
    if (m_wndEditor) {
        m_wndEditor->SendScintilla(Sci::SCI_SETTEXT, script.value.toUtf8().constData());
        m_wndEditor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    }
    return true;
}

QString CDlgScriptEditor::EditorText() const {
    long length = m_wndEditor->SendScintilla(Sci::SCI_GETTEXTLENGTH);
    QByteArray utf8(length + 1, '\0');
    m_wndEditor->SendScintilla(Sci::SCI_GETTEXT, (unsigned long)(length + 1),
                               static_cast<void*>(utf8.data()));
    utf8.resize(length);
    return QString::fromUtf8(utf8);
}

void CDlgScriptEditor::Compile() {
    if (!m_wndEditor) return;
    CDeviceOperation operation(m_device, QStringLiteral("下载并编译"));
    DeviceResult<QString> running = m_device.GetAttrVal(kManager, kAttrRunning);
    if (running.Ok() && running.value == QStringLiteral("true")) {
        CMessageService::Get().Inform(this, QStringLiteral("请停止工程，然后再修改程序!"));
        return;
    }
    const QString whole = EditorText();
    const QString script = CutToBytes(whole, kMaxScriptBytes);
    if (script.size() != whole.size())
        m_device.Log(1, QStringLiteral("脚本超过%1字节，只下载了前%1字节").arg(kMaxScriptBytes));
    m_device.SetAttributeVal(m_component, kAttrScript, script, true);
    DeviceResult<QString> report = m_device.GetAttrVal(m_component, kAttrReport);
    m_strResult = report.Ok() ? report.value : QString();
    m_result->setPlainText(m_strResult);
    if (m_frame)
        QCoreApplication::postEvent(m_frame,
                                    new CFrameNotifyEvent(NOTIFY_COMPONENT_CHANGED, m_component));
}

void CDlgScriptEditor::OnMarginClick(int position) {
    long line = m_wndEditor->SendScintilla(Sci::SCI_LINEFROMPOSITION, (unsigned long)position);
    m_wndEditor->SendScintilla(Sci::SCI_TOGGLEFOLD, (unsigned long)line);
}
