#include "common/dottedaddress.h"
#include "net/acceptbounds.h"
#include "net/connectthrottle.h"
#include "net/deferredconnects.h"
#include "net/localnetwork.h"

#include <QtTest>

class ConnectionBoundsTest : public QObject
{
    Q_OBJECT

private slots:
    void acceptVerdicts_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("fromAddress");
        QTest::addColumn<int>("unidentified");
        QTest::addColumn<int>("transfers");
        QTest::addColumn<int>("transfersFromAddress");
        QTest::addColumn<qint64>("descriptorLimit");
        QTest::addColumn<int>("verdict");
        const int accept = int(AcceptBounds::Verdict::Accept);
        const int transfer = int(AcceptBounds::Verdict::AcceptForTransfer);
        const int refuse = int(AcceptBounds::Verdict::RefuseAddress);
        const int pause = int(AcceptBounds::Verdict::PauseAll);
        const qint64 many = qint64(1) << 20;
        QTest::newRow("quiet") << 10 << 1 << 0 << 0 << 0 << qint64(1024) << accept;
        QTest::newRow("links from one host") << 40 << 32 << 0 << 0 << 0 << qint64(1024) << transfer;
        QTest::newRow("burst from one host") << 10 << 4 << 4 << 40 << 40 << many << transfer;
        QTest::newRow("burst up to the queue's bound") << 10 << 4 << 4 << 2000 << 1023 << many << transfer;
        QTest::newRow("burst past the queue's bound") << 10 << 4 << 4 << 2000 << 1024 << many << refuse;
        QTest::newRow("one host takes half the transfers") << 10 << 4 << 4 << 32 << 32 << qint64(256) << refuse;
        QTest::newRow("transfers full, a new peer links") << 10 << 0 << 0 << 64 << 0 << qint64(256) << accept;
        QTest::newRow("links full, transfers come") << 64 << 0 << 0 << 0 << 0 << qint64(256) << transfer;
        QTest::newRow("a quarter of the descriptors each") << 64 << 0 << 0 << 64 << 0 << qint64(256) << pause;
        QTest::newRow("tiny limit keeps a floor") << 15 << 0 << 0 << 15 << 0 << qint64(20) << accept;
        QTest::newRow("huge limit keeps a ceiling") << 1024 << 0 << 0 << 8192 << 0 << many << pause;
    }

    void acceptVerdicts()
    {
        QFETCH(int, total);
        QFETCH(int, fromAddress);
        QFETCH(int, unidentified);
        QFETCH(int, transfers);
        QFETCH(int, transfersFromAddress);
        QFETCH(qint64, descriptorLimit);
        QFETCH(int, verdict);
        const AcceptBounds::Counts counts{total, fromAddress, unidentified, transfers, transfersFromAddress};
        QCOMPARE(int(AcceptBounds::judge(counts, descriptorLimit)), verdict);
    }

    void throttleSpendsItsAllowanceOnce()
    {
        ConnectThrottle throttle;
        qint64 now = 1000;
        int allowed = 0;
        for (int i = 0; i < 200; ++i)
            allowed += throttle.allow(QStringLiteral("127.0.9.%1").arg(i), now);
        QCOMPARE(allowed, ConnectThrottle::Burst);
        // A second of refill lets the rate through, not more.
        now += 1000;
        allowed = 0;
        for (int i = 200; i < 400; ++i)
            allowed += throttle.allow(QStringLiteral("127.0.10.%1").arg(i % 250), now);
        QCOMPARE(allowed, ConnectThrottle::AttemptsPerSecond);
    }

    // An address held back or failed is tried again a few times, then rests;
    // a link ends its tries, and made-up addresses cannot grow the table.
    void deferredAddressesAreTriedAFewTimesThenRest()
    {
        DeferredConnects deferred;
        const QString address = QStringLiteral("127.0.9.1");
        deferred.defer(address, 0);
        QVERIFY(deferred.due(DeferredConnects::RetryDelayMs - 1).isEmpty());
        qint64 now = 0;
        for (int i = 0; i < DeferredConnects::MaxTries; ++i) {
            now += DeferredConnects::RetryDelayMs;
            QCOMPARE(deferred.due(now), QStringList{address});
            deferred.defer(address, now);
        }
        QVERIFY(deferred.due(now + DeferredConnects::RetryDelayMs).isEmpty());
        QCOMPARE(deferred.due(now + DeferredConnects::RestMs).size(), 0);
        deferred.defer(address, now + DeferredConnects::RestMs);
        QCOMPARE(deferred.due(now + DeferredConnects::RestMs + DeferredConnects::RetryDelayMs), QStringList{address});
        deferred.forget(address);
        QCOMPARE(deferred.size(), 0);

        for (int i = 0; i < 2 * DeferredConnects::MaxAddresses; ++i)
            deferred.defer(QStringLiteral("127.1.%1.%2").arg(i / 250).arg(i % 250), 0);
        QCOMPARE(deferred.size(), DeferredConnects::MaxAddresses);
        QCOMPARE(deferred.due(DeferredConnects::RetryDelayMs).size(), DeferredConnects::MaxDuePerCall);
    }

    void addressWaitsForItsInterval()
    {
        ConnectThrottle throttle;
        const QString address = QStringLiteral("127.0.9.1");
        QVERIFY(throttle.allow(address, 0));
        QVERIFY(!throttle.allow(address, ConnectThrottle::RetryIntervalMs - 1));
        QVERIFY(throttle.allow(QStringLiteral("127.0.9.2"), ConnectThrottle::RetryIntervalMs - 1));
        QVERIFY(throttle.allow(address, ConnectThrottle::RetryIntervalMs));
    }

    // An announcer that refuses links waits twice as long after each failure,
    // never more than the ceiling, and not at all once a link succeeded.
    void failedAddressBacksOff()
    {
        ConnectThrottle throttle;
        const QString address = QStringLiteral("127.0.9.1");
        const qint64 interval = ConnectThrottle::RetryIntervalMs;
        qint64 now = 0;
        for (qint64 wait : {interval, 2 * interval, 4 * interval, qint64(ConnectThrottle::MaxBackOffMs),
                            qint64(ConnectThrottle::MaxBackOffMs)}) {
            QVERIFY(throttle.allow(address, now));
            throttle.noteFailed(address, now);
            QVERIFY(!throttle.allow(address, now + wait - 1));
            now += wait;
        }
        QVERIFY(throttle.allow(address, now));
        throttle.noteSucceeded(address);
        QVERIFY(throttle.allow(address, now + interval));
    }

    void discoveryTakesItsOwnNetworkOnly_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<uint>("arrivedOn");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("neighbour") << QStringLiteral("192.168.7.20") << 3u << true;
        QTest::newRow("interface not told") << QStringLiteral("192.168.7.20") << 0u << true;
        QTest::newRow("other interface") << QStringLiteral("192.168.7.20") << 4u << false;
        QTest::newRow("other network") << QStringLiteral("10.1.2.3") << 3u << false;
        QTest::newRow("next block") << QStringLiteral("192.168.8.20") << 3u << false;
    }

    void discoveryTakesItsOwnNetworkOnly()
    {
        QFETCH(QString, sender);
        QFETCH(uint, arrivedOn);
        QFETCH(bool, accepted);
        const LocalNetwork own(3, QHostAddress(QStringLiteral("192.168.7.5")), 24);
        QCOMPARE(own.accepts(QHostAddress(sender), arrivedOn), accepted);
        QVERIFY(!LocalNetwork().accepts(QHostAddress(sender), arrivedOn));
    }

    // Host lists, announcements and quelmd's commands link only to addresses
    // in this one form.
    void dottedAddresses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        for (const char *good : {"0.0.0.0", "127.0.0.1", "192.168.7.20", "255.255.255.255"})
            QTest::newRow(good) << QByteArray(good) << true;
        for (const char *bad : {"", "1.2.3", "1.2.3.4.", ".1.2.3", "1.2.3.4.5", "1..2.3", "256.1.1.1", "1.2.3.1000",
                                "01.2.3.4", "1.2.3.00", "1.2.3.4 ", " 1.2.3.4", "1.2.3.+4", "1.2.3.a", "0x7f.0.0.1",
                                "127.1", "localhost"})
            QTest::newRow(bad) << QByteArray(bad) << false;
    }

    void dottedAddresses()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QCOMPARE(DottedAddress::isValid(text), valid);
        QCOMPARE(DottedAddress::isValid(QString::fromLatin1(text)), valid);
    }

    void loopbackAddressFindsTheLoopbackInterface()
    {
        const LocalNetwork loopback = LocalNetwork::of(QStringLiteral("127.0.33.7"));
        QVERIFY(loopback.isValid());
        QVERIFY(loopback.accepts(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        QVERIFY(!LocalNetwork::of(QStringLiteral("not an address")).isValid());
    }
};

QTEST_GUILESS_MAIN(ConnectionBoundsTest)
#include "tst_connectionbounds.moc"
