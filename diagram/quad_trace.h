// CQuadTrace: a rectangle of four corners, clockwise from the top-left, that stays a rectangle
// while a corner is dragged. The component box is built on it.
#pragma once

#include "diagram/base_trace.h"

// Coordinates read from the device beyond this magnitude are refused: every position the
// program itself makes lies far inside, and the item arithmetic then never overflows.
inline constexpr int kMaxCoordinate = 1000000;

class CQuadTrace : public CBaseTrace {
  public:
    explicit CQuadTrace(const TRect& r);

    int HitTest(TPoint p) const override;
    void Draw(ITraceSurface& surface) const override;
    void TrackFeedback(ITrackView& view, int index, TPoints& points, int phase) override;
    bool SetCursorShape(TPoint pointer, bool clientArea, TCursorShape* shape) const override;
    // The rectangle text; false when its four numbers are not all read (or out of range).
    bool LoadGeometry(const QString& text) override;

    // Corner 0 and corner 2: the outer rectangle.
    TRect OuterRect() const { return {m_points[0].x, m_points[0].y, m_points[2].x, m_points[2].y}; }
    // The corner rule of a drag: the corner opposite the dragged one stays put.
    static void KeepRectangle(TPoints& q, int index);
    // The outline test: inside or on the outline gives HIT_BODY, else HIT_NONE.
    static int InsideTest(const TPoint* corners, TPoint p);

  protected:
    CQuadTrace(int type, const TRect& r);
    void SetCorners(const TRect& r);

    int m_keepRect = 1;
};
