#include "diagram/track.h"

#include <cstdlib>

bool CTrack::Begin(CBaseTrace* item, ITrackHost& host, TPoint press) {
    if (m_item || !item) return false;
    const int hit = item->HitTest(press);
    if (hit == HIT_NONE || !host.CapturePointer()) return false;
    m_item = item;
    m_host = &host;
    m_hit = hit;
    m_press = press;
    m_moved = false;
    host.UpdateNow();
    // All nine entries: routing may read beyond the point count.
    m_work = item->Points();
    if (hit != HIT_BODY) m_work[hit] = press;
    return true;
}

void CTrack::Step(TPoint q, int phase) {
    if (m_hit == HIT_BODY) {
        const TPoints& stored = m_item->Points();
        for (int i = 0; i < kMaxTracePoints; ++i)
            m_work[i] = {stored[i].x + (q.x - m_press.x), stored[i].y + (q.y - m_press.y)};
    } else {
        m_work[m_hit] = q;
    }
    m_item->TrackFeedback(*m_host, m_hit, m_work, phase);
}

void CTrack::Move(TPoint q) {
    if (!m_item) return;
    if (!m_moved) {
        if (std::abs(q.x - m_press.x) + std::abs(q.y - m_press.y) <= kThreshold) return;
        m_moved = true;
        m_item->TrackFeedback(*m_host, m_hit, m_work, 0);
        return;
    }
    Step(q, 1);
}

void CTrack::Release(TPoint q) {
    if (!m_item) return;
    if (m_moved) Step(q, 2);
    End();
}

void CTrack::Cancel() {
    if (m_item) End();
}

void CTrack::End() {
    CBaseTrace* item = m_item;
    ITrackHost* host = m_host;
    const bool moved = m_moved;
    m_item = nullptr;
    m_host = nullptr;
    host->InvalidateAll();
    host->ReleasePointer();
    if (moved) item->EndTrack(m_hit);
}

void CTrack::Forget(const CBaseTrace* item) {
    if (m_item != item) return;
    m_host->InvalidateAll();
    m_host->ReleasePointer();
    m_item = nullptr;
    m_host = nullptr;
}
