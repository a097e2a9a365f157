#include "app/CopyPicture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace sarvoli::app {

namespace {

void drawSheet(QPainter& p, const QRectF& r)
{
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - 5, r.top());
    sheet.lineTo(r.right(), r.top() + 5);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    for (qreal y = r.top() + 6; y < r.bottom() - 2; y += 3)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 3, y));
}

}  // namespace

QIcon copyPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawSheet(p, QRectF(1.5, 1.5, 15, 19));
    drawSheet(p, QRectF(15.5, 11.5, 15, 19));
    QPainterPath arrow;
    arrow.moveTo(8, 23);
    arrow.lineTo(8, 27);
    arrow.lineTo(11, 27);
    arrow.lineTo(11, 30);
    arrow.lineTo(15, 25);
    arrow.lineTo(11, 20);
    arrow.lineTo(11, 23);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0, 90, 0), 1));
    p.setBrush(QColor(40, 170, 40));
    p.drawPath(arrow);
    return QIcon(pixmap);
}

}  // namespace sarvoli::app
