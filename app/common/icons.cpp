#include "app/common/icons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>
#include <functional>

#include "app/common/commands.h"

namespace {
// The disabled form of an image: grey, light and half transparent, so that a disabled button
// reads as such in every look (the styles' own generated forms keep too much colour).
QPixmap Greyed(const QPixmap& pm) {
    QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            QRgb c = line[x];
            int grey = 140 + qGray(c) * 100 / 255;  // 140..240
            line[x] = qRgba(grey, grey, grey, qAlpha(c) * 3 / 5);
        }
    }
    QPixmap out = QPixmap::fromImage(img);
    out.setDevicePixelRatio(pm.devicePixelRatio());
    return out;
}

QIcon Draw(int size, const std::function<void(QPainter&)>& paint) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pm(size * scale, size * scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale * size / 16.0, scale * size / 16.0);
        paint(p);
        p.end();
        pm.setDevicePixelRatio(scale);
        icon.addPixmap(pm);
        icon.addPixmap(Greyed(pm), QIcon::Disabled);
    }
    return icon;
}

void Gear(QPainter& p, QPointF c, double r, QColor color) {
    QPainterPath path;
    for (int i = 0; i < 8; ++i) {
        double a = i * M_PI / 4;
        QPointF d(std::cos(a), std::sin(a));
        QPointF n(-d.y(), d.x());
        QPointF base = c + d * r * 0.75;
        path.addPolygon(QPolygonF({base + n * 1.1, base + d * r * 0.4 + n * 1.1,
                                   base + d * r * 0.4 - n * 1.1, base - n * 1.1}));
    }
    path.addEllipse(c, r * 0.8, r * 0.8);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(path.simplified());
    p.setBrush(Qt::white);
    p.drawEllipse(c, r * 0.3, r * 0.3);
}

void Chip(QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 90), 1));
    for (int i = 0; i < 3; ++i) {
        double x = 5.5 + i * 2.5;
        p.drawLine(QPointF(x, 1.5), QPointF(x, 3.5));
        p.drawLine(QPointF(x, 12.5), QPointF(x, 14.5));
        p.drawLine(QPointF(1.5, x), QPointF(3.5, x));
        p.drawLine(QPointF(12.5, x), QPointF(14.5, x));
    }
    p.setBrush(QColor(40, 110, 60));
    p.setPen(QPen(QColor(20, 60, 30), 1));
    p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 1.5, 1.5);
    p.setBrush(QColor(230, 200, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(6, 6), 1, 1);
}

void Bolt(QPainter& p) {
    QPolygonF bolt(
        {{10, 0.5}, {5.5, 8.5}, {8.5, 8.5}, {6, 15.5}, {12.5, 6.5}, {9.5, 6.5}, {12, 0.5}});
    p.setBrush(QColor(255, 210, 0));
    p.setPen(QPen(QColor(160, 90, 0), 0.8));
    p.drawPolygon(bolt);
}

void Triangle(QPainter& p) {
    p.setBrush(QColor(250, 200, 30));
    p.setPen(QPen(QColor(150, 100, 0), 1));
    p.drawPolygon(QPolygonF({{8, 1}, {15, 14.5}, {1, 14.5}}));
    p.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 5.5), QPointF(8, 9.5));
    p.drawPoint(QPointF(8, 12.3));
}

void Info(QPainter& p) {
    p.setBrush(QColor(30, 100, 210));
    p.setPen(QPen(QColor(10, 60, 150), 1));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawPoint(QPointF(8, 4.6));
    p.drawLine(QPointF(8, 7.5), QPointF(8, 12));
}

void Beetle(QPainter& p) {
    p.setPen(QPen(QColor(60, 40, 20), 1));
    for (double y : {6.0, 9.0, 12.0}) {
        p.drawLine(QPointF(3, y - 1), QPointF(13, y - 1));
    }
    p.drawLine(QPointF(6, 2.5), QPointF(4.5, 0.5));
    p.drawLine(QPointF(10, 2.5), QPointF(11.5, 0.5));
    p.setBrush(QColor(60, 40, 20));
    p.drawEllipse(QRectF(5.5, 1.5, 5, 4));
    p.setBrush(QColor(170, 60, 30));
    p.drawEllipse(QRectF(4, 4.5, 8, 11));
    p.drawLine(QPointF(8, 5), QPointF(8, 15));
}

void Arrow(QPainter& p, bool plugged) {
    // Two plug halves, joined or apart.
    p.setPen(QPen(QColor(50, 50, 50), 1));
    p.setBrush(QColor(70, 130, 200));
    double gap = plugged ? 0 : 2.5;
    p.drawRect(QRectF(1.5, 5.5, 5 - gap, 5));
    p.drawRect(QRectF(9.5 + gap, 5.5, 5 - gap, 5));
    p.setPen(QPen(QColor(50, 50, 50), 1.4));
    p.drawLine(QPointF(6.5 - gap, 7), QPointF(9.5 + gap, 7));
    p.drawLine(QPointF(6.5 - gap, 9), QPointF(9.5 + gap, 9));
    if (!plugged) {
        p.setPen(QPen(QColor(200, 30, 30), 1.6));
        p.drawLine(QPointF(5, 2), QPointF(11, 14));
    }
}

void Page(QPainter& p) {
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.drawPolygon(QPolygonF({{3.5, 1.5}, {10, 1.5}, {12.5, 4}, {12.5, 14.5}, {3.5, 14.5}}));
}

void Folder(QPainter& p) {
    p.setBrush(QColor(240, 200, 90));
    p.setPen(QPen(QColor(150, 110, 30), 1));
    p.drawPolygon(
        QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {14.5, 5}, {14.5, 13.5}, {1.5, 13.5}}));
}

void Disk(QPainter& p) {
    p.setBrush(QColor(60, 90, 170));
    p.setPen(QPen(QColor(30, 50, 110), 1));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 8, 5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(4.5, 10, 7, 4.5));
}
}  // namespace

QIcon LevelIcon(int level) {
    switch (level) {
        case 1:
            return Draw(16, Triangle);
        case 2:
            return Draw(16, Info);
        case 3:
            return Draw(16, Beetle);
        default:
            return QIcon();
    }
}

QIcon TreeIcon(int image) {
    switch (image) {
        case IMG_ROOT:
            return Draw(16, [](QPainter& p) {
                p.setBrush(QColor(90, 100, 120));
                p.setPen(QPen(QColor(40, 40, 50), 1));
                p.drawRect(QRectF(1.5, 2.5, 13, 10));
                p.setBrush(QColor(120, 220, 120));
                p.drawRect(QRectF(3.5, 4.5, 9, 2));
                p.drawLine(QPointF(4, 14.5), QPointF(12, 14.5));
            });
        case IMG_TYPE:
            return Draw(16, [](QPainter& p) { Gear(p, {8, 8}, 7, QColor(70, 110, 170)); });
        case IMG_INSTANCE:
            return Draw(16, Chip);
        case IMG_TYPE_ALT:
            return Draw(16, [](QPainter& p) {
                Gear(p, {8, 8}, 7, QColor(70, 110, 170));
                Bolt(p);
            });
        case IMG_INSTANCE_ALT:
            return Draw(16, [](QPainter& p) {
                Chip(p);
                Bolt(p);
            });
        default:
            return QIcon();
    }
}

QIcon CommandIcon(int id) {
    switch (id) {
        case ID_CONNECT:
            return Draw(16, [](QPainter& p) { Arrow(p, true); });
        case ID_DISCONNECT:
            return Draw(16, [](QPainter& p) { Arrow(p, false); });
        case ID_FILE_NEW:
            return Draw(16, Page);
        case ID_FILE_OPEN:
            return Draw(16, Folder);
        case ID_FILE_SAVE:
            return Draw(16, Disk);
        case ID_APP_ABOUT:
            return Draw(16, [](QPainter& p) { Info(p); });
        case ID_RUN:
            return Draw(16, [](QPainter& p) {
                p.setBrush(QColor(40, 160, 60));
                p.setPen(QPen(QColor(20, 90, 30), 1));
                p.drawPolygon(QPolygonF({{4, 2}, {14, 8}, {4, 14}}));
            });
        case ID_STOP:
            return Draw(16, [](QPainter& p) {
                p.setBrush(QColor(200, 40, 40));
                p.setPen(QPen(QColor(120, 20, 20), 1));
                p.drawRect(QRectF(3, 3, 10, 10));
            });
        case ID_EVENT_MONITOR:
            return Draw(16, [](QPainter& p) {
                p.setBrush(QColor(250, 220, 80));
                p.setPen(QPen(QColor(140, 100, 20), 1));
                QPainterPath bell;
                bell.moveTo(3, 12);
                bell.cubicTo(5, 10, 3, 2, 8, 2);
                bell.cubicTo(13, 2, 11, 10, 13, 12);
                bell.closeSubpath();
                p.drawPath(bell);
                p.drawEllipse(QPointF(8, 13.5), 1.5, 1.5);
            });
        default:
            return QIcon();
    }
}

QIcon ApplicationIcon() {
    return Draw(32, [](QPainter& p) {
        p.setBrush(QColor(40, 70, 130));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 3.5), QPointF(5, 12.5));
        p.drawLine(QPointF(5, 8), QPointF(11, 3.5));
        p.drawLine(QPointF(6.5, 7), QPointF(11, 12.5));
    });
}
