// CAuthoringHooks: what the diagram view opens (the expression panel, the script editor and
// F1's help topic) and the frame's help command, installed by the frame.
#pragma once

#include <QString>

#include "diagram/editor_hooks.h"

class CDevice;
class IHelpViewer;
class QObject;

class CAuthoringHooks : public IDiagramEditors {
  public:
    // frame receives the dialogs' NOTIFY_COMPONENT_CHANGED; viewer shows help topics (the
    // program's help window when null).
    CAuthoringHooks(CDevice& device, QObject* frame, IHelpViewer* viewer = nullptr);

    void OpenExpressionPanel(QWidget* parent, const QString& component) override;
    void OpenScriptEditor(QWidget* parent, const QString& component) override;
    void OpenHelpTopic(const QString& key) override;
    // "KVS帮助文档": the manual's main page.
    void OpenHelpHome();

  private:
    CDevice& m_device;
    QObject* m_frame;
    IHelpViewer* m_viewer;
};
