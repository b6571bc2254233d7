#include "icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kelmora::app {

namespace {

QPixmap Draw(IconKind kind, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal margin = s * 0.06;
    const QRectF face(margin, margin, s - 2 * margin, s - 2 * margin);
    const QPointF centre = face.center();

    QColor fill;
    switch (kind) {
    case IconKind::Program:
        fill = QColor(0x2f, 0x6f, 0xb5);
        break;
    case IconKind::Idle:
        fill = QColor(0x8a, 0x8f, 0x96);
        break;
    case IconKind::Running:
        fill = QColor(0x1e, 0xa0, 0x4b);
        break;
    }
    painter.setPen(QPen(fill.darker(140), qMax(1.0, s / 16)));
    painter.setBrush(fill);
    painter.drawEllipse(face);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    if (kind == IconKind::Running) {
        // A play mark: readable at 16 pixels, and unlike the clock hands of the idle icon at a glance.
        QPainterPath triangle;
        triangle.moveTo(centre.x() - s * 0.15, centre.y() - s * 0.24);
        triangle.lineTo(centre.x() + s * 0.26, centre.y());
        triangle.lineTo(centre.x() - s * 0.15, centre.y() + s * 0.24);
        triangle.closeSubpath();
        painter.drawPath(triangle);
        return pixmap;
    }
    // Clock hands at ten past ten.
    const qreal width = qMax(1.5, s / 9);
    painter.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(0, -s * 0.30));
    painter.drawLine(centre, centre + QPointF(s * 0.22, s * 0.08));
    if (size >= 32) {
        painter.setPen(QPen(Qt::white, qMax(1.0, s / 24), Qt::SolidLine, Qt::RoundCap));
        for (int hour = 0; hour < 12; hour += 3) {
            painter.save();
            painter.translate(centre);
            painter.rotate(hour * 30.0);
            painter.drawLine(QPointF(0, -face.height() * 0.40), QPointF(0, -face.height() * 0.46));
            painter.restore();
        }
    }
    return pixmap;
}

} // namespace

QIcon MakeIcon(IconKind kind)
{
    QIcon icon;
    for (const int size : {16, 20, 22, 24, 32, 40, 48, 64, 128, 256}) {
        icon.addPixmap(Draw(kind, size));
    }
    return icon;
}

} // namespace kelmora::app
