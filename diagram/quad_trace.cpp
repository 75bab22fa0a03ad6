#include "diagram/quad_trace.h"

#include <cstdint>

CQuadTrace::CQuadTrace(const TRect& r) : CQuadTrace(kRectangle, r) {}

CQuadTrace::CQuadTrace(int type, const TRect& r) : CBaseTrace(type, 16) {
    m_pointCount = 4;
    SetCorners(r);
}

void CQuadTrace::SetCorners(const TRect& r) {
    m_points[0] = {r.left, r.top};
    m_points[1] = {r.right, r.top};
    m_points[2] = {r.right, r.bottom};
    m_points[3] = {r.left, r.bottom};
}

int CQuadTrace::InsideTest(const TPoint* c, TPoint p) {
    // Edges from corner j to corner i: (3->0), (0->1), (1->2), (2->3). In 64 bits: the
    // products of two coordinates exceed the int range.
    int s = 0;
    for (int i = 0, j = 3; i < 4; j = i++) {
        const int64_t xi = c[i].x, yi = c[i].y, xj = c[j].x, yj = c[j].y;
        if (!((yj <= p.y && p.y <= yi) || (yi <= p.y && p.y <= yj))) continue;
        const int64_t d = (p.x - xj) * (yi - yj) - (xi - xj) * (p.y - yj);
        if (d < 0) {
            ++s;
        } else if (d > 0) {
            --s;
        } else if ((xj <= p.x && p.x <= xi) || (xi <= p.x && p.x <= xj)) {
            return HIT_BODY;  // on the outline
        }
    }
    return s != 0 ? HIT_BODY : HIT_NONE;
}

int CQuadTrace::HitTest(TPoint p) const {
    const int handle = HitHandle(p);
    if (handle != HIT_NONE) return handle;
    return InsideTest(m_points.data(), p);
}

void CQuadTrace::Draw(ITraceSurface& surface) const {
    surface.Polyline(m_points.data(), 4, true, m_pen);
    DrawHandles(surface);
}

void CQuadTrace::KeepRectangle(TPoints& q, int i) {
    if (i == 0 || i == 2) {
        q[1] = {q[2].x, q[0].y};
        q[3] = {q[0].x, q[2].y};
    } else if (i == 1 || i == 3) {
        q[2].x = q[1].x;
        q[0].y = q[1].y;
        q[0].x = q[3].x;
        q[2].y = q[3].y;
    }
}

void CQuadTrace::TrackFeedback(ITrackView& view, int index, TPoints& q, int phase) {
    if (m_keepRect && index != HIT_BODY) KeepRectangle(q, index);
    if (phase == 2) {
        SetPoints(q.data(), m_pointCount);
        return;
    }
    view.ShowRubberBand(q.data(), 4, true);
}

bool CQuadTrace::SetCursorShape(TPoint pointer, bool clientArea, TCursorShape* shape) const {
    if (!clientArea || !m_selected) return false;
    const int hit = HitTest(pointer);
    if (hit == HIT_NONE) return false;
    if (hit == 0 || hit == 2) {
        *shape = TCursorShape::SizeNwse;
    } else if (hit == 1 || hit == 3) {
        *shape = TCursorShape::SizeNesw;
    } else {
        *shape = TCursorShape::Move;
    }
    return true;
}

bool CQuadTrace::LoadGeometry(const QString& text) {
    TRect r;
    if (!kvs::geometry::ParseRectText(text.toStdString(), &r)) return false;
    for (int v : {r.left, r.top, r.right, r.bottom})
        if (v < -kMaxCoordinate || v > kMaxCoordinate) return false;
    SetCorners(r);
    return true;
}
