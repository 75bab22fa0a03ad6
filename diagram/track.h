// CTrack: one drag of an item, from the left-button press to its end, as a state machine that
// the view feeds with its pointer and key events (instead of a nested message loop; painting
// and the rest of the program go on between the events).
//
//   pressed  --move beyond the threshold-->  dragging (phase 0, then phase 1 per move)
//   pressed  --release-->                    ended (a click: nothing changes, no EndTrack)
//   dragging --release-->                    ended (phase 2 applies the points, EndTrack)
//   any      --Escape, right button, lost capture--> ended (EndTrack if past the threshold)
//
// A move counts only when |dx| + |dy| from the press point exceeds 8 pixels. At the end the
// view repaints everything (which removes the rubber band) and releases the pointer.
#pragma once

#include "diagram/base_trace.h"

// What the drag needs from its view beyond what an item's step sees.
class ITrackHost : public ITrackView {
  public:
    // Takes the pointer for the view; false when another window holds the capture.
    virtual bool CapturePointer() = 0;
    virtual void ReleasePointer() = 0;
    // Brings painting up to date (at the start) / marks the whole view for repainting (end).
    virtual void UpdateNow() = 0;
    virtual void InvalidateAll() = 0;
};

class CTrack {
  public:
    static constexpr int kThreshold = 8;

    // Starts the drag of item at the press point. False (and nothing happens) when the press
    // misses the item or the pointer cannot be captured.
    bool Begin(CBaseTrace* item, ITrackHost& host, TPoint press);
    void Move(TPoint q);
    void Release(TPoint q);
    // Escape, the right button or a lost capture.
    void Cancel();
    // Other keys are swallowed while the drag runs.

    bool Active() const { return m_item != nullptr; }
    bool Moved() const { return m_moved; }
    CBaseTrace* Item() const { return m_item; }
    // Forgets an item that is being destroyed without ending the drag on it.
    void Forget(const CBaseTrace* item);

  private:
    void Step(TPoint q, int phase);
    void End();

    CBaseTrace* m_item = nullptr;
    ITrackHost* m_host = nullptr;
    int m_hit = HIT_NONE;
    TPoint m_press;
    TPoints m_work{};
    bool m_moved = false;
};
