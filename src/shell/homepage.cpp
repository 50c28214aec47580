#include "shell/homepage.h"


namespace {

// The browser reports "http://host" as "http://host/"; both name one page.
QUrl comparable(const QUrl &address)
{
    return address.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
}

} // namespace

HomePage::HomePage(Addresses addresses, QObject *parent)
    : QObject(parent)
    , m_addresses(std::move(addresses))
{
    m_tickTimer.setInterval(TickIntervalMs);
    connect(&m_tickTimer, &QTimer::timeout, this, &HomePage::browserTick);
}

QUrl HomePage::withVersionQuery(const QUrl &base, const QString &version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    const auto part = [&parts](int i) { return i < parts.size() ? parts[i].toInt() : 0; };
    const QString query = QStringLiteral("major=%1&minor=%2&revision=%3").arg(part(0)).arg(part(1)).arg(part(2));
    QUrl address = base;
    address.setQuery(base.hasQuery() ? base.query() + QLatin1Char('&') + query : query);
    return address;
}

bool HomePage::opensOutside(const QUrl &address)
{
    const QString scheme = address.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto");
}

void HomePage::start()
{
    navigateTo(m_addresses.first);
    if (!hasUpdatePage())
        return;
    m_tickTimer.start();
    navigateHome();
}

void HomePage::stop()
{
    m_tickTimer.stop();
}

void HomePage::navigateHome()
{
    if (!hasUpdatePage()) {
        navigateTo(m_addresses.first);
        return;
    }
    navigateTo(withVersionQuery(m_addresses.updateCheck, QLatin1String(QUELM_VERSION_TEXT)));
}

void HomePage::browserTick()
{
    if (++m_reloadCounter <= ReloadAfterTicks)
        return;
    m_reloadCounter = 0;
    m_fallbackUsed = false;
    navigateHome();
}

bool HomePage::acceptNavigation(const QUrl &address, bool mainFrame, bool serverRedirect)
{
    if (serverRedirect || !mainFrame || address.isEmpty() || address.toString() == QLatin1String("http:///")
        || comparable(address) == comparable(m_homePageAddress))
        return true;
    // Other schemes stay where they are: neither the view nor the desktop goes there.
    if (!opensOutside(address))
        return false;
    emit openExternally(address);
    navigateHome();
    return false;
}

void HomePage::titleChanged(const QString &title)
{
    if (m_fallbackUsed || !title.contains(QLatin1String("blocked"), Qt::CaseInsensitive))
        return;
    fallBack();
}

void HomePage::loadFailed(const QUrl &address)
{
    // Only the update page falls back: a failed first page is replaced by the
    // update page anyway, and a failed fallback has nowhere further to go.
    if (m_fallbackUsed || !hasUpdatePage() || comparable(address) != comparable(m_homePageAddress)
        || m_homePageAddress == m_addresses.fallback)
        return;
    fallBack();
}

void HomePage::followLink(const QUrl &address)
{
    if (opensOutside(address))
        emit openExternally(address);
}

void HomePage::fallBack()
{
    m_fallbackUsed = true;
    navigateTo(m_addresses.fallback);
}

void HomePage::navigateTo(const QUrl &address)
{
    m_homePageAddress = address;
    emit navigationRequested(address);
}
