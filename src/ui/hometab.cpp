#include "ui/hometab.h"

#include "shell/homepage.h"
#include "ui/homewebpage.h"
#include "ui/welcomeview.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <unistd.h>

namespace {

// Chromium will not run as root with its sandbox and ends the whole program
// instead; as root the sandbox is switched off before the engine starts.
void allowEngineAsRoot()
{
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")
        || qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox"))
        || QCoreApplication::arguments().contains(QLatin1String("--no-sandbox")))
        return;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    fputs("quelm: running as root, the Home tab's web engine runs without its sandbox\n", stderr);
}

} // namespace

HomeTab::HomeTab(HomePage &home, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    connect(&home, &HomePage::openExternally, this, [](const QUrl &address) { QDesktopServices::openUrl(address); });
    if (!home.hasUpdatePage()) {
        m_welcome = new WelcomeView(home, this);
        layout->addWidget(m_welcome);
        return;
    }
    makeBrowser(home);
    layout->addWidget(m_browser);
}

void HomeTab::makeBrowser(HomePage &home)
{
    allowEngineAsRoot();
    m_browser = new QWebEngineView(this);
    m_browser->setPage(new HomeWebPage(home, m_browser));
    connect(&home, &HomePage::navigationRequested, m_browser, [this](const QUrl &address) { m_browser->load(address); });
    // Start-up may already have sent the page somewhere.
    if (!home.homePageAddress().isEmpty())
        m_browser->load(home.homePageAddress());
}
