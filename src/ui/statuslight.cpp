#include "ui/statuslight.h"

#include <QPainter>

QPixmap StatusLight::picture(StatusDisplay::Light light, int height)
{
    const int width = height * 2 / 5;
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x30, 0x30));
    painter.drawRoundedRect(QRectF(0, 0, width, height), width / 4.0, width / 4.0);

    const struct {
        StatusDisplay::Light light;
        QColor lit;
    } lamps[] = {{StatusDisplay::Light::Red, QColor(0xe5, 0x39, 0x35)},
                 {StatusDisplay::Light::Yellow, QColor(0xfd, 0xd8, 0x35)},
                 {StatusDisplay::Light::Green, QColor(0x43, 0xa0, 0x47)}};
    const qreal slot = height / 3.0;
    const qreal diameter = qMin(qreal(width), slot) * 0.75;
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(lamps[i].light == light ? lamps[i].lit : lamps[i].lit.darker(400));
        painter.drawEllipse(QRectF((width - diameter) / 2, slot * i + (slot - diameter) / 2, diameter, diameter));
    }
    return pixmap;
}
