#include "diagram/base_trace.h"

#include <algorithm>

void CBaseTrace::SetPoints(const TPoint* points, int count) {
    if (count < 0 || count > kMaxTracePoints) return;
    std::copy(points, points + count, m_points.begin());
    m_pointCount = count;
}

TRect CBaseTrace::HandleBox(int index) const {
    const TPoint p = m_points[index];
    const int h = m_handleSize / 2;
    return {p.x - h, p.y - h, p.x + h, p.y + h};
}

TRect CBaseTrace::HandleMark(int index) const {
    TRect r = HandleBox(index);
    const int dx = (r.right - r.left) / 4, dy = (r.bottom - r.top) / 4;
    return {r.left + dx, r.top + dy, r.right - dx, r.bottom - dy};
}

int CBaseTrace::HitHandle(TPoint p) const {
    for (int i = 0; i < m_pointCount; ++i)
        if (Contains(HandleBox(i), p)) return i;
    return HIT_NONE;
}

int CBaseTrace::HitTest(TPoint p) const { return HitHandle(p); }

void CBaseTrace::DrawHandles(ITraceSurface& surface) const {
    if (!m_selected) return;
    for (int i = 0; i < m_pointCount; ++i)
        surface.FillRect(HandleMark(i), i == m_activeHandle ? m_activeHandleColor : m_handleColor);
}

void CBaseTrace::Draw(ITraceSurface& surface) const { DrawHandles(surface); }

void CBaseTrace::TrackFeedback(ITrackView&, int, TPoints&, int) {}

void CBaseTrace::EndTrack(int) {}

bool CBaseTrace::SetCursorShape(TPoint pointer, bool clientArea, TCursorShape* shape) const {
    if (!clientArea) return false;
    const int hit = HitTest(pointer);
    if (hit == HIT_NONE) return false;
    if (hit == HIT_BODY) {
        *shape = TCursorShape::Move;
        return true;
    }
    if (!m_selected) return false;
    *shape = TCursorShape::SizeAll;
    return true;
}

bool CBaseTrace::LoadGeometry(const QString&) { return false; }

void CBaseTrace::SetSelected(bool selected) {
    m_selected = selected;
    m_activeHandle = -1;
}
