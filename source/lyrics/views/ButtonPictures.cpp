#include "lyrics/views/ButtonPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lirvo::lyrics {

namespace {

// Draws on a 20 x 20 design grid, scaled to the pixmap.
void DrawPicture(QPainter &p, TBarPicture picture, bool hovered) {
    const QColor ink = hovered ? QColor(0x92, 0xFB, 0x93) : QColor(0xE6, 0xE6, 0xE6);
    QPen pen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (picture) {
    case TBarPicture::Later:
    case TBarPicture::Earlier: {
        // A clock face with an arrow turning back (later) or forward (earlier).
        const bool forward = picture == TBarPicture::Earlier;
        p.drawArc(QRectF(3, 3, 14, 14), forward ? 120 * 16 : 60 * 16, forward ? -300 * 16 : 300 * 16);
        p.drawLine(QPointF(10, 10), QPointF(10, 6.5));
        p.drawLine(QPointF(10, 10), QPointF(forward ? 12.5 : 7.5, 11.5));
        QPainterPath head;
        if (forward) {
            head.moveTo(4.2, 2.2);
            head.lineTo(7.8, 5.6);
            head.lineTo(3.2, 6.8);
        } else {
            head.moveTo(15.8, 2.2);
            head.lineTo(12.2, 5.6);
            head.lineTo(16.8, 6.8);
        }
        head.closeSubpath();
        p.setBrush(ink);
        p.drawPath(head);
        break;
    }
    case TBarPicture::Search:
        p.drawEllipse(QRectF(3, 3, 10, 10));
        pen.setWidthF(2.6);
        p.setPen(pen);
        p.drawLine(QPointF(12, 12), QPointF(17, 17));
        break;
    case TBarPicture::Close:
        pen.setWidthF(2.2);
        p.setPen(pen);
        p.drawLine(QPointF(5, 5), QPointF(15, 15));
        p.drawLine(QPointF(15, 5), QPointF(5, 15));
        break;
    }
}

QPixmap Render(TBarPicture picture, int size, bool hovered) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 20.0, size / 20.0);
    DrawPicture(p, picture, hovered);
    return pixmap;
}

} // namespace

QIcon BarPicture(TBarPicture picture, int size) {
    QIcon icon;
    for (int scale : {1, 2}) {
        icon.addPixmap(Render(picture, size * scale, false), QIcon::Normal);
        icon.addPixmap(Render(picture, size * scale, true), QIcon::Active);
    }
    return icon;
}

} // namespace lirvo::lyrics
