// CBaseTrace: what every diagram item shares. Up to nine control points, the selection state,
// the drawing attributes, handle boxes and their hit test, handle drawing and the base rule of
// the pointer shape. The view owns the items; the drag itself is CTrack (diagram/track.h).
#pragma once

#include <QString>

#include "diagram/trace_types.h"

class CBaseTrace {
  public:
    // The item kinds the view tells apart.
    enum Type { kRectangle = 1, kPolyline = 2, kComponent = 3, kLink = 4 };

    virtual ~CBaseTrace() = default;
    CBaseTrace(const CBaseTrace&) = delete;
    CBaseTrace& operator=(const CBaseTrace&) = delete;

    // Replaces the control points; a count outside 0..9 changes nothing.
    virtual void SetPoints(const TPoint* points, int count);
    // A control point's index (the first whose handle box holds p), HIT_BODY or HIT_NONE.
    virtual int HitTest(TPoint p) const;
    // Paints the item; the base draws the handles of a selected item.
    virtual void Draw(ITraceSurface& surface) const;
    // One step of a drag: phases 0 and 1 show the candidate points, phase 2 applies them.
    virtual void TrackFeedback(ITrackView& view, int index, TPoints& points, int phase);
    // After a drag that passed the threshold, released or cancelled.
    virtual void EndTrack(int index);
    // The pointer shape the item wants at pointer (diagram coordinates); false when it leaves
    // the choice to others. clientArea: the pointer is over the view's client area.
    virtual bool SetCursorShape(TPoint pointer, bool clientArea, TCursorShape* shape) const;
    // Reads a geometry text; false when it is refused.
    virtual bool LoadGeometry(const QString& text);

    // A control point's hit box: handleSize wide, centred on the point (integer halves).
    TRect HandleBox(int index) const;
    // The handle drawn for a control point: the hit box shrunk by a quarter on each side.
    TRect HandleMark(int index) const;
    // Selection as the view sets it: selecting or deselecting resets the active handle.
    void SetSelected(bool selected);

    int Type() const { return m_type; }
    const QString& Name() const { return m_name; }
    int PointCount() const { return m_pointCount; }
    const TPoints& Points() const { return m_points; }
    TPoint Point(int i) const { return m_points[i]; }
    bool Selected() const { return m_selected; }
    int ActiveHandle() const { return m_activeHandle; }
    void SetActiveHandle(int index) { m_activeHandle = index; }
    int HandleSize() const { return m_handleSize; }
    const TPen& LinePen() const { return m_pen; }
    const TFont& LabelFont() const { return m_labelFont; }

    // Colours every item starts with.
    static constexpr TRgb kLineColor{128, 80, 80};
    static constexpr TRgb kFillColor{255, 255, 152};
    static constexpr TRgb kFlaggedFillColor{222, 255, 222};
    static constexpr TRgb kTextColor{0, 0, 0};
    static constexpr TRgb kCommentColor{128, 128, 128};
    static constexpr TRgb kActiveHandleColor{0, 255, 0};
    static constexpr TRgb kHandleColor{0, 128, 0};

  protected:
    CBaseTrace(int type, int handleSize) : m_type(type), m_handleSize(handleSize) {}
    void SetName(const QString& name) { m_name = name; }
    void DrawHandles(ITraceSurface& surface) const;
    // The base control-point test alone.
    int HitHandle(TPoint p) const;

    int m_type;
    QString m_name;
    int m_handleSize;
    int m_activeHandle = -1;
    int m_pointCount = 0;
    bool m_selected = false;
    TPoints m_points{};
    TPen m_pen{kLineColor, 1, TPenStyle::Solid};
    TRgb m_fillColor = kFillColor;
    TRgb m_flaggedFillColor = kFlaggedFillColor;
    TRgb m_textColor = kTextColor;
    TRgb m_commentColor = kCommentColor;
    TRgb m_activeHandleColor = kActiveHandleColor;
    TRgb m_handleColor = kHandleColor;
    TFont m_labelFont;
};
