#include "diagram/component_trace.h"

#include "app/device/device.h"
#include "app/device/gbk_text.h"
#include "diagram/geometry/slot_info.h"
#include "diagram/geometry/slot_layout.h"

namespace kg = kvs::geometry;

CComponentTrace::CComponentTrace(CDevice& device, const QString& name, const TRect& outer)
    : CQuadTrace(kComponent, outer), m_device(device) {
    SetName(name);
    m_body.kind = T_COMPONENT_INFO::kBody;
    m_body.name = name;
    m_body.rect = kg::BodyRect(outer);
}

void CComponentTrace::LoadFromDevice() {
    const DeviceResult<QByteArray> reply = m_device.ComponentSlotInfo(m_name);
    kg::SlotInfo info;
    const QByteArray component = ToGbk(m_name);
    if (!reply.Ok() ||
        !kg::ReadSlotInfo(
            reinterpret_cast<const uint8_t*>(reply.value.constData()), size_t(reply.value.size()),
            std::string_view(component.constData(), size_t(component.size())), &info)) {
        m_device.Log(1, QStringLiteral("获取组件（%1）槽位出错").arg(m_name));
        return;
    }
    SetSlots(info);
    const DeviceResult<QString> comment = m_device.GetAttrVal(m_name, QStringLiteral("用户注释"));
    m_comment = comment.Ok() ? comment.value : QString();
}

void CComponentTrace::SetSlots(const kg::SlotInfo& info) {
    m_selectedPart = nullptr;
    m_body.dataType = info.componentRecord ? 1 : 0;
    m_body.flag = info.componentRecord && info.componentFlag;
    auto fill = [](std::vector<std::unique_ptr<T_COMPONENT_INFO>>& list, int kind,
                   const std::vector<kg::SlotRecord>& records) {
        list.clear();
        for (const kg::SlotRecord& r : records) {
            auto part = std::make_unique<T_COMPONENT_INFO>();
            part->kind = kind;
            part->dataType = r.dataType;
            part->flag = r.flag;
            part->name = FromGbk(r.name.c_str());
            list.push_back(std::move(part));
        }
    };
    fill(m_send, T_COMPONENT_INFO::kSend, info.send);
    fill(m_receive, T_COMPONENT_INFO::kReceive, info.receive);
    LayoutSlots(OuterRect());
}

void CComponentTrace::LayoutSlots(const TRect& outer) {
    auto place = [&outer](std::vector<std::unique_ptr<T_COMPONENT_INFO>>& list, kg::SlotEdge e) {
        const int m = int(list.size());
        for (int k = 1; k <= m; ++k) list[size_t(k - 1)]->rect = kg::SlotRect(outer, e, k, m);
    };
    place(m_send, kg::SlotEdge::kSend);
    place(m_receive, kg::SlotEdge::kReceive);
}

void CComponentTrace::PlaceParts() {
    const TRect outer = OuterRect();
    LayoutSlots(outer);
    m_body.rect = kg::BodyRect(outer);
}

T_COMPONENT_INFO* CComponentTrace::PartAt(TPoint p) {
    for (auto& s : m_send)
        if (Contains(s->rect, p)) return s.get();
    for (auto& s : m_receive)
        if (Contains(s->rect, p)) return s.get();
    return HitTest(p) != HIT_NONE ? &m_body : nullptr;
}

T_COMPONENT_INFO* CComponentTrace::FindPart(const QString& fullName) {
    const qsizetype colon = fullName.indexOf(':');
    const QString component = colon < 0 ? fullName : fullName.left(colon);
    if (component != m_name) return nullptr;
    if (colon < 0) return &m_body;
    for (auto& s : m_send)
        if (s->name == fullName) return s.get();
    for (auto& s : m_receive)
        if (s->name == fullName) return s.get();
    return nullptr;
}

bool CComponentTrace::Owns(const T_COMPONENT_INFO* part) const {
    if (!part) return false;
    if (part == &m_body) return true;
    for (const auto& s : m_send)
        if (s.get() == part) return true;
    for (const auto& s : m_receive)
        if (s.get() == part) return true;
    return false;
}

void CComponentTrace::Draw(ITraceSurface& surface) const {
    auto fillOf = [this](const T_COMPONENT_INFO& part) {
        return part.flag ? &m_flaggedFillColor : &m_fillColor;
    };
    surface.Rectangle(m_body.rect, m_pen, fillOf(m_body));
    for (const auto& s : m_send) surface.Rectangle(s->rect, m_pen, fillOf(*s));
    for (const auto& s : m_receive) surface.Rectangle(s->rect, m_pen, fillOf(*s));
    if (m_selectedPart)
        surface.Rectangle(m_selectedPart->rect, TPen{m_activeHandleColor, 2, TPenStyle::Solid},
                          nullptr);
    DrawHandles(surface);
    DrawLabel(m_name, *this, surface);
    if (!m_comment.isEmpty()) DrawComment(m_comment, *this, surface);
}

void CComponentTrace::DrawLabel(const QString& text, const CBaseTrace& item,
                                ITraceSurface& surface) {
    const TPoint p0 = item.Point(0);
    surface.Text({p0.x, p0.y - 16}, text.isNull() ? item.Name() : text, item.LabelFont(),
                 kTextColor);
}

TRect CComponentTrace::CommentArea(const CBaseTrace& item, int h) {
    const TPoint p0 = item.Point(0), p2 = item.Point(2);
    TRect a{p0.x + 11, p0.y, p2.x - 11, p2.y};
    const int narrow = ((a.bottom - a.top) - h) / 2;
    a.top += narrow;
    a.bottom -= narrow;
    return a;
}

void CComponentTrace::DrawComment(const QString& text, const CBaseTrace& item,
                                  ITraceSurface& surface) {
    const TPoint p0 = item.Point(0), p2 = item.Point(2);
    const int width = (p2.x - 11) - (p0.x + 11);
    const int h = surface.WrappedHeight(text, item.LabelFont(), width);
    surface.WrappedText(CommentArea(item, h), text, item.LabelFont(), kCommentColor);
}

bool CComponentTrace::SetCursorShape(TPoint pointer, bool clientArea, TCursorShape* shape) const {
    if (CQuadTrace::SetCursorShape(pointer, clientArea, shape)) return true;
    bool onPart = Contains(m_body.rect, pointer);
    for (const auto& s : m_send) onPart = onPart || Contains(s->rect, pointer);
    for (const auto& s : m_receive) onPart = onPart || Contains(s->rect, pointer);
    if (!onPart) return false;
    *shape = TCursorShape::Move;
    return true;
}

QString CComponentTrace::GeometryText() const {
    return QString::fromStdString(kg::FormatRectText(OuterRect()));
}

void CComponentTrace::EndTrack(int) {
    m_device.SetAttributeVal(m_name, QStringLiteral("区域位置"), GeometryText(), true);
    PlaceParts();
}

bool CComponentTrace::LoadGeometry(const QString& text) {
    if (!CQuadTrace::LoadGeometry(text)) return false;
    PlaceParts();
    return true;
}
