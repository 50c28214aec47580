#include "shell/homepage.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

const QUrl First(QStringLiteral("qrc:/home/welcome.html"));
const QUrl Update(QStringLiteral("http://127.0.0.1:8/update"));
const QUrl Fallback(QStringLiteral("qrc:/home/welcome.html?blocked=1"));
const QUrl UpdateWithVersion(QStringLiteral("http://127.0.0.1:8/update?major=0&minor=14&revision=1"));

QList<QUrl> urls(const QSignalSpy &spy)
{
    QList<QUrl> list;
    for (const QList<QVariant> &arguments : spy)
        list.append(arguments.at(0).toUrl());
    return list;
}

} // namespace

class HomePageTest : public QObject
{
    Q_OBJECT

private slots:
    void versionQuery_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("address");
        QTest::newRow("this release") << "http://127.0.0.1:8/update" << "0.14.1"
                                      << "http://127.0.0.1:8/update?major=0&minor=14&revision=1";
        QTest::newRow("base with a query") << "http://127.0.0.1:8/u?lang=en" << "1.2.30"
                                           << "http://127.0.0.1:8/u?lang=en&major=1&minor=2&revision=30";
    }
    void versionQuery()
    {
        QFETCH(QString, base);
        QFETCH(QString, version);
        QFETCH(QString, address);
        QCOMPARE(HomePage::withVersionQuery(QUrl(base), version), QUrl(address));
    }

    void startsWithTheFirstPageThenTheUpdatePage()
    {
        HomePage home({First, Update, Fallback});
        QSignalSpy navigations(&home, &HomePage::navigationRequested);
        home.start();
        QCOMPARE(urls(navigations), QList<QUrl>({First, UpdateWithVersion}));
        QCOMPARE(home.homePageAddress(), UpdateWithVersion);
    }

    void withoutAnUpdatePageOnlyTheFirstPage()
    {
        HomePage home({First, QUrl(), Fallback});
        QSignalSpy navigations(&home, &HomePage::navigationRequested);
        home.start();
        home.navigateHome();
        home.loadFailed(First);
        QCOMPARE(urls(navigations), QList<QUrl>({First, First}));
        QVERIFY(!home.isTicking());
    }

    void reloadsAfter121Ticks()
    {
        HomePage home({First, Update, Fallback});
        home.start();
        home.titleChanged(QStringLiteral("Blocked"));
        QVERIFY(home.fallbackUsed());
        QSignalSpy navigations(&home, &HomePage::navigationRequested);
        for (int tick = 0; tick < 120; ++tick)
            home.browserTick();
        QCOMPARE(navigations.count(), 0);
        home.browserTick();
        QCOMPARE(urls(navigations), QList<QUrl>({UpdateWithVersion}));
        QCOMPARE(home.reloadCounter(), 0);
        QVERIFY(!home.fallbackUsed());
    }

    void navigationRule_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("mainFrame");
        QTest::addColumn<bool>("redirect");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("opened");
        QTest::newRow("link in the main frame") << "http://127.0.0.1:8/other" << true << false << false << true;
        QTest::newRow("https link") << "https://127.0.0.1:8/other" << true << false << false << true;
        QTest::newRow("mail link") << "mailto:someone@example.invalid" << true << false << false << true;
        QTest::newRow("file link") << "file:///etc/passwd" << true << false << false << false;
        QTest::newRow("ftp link") << "ftp://127.0.0.1/x" << true << false << false << false;
        QTest::newRow("unknown scheme") << "smb://127.0.0.1/share" << true << false << false << false;
        QTest::newRow("the current page") << UpdateWithVersion.toString() << true << false << true << false;
        QTest::newRow("the current page, trailing slash") << "http://127.0.0.1:8/update/?major=0&minor=14&revision=1"
                                                          << true << false << true << false;
        QTest::newRow("inside a frame") << "http://127.0.0.1:8/other" << false << false << true << false;
        QTest::newRow("server redirect") << "http://127.0.0.1:8/moved" << true << true << true << false;
        QTest::newRow("empty") << "" << true << false << true << false;
        QTest::newRow("bare http") << "http:///" << true << false << true << false;
    }
    void navigationRule()
    {
        QFETCH(QString, address);
        QFETCH(bool, mainFrame);
        QFETCH(bool, redirect);
        QFETCH(bool, accepted);
        QFETCH(bool, opened);
        HomePage home({First, Update, Fallback});
        home.start();
        QSignalSpy external(&home, &HomePage::openExternally);
        QSignalSpy navigations(&home, &HomePage::navigationRequested);
        QCOMPARE(home.acceptNavigation(QUrl(address), mainFrame, redirect), accepted);
        // A link that opens outside sends the view back home; a refused one of
        // another scheme goes nowhere at all.
        QCOMPARE(urls(external), opened ? QList<QUrl>({QUrl(address)}) : QList<QUrl>());
        QCOMPARE(urls(navigations), opened ? QList<QUrl>({UpdateWithVersion}) : QList<QUrl>());
        // A link from a new window or the welcome view follows the same schemes.
        external.clear();
        home.followLink(QUrl(address));
        QCOMPARE(external.count(), HomePage::opensOutside(QUrl(address)) ? 1 : 0);
    }

    void blockedTitleFallsBackOncePerReload()
    {
        HomePage home({First, Update, Fallback});
        home.start();
        QSignalSpy navigations(&home, &HomePage::navigationRequested);
        home.titleChanged(QStringLiteral("Welcome"));
        QCOMPARE(navigations.count(), 0);
        home.titleChanged(QStringLiteral("Site BLOCKED by proxy"));
        QCOMPARE(urls(navigations), QList<QUrl>({Fallback}));
        QCOMPARE(home.homePageAddress(), Fallback);
        // The fallback itself is where the view now belongs.
        QVERIFY(home.acceptNavigation(Fallback, true, false));
        home.titleChanged(QStringLiteral("still blocked"));
        QCOMPARE(navigations.count(), 1);
    }

    void failedUpdatePageFallsBackOncePerReload()
    {
        HomePage home({First, Update, Fallback});
        home.start();
        QSignalSpy navigations(&home, &HomePage::navigationRequested);
        // Only the page the view was sent to counts, not one it left.
        home.loadFailed(First);
        QCOMPARE(navigations.count(), 0);
        home.loadFailed(UpdateWithVersion);
        QCOMPARE(urls(navigations), QList<QUrl>({Fallback}));
        home.loadFailed(Fallback);
        home.titleChanged(QStringLiteral("blocked"));
        QCOMPARE(navigations.count(), 1);
        for (int tick = 0; tick <= HomePage::ReloadAfterTicks; ++tick)
            home.browserTick();
        home.loadFailed(UpdateWithVersion);
        QCOMPARE(urls(navigations), QList<QUrl>({Fallback, UpdateWithVersion, Fallback}));
    }
};

QTEST_GUILESS_MAIN(HomePageTest)
#include "tst_homepage.moc"
