#include "diagram/korvessa_view.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "app/common/frame_events.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/gbk_text.h"
#include "diagram/component_trace.h"
#include "diagram/connect_trace.h"
#include "diagram/editor_hooks.h"
#include "diagram/geometry/slot_info.h"
#include "diagram/trace_surface.h"

namespace {
const QString kManager = QStringLiteral("组件管理器");
const QString kRunning = QStringLiteral("运行状态");
const QString kGeometry = QStringLiteral("区域位置");
const QString kComment = QStringLiteral("用户注释");

// Names that a 64-byte name buffer holds: 63 GBK bytes and the terminator.
bool NameFits(const QString& name) {
    if (name.isEmpty()) return false;
    // A character takes at most two GBK bytes (one for those it lacks, written as "?").
    if (size_t(name.size()) * 2 <= kvs::geometry::kMaxNameBytes) return true;
    return size_t(ToGbk(name).size()) <= kvs::geometry::kMaxNameBytes;
}

// The decimal value of a resource count: leading digits after optional spaces and a sign; a
// text without digits counts 0. Saturates instead of overflowing.
long long DecimalValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min(v * 10 + (text[i].unicode() - '0'), 1LL << 40);
    return negative ? -v : v;
}

// Holds the busy cursor over a whole multi-request operation (the hook nests).
class CBusyScope {
  public:
    explicit CBusyScope(CDevice& device) : m_hook(device.BusyHook()) {
        if (m_hook) m_hook->Begin();
    }
    ~CBusyScope() {
        if (m_hook) m_hook->End();
    }
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

  private:
    IBusyHook* m_hook;
};

QStringList SplitNames(const QString& list) { return CConnectTrace::SplitList(list); }
}  // namespace

CKorvessaView::CKorvessaView(CDevice& device, QWidget* parent)
    : QAbstractScrollArea(parent), m_device(device) {
    setObjectName(QStringLiteral("korvessaView"));
    setWindowTitle(QStringLiteral("工程编辑窗"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("diagramMenu"));
    QAction* del = m_menu->addAction(QStringLiteral("删除"));
    del->setData(kDeleteCommand);
    connect(del, &QAction::triggered, this, &CKorvessaView::OnDeleteCommand);
    UpdateScrollBars();
}

CKorvessaView::~CKorvessaView() = default;

// --- coordinates, painting -------------------------------------------------------------------

QPoint CKorvessaView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

TPoint CKorvessaView::ToDiagram(QPoint window) const {
    const QPoint s = ScrollPosition();
    return {window.x() + s.x(), window.y() + s.y()};
}

void CKorvessaView::UpdateScrollBars() {
    const QSize page = viewport()->size();
    const int width = kExtent.right - kExtent.left, height = kExtent.bottom - kExtent.top;
    horizontalScrollBar()->setRange(0, std::max(0, width - page.width()));
    verticalScrollBar()->setRange(0, std::max(0, height - page.height()));
    horizontalScrollBar()->setPageStep(page.width());
    verticalScrollBar()->setPageStep(page.height());
    horizontalScrollBar()->setSingleStep(std::max(1, page.width() / 10));
    verticalScrollBar()->setSingleStep(std::max(1, page.height() / 10));
}

void CKorvessaView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
}

void CKorvessaView::scrollContentsBy(int, int) { viewport()->update(); }

void CKorvessaView::Repaint() { viewport()->update(); }

void CKorvessaView::PaintDiagram(QPainter& p, const QRect& area) {
    p.fillRect(area, Qt::white);
    // The grid: only the lines that cross the area are drawn, at the same places.
    p.setPen(QPen(CQtTraceSurface::Color(kGridColor), 1));
    const int top = std::max(kExtent.top, area.top());
    const int bottom = std::min(kExtent.bottom, area.bottom() + 1);
    const int left = std::max(kExtent.left, area.left());
    const int right = std::min(kExtent.right, area.right() + 1);
    auto firstLine = [](int from, int origin) {
        if (from <= origin) return origin;
        return origin + ((from - origin + kGridStep - 1) / kGridStep) * kGridStep;
    };
    QVector<QLine> grid;
    for (int y = firstLine(top, kExtent.top); y < kExtent.bottom && y <= bottom; y += kGridStep)
        grid.append(QLine(left, y, right, y));
    for (int x = firstLine(left, kExtent.left); x < kExtent.right && x <= right; x += kGridStep)
        grid.append(QLine(x, top, x, bottom));
    p.drawLines(grid);

    CQtTraceSurface surface(p);
    for (const auto& item : m_items) item->Draw(surface);

    // The marks of a link being made: the send slot while it is chosen, both slots once after
    // the link was made.
    const TRgb green = kLinkMarkColor;
    const TPen black{{0, 0, 0}, 1, TPenStyle::Solid};
    if (m_linkFrom) surface.Rectangle(m_linkFrom->rect, black, &green);
    if (m_linkTo) {
        surface.Rectangle(m_linkTo->rect, black, &green);
        m_linkFrom = nullptr;
        m_linkTo = nullptr;
    }

    if (!m_rubberBand.empty()) {
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        surface.Polyline(m_rubberBand.data(), int(m_rubberBand.size()), m_rubberClosed,
                         TPen{{255, 255, 255}, 1, TPenStyle::Solid});
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
}

void CKorvessaView::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    const QPoint s = ScrollPosition();
    p.translate(-s);
    PaintDiagram(p, e->rect().translated(s));
}

// --- events ------------------------------------------------------------------------------------

bool CKorvessaView::event(QEvent* e) {
    if (e->type() == KvsEvent::ComponentDrop) {
        auto* drop = static_cast<CComponentDropEvent*>(e);
        DropComponent(drop->type, viewport()->mapFrom(this, drop->point));
        return true;
    }
    return QAbstractScrollArea::event(e);
}

bool CKorvessaView::viewportEvent(QEvent* e) {
    if (e->type() == KvsEvent::ComponentDrop) {
        auto* drop = static_cast<CComponentDropEvent*>(e);
        DropComponent(drop->type, drop->point);
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void CKorvessaView::mousePressEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (m_track.Active()) {
        // Inside a drag only the right button counts: it cancels.
        m_stepModifiers = e->modifiers();
        if (e->button() == Qt::RightButton) m_track.Cancel();
        AfterDragStep();
        return;
    }
    if (e->button() == Qt::LeftButton) PressAt(pos, e->modifiers());
}

void CKorvessaView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (m_track.Active()) {
        m_stepModifiers = e->modifiers();
        if (!(e->buttons() & Qt::LeftButton)) {
            // The release went elsewhere (a message box took the pointer): capture lost.
            m_track.Cancel();
        } else {
            m_track.Move(ToDiagram(pos));
        }
        AfterDragStep();
        return;
    }
    UpdateCursor(pos);
}

void CKorvessaView::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (m_track.Active()) {
        m_stepModifiers = e->modifiers();
        if (e->button() == Qt::LeftButton) m_track.Release(ToDiagram(pos));
        AfterDragStep();
        return;
    }
    if (e->button() == Qt::RightButton) m_menu->popup(viewport()->mapToGlobal(pos));
}

void CKorvessaView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (m_track.Active() || e->button() != Qt::LeftButton) return;
    DoubleClick();
}

void CKorvessaView::keyPressEvent(QKeyEvent* e) {
    if (m_track.Active()) {
        if (e->key() == Qt::Key_Escape) m_track.Cancel();
        AfterDragStep();
        return;  // every other key is swallowed while a drag runs
    }
    if (e->key() == Qt::Key_Delete) {
        if (!m_selection) return;
        m_deleteName = m_selection->Name();
        m_selection = nullptr;
        Post(NOTIFY_DELETE_COMPONENT, m_deleteName);
        return;
    }
    if (e->key() == Qt::Key_F1) {
        if (m_selection && m_selection->Type() == CBaseTrace::kComponent) {
            auto* box = static_cast<CComponentTrace*>(m_selection);
            if (box->SelectedPart() && m_editors)
                m_editors->OpenHelpTopic(box->SelectedPart()->name);
        }
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void CKorvessaView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    if (!m_wasActive) {
        QString name;
        if (m_selection && m_selection->Type() == CBaseTrace::kComponent) {
            auto* box = static_cast<CComponentTrace*>(m_selection);
            name = box->SelectedPart() ? box->SelectedPart()->name : box->Name();
        }
        m_selectionName = name;
        Post(NOTIFY_SELECT, name);
    }
    m_wasActive = true;
}

void CKorvessaView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    m_wasActive = false;
    if (m_track.Active()) m_track.Cancel();  // the pointer went to another window
    AfterDragStep();
}

void CKorvessaView::Post(int code, const QString& name) {
    if (m_notifyTarget)
        QCoreApplication::postEvent(m_notifyTarget, new CFrameNotifyEvent(code, name));
}

// --- pointer shape -----------------------------------------------------------------------------

bool CKorvessaView::CursorShapeAt(QPoint window, TCursorShape* shape) const {
    const TPoint q = ToDiagram(window);
    for (const auto& item : m_items)
        if (item->SetCursorShape(q, true, shape)) return true;
    return false;
}

void CKorvessaView::UpdateCursor(QPoint window) {
    TCursorShape shape;
    if (CursorShapeAt(window, &shape)) {
        viewport()->setCursor(CursorOf(shape));
    } else {
        viewport()->unsetCursor();
    }
}

// --- press, drag, double click -----------------------------------------------------------------

void CKorvessaView::PressAt(QPoint window, Qt::KeyboardModifiers modifiers) {
    m_stepModifiers = modifiers;
    const TPoint q = ToDiagram(window);
    for (const auto& item : m_items)
        if (item->Type() == CBaseTrace::kComponent)
            static_cast<CComponentTrace*>(item.get())->SetSelectedPart(nullptr);

    bool changed = false;
    int hit = HIT_NONE;
    CBaseTrace* target = nullptr;
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        hit = (*it)->HitTest(q);
        if (hit != HIT_NONE) {
            target = it->get();
            break;
        }
    }
    if (target) {
        changed = target != m_selection;
        if (target->Type() == CBaseTrace::kComponent) {
            auto* box = static_cast<CComponentTrace*>(target);
            if (T_COMPONENT_INFO* part = box->PartAt(q)) {
                box->SetSelectedPart(part);
                changed = true;
            }
        }
        if (target != m_selection) {
            if (m_selection) m_selection->SetSelected(false);
            target->SetSelected(true);
            m_selection = target;
            auto it = std::find_if(m_items.begin(), m_items.end(),
                                   [target](const auto& p) { return p.get() == target; });
            std::rotate(it, it + 1, m_items.end());  // to the back: painted on top
        }
    } else if (m_selection) {
        m_selection->SetSelected(false);
        m_selection = nullptr;
        changed = true;
    }
    if (hit >= 0 && hit < HIT_BODY && m_selection) m_selection->SetActiveHandle(hit);
    Repaint();

    // The name posted once the press is over.
    if (changed) {
        if (!target) {
            m_selectionName = QString();
        } else if (target->Type() == CBaseTrace::kComponent) {
            auto* box = static_cast<CComponentTrace*>(target);
            m_selectionName = box->SelectedPart() ? box->SelectedPart()->name : box->Name();
        } else {
            m_selectionName = target->Name();
        }
    }
    m_pressChanged = changed;
    if (m_selection && m_track.Begin(m_selection, *this, q)) {
        m_afterPressPending = true;  // AfterPress runs when the drag has ended
        return;
    }
    if (m_selection) {
        AfterPress();
        return;
    }
    if (changed) Post(NOTIFY_SELECT, m_selectionName);
}

// What follows every press on an item, once its drag is over.
void CKorvessaView::AfterPress() {
    if (m_selection && m_selection->Type() == CBaseTrace::kComponent) {
        CBusyScope busy(m_device);
        CDeviceOperation op(m_device, QStringLiteral("移动组件"));
        for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
            if ((*it)->Type() == CBaseTrace::kLink)
                static_cast<CConnectTrace*>(it->get())->FollowSlots();
    }
    if (m_document) m_document->SetModifiedFlag();
    if (m_pressChanged) Post(NOTIFY_SELECT, m_selectionName);
    m_pressChanged = false;
}

void CKorvessaView::DoubleClick() {
    if (!m_selection || m_selection->Type() != CBaseTrace::kComponent) return;
    auto* box = static_cast<CComponentTrace*>(m_selection);
    T_COMPONENT_INFO* part = box->SelectedPart();
    if (!part) return;
    switch (part->kind) {
        case T_COMPONENT_INFO::kSend:
            m_linkTo = nullptr;
            m_linkFrom = part;
            Repaint();
            return;
        case T_COMPONENT_INFO::kBody: {
            const QString name = box->Name();
            if (m_editors && name.contains(QStringLiteral("表达式运算"))) {
                m_editors->OpenExpressionPanel(this, name);
            } else if (m_editors && name.contains(QStringLiteral("用户自定义组件"))) {
                m_editors->OpenScriptEditor(this, name);
            }
            Repaint();
            return;
        }
        case T_COMPONENT_INFO::kReceive: {
            if (m_linkTo || !m_linkFrom) {
                Repaint();
                return;
            }
            m_linkTo = part;
            if (FindLinkOnSlot(part->name)) {
                CMessageService::Get().Inform(
                    this, QStringLiteral("该输入槽位已经有连接，请删除后再做此操作!"));
                m_linkFrom = m_linkTo = nullptr;
                return;
            }
            std::unique_ptr<CConnectTrace> link;
            {
                CBusyScope busy(m_device);
                CDeviceOperation op(m_device, QStringLiteral("创建连接"));
                link = CConnectTrace::CreateLink(m_device, m_linkFrom, m_linkTo);
            }
            if (!link) {
                m_linkFrom = m_linkTo = nullptr;
                CMessageService::Get().Inform(this, QStringLiteral("创建组件失败，请查看原因!"));
                Repaint();
                return;
            }
            m_items.push_back(std::move(link));
            Post(NOTIFY_REFRESH_TREE, QString());
            Repaint();
            return;
        }
    }
}

// --- ITrackHost --------------------------------------------------------------------------------

bool CKorvessaView::ControlHeld() const { return m_stepModifiers & Qt::ControlModifier; }
bool CKorvessaView::ShiftHeld() const { return m_stepModifiers & Qt::ShiftModifier; }

void CKorvessaView::Inform(const QString& text) { CMessageService::Get().Inform(this, text); }

void CKorvessaView::ShowRubberBand(const TPoint* points, int n, bool closed) {
    m_rubberBand.assign(points, points + n);
    if (closed && n > 0) m_rubberBand.push_back(points[0]);
    m_rubberClosed = false;  // the closing point is part of the outline
    Repaint();
}

bool CKorvessaView::CapturePointer() {
    QWidget* grabber = QWidget::mouseGrabber();
    return !grabber || grabber == viewport() || grabber == this;
}

void CKorvessaView::UpdateNow() { Repaint(); }

void CKorvessaView::InvalidateAll() {
    m_rubberBand.clear();
    Repaint();
}

void CKorvessaView::AfterDragStep() {
    if (!m_afterPressPending || m_track.Active()) return;
    m_afterPressPending = false;
    AfterPress();
}

// --- the frame's operations ------------------------------------------------------------------

CBaseTrace* CKorvessaView::FindItemByName(const QString& name) const {
    for (const auto& item : m_items)
        if (item->Name() == name) return item.get();
    return nullptr;
}

CComponentTrace* CKorvessaView::BoxNamed(const QString& name) const {
    for (const auto& item : m_items)
        if (item->Type() == CBaseTrace::kComponent && item->Name() == name)
            return static_cast<CComponentTrace*>(item.get());
    return nullptr;
}

T_COMPONENT_INFO* CKorvessaView::FindSlot(const QString& fullName) {
    if (fullName.isEmpty()) return nullptr;
    for (const auto& item : m_items) {
        if (item->Type() != CBaseTrace::kComponent) continue;
        if (T_COMPONENT_INFO* part = static_cast<CComponentTrace*>(item.get())->FindPart(fullName))
            return part;
    }
    m_device.Log(2, QStringLiteral("不能找到槽位:%1").arg(fullName));
    return nullptr;
}

CConnectTrace* CKorvessaView::FindLinkOnSlot(const QString& fullName) const {
    for (const auto& item : m_items) {
        if (item->Type() != CBaseTrace::kLink) continue;
        auto* link = static_cast<CConnectTrace*>(item.get());
        if ((link->FromSlot() && link->FromSlot()->name == fullName) ||
            (link->ToSlot() && link->ToSlot()->name == fullName))
            return link;
    }
    return nullptr;
}

void CKorvessaView::ForgetPartsOf(CComponentTrace* box) {
    if (box->Owns(m_linkFrom)) m_linkFrom = nullptr;
    if (box->Owns(m_linkTo)) m_linkTo = nullptr;
}

void CKorvessaView::Destroy(CBaseTrace* item) {
    if (item == m_selection) m_selection = nullptr;
    if (m_track.Item() == item) {
        m_track.Forget(item);
        m_afterPressPending = false;
    }
    if (item->Type() == CBaseTrace::kComponent) ForgetPartsOf(static_cast<CComponentTrace*>(item));
    auto it = std::find_if(m_items.begin(), m_items.end(),
                           [item](const auto& p) { return p.get() == item; });
    if (it != m_items.end()) m_items.erase(it);
}

void CKorvessaView::RemoveLinksOf(CComponentTrace* box) {
    // Every link that refers to any part of the box, whatever the device named as its ends:
    // none may keep a pointer into the box once it is gone.
    std::vector<CConnectTrace*> links;
    for (const auto& item : m_items) {
        if (item->Type() != CBaseTrace::kLink) continue;
        auto* link = static_cast<CConnectTrace*>(item.get());
        if (box->Owns(link->FromSlot()) || box->Owns(link->ToSlot())) links.push_back(link);
    }
    for (CConnectTrace* link : links) {
        link->RemoveFromDevice();
        Destroy(link);
    }
}

bool CKorvessaView::DeleteItem(CBaseTrace* item) {
    if (!item) return false;
    bool confirmed = false;
    {
        CBusyScope busy(m_device);
        CDeviceOperation op(m_device, QStringLiteral("删除组件"));
        if (item->Type() == CBaseTrace::kLink) {
            static_cast<CConnectTrace*>(item)->RemoveFromDevice();
            confirmed = true;
        } else if (item->Type() == CBaseTrace::kComponent) {
            RemoveLinksOf(static_cast<CComponentTrace*>(item));
            confirmed = m_device.DelComponent(item->Name()).Ok();
        }
    }
    Destroy(item);
    Post(NOTIFY_REFRESH_TREE, QString());
    Repaint();
    return confirmed;
}

bool CKorvessaView::DeleteItem(const QString& name) { return DeleteItem(FindItemByName(name)); }

void CKorvessaView::OnDeleteCommand() {
    if (!m_selection) return;
    DeleteItem(m_selection);
    m_selection = nullptr;
}

void CKorvessaView::ClearDiagram() {
    if (m_track.Active()) m_track.Forget(m_track.Item());
    m_afterPressPending = false;
    m_items.clear();
    m_selection = nullptr;
    m_linkFrom = m_linkTo = nullptr;
    m_rubberBand.clear();
    Repaint();
}

CComponentTrace* CKorvessaView::CreateComponentFromDevice(const QString& name) {
    if (!NameFits(name)) {
        if (!name.isEmpty())
            m_device.Log(1, QStringLiteral("组件名称过长，不能显示: %1").arg(name));
        return nullptr;
    }
    const DeviceResult<QString> text = m_device.GetAttrVal(name, kGeometry);
    if (!text.Ok()) return nullptr;
    auto box = std::make_unique<CComponentTrace>(m_device, name, TRect{});
    if (!box->LoadGeometry(text.value)) return nullptr;
    box->LoadFromDevice();
    CComponentTrace* made = box.get();
    m_items.push_back(std::move(box));
    return made;
}

void CKorvessaView::LoadLinks() {
    const DeviceResult<QString> list =
        m_device.GetAttrRealVal(LinkNames::kType, LinkNames::kCreated);
    if (!list.Ok()) return;  // no answer counts as an empty list
    const auto find = [this](const QString& slot) { return FindSlot(slot); };
    for (const QString& name : SplitNames(list.value)) {
        if (m_device.Operation() && m_device.Operation()->Silent()) return;
        if (!NameFits(name)) continue;
        if (auto link = CConnectTrace::CreateLinkFromDevice(m_device, name, find))
            m_items.push_back(std::move(link));
    }
}

void CKorvessaView::LoadDiagram(const QString& instances) {
    CBusyScope busy(m_device);
    CDeviceOperation op(m_device, QStringLiteral("加载图表"));
    ClearDiagram();
    for (const QString& name : SplitNames(instances)) {
        // A device that stopped answering costs one wait; what was drawn so far stays.
        if (op.Silent()) break;
        // Link components keep a route, never a rectangle: asking for it would only cost a
        // request per link (on a slow serial line a seventh of the whole load).
        if (name.left(name.lastIndexOf('-')) == LinkNames::kType) continue;
        CreateComponentFromDevice(name);
    }
    if (!op.Silent()) LoadLinks();
    Repaint();
}

bool CKorvessaView::SelectItemByName(const QString& name) {
    if (name.isEmpty()) return false;
    if (m_selection) {
        QString current = m_selection->Name();
        CComponentTrace* box = m_selection->Type() == CBaseTrace::kComponent
                                   ? static_cast<CComponentTrace*>(m_selection)
                                   : nullptr;
        if (box && box->SelectedPart()) current = box->SelectedPart()->name;
        if (current == name) return false;
        m_selection->SetSelected(false);
        if (box) box->SetSelectedPart(nullptr);
        m_selection = nullptr;
    }
    for (const auto& item : m_items) {
        T_COMPONENT_INFO* part = nullptr;
        if (item->Name() != name) {
            if (item->Type() != CBaseTrace::kComponent) continue;
            part = static_cast<CComponentTrace*>(item.get())->FindPart(name);
            if (!part) continue;
        }
        if (part) static_cast<CComponentTrace*>(item.get())->SetSelectedPart(part);
        item->SetSelected(true);
        m_selection = item.get();
        Repaint();
        return true;
    }
    Repaint();
    return false;
}

bool CKorvessaView::ReloadComponent(const QString& name) {
    CComponentTrace* old = BoxNamed(name);
    if (!old || FindItemByName(name) != old) return false;
    CBusyScope busy(m_device);
    CDeviceOperation op(m_device, QStringLiteral("重建组件"));
    // The box's links are held aside by the names of their slots while the box is rebuilt: a
    // link whose two slots the new box (and the other end) still has stays, on the device and
    // in the diagram; only a link whose slot is gone is removed. Editing an attribute of a box
    // must not throw away the user's wiring.
    struct THeldLink {
        std::unique_ptr<CConnectTrace> link;
        QString from;
        QString to;
    };
    std::vector<THeldLink> held;
    for (auto it = m_items.begin(); it != m_items.end();) {
        auto* link =
            (*it)->Type() == CBaseTrace::kLink ? static_cast<CConnectTrace*>(it->get()) : nullptr;
        if (!link || !(old->Owns(link->FromSlot()) || old->Owns(link->ToSlot()))) {
            ++it;
            continue;
        }
        if (m_track.Item() == link) {
            m_track.Forget(link);
            m_afterPressPending = false;
        }
        THeldLink h;
        h.from = link->FromSlot() ? link->FromSlot()->name : QString();
        h.to = link->ToSlot() ? link->ToSlot()->name : QString();
        link->SetSlots(nullptr, nullptr);  // nothing may point into the old box
        h.link.reset(static_cast<CConnectTrace*>(it->release()));
        it = m_items.erase(it);
        held.push_back(std::move(h));
    }
    Destroy(old);
    m_selection = nullptr;
    CComponentTrace* box = CreateComponentFromDevice(name);
    for (THeldLink& h : held) {
        // Without a box the device was not read; its links are left as they are there.
        if (!box) break;
        T_COMPONENT_INFO* from = h.from.isEmpty() ? nullptr : FindSlot(h.from);
        T_COMPONENT_INFO* to = h.to.isEmpty() ? nullptr : FindSlot(h.to);
        h.link->SetSlots(from, to);
        if (from && to && from->kind == T_COMPONENT_INFO::kSend &&
            to->kind == T_COMPONENT_INFO::kReceive) {
            h.link->SetFlagged(to->flag && from->flag);
            h.link->FollowSlots();
            m_items.push_back(std::move(h.link));
        } else {
            h.link->RemoveFromDevice();
        }
    }
    Repaint();
    if (!box) return false;
    // The rebuilt box is drawn above its links, as a newly loaded one is.
    auto top = std::find_if(m_items.begin(), m_items.end(),
                            [box](const auto& p) { return p.get() == box; });
    if (top != m_items.end()) std::rotate(top, top + 1, m_items.end());
    box->SetSelected(true);
    m_selection = box;
    return true;
}

bool CKorvessaView::ReloadComment(const QString& name) {
    CComponentTrace* box = BoxNamed(name);
    if (!box) return false;
    const DeviceResult<QString> comment = m_device.GetAttrVal(name, kComment);
    box->SetComment(comment.Ok() ? comment.value : QString());
    Repaint();
    return true;
}

void CKorvessaView::DropComponent(const QString& type, QPoint windowPos) {
    if (type == LinkNames::kType) return;
    CBusyScope busy(m_device);
    CDeviceOperation op(m_device, QStringLiteral("创建组件"));
    CMessageService& messages = CMessageService::Get();
    const DeviceResult<QString> running = m_device.GetAttrVal(kManager, kRunning);
    if (running.Ok() && running.value == QStringLiteral("true")) {
        messages.Inform(this, QStringLiteral("请停止工程，然后再创建组件!"));
        return;
    }
    const DeviceResult<QString> total = m_device.GetAttrVal(type, QStringLiteral("总资源数"));
    const DeviceResult<QString> used = m_device.GetAttrVal(type, QStringLiteral("已用资源数"));
    // Without both counts the device alone decides, when it is asked to create the component.
    if (total.Ok() && used.Ok() && DecimalValue(used.value) >= DecimalValue(total.value)) {
        messages.Inform(this, QStringLiteral("本组件硬件资源数有限，不能再创建组件"));
        return;
    }
    const DeviceResult<QString> made = m_device.AddNewComponent(type);
    if (!made.Ok() || made.value.isEmpty()) {
        messages.Inform(this, QStringLiteral("创建组件失败，请查看原因!"));
        return;
    }
    const QString name = made.value;
    const TPoint q = ToDiagram(windowPos);
    const TRect outer{q.x, q.y, q.x + 80, q.y + 40};
    m_device.SetAttributeVal(name, kGeometry,
                             QString::fromStdString(kvs::geometry::FormatRectText(outer)), true);
    if (NameFits(name)) {
        auto box = std::make_unique<CComponentTrace>(m_device, name, outer);
        box->LoadFromDevice();
        m_items.push_back(std::move(box));
    } else {
        m_device.Log(1, QStringLiteral("组件名称过长，不能显示: %1").arg(name));
    }
    Post(NOTIFY_REFRESH_TREE, QString());
    Repaint();
}
