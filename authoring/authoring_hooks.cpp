#include "authoring/authoring_hooks.h"

#include "app/common/message_service.h"
#include "authoring/dlg_expression_panel.h"
#include "authoring/dlg_script_editor.h"
#include "authoring/help_index.h"

CAuthoringHooks::CAuthoringHooks(CDevice& device, QObject* frame, IHelpViewer* viewer)
    : m_device(device), m_frame(frame), m_viewer(viewer) {}

void CAuthoringHooks::OpenExpressionPanel(QWidget* parent, const QString& component) {
    CDlgExpressionPanel dlg(m_device, component, m_frame, parent);
    // Without an answer from the device the panel has nothing to configure; the output pane
    // has reported the silence.
    if (dlg.Load()) CMessageService::Get().Run(dlg);
}

void CAuthoringHooks::OpenScriptEditor(QWidget* parent, const QString& component) {
    CDlgScriptEditor dlg(m_device, component, m_frame, parent);
    dlg.Load();  // without a script the editor opens empty, after its message
    CMessageService::Get().Run(dlg);
}

void CAuthoringHooks::OpenHelpTopic(const QString& key) {
    CHelpIndex index(m_viewer ? *m_viewer : HelpWindowViewer());
    index.OpenTopic(key);
}

void CAuthoringHooks::OpenHelpHome() { OpenHelpTopic(QStringLiteral("帮助主页面-0")); }
