// CLineTrace: an orthogonal polyline of 2 to 9 points. Dragging a point reroutes the line in
// one of four modes so that its segments stay horizontal or vertical; every new route is
// normalised (near duplicates and straight-through points dropped, nearly straight segments
// snapped). The slot link is built on it.
#pragma once

#include <QString>

#include "diagram/base_trace.h"

class CLineTrace : public CBaseTrace {
  public:
    // Routing modes of a point drag.
    enum RouteMode {
        kFollow = 1,   // the neighbours slide, the segments at the point keep their orientation
        kDefault = 2,  // a jog of two points next to an end segment; elsewhere as kFollow
        kInsert = 3,   // two corner points inserted around the point (Control)
        kFree = 4,     // only the point moves (Shift)
    };
    static constexpr int kCloseness = 6;   // coordinates closer than this are "the same"
    static constexpr int kBandMargin = 6;  // a segment's hit band reaches this far
    static constexpr int kTooManyPoints = -1;

    explicit CLineTrace(const TRect& r);

    // Normalises the route (see Normalise); a count outside 1..9 changes nothing.
    void SetPoints(const TPoint* points, int count) override;
    int HitTest(TPoint p) const override;
    void Draw(ITraceSurface& surface) const override;
    void TrackFeedback(ITrackView& view, int index, TPoints& points, int phase) override;
    // The polyline text, read leniently (diagram/geometry/trace_text.h). Refused, with the
    // points unchanged, when its count is not 2..9 or a coordinate is out of range.
    bool LoadGeometry(const QString& text) override;

    // The route of the stored points T (count n) when point i is moved to P: S is T with point
    // i replaced by P, and R starts as a copy of all nine entries of S. Returns the new count,
    // or kTooManyPoints when an inserting mode would need more than nine points (R is then
    // meaningless), or kTooManyPoints for an index outside the route.
    static int Reroute(const TPoints& t, int n, const TPoints& s, int mode, TPoints& r, int i);
    // The three passes of SetPoints over s[0..n): returns the new count. previousPoint1 stands
    // in as the second point when only one point is left.
    static int Normalise(const TPoint* s, int n, TPoint previousPoint1, TPoints& out);
    // Moves point i to p in a routing mode and applies the result (SetPoints).
    void MovePoint(int i, TPoint p, int mode);

    // The polyline text of the current points.
    QString GeometryText() const;
    int RouteMode() const { return m_routeMode; }

  protected:
    CLineTrace(int type, const TRect& r);

    int m_routeMode = kDefault;
};
