#include "diagram/trace_surface.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QStaticText>
#include <QTextOption>
#include <vector>

namespace {
QPen PenOf(const TPen& p) {
    Qt::PenStyle style = p.style == TPenStyle::Dash  ? Qt::DashLine
                         : p.style == TPenStyle::Dot ? Qt::DotLine
                                                     : Qt::SolidLine;
    QPen pen(CQtTraceSurface::Color(p.color), p.width, style);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// Item rectangles are half-open: right and bottom are outside, as in QRect's width/height.
QRect QtRect(const TRect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// Laid-out texts, kept across paintings: a diagram repaints the same labels and comments
// again and again, and laying them out is most of the cost of a painting. Bounded; the key
// holds the font's size, the wrap width and the text.
class CTextCache {
  public:
    const QStaticText& Get(const QString& text, const QFont& font, int width) {
        const QString key = QStringLiteral("%1/%2/%3/").arg(font.key()).arg(width) + text;
        auto it = m_texts.find(key);
        if (it != m_texts.end()) return *it;
        if (m_texts.size() > 4096) m_texts.clear();
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        if (width >= 0) {
            laid.setTextWidth(std::max(width, 1));
            laid.setTextOption(QTextOption(Qt::AlignHCenter));
        }
        laid.prepare(QTransform(), font);
        return *m_texts.insert(key, laid);
    }

  private:
    QHash<QString, QStaticText> m_texts;
};

CTextCache& Texts() {
    static CTextCache cache;
    return cache;
}
}  // namespace

QFont CQtTraceSurface::Font(const TFont& f) {
    // One font serves every item: keep the last one made.
    static TFont last;
    static QFont font;
    static bool made = false;
    if (made && f == last) return font;
    font = QFont(f.face);
    font.setPixelSize(f.pixelHeight);
    font.setWeight(f.weight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(f.italic);
    last = f;
    made = true;
    return font;
}

void CQtTraceSurface::Polyline(const TPoint* points, int n, bool closed, const TPen& pen) {
    if (n < 1) return;
    QPolygon poly;
    poly.reserve(n + 1);
    for (int i = 0; i < n; ++i) poly << QPoint(points[i].x, points[i].y);
    m_painter.setPen(PenOf(pen));
    m_painter.setBrush(Qt::NoBrush);
    if (closed) {
        m_painter.drawPolygon(poly);
    } else {
        m_painter.drawPolyline(poly);
    }
}

void CQtTraceSurface::Rectangle(const TRect& r, const TPen& pen, const TRgb* fill) {
    const QRect q = QtRect(r);
    if (fill) m_painter.fillRect(q, Color(*fill));
    m_painter.setPen(PenOf(pen));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(q.adjusted(0, 0, -1, -1));
}

void CQtTraceSurface::FillRect(const TRect& r, TRgb fill) {
    m_painter.fillRect(QtRect(r), Color(fill));
}

void CQtTraceSurface::Text(TPoint p, const QString& text, const TFont& font, TRgb color) {
    const QFont f = Font(font);
    m_painter.setFont(f);
    m_painter.setPen(Color(color));
    m_painter.drawStaticText(QPoint(p.x, p.y), Texts().Get(text, f, -1));
}

int CQtTraceSurface::WrappedHeight(const QString& text, const TFont& font, int width) {
    return int(Texts().Get(text, Font(font), width).size().height() + 0.5);
}

void CQtTraceSurface::WrappedText(const TRect& area, const QString& text, const TFont& font,
                                  TRgb color) {
    const QFont f = Font(font);
    m_painter.setFont(f);
    m_painter.setPen(Color(color));
    // Centred lines across the area's width, the block from its top (it may overflow).
    m_painter.drawStaticText(QPoint(area.left, area.top),
                             Texts().Get(text, f, area.right - area.left));
}

const QCursor& MoveCursor() {
    static const QCursor cursor = [] {
        QPixmap pm(32, 32);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing, false);
        // The cross: four arrowheads around the hot spot (7, 7).
        const int c = 7, r = 6;
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(c - r + 1, c, c + r - 1, c);
        p.drawLine(c, c - r + 1, c, c + r - 1);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPolygon(QPolygon({{c - r - 1, c}, {c - r + 2, c - 3}, {c - r + 2, c + 3}}));
        p.drawPolygon(QPolygon({{c + r + 1, c}, {c + r - 2, c - 3}, {c + r - 2, c + 3}}));
        p.drawPolygon(QPolygon({{c, c - r - 1}, {c - 3, c - r + 2}, {c + 3, c - r + 2}}));
        p.drawPolygon(QPolygon({{c, c + r + 1}, {c - 3, c + r - 2}, {c + 3, c + r - 2}}));
        // The arrow, its tip on the cross's centre, pointing up and to the left.
        const QPolygon arrow({{c + 2, c + 2},
                              {c + 2, c + 18},
                              {c + 6, c + 14},
                              {c + 9, c + 21},
                              {c + 11, c + 20},
                              {c + 8, c + 13},
                              {c + 13, c + 13}});
        p.setPen(Qt::white);
        p.setBrush(Qt::black);
        p.drawPolygon(arrow);
        p.end();
        return QCursor(pm, 7, 7);
    }();
    return cursor;
}

QCursor CursorOf(TCursorShape shape) {
    switch (shape) {
        case TCursorShape::Move:
            return MoveCursor();
        case TCursorShape::SizeAll:
            return QCursor(Qt::SizeAllCursor);
        case TCursorShape::SizeNwse:
            return QCursor(Qt::SizeFDiagCursor);
        case TCursorShape::SizeNesw:
            return QCursor(Qt::SizeBDiagCursor);
    }
    return QCursor(Qt::ArrowCursor);
}
