#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

// The program's icon, drawn at run time in the colour of a status light.
class AppIcon final
{
public:
    static QIcon make(const QColor &colour = QColor(0x2e, 0x7d, 0x32));
    static QPixmap draw(const QColor &colour, int size);
};
