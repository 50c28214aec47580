#include "net/hostnameresolver.h"

#include <QSignalSpy>
#include <QtTest>

class HostNameResolverTest : public QObject
{
    Q_OBJECT

private slots:
    void tellsNamesFromAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("name");
        QTest::newRow("plain name") << "localhost" << true;
        QTest::newRow("name with domain") << "pc-12.office.lan" << true;
        QTest::newRow("dotted address") << "127.0.0.1" << false;
        QTest::newRow("short address") << "10.1" << false;
        QTest::newRow("blank inside") << "bad name" << false;
        QTest::newRow("separator") << "a|b" << false;
        QTest::newRow("leading dash") << "-pc" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("too long") << QString(254, QLatin1Char('a')) << false;
    }
    void tellsNamesFromAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, name);
        QCOMPARE(HostNameResolver::isHostName(text), name);
    }

    void connectsToWhatANameStandsFor()
    {
        QStringList connected;
        HostNameResolver resolver([&connected](const QString &address) { connected.append(address); });
        QSignalSpy resolved(&resolver, &HostNameResolver::resolved);
        resolver.connectTo(QStringLiteral("127.0.4.5"));
        QCOMPARE(connected, QStringList({"127.0.4.5"}));
        QCOMPARE(resolved.count(), 0);

        // Looked up from the hosts file, without waiting inside the call.
        resolver.connectTo(QStringLiteral("localhost"));
        QCOMPARE(connected.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(resolved.count(), 1, 10000);
        QCOMPARE(resolved[0][0].toString(), QStringLiteral("localhost"));
        QCOMPARE(resolved[0][1].toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(connected, QStringList({"127.0.4.5", "127.0.0.1"}));
    }
};

QTEST_GUILESS_MAIN(HostNameResolverTest)
#include "tst_hostnameresolver.moc"
