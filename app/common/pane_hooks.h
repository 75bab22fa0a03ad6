// The entry points through which the main frame coordinates the panes that later modules
// provide: the diagram view, the property grid and the logic analyzer's sampling strip. The
// frame holds them as optional pointers and skips a call when its pane does not exist (yet).
// Items are named, never handed out: a component's full name ("定时器-5") or a slot's
// ("定时器-5:输出"); the view owns its items and nothing outside it holds one.
#pragma once

#include <QString>

class IDiagramView {
  public:
    virtual ~IDiagramView() = default;
    virtual void ClearDiagram() = 0;
    // Rebuilds the diagram from the device; instances is the tree's instance list ("a;b;").
    virtual void LoadDiagram(const QString& instances) = 0;
    virtual bool SelectItemByName(const QString& name) = 0;
    virtual bool ReloadComponent(const QString& name) = 0;
    virtual bool ReloadComment(const QString& name) = 0;
    // Whether the diagram holds an item of that name.
    virtual bool HasItem(const QString& name) = 0;
    // Deletes the named item from the device and the diagram; false when there was none or
    // the device refused.
    virtual bool DeleteItem(const QString& name) = 0;
};

class IPropertyGrid {
  public:
    virtual ~IPropertyGrid() = default;
    // Shows the attributes of a component or one slot ("comp:slot"); a null name empties it.
    virtual void ShowComponent(const QString& name, bool force) = 0;
    // Removes every row, forgets the component and sets the pane title to "属性    ".
    virtual void Empty() = 0;
};

class ISamplingStrip {
  public:
    virtual ~ISamplingStrip() = default;
    virtual void RefreshSampling() = 0;
};
