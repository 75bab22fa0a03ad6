// The client area of a docking pane: one child filling it with a one-pixel margin that is
// painted as a frame in the button-shadow colour.
#pragma once

#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

class CFramedPane : public QWidget {
  public:
    CFramedPane(QWidget* child, QWidget* parent) : QWidget(parent) {
        auto* lay = new QVBoxLayout(this);
        lay->setContentsMargins(1, 1, 1, 1);
        lay->addWidget(child);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};
