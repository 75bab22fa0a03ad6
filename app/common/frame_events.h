// The program's own posted messages. They stand for window messages: the type numbers keep
// the distance from the first user message, and every event carries copies of its texts, so
// a sender's buffer never has to outlive the posting.
#pragma once

#include <QEvent>
#include <QPoint>
#include <QString>

namespace KvsEvent {
// Log line for the output pane (the library's information window).
inline constexpr QEvent::Type InfoMessage = QEvent::Type(QEvent::User + 100);
// Coordination request to the main frame.
inline constexpr QEvent::Type FrameNotify = QEvent::Type(QEvent::User + 200);
// A component type dropped from the component tree onto a window.
inline constexpr QEvent::Type ComponentDrop = QEvent::Type(QEvent::User + 300);
}  // namespace KvsEvent

// Codes of WM_FRAME_NOTIFY.
enum FrameNotifyCode {
    NOTIFY_REFRESH_TREE = 1,
    NOTIFY_SELECT = 4,
    NOTIFY_COMPONENT_CHANGED = 5,
    NOTIFY_COMMENT_CHANGED = 6,
    NOTIFY_DELETE_COMPONENT = 7,
};

// WM_INFO_MESSAGE: one log line, copied out of the library's ring when it was posted.
class CInfoMessageEvent : public QEvent {
  public:
    CInfoMessageEvent(unsigned level, QString time, QString text)
        : QEvent(KvsEvent::InfoMessage),
          level(level),
          time(std::move(time)),
          text(std::move(text)) {}
    const unsigned level;
    const QString time;
    const QString text;
};

// WM_FRAME_NOTIFY: a code and a name; a null name (QString()) stands for "no text".
class CFrameNotifyEvent : public QEvent {
  public:
    CFrameNotifyEvent(int code, QString name)
        : QEvent(KvsEvent::FrameNotify), code(code), name(std::move(name)) {}
    const int code;
    const QString name;
};

// WM_COMPONENT_DROP: the dragged type and the drop point in the receiver's client coordinates.
class CComponentDropEvent : public QEvent {
  public:
    CComponentDropEvent(QString type, QPoint point)
        : QEvent(KvsEvent::ComponentDrop), type(std::move(type)), point(point) {}
    const QString type;
    const QPoint point;
};
