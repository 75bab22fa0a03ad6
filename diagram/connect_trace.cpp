#include "diagram/connect_trace.h"

#include <QStringList>

#include "app/device/device.h"
#include "diagram/component_trace.h"
#include "diagram/geometry/slot_layout.h"

namespace kg = kvs::geometry;

TFullName SeparateFullName(const QString& fullName) {
    qsizetype at = fullName.lastIndexOf(':');
    if (at < 0) at = fullName.lastIndexOf('.');
    if (at < 0) return {fullName, QString()};
    return {fullName.left(at), fullName.mid(at + 1)};
}

CConnectTrace::CConnectTrace(CDevice& device, bool flagged, const TRect& r, const QString& name)
    : CLineTrace(kLink, r), m_device(device) {
    SetName(name);
    SetFlagged(flagged);
}

void CConnectTrace::SetFlagged(bool flagged) {
    m_flagged = flagged;
    if (flagged) m_pen = TPen{kFlaggedLineColor, 1, m_pen.style};
}

void CConnectTrace::SetSlots(T_COMPONENT_INFO* from, T_COMPONENT_INFO* to) {
    m_fromSlot = from;
    m_toSlot = to;
}

void CConnectTrace::TrackFeedback(ITrackView& view, int index, TPoints& points, int phase) {
    if (index <= 0 || index >= m_pointCount - 1) return;
    CLineTrace::TrackFeedback(view, index, points, phase);
}

void CConnectTrace::EndTrack(int) {
    m_device.SetAttributeVal(m_name, LinkNames::kRoute, GeometryText(), true);
}

void CConnectTrace::RemoveFromDevice() {
    // Without a known receive slot the device still names it in the link's own attribute;
    // the dataflow link must not outlive its drawing.
    QString receive = m_toSlot ? m_toSlot->name : QString();
    if (!m_toSlot) {
        const DeviceResult<QString> named = m_device.GetAttrVal(m_name, LinkNames::kReceiveSlot);
        if (named.Ok()) receive = named.value;
    }
    const TFullName to = SeparateFullName(receive);
    if (!to.attribute.isEmpty()) m_device.SetAttributeLink(to.component, to.attribute, QString());
    m_device.DelComponent(m_name);
}

void CConnectTrace::FollowSlots() {
    if (!m_fromSlot || !m_toSlot) return;
    auto mode = [this] { return m_pointCount > 2 ? kFollow : kInsert; };
    if (!Contains(m_fromSlot->rect, m_points[0])) {
        MovePoint(0, RectCentre(m_fromSlot->rect), mode());
        EndTrack(0);
    }
    const int last = m_pointCount - 1;
    if (!Contains(m_toSlot->rect, m_points[size_t(last)])) {
        MovePoint(last, RectCentre(m_toSlot->rect), mode());
        EndTrack(0);
    }
}

QStringList CConnectTrace::SplitList(const QString& list) {
    QStringList names = list.split(';');
    names.removeLast();  // the text after the last ";" (empty when the list ends with ";")
    return names;
}

std::unique_ptr<CConnectTrace> CConnectTrace::CreateLink(CDevice& device, T_COMPONENT_INFO* from,
                                                         T_COMPONENT_INFO* to) {
    const DeviceResult<QString> made = device.AddNewComponent(LinkNames::kType);
    if (!made.Ok() || made.value.isEmpty()) return nullptr;
    const QString name = made.value;
    const auto route = kg::InitialLinkRoute(from->rect, to->rect);
    const QString text = QString::fromStdString(kg::FormatPolylineText(route));
    device.SetAttributeVal(name, LinkNames::kRoute, text, true);
    device.SetAttributeVal(name, LinkNames::kSendSlot, from->name, true);
    device.SetAttributeVal(name, LinkNames::kReceiveSlot, to->name, true);
    const TFullName receive = SeparateFullName(to->name);
    device.SetAttributeLink(receive.component, receive.attribute, from->name);

    auto link =
        std::make_unique<CConnectTrace>(device, to->flag && from->flag, TRect{0, 0, 32, 32}, name);
    link->LoadGeometry(text);
    link->SetSlots(from, to);
    return link;
}

std::unique_ptr<CConnectTrace> CConnectTrace::CreateLinkFromDevice(
    CDevice& device, const QString& name,
    const std::function<T_COMPONENT_INFO*(const QString&)>& findSlot) {
    const DeviceResult<QString> route = device.GetAttrVal(name, LinkNames::kRoute);
    if (!route.Ok()) return nullptr;
    auto link = std::make_unique<CConnectTrace>(device, false, TRect{0, 0, 32, 32}, name);
    if (!link->LoadGeometry(route.value)) return nullptr;
    const DeviceResult<QString> send = device.GetAttrVal(name, LinkNames::kSendSlot);
    T_COMPONENT_INFO* from = findSlot(send.Ok() ? send.value : QString());
    const DeviceResult<QString> receive = device.GetAttrVal(name, LinkNames::kReceiveSlot);
    T_COMPONENT_INFO* to = findSlot(receive.Ok() ? receive.value : QString());
    link->SetSlots(from, to);
    if (to) link->SetFlagged(to->flag && from && from->flag);
    return link;
}
