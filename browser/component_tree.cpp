#include "browser/component_tree.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "app/common/frame_events.h"
#include "app/common/framed_pane.h"
#include "app/common/icons.h"
#include "app/device/gbk_text.h"
#include "kvsh_records.h"
#include "kvsh_vocab.h"

namespace {
const QString kRootName = QStringLiteral(KVS_COMPONENT_MANAGER);

class CProgrammatic {
  public:
    explicit CProgrammatic(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~CProgrammatic() { m_flag = m_old; }

  private:
    bool& m_flag;
    bool m_old;
};
}  // namespace

CComponentTree::CComponentTree(CDevice& device, QWidget* parent)
    : QTreeWidget(parent), m_device(device) {
    setObjectName(QStringLiteral("componentTree"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);  // the drag of a type is our own (see BeginDrag)
    setFrameShape(QFrame::NoFrame);
    for (int i = 0; i < 5; ++i) m_images[i] = TreeIcon(i);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentItemChanged(current); });
}

CComponentTree::~CComponentTree() { delete m_dragImage; }

void CComponentTree::ClearAll() {
    CProgrammatic guard(m_programmatic);
    clear();
}

bool CComponentTree::RefreshFromDevice() {
    ClearAll();
    CDeviceOperation op(m_device, QStringLiteral("刷新组件树"));
    DeviceResult<QByteArray> reply = m_device.ComponentTree();
    m_lastRead = reply;
    bool usable = reply.Ok() && reply.value.size() >= int(sizeof(T_MSG_HEAD));
    return Rebuild(usable ? reinterpret_cast<const T_MSG_HEAD*>(reply.value.constData()) : nullptr);
}

bool CComponentTree::Rebuild(const T_MSG_HEAD* reply) {
    CProgrammatic guard(m_programmatic);
    clear();
    if (!reply) return false;
    m_instanceList.clear();

    auto makeItem = [this](const QString& name, int image, int kind) {
        auto* item = new QTreeWidgetItem(QStringList(name));
        item->setIcon(0, m_images[image]);
        item->setData(0, kImageRole, image);
        item->setData(0, kKindRole, kind);
        return item;
    };

    // The items are built detached and inserted at once: one model update instead of one per
    // item keeps a rebuild of hundreds of instances cheap.
    QTreeWidgetItem* root = makeItem(kRootName, IMG_ROOT, 0);
    QList<QTreeWidgetItem*> topLevel{root};
    QTreeWidgetItem* currentType = nullptr;
    QList<QTreeWidgetItem*> typeInstances;
    auto closeType = [&] {
        if (currentType) currentType->addChildren(typeInstances);
        typeInstances.clear();
    };
    QList<QTreeWidgetItem*> types;

    KVS_RECORD_ITER it;
    KVS_RECORD rec;
    KVS_RecordsBegin(&it, reply);
    while (KVS_RecordsNext(&it, &rec)) {
        const char* raw = KVS_RecordText(&rec, 0);
        if (!raw) continue;  // a record without a name cannot be shown or selected
        QString name = FromGbk(raw);
        if (rec.kind == KVS_KIND_COMPONENT) {
            closeType();
            currentType = makeItem(name, rec.flag ? IMG_TYPE_ALT : IMG_TYPE, 1);
            types << currentType;
        } else {
            QTreeWidgetItem* item =
                makeItem(name, rec.flag ? IMG_INSTANCE_ALT : IMG_INSTANCE, int(rec.kind));
            if (currentType)
                typeInstances << item;
            else
                topLevel << item;
            m_instanceList += name + QLatin1Char(';');
        }
    }
    closeType();
    root->addChildren(types);
    addTopLevelItems(topLevel);

    if (root->childCount() > 0) {
        for (QTreeWidgetItem* type : types)
            if (type->childCount() > 0) type->setExpanded(true);
        root->setExpanded(true);
    }
    // A rebuilt tree starts without a selection (nor a current item that would show as one).
    setCurrentItem(nullptr);
    clearSelection();
    if (it.bad) {
        m_device.Log(KVS_LEVEL_ERROR, QStringLiteral("组件树应答格式错误"));
        return false;
    }
    return true;
}

QTreeWidgetItem* CComponentTree::FindInSubtree(QTreeWidgetItem* start, const QString& text) const {
    if (!start) return nullptr;
    if (start->text(0) == text) return start;
    for (int i = 0; i < start->childCount(); ++i)
        if (QTreeWidgetItem* found = FindInSubtree(start->child(i), text)) return found;
    return nullptr;
}

bool CComponentTree::SelectByName(const QString& name) {
    CProgrammatic guard(m_programmatic);
    QTreeWidgetItem* found = nullptr;
    // A name longer than the name buffer is refused rather than cut, so that a cut name can
    // never select some other item.
    if (!name.isEmpty() && ToGbk(name).size() <= kMaxNameBytes) {
        QString first = name.section(QLatin1Char(':'), 0, 0);
        bool hasSecond = name.contains(QLatin1Char(':'));
        QString second = name.section(QLatin1Char(':'), 1);
        QTreeWidgetItem* root = topLevelItemCount() ? topLevelItem(0) : nullptr;
        found = FindInSubtree(root, first);
        if (found && hasSecond) found = FindInSubtree(found, second);
    }
    if (found) {
        setCurrentItem(found);
    } else {
        setCurrentItem(nullptr);
        clearSelection();
    }
    return found != nullptr;
}

void CComponentTree::OnCurrentItemChanged(QTreeWidgetItem* current) {
    if (!current) return;
    if (current->data(0, kKindRole).toInt() == kInertKind) return;
    m_selectedText = current->text(0);
    if (m_programmatic || !m_notifyTarget) return;
    QCoreApplication::postEvent(m_notifyTarget,
                                new CFrameNotifyEvent(NOTIFY_SELECT, m_selectedText));
}

bool CComponentTree::BeginDrag(QTreeWidgetItem* item, const QPoint& globalPos) {
    if (m_dragging || !item || item->data(0, kKindRole).toInt() != 1) return false;
    m_draggedType = item->text(0);
    m_dragging = true;
    if (!m_dragImage) {
        m_dragImage = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
        m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_dragImage->setObjectName(QStringLiteral("componentDragImage"));
    }
    // The item's image and text, as the tree shows them.
    QFontMetrics fm(font());
    QPixmap pm(22 + fm.horizontalAdvance(m_draggedType) + 6, qMax(20, fm.height() + 4));
    pm.fill(palette().color(QPalette::Base));
    {
        QPainter p(&pm);
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
        p.drawPixmap(3, (pm.height() - 16) / 2, item->icon(0).pixmap(16, 16));
        p.setFont(font());
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRect(22, 0, pm.width() - 22, pm.height()), Qt::AlignVCenter, m_draggedType);
    }
    m_dragImage->setPixmap(pm);
    m_dragImage->setWindowOpacity(0.7);
    m_dragImage->adjustSize();
    m_dragImage->move(globalPos + QPoint(8, 8));
    m_dragImage->show();
    // The grab goes to the viewport: a scroll area passes the mouse events aimed at itself on
    // to its parent, so a grab on the tree would never see the release and would keep the
    // mouse from every other window of the program.
    viewport()->grabMouse(Qt::ClosedHandCursor);
    return true;
}

void CComponentTree::DragMove(const QPoint& globalPos) {
    if (m_dragging && m_dragImage) m_dragImage->move(globalPos + QPoint(8, 8));
}

void CComponentTree::CancelDrag() {
    if (!m_dragging) return;
    if (m_dragImage) m_dragImage->hide();
    viewport()->releaseMouse();
    m_dragging = false;
    viewport()->update();
}

QWidget* CComponentTree::EndDrag(const QPoint& globalPos) {
    if (!m_dragging) return nullptr;
    CancelDrag();
    QWidget* target = QApplication::widgetAt(globalPos);
    if (!target) return nullptr;  // dropped outside every window of the program
    m_dropPoint = target->mapFromGlobal(globalPos);
    QCoreApplication::postEvent(target, new CComponentDropEvent(m_draggedType, m_dropPoint));
    return target;
}

void CComponentTree::mousePressEvent(QMouseEvent* e) {
    QTreeWidget::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) {
        m_pressItem = itemAt(e->position().toPoint());
        m_pressPos = e->position().toPoint();
    }
}

void CComponentTree::mouseMoveEvent(QMouseEvent* e) {
    QPoint global = e->globalPosition().toPoint();
    if (m_dragging) {
        // The release went elsewhere (the window lost the mouse): drop nothing.
        if (!(e->buttons() & Qt::LeftButton))
            CancelDrag();
        else
            DragMove(global);
        return;
    }
    if ((e->buttons() & Qt::LeftButton) && m_pressItem &&
        (e->position().toPoint() - m_pressPos).manhattanLength() >=
            QApplication::startDragDistance()) {
        QTreeWidgetItem* item = m_pressItem;
        m_pressItem = nullptr;
        if (BeginDrag(item, global)) return;
    }
    QTreeWidget::mouseMoveEvent(e);
}

void CComponentTree::mouseReleaseEvent(QMouseEvent* e) {
    m_pressItem = nullptr;
    if (m_dragging && e->button() == Qt::LeftButton) {
        EndDrag(e->globalPosition().toPoint());
        return;
    }
    QTreeWidget::mouseReleaseEvent(e);
}

void CComponentTree::keyPressEvent(QKeyEvent* e) {
    if (m_dragging && e->key() == Qt::Key_Escape) {
        CancelDrag();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

void CComponentTree::focusInEvent(QFocusEvent* e) {
    // The item view makes its first item current when it gets the focus without one; that
    // would show the root as selected although the user chose nothing.
    bool hadCurrent = currentIndex().isValid();
    {
        CProgrammatic guard(m_programmatic);
        QTreeWidget::focusInEvent(e);
        if (!hadCurrent && currentIndex().isValid()) {
            selectionModel()->clear();
        }
    }
}

void CComponentTree::drawBranches(QPainter* painter, const QRect& rect,
                                  const QModelIndex& index) const {
    const int step = indentation();
    const QColor line = palette().color(QPalette::Mid);
    QPen dotted(line, 1, Qt::DotLine);
    painter->save();
    painter->setPen(dotted);
    const int midY = rect.top() + rect.height() / 2;
    // Level of the item: its own column sits at the right end of rect.
    int level = 0;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) ++level;
    const int right = rect.right() + 1;
    auto columnX = [&](int depth) { return right - (level - depth + 1) * step + step / 2; };
    auto hasNextSibling = [&](const QModelIndex& i) {
        return i.row() + 1 < model()->rowCount(i.parent());
    };
    // The item's own elbow: up to its parent (or the previous top-level item), right to it,
    // and down when more siblings follow.
    const int x = columnX(level);
    const bool first = index.row() == 0 && !index.parent().isValid();
    painter->drawLine(x, first ? midY : rect.top(), x,
                      hasNextSibling(index) ? rect.bottom() : midY);
    painter->drawLine(x, midY, right - 2, midY);
    // The lines of the ancestors that continue below this row.
    int depth = level - 1;
    for (QModelIndex a = index.parent(); a.isValid(); a = a.parent(), --depth)
        if (hasNextSibling(a))
            painter->drawLine(columnX(depth), rect.top(), columnX(depth), rect.bottom());
    // The expand box.
    if (model()->hasChildren(index)) {
        QRect box(x - 4, midY - 4, 8, 8);
        painter->setPen(line);
        painter->setBrush(palette().color(QPalette::Base));
        painter->drawRect(box);
        painter->setPen(palette().color(QPalette::Text));
        painter->drawLine(box.left() + 2, midY, box.right() - 2, midY);
        if (!isExpanded(index)) painter->drawLine(x, box.top() + 2, x, box.bottom() - 2);
    }
    painter->restore();
}

CKVSWorkBar::CKVSWorkBar(CDevice& device, QWidget* parent)
    : QDockWidget(QStringLiteral("组件树"), parent) {
    setObjectName(QStringLiteral("componentTreeBar"));
    m_tree = new CComponentTree(device);
    setWidget(new CFramedPane(m_tree, this));
}
