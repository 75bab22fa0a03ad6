// The program's busy hook for the device-call layer: while a device call blocks the
// user-interface thread it shows the busy cursor, and the input the user gave during the wait
// (clicks and keys that the window system queued meanwhile) is discarded afterwards instead of
// being carried out on a window whose state has changed.
//
// Queued input is recognised by its window-system time stamp: the hook learns the offset
// between the time stamps of delivered input and its own monotonic clock, and drops every
// input event stamped between the start and the end of a wait. Input given after the wait,
// such as the second click of a double click, is delivered as usual.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <cstdint>

#include "app/device/device.h"

class CBusyCursorHook : public QObject, public IBusyHook {
  public:
    // Installs itself as an application-wide event filter.
    explicit CBusyCursorHook(QObject* parent = nullptr);
    ~CBusyCursorHook() override;

    void Begin() override;
    void End() override;

    // Number of input events dropped so far (for tests and diagnostics).
    int Discarded() const { return m_discarded; }

    // The decision itself: is an input event stamped `stamp` (window-system ms) inside one of
    // the waits, given the learned offset? Pure, for tests.
    static bool InWait(uint64_t stamp, int64_t offset, int64_t waitStart, int64_t waitEnd);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int64_t Now() const { return m_clock.elapsed(); }

    QElapsedTimer m_clock;
    int m_depth = 0;
    bool m_calibrated = false;
    int64_t m_offset = 0;     // window-system stamp minus our clock, largest seen
    int64_t m_waitStart = 0;  // our clock, of the last (outermost) wait
    int64_t m_waitEnd = -1;
    int m_discarded = 0;
    const QEvent* m_lastJudged = nullptr;
    uint64_t m_lastStamp = 0;
    QEvent::Type m_lastType = QEvent::None;
    bool m_lastDropped = false;
};
