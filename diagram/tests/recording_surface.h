// A drawing surface and a drag view that record what the items do with them.
#pragma once

#include <QStringList>
#include <vector>

#include "diagram/trace_types.h"
#include "diagram/track.h"

struct TFill {
    TRect rect;
    TRgb color;
};

class CRecordingSurface : public ITraceSurface {
  public:
    void Polyline(const TPoint* p, int n, bool closed, const TPen&) override {
        lines.push_back({std::vector<TPoint>(p, p + n), closed});
        order << "line";
    }
    void Rectangle(const TRect& r, const TPen& pen, const TRgb* fill) override {
        rects.push_back({r, pen, fill ? *fill : TRgb{-1, -1, -1}});
        order << "rect";
    }
    void FillRect(const TRect& r, TRgb fill) override {
        fills.push_back({r, fill});
        order << "fill";
    }
    void Text(TPoint p, const QString& text, const TFont&, TRgb) override {
        texts.push_back({p, text});
        order << "text";
    }
    int WrappedHeight(const QString&, const TFont&, int) override { return wrappedHeight; }
    void WrappedText(const TRect& area, const QString& text, const TFont&, TRgb) override {
        wrapped.push_back({area, text});
        order << "wrapped";
    }

    struct Line {
        std::vector<TPoint> points;
        bool closed;
    };
    struct Rect {
        TRect rect;
        TPen pen;
        TRgb fill;  // (-1,-1,-1): not filled
    };
    struct Label {
        TPoint at;
        QString text;
    };
    struct Wrapped {
        TRect area;
        QString text;
    };
    std::vector<Line> lines;
    std::vector<Rect> rects;
    std::vector<TFill> fills;
    std::vector<Label> texts;
    std::vector<Wrapped> wrapped;
    QStringList order;
    int wrappedHeight = 12;
};

class CRecordingTrackHost : public ITrackHost {
  public:
    bool ControlHeld() const override { return control; }
    bool ShiftHeld() const override { return shift; }
    void Inform(const QString& text) override { informs << text; }
    void ShowRubberBand(const TPoint* p, int n, bool closed) override {
        bands.push_back({std::vector<TPoint>(p, p + n), closed});
    }
    bool CapturePointer() override {
        captured = captureFree;
        return captureFree;
    }
    void ReleasePointer() override { captured = false; }
    void UpdateNow() override {}
    void InvalidateAll() override { ++invalidated; }

    bool control = false, shift = false, captureFree = true, captured = false;
    int invalidated = 0;
    QStringList informs;
    std::vector<CRecordingSurface::Line> bands;
};
