// The component tree: the component manager at the root, the device's component types under
// it and each type's instances under the type. It is rebuilt (never patched) from the
// component-tree reply, hands the frame the instance list, posts NOTIFY_SELECT when the user
// selects an item, and lets the user drag a type onto another window, which then receives a
// CComponentDropEvent. User-interface thread only.
#pragma once

#include <QDockWidget>
#include <QIcon>
#include <QPointer>
#include <QTreeWidget>

#include "app/device/device.h"
#include "kvsh_user.h"

class QLabel;

class CComponentTree : public QTreeWidget {
    Q_OBJECT
  public:
    // Item data: the kind value (0 root, 1 type, the record's kind for an instance; 255 makes an
    // item inert to selection) and the image index.
    static constexpr int kKindRole = Qt::UserRole;
    static constexpr int kImageRole = Qt::UserRole + 1;
    static constexpr int kInertKind = 255;
    static constexpr int kMaxNameBytes = 63;  // GBK bytes of a name that SelectByName accepts

    explicit CComponentTree(CDevice& device, QWidget* parent = nullptr);
    ~CComponentTree() override;

    // Rebuilds from the device's component-tree reply. False when no reply came (the tree is
    // then empty and the instance list keeps its previous content) or the reply was malformed.
    // Leaves nothing selected.
    bool RefreshFromDevice();
    // The outcome of the last RefreshFromDevice's request (NoAnswer: the device is silent).
    const DeviceStatus& LastRead() const { return m_lastRead; }
    // Rebuilds from a reply already at hand (null: no reply). Same result as RefreshFromDevice.
    bool Rebuild(const T_MSG_HEAD* reply);

    // Selects the item named name, or "type:instance"-style "first:second" below first. An
    // unknown, empty or over-long name clears the selection. Posts nothing.
    bool SelectByName(const QString& name);

    // Every instance name of the last successful rebuild, each followed by ";".
    const QString& InstanceList() const { return m_instanceList; }
    // The text of the item the user selected last.
    const QString& SelectedText() const { return m_selectedText; }

    // Where NOTIFY_SELECT is posted (the main frame).
    void SetNotifyTarget(QObject* target) { m_notifyTarget = target; }

    // The drag of a type, in its three steps; the mouse handlers call them, tests may too.
    bool BeginDrag(QTreeWidgetItem* item, const QPoint& globalPos);
    void DragMove(const QPoint& globalPos);
    // Ends the drag and posts the drop to the widget under globalPos; returns that widget.
    QWidget* EndDrag(const QPoint& globalPos);
    bool IsDragging() const { return m_dragging; }
    const QString& DraggedType() const { return m_draggedType; }
    const QPoint& DropPoint() const { return m_dropPoint; }

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    // Windows-style connecting lines, dotted, with a boxed +/- on items that have children.
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

  private:
    void OnCurrentItemChanged(QTreeWidgetItem* current);
    QTreeWidgetItem* FindInSubtree(QTreeWidgetItem* start, const QString& text) const;
    void ClearAll();
    void CancelDrag();

    CDevice& m_device;
    DeviceStatus m_lastRead;
    QIcon m_images[5];  // drawn once per tree: a rebuild inserts hundreds of items
    QString m_instanceList;
    QString m_selectedText;
    QPointer<QObject> m_notifyTarget;
    bool m_programmatic = false;  // selection changes made by the program post nothing
    bool m_dragging = false;
    QString m_draggedType;
    QPoint m_dropPoint;
    QLabel* m_dragImage = nullptr;
    QTreeWidgetItem* m_pressItem = nullptr;
    QPoint m_pressPos;
};

// The docking pane "组件树" holding the tree.
class CKVSWorkBar : public QDockWidget {
    Q_OBJECT
  public:
    static constexpr int kPaneId = 133;
    explicit CKVSWorkBar(CDevice& device, QWidget* parent = nullptr);
    CComponentTree* Tree() const { return m_tree; }

  private:
    CComponentTree* m_tree;
};
