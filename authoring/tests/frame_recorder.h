// Test helpers: an object that records the frame notifications posted to it.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QStringList>

#include "app/common/frame_events.h"

class CFrameRecorder : public QObject {
  public:
    // "code name" of every notification received, after delivering the posted events.
    QStringList Take() {
        QCoreApplication::sendPostedEvents(this);
        QStringList out;
        out.swap(m_seen);
        return out;
    }
    bool event(QEvent* e) override {
        if (e->type() != KvsEvent::FrameNotify) return QObject::event(e);
        auto* n = static_cast<CFrameNotifyEvent*>(e);
        m_seen << QStringLiteral("%1 %2").arg(n->code).arg(n->name);
        return true;
    }

  private:
    QStringList m_seen;
};
