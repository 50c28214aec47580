#include "ui/homewebpage.h"

#include "shell/homepage.h"
#include "ui/newwindowcatcher.h"

#include <QWebEngineLoadingInfo>

namespace {

// Chromium's code for a load that gave way to another one, which is no failure of the page.
constexpr int AbortedLoad = -3;

} // namespace

HomeWebPage::HomeWebPage(HomePage &rules, QObject *parent)
    : QWebEnginePage(parent)
    , m_rules(rules)
{
    connect(this, &QWebEnginePage::titleChanged, &m_rules, &HomePage::titleChanged);
    connect(this, &QWebEnginePage::loadingChanged, &m_rules, [this](const QWebEngineLoadingInfo &loading) {
        if (loading.status() == QWebEngineLoadingInfo::LoadFailedStatus && loading.errorCode() != AbortedLoad)
            m_rules.loadFailed(loading.url());
    });
}

bool HomeWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    return m_rules.acceptNavigation(url, isMainFrame, type == NavigationTypeRedirect);
}

QWebEnginePage *HomeWebPage::createWindow(WebWindowType)
{
    return new NewWindowCatcher(m_rules, profile(), this);
}
