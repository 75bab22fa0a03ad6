// CComponentTrace: the box of one device component. A rectangle with the component's name
// above it, its receive slots as small squares on the left edge, its send slots on the right
// edge and its user comment inside. The slots come from the device when the box is made;
// the position lives on the device in the component's "区域位置" (a rectangle text).
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "diagram/quad_trace.h"

class CDevice;
namespace kvs::geometry {
struct SlotInfo;
}

// One part of a box: its body or one of its slots. Links, the view's pending link ends and the
// box's selected part refer to parts by address; a part keeps its address for the box's life.
struct T_COMPONENT_INFO {
    enum Kind { kBody = 1, kReceive = 2, kSend = 3 };
    int kind = kBody;
    int dataType = 0;   // a slot's value type; the body's is 1 when the reply had the record
    bool flag = false;  // a slot's flags bit 2; the body's: the component record's flag
    TRect rect;
    QString name;  // a slot's full name ("comp:slot"), the body's the component name
};

class CComponentTrace : public CQuadTrace {
  public:
    // The box of component name with outer rectangle outer; no slots yet (see LoadFromDevice).
    CComponentTrace(CDevice& device, const QString& name, const TRect& outer);

    // Asks the device for the slots and the comment. A slot-info reply that is missing or
    // refused writes "获取组件（name）槽位出错" and leaves the box without slots and comment.
    void LoadFromDevice();
    // The slots of a slot-info reading, laid out on the current rectangle.
    void SetSlots(const kvs::geometry::SlotInfo& info);
    void SetComment(const QString& comment) { m_comment = comment; }

    // Places the slot squares on the edges of outer (kvs::geometry::SlotRect).
    void LayoutSlots(const TRect& outer);
    // The part under a point: the first send slot, else the first receive slot holding it,
    // else the body when the box's hit test is not a miss.
    T_COMPONENT_INFO* PartAt(TPoint p);
    // The part of that full name: the body for the box's own name, a slot for "name:slot".
    T_COMPONENT_INFO* FindPart(const QString& fullName);
    // Whether part is the body or one of the slots of this box.
    bool Owns(const T_COMPONENT_INFO* part) const;

    void Draw(ITraceSurface& surface) const override;
    bool SetCursorShape(TPoint pointer, bool clientArea, TCursorShape* shape) const override;
    // Writes the rectangle to "区域位置" and lays the slots out again.
    void EndTrack(int index) override;
    // The rectangle text, then the slot layout and the body.
    bool LoadGeometry(const QString& text) override;

    // The name one line above the box (the item's own name when text is null).
    static void DrawLabel(const QString& text, const CBaseTrace& item, ITraceSurface& surface);
    // The comment broken at word boundaries inside the box, 11 pixels in from each side,
    // centred in both directions (overflowing above and below when it is too tall).
    static void DrawComment(const QString& text, const CBaseTrace& item, ITraceSurface& surface);
    // The area DrawComment writes in, for a text block of height h.
    static TRect CommentArea(const CBaseTrace& item, int h);

    const QString& Comment() const { return m_comment; }
    const std::vector<std::unique_ptr<T_COMPONENT_INFO>>& SendSlots() const { return m_send; }
    const std::vector<std::unique_ptr<T_COMPONENT_INFO>>& ReceiveSlots() const { return m_receive; }
    const T_COMPONENT_INFO& Body() const { return m_body; }
    T_COMPONENT_INFO* SelectedPart() const { return m_selectedPart; }
    void SetSelectedPart(T_COMPONENT_INFO* part) { m_selectedPart = part; }

    // The geometry text of the outer rectangle.
    QString GeometryText() const;

  private:
    void PlaceParts();

    CDevice& m_device;
    QString m_comment;
    std::vector<std::unique_ptr<T_COMPONENT_INFO>> m_send;
    std::vector<std::unique_ptr<T_COMPONENT_INFO>> m_receive;
    T_COMPONENT_INFO m_body;
    T_COMPONENT_INFO* m_selectedPart = nullptr;
};
