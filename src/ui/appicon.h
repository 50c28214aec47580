#pragma once

#include <QColor>
#include <QIcon>

// The program's icon, drawn at run time in the colour of a status light.
class AppIcon final
{
public:
    static QIcon make(const QColor &colour = QColor(0x2e, 0x7d, 0x32));
};
