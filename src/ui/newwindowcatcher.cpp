#include "ui/newwindowcatcher.h"

#include "shell/homepage.h"

NewWindowCatcher::NewWindowCatcher(HomePage &rules, QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
    , m_rules(rules)
{
}

bool NewWindowCatcher::acceptNavigationRequest(const QUrl &url, NavigationType, bool)
{
    m_rules.followLink(url);
    deleteLater();
    return false;
}
