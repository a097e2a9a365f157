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

// The artwork on a 32 x 32 grid.
void drawArtwork(QPainter& p)
{
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
}

}  // namespace

QIcon copyPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawArtwork(p);
    return QIcon(pixmap);
}

QImage copyPictureAt(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    drawArtwork(p);
    return image;
}

QImage programPicture()
{
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(QColor(192, 192, 192));
    {
        QPainter p(&image);
        p.scale(100.0 / 32, 100.0 / 32);
        drawArtwork(p);
    }
    // The sixteen colours of the classic palette.
    const QList<QRgb> palette = {0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080,
                                 0xff008080, 0xffc0c0c0, 0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00,
                                 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff};
    return image.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
}

}  // namespace sarvoli::app
