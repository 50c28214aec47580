#include "ui/homewebpage.h"

#include "shell/homepage.h"
#include "ui/newwindowcatcher.h"

HomeWebPage::HomeWebPage(HomePage &rules, QObject *parent)
    : QWebEnginePage(parent)
    , m_rules(rules)
{
    connect(this, &QWebEnginePage::titleChanged, &m_rules, &HomePage::titleChanged);
}

bool HomeWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    return m_rules.acceptNavigation(url, isMainFrame, type == NavigationTypeRedirect);
}

QWebEnginePage *HomeWebPage::createWindow(WebWindowType)
{
    return new NewWindowCatcher(profile(), this);
}
