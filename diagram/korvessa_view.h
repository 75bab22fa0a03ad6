// CKorvessaView: the scrolling diagram in the main frame's work area. It owns the diagram items
// (component boxes and slot links), paints them over a grid, and turns the user's input into
// selection, dragging, linking, the editors and deletion. Every change is written to the
// device at once; the diagram keeps nothing the device does not hold.
//
// It tells the main frame about changes by posting CFrameNotifyEvent (the names travel as
// copies), receives the component tree's CComponentDropEvent, and is driven by the frame
// through IDiagramView. User-interface thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/common/pane_hooks.h"
#include "diagram/trace_types.h"
#include "diagram/track.h"

class CDevice;
class CBaseTrace;
class CComponentTrace;
class CConnectTrace;
class IDiagramDocument;
class IDiagramEditors;
class QMenu;
struct T_COMPONENT_INFO;

class CKorvessaView : public QAbstractScrollArea, public IDiagramView, private ITrackHost {
    Q_OBJECT
  public:
    static constexpr int kDeleteCommand = 32818;
    static constexpr int kGridStep = 10;
    static constexpr TRect kExtent{0, 0, 1599, 1199};
    static constexpr TRgb kGridColor{224, 224, 224};
    static constexpr TRgb kLinkMarkColor{0, 255, 0};

    explicit CKorvessaView(CDevice& device, QWidget* parent = nullptr);
    ~CKorvessaView() override;

    // Where WM_FRAME_NOTIFY goes (the main frame); the editors and the document, when present.
    void SetNotifyTarget(QObject* target) { m_notifyTarget = target; }
    void SetEditors(IDiagramEditors* editors) { m_editors = editors; }
    void SetDocument(IDiagramDocument* document) { m_document = document; }

    // --- IDiagramView --------------------------------------------------------------------
    void ClearDiagram() override;
    void LoadDiagram(const QString& instances) override;
    bool SelectItemByName(const QString& name) override;
    bool ReloadComponent(const QString& name) override;
    bool ReloadComment(const QString& name) override;
    bool HasItem(const QString& name) override { return FindItemByName(name) != nullptr; }
    bool DeleteItem(const QString& name) override;

    // --- the diagram's own operations ------------------------------------------------------
    // The first item, front to back, of exactly that name.
    CBaseTrace* FindItemByName(const QString& name) const;
    // Removes an item from the device and the diagram (a box with every link at its slots).
    // False when the device did not confirm the deletion of the item's component.
    bool DeleteItem(CBaseTrace* item);
    // The first slot (or body) of that full name on any box; writes "不能找到槽位:%s" when none.
    T_COMPONENT_INFO* FindSlot(const QString& fullName);
    // The first link whose send or receive slot has exactly that full name.
    CConnectTrace* FindLinkOnSlot(const QString& fullName) const;
    // The box of a component whose "区域位置" holds a rectangle text, appended on top.
    CComponentTrace* CreateComponentFromDevice(const QString& name);
    // The drop of a component type at a window position (what CComponentDropEvent does).
    void DropComponent(const QString& type, QPoint windowPos);
    // The context menu's "删除".
    void OnDeleteCommand();

    // --- state, for the frame and tests ----------------------------------------------------
    const std::vector<std::unique_ptr<CBaseTrace>>& Items() const { return m_items; }
    CBaseTrace* Selection() const { return m_selection; }
    T_COMPONENT_INFO* LinkFrom() const { return m_linkFrom; }
    T_COMPONENT_INFO* LinkTo() const { return m_linkTo; }
    bool Tracking() const { return m_track.Active(); }
    // The rubber band on screen (empty when none), in diagram coordinates.
    const std::vector<TPoint>& RubberBand() const { return m_rubberBand; }
    bool RubberBandClosed() const { return m_rubberClosed; }
    QMenu* ContextMenu() const { return m_menu; }
    // Window position to diagram coordinates: plus the scroll position.
    TPoint ToDiagram(QPoint window) const;
    QPoint ScrollPosition() const;
    // The pointer shape at a window position: false for the window's standard pointer.
    bool CursorShapeAt(QPoint window, TCursorShape* shape) const;
    // Paints the diagram area `area` (diagram coordinates) with the painter's origin at the
    // diagram's origin: grid, items, link marks (consumed as a painting does), rubber band.
    void PaintDiagram(QPainter& painter, const QRect& area);

  protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  private:
    // ITrackHost
    bool ControlHeld() const override;
    bool ShiftHeld() const override;
    void Inform(const QString& text) override;
    void ShowRubberBand(const TPoint* points, int n, bool closed) override;
    bool CapturePointer() override;
    void ReleasePointer() override {}
    void UpdateNow() override;
    void InvalidateAll() override;

    void PressAt(QPoint window, Qt::KeyboardModifiers modifiers);
    void AfterPress();
    // Runs AfterPress once the drag that a press started has ended.
    void AfterDragStep();
    void DoubleClick();
    void UpdateScrollBars();
    void UpdateCursor(QPoint window);
    void Post(int code, const QString& name);
    // Takes an item out of the list and destroys it, forgetting every reference to it.
    void Destroy(CBaseTrace* item);
    // Removes (on the device and here) every link that ends on a part of box.
    void RemoveLinksOf(CComponentTrace* box);
    void ForgetPartsOf(CComponentTrace* box);
    void LoadLinks();
    void Repaint();
    CComponentTrace* BoxNamed(const QString& name) const;

    CDevice& m_device;
    std::vector<std::unique_ptr<CBaseTrace>> m_items;  // paint order: front first
    CBaseTrace* m_selection = nullptr;
    T_COMPONENT_INFO* m_linkFrom = nullptr;
    T_COMPONENT_INFO* m_linkTo = nullptr;
    QString m_selectionName;
    QString m_deleteName;
    bool m_wasActive = false;

    CTrack m_track;
    Qt::KeyboardModifiers m_stepModifiers;
    bool m_afterPressPending = false;
    bool m_pressChanged = false;  // the press changed the selection: post after the drag
    std::vector<TPoint> m_rubberBand;
    bool m_rubberClosed = false;

    QPointer<QObject> m_notifyTarget;
    IDiagramEditors* m_editors = nullptr;
    IDiagramDocument* m_document = nullptr;
    QMenu* m_menu = nullptr;
};
