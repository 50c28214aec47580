#pragma once

#include "shell/statusdisplay.h"

#include <QPixmap>

// The three pictures of the status light: a traffic light with the red,
// yellow or green lamp lit and the other two dark.
class StatusLight final
{
public:
    static QPixmap picture(StatusDisplay::Light light, int height);
};
