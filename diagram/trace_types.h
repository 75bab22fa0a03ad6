// The vocabulary of the diagram items: integer points and rectangles in diagram coordinates,
// colours, pens, the label font, the hit codes, and the two seams through which items reach
// the outside world while staying free of widgets: the drawing surface and the drag's view.
#pragma once

#include <QString>
#include <array>

#include "diagram/geometry/slot_layout.h"
#include "diagram/geometry/trace_text.h"

// Points and rectangles in diagram coordinates: integer pixels, origin top-left, y downwards.
// Rectangles are left, top, right, bottom; containment is half-open (Contains).
using TPoint = kvs::geometry::TPoint;
using TRect = kvs::geometry::TRect;
using kvs::geometry::Contains;
using kvs::geometry::kMaxTracePoints;
using kvs::geometry::RectCentre;

// The control points of an item; unused entries stay (0,0) until written.
using TPoints = std::array<TPoint, kMaxTracePoints>;

// Hit codes: 0..8 is a control point's index.
inline constexpr int HIT_BODY = 9;   // on the item, not on a control point
inline constexpr int HIT_NONE = -1;  // a miss

struct TRgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};

enum class TPenStyle { Solid, Dash, Dot };

struct TPen {
    TRgb color;
    int width = 1;
    TPenStyle style = TPenStyle::Solid;
    friend bool operator==(const TPen&, const TPen&) = default;
};

// A font as the items describe it; the surface turns it into the platform's font.
struct TFont {
    QString face = QStringLiteral("宋体");
    int pixelHeight = 12;  // character-cell height
    int weight = 400;
    bool italic = false;
    int charset = 134;  // GB2312
    friend bool operator==(const TFont&, const TFont&) = default;
};

// Pointer shapes an item can ask for.
enum class TCursorShape {
    Move,      // the program's own move cursor (arrow with a four-way cross)
    SizeAll,   // four-way sizing
    SizeNwse,  // diagonal sizing, north-west to south-east
    SizeNesw,  // diagonal sizing, north-east to south-west
};

// Where items paint. The view implements it over its painter; tests record the calls.
class ITraceSurface {
  public:
    virtual ~ITraceSurface() = default;
    // An open or closed line through n points.
    virtual void Polyline(const TPoint* points, int n, bool closed, const TPen& pen) = 0;
    // A rectangle's outline with the pen and, when fill is given, its inside filled.
    virtual void Rectangle(const TRect& r, const TPen& pen, const TRgb* fill) = 0;
    // A filled rectangle without outline.
    virtual void FillRect(const TRect& r, TRgb fill) = 0;
    // One line of text with its top-left corner at p, transparent background.
    virtual void Text(TPoint p, const QString& text, const TFont& font, TRgb color) = 0;
    // The height a text takes broken at word boundaries within width.
    virtual int WrappedHeight(const QString& text, const TFont& font, int width) = 0;
    // Text broken at word boundaries in the area, each line centred horizontally; the block
    // starts at the area's top and may run past its bottom.
    virtual void WrappedText(const TRect& area, const QString& text, const TFont& font,
                             TRgb color) = 0;
};

// What an item's drag step sees of the view: the modifier keys at this step, a message box
// for the routing limit, and the rubber band.
class ITrackView {
  public:
    virtual ~ITrackView() = default;
    virtual bool ControlHeld() const = 0;
    virtual bool ShiftHeld() const = 0;
    virtual void Inform(const QString& text) = 0;
    // Shows the candidate outline of the current drag step instead of the previous one; only
    // the outline is drawn, over the diagram, and it leaves no trace when replaced.
    virtual void ShowRubberBand(const TPoint* points, int n, bool closed) = 0;
};
