#include "forms/Artwork.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quadrantel::forms {

QPixmap DialPicture(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QPointF c(s / 2, s / 2);
    const double r = s * 0.46;
    QRadialGradient face(c, r);
    face.setColorAt(0, QColor(24, 64, 44));
    face.setColorAt(1, QColor(8, 24, 16));
    p.setPen(QPen(QColor(170, 180, 190), std::max(1.0, s / 24)));
    p.setBrush(face);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(QColor(130, 200, 150), std::max(1.0, s / 48)));
    for (int deg = 0; deg < 360; deg += 30) {
        const double a = deg * M_PI / 180;
        const double inner = r * (deg % 90 == 0 ? 0.72 : 0.84);
        p.drawLine(QPointF(c.x() + inner * std::sin(a), c.y() - inner * std::cos(a)),
                   QPointF(c.x() + r * 0.95 * std::sin(a), c.y() - r * 0.95 * std::cos(a)));
    }
    // The needle points north-east, the way a bearing of 045 would show.
    const double a = 45 * M_PI / 180;
    QPainterPath needle;
    needle.moveTo(c.x() + r * 0.8 * std::sin(a), c.y() - r * 0.8 * std::cos(a));
    needle.lineTo(c.x() + r * 0.09 * std::cos(a), c.y() + r * 0.09 * std::sin(a));
    needle.lineTo(c.x() - r * 0.3 * std::sin(a), c.y() + r * 0.3 * std::cos(a));
    needle.lineTo(c.x() - r * 0.09 * std::cos(a), c.y() - r * 0.09 * std::sin(a));
    needle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 255, 100));
    p.drawPath(needle);
    p.setBrush(QColor(230, 230, 230));
    p.drawEllipse(c, r * 0.07, r * 0.07);
    return pm;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(DialPicture(size));
    return icon;
}

} // namespace quadrantel::forms
