#include "diagram/line_trace.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "diagram/quad_trace.h"

namespace {
// Items' coordinates stay within kMaxCoordinate of the origin, but the arithmetic is done in
// 64 bits anyway: it costs nothing and no input can make it overflow.
bool Close(int a, int b) { return std::llabs(int64_t{a} - b) < CLineTrace::kCloseness; }
int Mid(int a, int b) { return int((int64_t{a} + b) / 2); }
bool Vertical(TPoint a, TPoint b) { return a.x == b.x; }
bool Horizontal(TPoint a, TPoint b) { return a.y == b.y; }
}  // namespace

CLineTrace::CLineTrace(const TRect& r) : CLineTrace(kPolyline, r) {}

CLineTrace::CLineTrace(int type, const TRect& r) : CBaseTrace(type, 12) {
    const int mx = Mid(r.left, r.right);
    m_points[0] = {r.left, r.top};
    m_points[1] = {mx, r.top};
    m_points[2] = {mx, r.bottom};
    m_points[3] = {r.right, r.bottom};
    m_pointCount = 4;
}

int CLineTrace::Normalise(const TPoint* s, int n, TPoint previousPoint1, TPoints& out) {
    // 1. Near duplicates: compared with the preceding input point, kept or not.
    TPoint a[kMaxTracePoints];
    int na = 0;
    a[na++] = s[0];
    for (int t = 1; t < n; ++t)
        if (!(Close(s[t - 1].x, s[t].x) && Close(s[t - 1].y, s[t].y))) a[na++] = s[t];
    // 2. Straight-through points.
    TPoints b{};
    int nb = 0;
    b[nb++] = a[0];
    if (na == 1) {
        b[nb++] = previousPoint1;
    } else {
        for (int t = 1; t + 1 < na; ++t) {
            const bool inColumn = Close(a[t - 1].x, a[t].x) && Close(a[t + 1].x, a[t].x);
            const bool inRow = Close(a[t - 1].y, a[t].y) && Close(a[t + 1].y, a[t].y);
            if (!inColumn && !inRow) b[nb++] = a[t];
        }
        b[nb++] = a[na - 1];
    }
    // 3. Snap onto the previous, already snapped point.
    for (int t = 1; t < nb; ++t) {
        if (Close(b[t - 1].x, b[t].x)) b[t].x = b[t - 1].x;
        if (Close(b[t - 1].y, b[t].y)) b[t].y = b[t - 1].y;
    }
    out = b;
    return nb;
}

void CLineTrace::SetPoints(const TPoint* points, int count) {
    if (count < 1 || count > kMaxTracePoints) return;
    TPoints b;
    const int n = Normalise(points, count, m_points[1], b);
    // Entries beyond the new count keep what they held: routing may read them.
    std::copy(b.begin(), b.begin() + n, m_points.begin());
    m_pointCount = n;
}

int CLineTrace::Reroute(const TPoints& t, int n, const TPoints& s, int mode, TPoints& r, int i) {
    r = s;
    if (i < 0 || i >= n) return kTooManyPoints;
    const TPoint p = s[i];
    auto fits = [n] { return n + 2 <= kMaxTracePoints; };

    if (mode == kDefault && (i == 1 || i == n - 2)) {
        if (!fits()) return kTooManyPoints;
        if (i == 1) {
            r[3] = p;
            if (Vertical(t[0], t[1])) {
                const int y = Mid(s[0].y, p.y);
                r[1] = {s[0].x, y};
                r[2] = {p.x, y};
                r[4] = {s[2].x, p.y};
            } else if (Horizontal(t[0], t[1])) {
                const int x = Mid(s[0].x, p.x);
                r[1] = {x, s[0].y};
                r[2] = {x, p.y};
                r[4] = {p.x, s[2].y};
            }
            for (int k = 5; k <= n + 1; ++k) r[k] = s[k - 2];
        }
        if (i == n - 2) {
            // For n = 2 this is the first point: the entry before it does not exist.
            if (Vertical(t[n - 2], t[n - 1])) {
                const int y = Mid(p.y, s[n - 1].y);
                if (n >= 3) r[n - 3].y = p.y;
                r[n - 1] = {p.x, y};
                r[n] = {s[n - 1].x, y};
            } else if (Horizontal(t[n - 2], t[n - 1])) {
                const int x = Mid(p.x, s[n - 1].x);
                if (n >= 3) r[n - 3].x = p.x;
                r[n - 1] = {x, p.y};
                r[n] = {x, s[n - 1].y};
            }
            r[n - 2] = p;
            r[n + 1] = s[n - 1];
        }
        return n + 2;
    }
    if (mode == kDefault || mode == kFollow) {
        if (i >= 1) {
            if (Vertical(t[i - 1], t[i])) {
                r[i - 1].x = p.x;
            } else if (Horizontal(t[i - 1], t[i])) {
                r[i - 1].y = p.y;
            }
        }
        if (i + 1 < n) {
            if (Vertical(t[i + 1], t[i])) {
                r[i + 1].x = p.x;
            } else if (Horizontal(t[i + 1], t[i])) {
                r[i + 1].y = p.y;
            }
        }
        return n;
    }
    if (mode == kInsert) {
        if (!fits()) return kTooManyPoints;
        if (i == 0) {
            if (Vertical(t[0], t[1])) {
                const int y = Mid(t[0].y, t[1].y);
                r[1] = {p.x, y};
                r[2] = {s[1].x, y};
            } else if (Horizontal(t[0], t[1])) {
                const int x = Mid(t[0].x, t[1].x);
                r[1] = {x, p.y};
                r[2] = {x, s[1].y};
            }
            for (int k = 3; k <= n + 1; ++k) r[k] = s[k - 2];
        } else if (i == n - 1) {
            if (Vertical(t[n - 2], t[n - 1])) {
                const int y = Mid(t[n - 1].y, t[n - 2].y);
                r[n - 1] = {s[n - 2].x, y};
                r[n] = {p.x, y};
            } else if (Horizontal(t[n - 2], t[n - 1])) {
                const int x = Mid(t[n - 1].x, t[n - 2].x);
                r[n - 1] = {x, s[n - 2].y};
                r[n] = {x, p.y};
            }
            r[n + 1] = p;
        } else {
            if (Vertical(t[i - 1], t[i])) {
                r[i] = {s[i - 1].x, p.y};
            } else if (Horizontal(t[i - 1], t[i])) {
                r[i] = {p.x, s[i - 1].y};
            }
            r[i + 1] = p;
            if (Vertical(t[i], t[i + 1])) {
                r[i + 2] = {s[i + 1].x, p.y};
            } else if (Horizontal(t[i], t[i + 1])) {
                r[i + 2] = {p.x, s[i + 1].y};
            }
            for (int k = i + 3; k <= n + 1; ++k) r[k] = s[k - 2];
        }
        return n + 2;
    }
    return n;  // kFree: only the point moves
}

void CLineTrace::MovePoint(int i, TPoint p, int mode) {
    if (i < 0 || i >= m_pointCount) return;
    TPoints s = m_points;
    s[i] = p;
    TPoints r;
    const int k = Reroute(m_points, m_pointCount, s, mode, r, i);
    if (k > 0) SetPoints(r.data(), k);
}

int CLineTrace::HitTest(TPoint p) const {
    const int handle = HitHandle(p);
    if (handle != HIT_NONE) return handle;
    for (int t = 1; t < m_pointCount; ++t) {
        const TPoint a = m_points[t - 1], b = m_points[t];
        const TRect band{std::min(a.x, b.x) - kBandMargin, std::min(a.y, b.y) - kBandMargin,
                         std::max(a.x, b.x) + kBandMargin, std::max(a.y, b.y) + kBandMargin};
        if (Contains(band, p)) return HIT_BODY;
    }
    return HIT_NONE;
}

void CLineTrace::Draw(ITraceSurface& surface) const {
    surface.Polyline(m_points.data(), m_pointCount, false, m_pen);
    DrawHandles(surface);
}

void CLineTrace::TrackFeedback(ITrackView& view, int index, TPoints& s, int phase) {
    int mode = m_routeMode;
    if (view.ControlHeld()) {
        mode = kInsert;
    } else if (view.ShiftHeld()) {
        mode = kFree;
    }
    TPoints r = s;
    int k = m_pointCount;
    if (index != HIT_BODY) {
        k = Reroute(m_points, m_pointCount, s, mode, r, index);
        if (k == kTooManyPoints) {
            view.Inform(QStringLiteral("控制点太多，超过上限"));
            return;
        }
    }
    if (phase == 2) {
        SetPoints(r.data(), k);
        return;
    }
    view.ShowRubberBand(r.data(), k, false);
}

bool CLineTrace::LoadGeometry(const QString& text) {
    TPoint read[kMaxTracePoints];
    std::copy(m_points.begin(), m_points.end(), read);
    int count = m_pointCount;
    const bool inRange = kvs::geometry::ParsePolylineText(text.toStdString(), read, &count);
    if (!inRange || count < 2) return false;
    for (int i = 0; i < count; ++i)
        if (std::llabs(read[i].x) > kMaxCoordinate || std::llabs(read[i].y) > kMaxCoordinate)
            return false;
    std::copy(read, read + kMaxTracePoints, m_points.begin());
    m_pointCount = count;
    return true;
}

QString CLineTrace::GeometryText() const {
    return QString::fromStdString(kvs::geometry::FormatPolylineText(
        std::span<const TPoint>(m_points.data(), size_t(m_pointCount))));
}
