#include "base/settingnames.h"
#include "shell/core.h"
#include "support/loopbackwebserver.h"
#include "support/scriptedprompter.h"
#include "support/testcopy.h"
#include "ui/hometab.h"
#include "ui/mainwindow.h"
#include "ui/welcomeview.h"

#include <QDesktopServices>
#include <QTcpServer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

namespace {

constexpr int PageWait = 30000;

const QByteArray UpdatePage = R"(<html><head><title>Update</title></head><body>
<a id="out" href="/elsewhere">elsewhere</a>
<a id="framed" href="/framed2" target="box">inside the frame</a>
<iframe name="box" src="/framed"></iframe>
</body></html>)";

// Records what would have been opened in the desktop's browser.
class DesktopBrowser final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &address) { opened.append(address); }
};

// An address on loopback where nothing listens.
QUrl deadAddress()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/update").arg(probe.serverPort()));
}

// A copy with the Home page pointed at the test's server, not started: the
// Home page needs only the core's home-page rules. The update page comes from
// the settings when `fromSettings` is set.
struct HomeWindow {
    HomeWindow(LoopbackWebServer &server, const QUrl &update, bool fromSettings = false)
    {
        CoreConfig config = place.config();
        config.homePageAddresses = {server.address(QStringLiteral("/first")), fromSettings ? QUrl() : update,
                                    server.address(QStringLiteral("/fallback"))};
        if (fromSettings)
            place.presetUserValue(QLatin1String(SettingNames::UpdateURL), update.toEncoded());
        core = std::make_unique<Core>(config, person);
        window = std::make_unique<MainWindow>(*core);
        window->show();
        core->homePage().start();
    }
    HomeWindow(LoopbackWebServer &server, const QString &updatePath)
        : HomeWindow(server, server.address(updatePath))
    {
    }

    QWebEngineView &browser() const { return *window->homeTab().browser(); }
    QUrl shownAddress() const { return browser().url(); }
    void runScript(const QString &script) { browser().page()->runJavaScript(script); }

    TestCopy place;
    ScriptedPrompter person;
    std::unique_ptr<Core> core;
    std::unique_ptr<MainWindow> window;
};

} // namespace

class HomeBrowserTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_server.setPage(QStringLiteral("/first"), "<html><title>First</title></html>");
        m_server.setPage(QStringLiteral("/update"), UpdatePage);
        m_server.setPage(QStringLiteral("/framed"), "<html><title>Frame</title></html>");
        m_server.setPage(QStringLiteral("/framed2"), "<html><title>Frame two</title></html>");
        m_server.setPage(QStringLiteral("/blocked"), "<html><title>Access BLOCKED</title></html>");
        m_server.setPage(QStringLiteral("/fallback"), "<html><title>Fallback is blocked too</title></html>");
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_desktop, "open");
    }

    void cleanupTestCase()
    {
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void updatePageCarriesTheVersion()
    {
        HomeWindow home(m_server, QStringLiteral("/update"));
        const QUrl update = m_server.address(QStringLiteral("/update?major=0&minor=14&revision=1"));
        QTRY_COMPARE_WITH_TIMEOUT(home.shownAddress(), update, PageWait);
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().contains(QStringLiteral("/update?major=0&minor=14&revision=1")),
                                 PageWait);
        QTRY_COMPARE_WITH_TIMEOUT(home.browser().title(), QStringLiteral("Update"), PageWait);
    }

    void linkOpensOutsideAndHomeComesBack()
    {
        HomeWindow home(m_server, QStringLiteral("/update"));
        QTRY_COMPARE_WITH_TIMEOUT(home.browser().title(), QStringLiteral("Update"), PageWait);
        const int updateLoads = m_server.requestCount(QStringLiteral("/update"));
        m_desktop.opened.clear();
        home.runScript(QStringLiteral("document.getElementById('out').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop.opened, QList<QUrl>({m_server.address(QStringLiteral("/elsewhere"))}),
                                  PageWait);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(QStringLiteral("/update")), updateLoads + 1, PageWait);
        QCOMPARE(m_server.requestCount(QStringLiteral("/elsewhere")), 0);
    }

    void linkIntoAFrameStaysInside()
    {
        HomeWindow home(m_server, QStringLiteral("/update"));
        QTRY_COMPARE_WITH_TIMEOUT(home.browser().title(), QStringLiteral("Update"), PageWait);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(QStringLiteral("/framed")) > 0, true, PageWait);
        m_desktop.opened.clear();
        const int frameLoads = m_server.requestCount(QStringLiteral("/framed2"));
        home.runScript(QStringLiteral("document.getElementById('framed').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(QStringLiteral("/framed2")), frameLoads + 1, PageWait);
        QVERIFY(m_desktop.opened.isEmpty());
        QCOMPARE(home.core->homePage().homePageAddress(), home.shownAddress());
    }

    void blockedPageFallsBackOncePerReload()
    {
        HomeWindow home(m_server, QStringLiteral("/blocked"));
        const int before = m_server.requestCount(QStringLiteral("/fallback"));
        QTRY_COMPARE_WITH_TIMEOUT(home.shownAddress(), m_server.address(QStringLiteral("/fallback")), PageWait);
        QTRY_COMPARE_WITH_TIMEOUT(home.browser().title(), QStringLiteral("Fallback is blocked too"),
                                  PageWait);
        QCOMPARE(m_server.requestCount(QStringLiteral("/fallback")), before + 1);

        // The next periodic reload may fall back once more.
        const int blockedLoads = m_server.requestCount(QStringLiteral("/blocked"));
        for (int tick = 0; tick <= HomePage::ReloadAfterTicks; ++tick)
            home.core->homePage().browserTick();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(QStringLiteral("/blocked")), blockedLoads + 1, PageWait);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(QStringLiteral("/fallback")), before + 2, PageWait);
        QTRY_COMPARE_WITH_TIMEOUT(home.browser().title(), QStringLiteral("Fallback is blocked too"),
                                  PageWait);
        QCOMPARE(m_server.requestCount(QStringLiteral("/fallback")), before + 2);
    }

    void welcomePageWithoutAnUpdatePage()
    {
        LoopbackWebServer server;
        HomeWindow home(server, QUrl());
        const WelcomeView *welcome = home.window->homeTab().welcomeView();
        QVERIFY(welcome);
        QVERIFY(welcome->toPlainText().contains(QLatin1String("Getting started")));
        // Neither the fallback's notice nor the page's script shows as text.
        for (const char *hidden : {"could not be shown", "URLSearchParams"})
            QVERIFY2(!welcome->toPlainText().contains(QLatin1String(hidden)), hidden);
        QVERIFY(home.window->findChildren<QWebEngineView *>().isEmpty());
        // Nothing is fetched, not even the first page or the reload.
        for (int tick = 0; tick <= HomePage::ReloadAfterTicks; ++tick)
            home.core->homePage().browserTick();
        QTest::qWait(1000);
        QCOMPARE(server.requests(), QStringList());
    }

    void failedUpdatePageFallsBackOnce_data()
    {
        QTest::addColumn<QUrl>("update");
        QTest::addColumn<bool>("fromSettings");
        QTest::newRow("nothing answers, address in the settings") << deadAddress() << true;
        QTest::newRow("HTTP error") << m_server.address(QStringLiteral("/missing")) << false;
    }
    void failedUpdatePageFallsBackOnce()
    {
        QFETCH(QUrl, update);
        QFETCH(bool, fromSettings);
        const int before = m_server.requestCount(QStringLiteral("/fallback"));
        HomeWindow home(m_server, update, fromSettings);
        QTRY_COMPARE_WITH_TIMEOUT(home.browser().title(), QStringLiteral("Fallback is blocked too"), PageWait);
        QCOMPARE(home.shownAddress(), m_server.address(QStringLiteral("/fallback")));
        QCOMPARE(m_server.requestCount(QStringLiteral("/fallback")), before + 1);
    }

private:
    LoopbackWebServer m_server;
    DesktopBrowser m_desktop;
};

QTEST_MAIN(HomeBrowserTest)
#include "tst_homebrowser.moc"
