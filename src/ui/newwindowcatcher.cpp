#include "ui/newwindowcatcher.h"

#include <QDesktopServices>

bool NewWindowCatcher::acceptNavigationRequest(const QUrl &url, NavigationType, bool)
{
    QDesktopServices::openUrl(url);
    deleteLater();
    return false;
}
