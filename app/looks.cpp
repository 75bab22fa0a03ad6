#include "app/looks.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include "app/common/commands.h"

namespace {
QPalette Tinted(QColor window, QColor highlight, QColor base = Qt::white, QColor text = Qt::black) {
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window.lighter(105));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(QPalette::ToolTipText, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(115));
    p.setColor(QPalette::Mid, window.darker(130));
    p.setColor(QPalette::Dark, window.darker(160));
    p.setColor(QPalette::Shadow, window.darker(300));
    p.setColor(QPalette::Disabled, QPalette::Text,
               text == Qt::black ? QColor(140, 140, 140) : QColor(130, 130, 130));
    p.setColor(QPalette::Disabled, QPalette::WindowText,
               p.color(QPalette::Disabled, QPalette::Text));
    p.setColor(QPalette::Disabled, QPalette::ButtonText,
               p.color(QPalette::Disabled, QPalette::Text));
    return p;
}
}  // namespace

bool IsLookId(int id) { return id >= ID_LOOK_WIN2000 && id <= ID_LOOK_OFF2007_AQUA; }

void ApplyLook(int id) {
    if (!IsLookId(id)) id = kDefaultLook;
    QString style = id == ID_LOOK_WIN2000 ? QStringLiteral("Windows") : QStringLiteral("Fusion");
    if (QStyle* s = QStyleFactory::create(style)) QApplication::setStyle(s);
    QPalette palette;
    switch (id) {
        case ID_LOOK_WIN2000:
            palette = Tinted(QColor(212, 208, 200), QColor(10, 36, 106));
            break;
        case ID_LOOK_OFFXP:
            palette = Tinted(QColor(236, 233, 230), QColor(49, 106, 197));
            break;
        case ID_LOOK_WINXP:
            palette = Tinted(QColor(236, 233, 216), QColor(49, 106, 197));
            break;
        case ID_LOOK_OFF2003:
            palette = Tinted(QColor(216, 231, 252), QColor(75, 115, 185));
            break;
        case ID_LOOK_VS2005:
            palette = Tinted(QColor(238, 238, 242), QColor(51, 153, 255));
            break;
        case ID_LOOK_OFF2007_BLUE:
            palette = Tinted(QColor(208, 225, 245), QColor(60, 120, 200));
            break;
        case ID_LOOK_OFF2007_BLACK:
            palette = Tinted(QColor(70, 70, 72), QColor(230, 140, 40), QColor(45, 45, 48),
                             QColor(235, 235, 235));
            break;
        case ID_LOOK_OFF2007_SILVER:
            palette = Tinted(QColor(228, 231, 236), QColor(110, 120, 140));
            break;
        case ID_LOOK_OFF2007_AQUA:
            palette = Tinted(QColor(214, 236, 236), QColor(40, 140, 150));
            break;
    }
    QApplication::setPalette(palette);
}
