// The diagram view's two small ways out to modules that come later, so the view depends on
// neither: the editors it opens (the script editor, the expression panel, the help topic of
// F1), and the project document that learns of every press on an item. Until a module
// attaches its implementation the view calls nothing.
#pragma once

#include <QString>

class QWidget;

class IDiagramEditors {
  public:
    virtual ~IDiagramEditors() = default;
    // The expression panel of an "表达式运算" component, modal over parent.
    virtual void OpenExpressionPanel(QWidget* parent, const QString& component) = 0;
    // The script editor of a "用户自定义组件" component, modal over parent.
    virtual void OpenScriptEditor(QWidget* parent, const QString& component) = 0;
    // The help topic of a part's full name (F1).
    virtual void OpenHelpTopic(const QString& key) = 0;
};

class IDiagramDocument {
  public:
    virtual ~IDiagramDocument() = default;
    // An item of the diagram was pressed (and maybe dragged): the document is modified.
    virtual void SetModifiedFlag() = 0;
};
