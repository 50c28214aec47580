#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

// What the Home page shows and where its links go, without the browser
// itself: the update page carries this copy's version in its query and is
// reloaded every 121 minutes, a page that says it is blocked or that cannot
// be loaded is replaced once per reload by the fallback page, and a web or
// mail link the person follows opens in the desktop's browser while the Home
// page goes back to the update page. Without an update page the Home page is
// the first page alone and nothing is ever fetched.
class HomePage final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HomePage)

public:
    static constexpr int ReloadAfterTicks = 120;
    static constexpr int TickIntervalMs = 60000;

    struct Addresses {
        QUrl first;
        QUrl updateCheck;  // without the version query; empty when none is configured
        QUrl fallback;
    };

    explicit HomePage(Addresses addresses, QObject *parent = nullptr);

    // Only these schemes leave for the desktop's browser or mail program.
    static bool opensOutside(const QUrl &address);

    // `base` followed by the version query "?major=..&minor=..&revision=..".
    static QUrl withVersionQuery(const QUrl &base, const QString &version);

    QUrl homePageAddress() const { return m_homePageAddress; }
    bool hasUpdatePage() const { return !m_addresses.updateCheck.isEmpty(); }
    int reloadCounter() const { return m_reloadCounter; }
    bool fallbackUsed() const { return m_fallbackUsed; }

    // The first page, then at once the update page and a tick every minute
    // from now on; the first page alone when there is no update page.
    void start();
    void stop();
    bool isTicking() const { return m_tickTimer.isActive(); }
    void navigateHome();
    // One tick a minute.
    void browserTick();
    // The rule for every navigation the browser is about to make; false means
    // it must not go there. A redirect comes from the server, not the person,
    // so it is never taken for a click (the update page may redirect).
    bool acceptNavigation(const QUrl &address, bool mainFrame, bool serverRedirect);
    void titleChanged(const QString &title);
    // The browser could not load `address` (no answer, unknown name, an HTTP error).
    void loadFailed(const QUrl &address);
    // A link the person followed: web and mail addresses open outside, others are ignored.
    void followLink(const QUrl &address);

signals:
    void navigationRequested(const QUrl &address);
    void openExternally(const QUrl &address);

private:
    void navigateTo(const QUrl &address);
    void fallBack();

    Addresses m_addresses;
    QTimer m_tickTimer;
    QUrl m_homePageAddress;
    int m_reloadCounter = 0;
    bool m_fallbackUsed = false;
};
