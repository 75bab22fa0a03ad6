// CConnectTrace: a slot link, drawn as an orthogonal polyline from a send slot of one box to a
// receive slot of another. On the device a link is two things: the receive slot's attribute
// link to the send slot (the dataflow), and a component of the type "槽位连接线" that keeps
// the drawing: its route in "区域位置" and its two slots in "发送槽位" and "接收槽位".
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "diagram/line_trace.h"

class CDevice;
struct T_COMPONENT_INFO;

// Device names of links.
namespace LinkNames {
inline const QString kType = QStringLiteral("槽位连接线");
inline const QString kCreated = QStringLiteral("创建的组件");
inline const QString kRoute = QStringLiteral("区域位置");
inline const QString kSendSlot = QStringLiteral("发送槽位");
inline const QString kReceiveSlot = QStringLiteral("接收槽位");
}  // namespace LinkNames

// A full name split at its last ":" (or its last "." when it has none) into the component
// and the attribute; the attribute is empty when there is neither.
struct TFullName {
    QString component;
    QString attribute;
};
TFullName SeparateFullName(const QString& fullName);

class CConnectTrace : public CLineTrace {
  public:
    static constexpr TRgb kFlaggedLineColor{96, 178, 96};

    CConnectTrace(CDevice& device, bool flagged, const TRect& r, const QString& name);

    // Only interior points move; the ends and the whole link stay where they are.
    void TrackFeedback(ITrackView& view, int index, TPoints& points, int phase) override;
    // Writes the route to "区域位置", after every drag past the threshold.
    void EndTrack(int index) override;

    // Removes the link on the device: the receive slot's link, then the link component.
    void RemoveFromDevice();
    // Brings the ends back onto their slots (after a box moved) and writes what changed.
    void FollowSlots();

    // Creates a link on the device from send slot from to receive slot to and returns its
    // item; null (and nothing written) when the device makes no link component.
    static std::unique_ptr<CConnectTrace> CreateLink(CDevice& device, T_COMPONENT_INFO* from,
                                                     T_COMPONENT_INFO* to);
    // The item of an existing link component; null when it has no readable route. findSlot
    // is the view's slot search.
    static std::unique_ptr<CConnectTrace> CreateLinkFromDevice(
        CDevice& device, const QString& name,
        const std::function<T_COMPONENT_INFO*(const QString&)>& findSlot);
    // The names of a "创建的组件" list: entries ended by ";"; text after the last ";" is unused.
    static QStringList SplitList(const QString& list);

    void SetFlagged(bool flagged);
    bool Flagged() const { return m_flagged; }
    T_COMPONENT_INFO* FromSlot() const { return m_fromSlot; }
    T_COMPONENT_INFO* ToSlot() const { return m_toSlot; }
    void SetSlots(T_COMPONENT_INFO* from, T_COMPONENT_INFO* to);

  private:
    CDevice& m_device;
    bool m_flagged = false;
    T_COMPONENT_INFO* m_fromSlot = nullptr;
    T_COMPONENT_INFO* m_toSlot = nullptr;
};
