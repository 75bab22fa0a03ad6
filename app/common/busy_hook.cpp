#include "app/common/busy_hook.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QInputEvent>

namespace {
bool IsUserInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}
}  // namespace

CBusyCursorHook::CBusyCursorHook(QObject* parent) : QObject(parent) {
    m_clock.start();
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

CBusyCursorHook::~CBusyCursorHook() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void CBusyCursorHook::Begin() {
    if (m_depth++ > 0) return;
    m_waitStart = Now();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void CBusyCursorHook::End() {
    if (m_depth == 0 || --m_depth > 0) return;
    m_waitEnd = Now();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::restoreOverrideCursor();
}

bool CBusyCursorHook::InWait(uint64_t stamp, int64_t offset, int64_t waitStart, int64_t waitEnd) {
    if (waitEnd < waitStart) return false;
    int64_t at = int64_t(stamp) - offset;  // the event's time on our clock
    return at >= waitStart && at <= waitEnd;
}

bool CBusyCursorHook::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type()) || !event->spontaneous())
        return QObject::eventFilter(watched, event);
    auto* input = static_cast<QInputEvent*>(event);
    uint64_t stamp = input->timestamp();
    if (stamp == 0) return QObject::eventFilter(watched, event);
    // One event reaches several filters and widgets; it is judged once.
    if (input == m_lastJudged && stamp == m_lastStamp && event->type() == m_lastType)
        return m_lastDropped;
    m_lastJudged = input;
    m_lastStamp = stamp;
    m_lastType = event->type();
    // An event is delivered at or after its stamp, so the largest difference is the closest
    // estimate of the offset between the two clocks (late, queued events give smaller ones).
    int64_t offset = int64_t(stamp) - Now();
    bool dropped = false;
    if (m_depth == 0 && m_calibrated && InWait(stamp, m_offset, m_waitStart, m_waitEnd)) {
        dropped = true;
        ++m_discarded;
    }
    if (!m_calibrated || offset > m_offset) {
        m_offset = offset;
        m_calibrated = true;
    }
    m_lastDropped = dropped;
    return dropped || QObject::eventFilter(watched, event);
}
