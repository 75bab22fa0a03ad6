// The drawing surface of the diagram items over a QPainter, and the move cursor.
#pragma once

#include <QCursor>
#include <QFont>
#include <QHash>

#include "diagram/trace_types.h"

class QPainter;

class CQtTraceSurface : public ITraceSurface {
  public:
    explicit CQtTraceSurface(QPainter& painter) : m_painter(painter) {}

    void Polyline(const TPoint* points, int n, bool closed, const TPen& pen) override;
    void Rectangle(const TRect& r, const TPen& pen, const TRgb* fill) override;
    void FillRect(const TRect& r, TRgb fill) override;
    void Text(TPoint p, const QString& text, const TFont& font, TRgb color) override;
    int WrappedHeight(const QString& text, const TFont& font, int width) override;
    void WrappedText(const TRect& area, const QString& text, const TFont& font,
                     TRgb color) override;

    static QColor Color(TRgb c) { return QColor(c.r, c.g, c.b); }
    static QFont Font(const TFont& f);

  private:
    QPainter& m_painter;
};

// The program's move cursor: an arrow whose tip carries a four-way arrow cross, hot spot at
// (7, 7) of its 32 x 32 image. Drawn once, in code.
const QCursor& MoveCursor();
// The cursor of a shape an item asked for.
QCursor CursorOf(TCursorShape shape);
