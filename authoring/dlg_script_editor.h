// CDlgScriptEditor ("脚本编辑窗口"): the script of one user-defined component in a colouring,
// folding code editor. "下载并编译" sends the script to the device, which compiles it, shows
// the device's compile report ("编译信息") and asks the frame to rebuild the component's box
// (a script declares the component's slots). The dialog stays open for the next compile.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class CDevice;
class QPlainTextEdit;
class QPushButton;
class QsciScintillaBase;

class CDlgScriptEditor : public QDialog {
    Q_OBJECT
  public:
    // The device takes at most this many bytes (GBK) of script.
    static constexpr int kMaxScriptBytes = 8191;

    // component: the user-defined component's full name; frame receives the
    // NOTIFY_COMPONENT_CHANGED notification (none when null).
    CDlgScriptEditor(CDevice& device, const QString& component, QObject* frame,
                     QWidget* parent = nullptr);

    // Reads "脚本代码" into the editor; false (after the message "通讯异常，无法获取源代码!") when
    // no value came, the editor then stays empty.
    bool Load();

    // "下载并编译".
    void Compile();

    // The editor, or null when it could not be created.
    QsciScintillaBase* Editor() const { return m_wndEditor; }
    QString Result() const { return m_strResult; }

    // The editor factory used by later dialogs; a factory that returns null stands for an
    // editor component that cannot be created. An empty function restores the default.
    using EditorFactory = std::function<QsciScintillaBase*(QWidget* parent)>;
    static void SetEditorFactory(EditorFactory factory);

    // The script as sent: at most maxBytes bytes of its GBK form, never half a character.
    static QString CutToBytes(const QString& script, int maxBytes);

  private:
    void Configure();
    void OnMarginClick(int position);
    QString EditorText() const;

    CDevice& m_device;
    QString m_component;
    QObject* m_frame;
    QsciScintillaBase* m_wndEditor = nullptr;
    QString m_strResult;
    QPlainTextEdit* m_result;
    QPushButton* m_compile;
};
