#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace filever {
namespace {

// Paints the 64 x 64 design of filever.svg scaled to `size`.
QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    const QColor ink(0x3d, 0x5a, 0x80);
    QPen pen(ink, 2);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);

    p.setBrush(QColor(0x8f, 0xa8, 0xc8));
    p.drawRoundedRect(QRectF(8, 4, 34, 44), 3, 3);

    QPainterPath page;
    page.moveTo(16, 12);
    page.lineTo(40, 12);
    page.lineTo(50, 22);
    page.lineTo(50, 58);
    page.lineTo(16, 58);
    page.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(40, 12);
    fold.lineTo(40, 22);
    fold.lineTo(50, 22);
    p.setBrush(QColor(0xdc, 0xe6, 0xf2));
    p.drawPath(fold);

    QPen lines(ink, 2.5);
    lines.setCapStyle(Qt::RoundCap);
    p.setPen(lines);
    p.drawLine(QLineF(21, 28, 41, 28));
    p.drawLine(QLineF(21, 34, 36, 34));
    p.drawLine(QLineF(21, 40, 33, 40));

    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0x2e, 0x9e, 0x5b));
    p.drawEllipse(QPointF(46, 46), 13, 13);
    QPen hands(Qt::white, 3);
    hands.setCapStyle(Qt::RoundCap);
    hands.setJoinStyle(Qt::RoundJoin);
    p.setPen(hands);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(46, 38), QPointF(46, 46), QPointF(52, 50)}));
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
    return icon;
}

}  // namespace filever
