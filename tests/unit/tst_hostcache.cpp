#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/hostcache.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// One run of a copy over the settings in `home`, recording what it connects to.
struct Run
{
    explicit Run(const QTemporaryDir &home)
        : settings(home.filePath(QStringLiteral("user.ini")), home.filePath(QStringLiteral("machine.ini")))
        , cache(settings, [this](const QString &address) { connected.append(address); })
    {
    }
    QByteArray stored(const char *name) const { return settings.getMachine(QLatin1String(name), "absent"); }
    void store(const char *name, const QByteArray &value) { settings.setMachine(QLatin1String(name), value); }

    SettingsStore settings;
    QStringList connected;
    HostCache cache;
};

} // namespace

class HostCacheTest : public QObject
{
    Q_OBJECT

private slots:
    void storedFormAcrossRuns()
    {
        QTemporaryDir home;
        Run first(home);
        // The older plain form is read once, when no scrambled one is stored.
        first.store(SettingNames::RecentHosts, "127.0.0.5;127.0.0.6");
        first.cache.loadHostCache();
        first.cache.loadHostCache();
        QCOMPARE(first.connected, QStringList({"127.0.0.5", "127.0.0.6"}));
        QCOMPARE(first.stored(SettingNames::RecentHosts), QByteArray());

        first.store(SettingNames::HostCache, "stale");
        first.cache.addToHostCache(QStringLiteral("127.0.0.2"));
        first.cache.addToHostCache(QStringLiteral("127.0.0.10"));
        // '1' -> '.', '2' -> '/', '7' -> '4', '.' -> '+', '0' -> '-', ';' -> '8'
        QCOMPARE(first.stored(SettingNames::HostCache), QByteArray("./4+-+-+/8./4+-+-+.-8"));

        // The scrambled form wins over the plain one, which is emptied all the same.
        Run second(home);
        second.store(SettingNames::RecentHosts, "127.0.0.7;");
        second.cache.loadHostCache();
        QCOMPARE(second.connected, QStringList({"127.0.0.2", "127.0.0.10"}));
        QCOMPARE(second.stored(SettingNames::RecentHosts), QByteArray());

        second.cache.flush();
        Run third(home);
        third.cache.loadHostCache();
        QVERIFY(third.connected.isEmpty());
    }

    void onlyTheFirst33AddsOfARunCount()
    {
        QTemporaryDir home;
        Run run(home);
        for (const char *address : {"127.0.1.1", "127.0.1.1", "127.0.1.11", "27.0.1.1"})
            run.cache.addToHostCache(QLatin1String(address));
        QCOMPARE(run.cache.text(), QByteArray("127.0.1.1;127.0.1.11;27.0.1.1;"));
        for (int host = 100; host < 140; ++host)
            run.cache.addToHostCache(QStringLiteral("127.0.2.%1").arg(host));
        // The duplicate used up one of the 33 calls.
        QCOMPARE(run.cache.text().count(';'), 32);
        QVERIFY(run.cache.text().endsWith(";127.0.2.128;"));
        QCOMPARE(HostCache::shiftCodes(run.stored(SettingNames::HostCache), 3), run.cache.text());
    }
};

QTEST_GUILESS_MAIN(HostCacheTest)
#include "tst_hostcache.moc"
