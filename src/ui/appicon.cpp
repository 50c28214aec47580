#include "ui/appicon.h"

#include <QPainter>

QIcon AppIcon::make(const QColor &colour)
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128, 256})
        icon.addPixmap(draw(colour, size));
    return icon;
}

QPixmap AppIcon::draw(const QColor &colour, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size * 2 / 3);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}
