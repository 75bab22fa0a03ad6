// CFrameCoordinator: how the main frame coordinates its panes. Panes and the view never call
// each other; they post CFrameNotifyEvent to the frame, which hands the code and the name to
// Handle, and Handle calls the tree, the grid, the view and the sampling strip in the fixed
// order of each code. The steps that connect, reload and clear share (rebuild the tree, load
// the diagram, empty the grid, refresh the strip, read the running state) live here too.
//
// Panes other than the tree are optional: a call is skipped while its pane is not attached.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "app/common/pane_hooks.h"

class CComponentTree;
class CDevice;

class CFrameCoordinator {
  public:
    // What the coordinator needs of the frame.
    struct FrameHooks {
        std::function<void(const QString& text)> inform;  // a message box over the frame
        std::function<void()> showStrip;                  // shows the logic analyzer pane
        std::function<void()> gridEmptied;                // the grid pane's title to "属性    "
    };

    CFrameCoordinator(CDevice& device, CComponentTree& tree, FrameHooks hooks);

    void AttachView(IDiagramView* view) { m_view = view; }
    void AttachGrid(IPropertyGrid* grid) { m_grid = grid; }
    void AttachStrip(ISamplingStrip* strip) { m_strip = strip; }
    IDiagramView* View() const { return m_view; }
    IPropertyGrid* Grid() const { return m_grid; }
    ISamplingStrip* Strip() const { return m_strip; }

    // One WM_FRAME_NOTIFY: a code and a name (null: no text). Unknown codes are ignored.
    void Handle(int code, const QString& name);

    // --- shared steps ----------------------------------------------------------------------
    bool RebuildTree();
    void LoadDiagram();  // from the tree's instance list
    void ClearDiagram();
    void EmptyGrid();
    void RefreshSamplingAndShow();
    // Whether "运行状态" of the component manager reads "true" (no reply: false).
    bool ReadRunningState();
    // The same read, for callers that must tell "no answer" from "not running".
    bool ReadRunningState(bool* answered);

  private:
    CDevice& m_device;
    CComponentTree& m_tree;
    FrameHooks m_hooks;
    IDiagramView* m_view = nullptr;
    IPropertyGrid* m_grid = nullptr;
    ISamplingStrip* m_strip = nullptr;
};
