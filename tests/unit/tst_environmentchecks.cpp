#include "shell/drivewritetest.h"
#include "shell/localaddressfinder.h"
#include "shell/networkfoldercheck.h"
#include "shell/subnetdetector.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList folderEntries(const QString &path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

bool canCreateFileIn(const QString &folder)
{
    QFile probe(folder + QLatin1String("/probe.tmp"));
    return probe.open(QIODevice::WriteOnly | QIODevice::NewOnly) && probe.remove();
}

} // namespace

class TestEnvironmentChecks final : public QObject
{
    Q_OBJECT

private slots:
    void writeTestLeavesEveryFileAsItWas()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && DriveWriteTest::driveWriteTest(dir.path()));
        QCOMPARE(folderEntries(dir.path()), QStringList());

        QFile existing(dir.filePath(QStringLiteral("drivetest.quelm")));
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("belongs to someone\n") > 0);
        existing.close();
        // Numbered names are random, so repeat to meet more than one of them.
        for (int round = 0; round < 20; ++round)
            QVERIFY(DriveWriteTest::driveWriteTest(dir.path()));
        QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("drivetest.quelm")});
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("belongs to someone\n"));
    }

    void writeTestFailsWhereNothingCanBeWritten()
    {
        QTemporaryDir dir;
        const QString readOnly = dir.filePath(QStringLiteral("readonly"));
        QVERIFY(dir.isValid() && QDir().mkpath(readOnly) && QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        // root ignores permission bits; /proc refuses new files even to root.
        const QString folder = canCreateFileIn(readOnly) ? QStringLiteral("/proc") : readOnly;
        QVERIFY2(!canCreateFileIn(folder), qPrintable(folder + QLatin1String(" is writable")));
        QVERIFY(!DriveWriteTest::driveWriteTest(folder));
        QVERIFY(!DriveWriteTest::driveWriteTest(dir.filePath(QStringLiteral("missing"))));
    }

    void subnetMaskAndClass()
    {
        const QList<QPair<QString, QString>> table{
            {SubnetDetector::addressToDotted(0x0A010203u), SubnetDetector::addressToDotted(0xFFFF0000u)},
            {QStringLiteral("192.168.1.20"), QStringLiteral("255.255.255.0")},
            {QStringLiteral("10.1.2.3"), QStringLiteral("255.255.255.252")},
        };
        // The first matching row counts.
        QCOMPARE(SubnetDetector::getSubnetMask(QStringLiteral("10.1.2.3"), table), QStringLiteral("255.255.0.0"));
        QCOMPARE(SubnetDetector::getSubnetMask(QStringLiteral("192.168.1.20"), table), QStringLiteral("255.255.255.0"));
        QCOMPARE(SubnetDetector::getSubnetMask(QStringLiteral("192.168.1.2"), table), QString());
        // No table at all: a class C network is assumed.
        QCOMPARE(SubnetDetector::getSubnetMask(QStringLiteral("192.168.1.2"), {}), QStringLiteral("255.255.255.0"));
        QCOMPARE(SubnetDetector::subnetClass(QStringLiteral("255.255.255.0")), 1);
        QCOMPARE(SubnetDetector::subnetClass(QStringLiteral("255.255.255.128")), 2);
        QCOMPARE(SubnetDetector::subnetClass(QString()), 2);

        if (!QNetworkInterface::allAddresses().contains(QHostAddress(QHostAddress::LocalHost)))
            QSKIP("no interface carries 127.0.0.1 here");
        QCOMPARE(SubnetDetector::getSubnetMask(QStringLiteral("127.0.0.1")), QStringLiteral("255.0.0.0"));
        // 192.0.2.0/24 is reserved for documentation and never assigned.
        QCOMPARE(SubnetDetector::getSubnetMask(QStringLiteral("192.0.2.77")), QString());
    }

    void networkFileSystems()
    {
        QTemporaryDir dir;
        QVERIFY(!NetworkFolderCheck::isOnNetworkFileSystem(dir.path()));

        const QByteArray mountInfo = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                                     "30 22 0:50 / /mnt/share rw,relatime shared:5 - nfs4 server:/export rw\n"
                                     "33 30 8:17 / /mnt/share/local rw - ext4 /dev/sdb1 rw\n"
                                     "31 22 0:51 / /home/ann/re\\040mote rw,nosuid shared:7 - fuse.sshfs ann@host:/ rw\n"
                                     "32 22 0:52 / /media/usb rw - fuseblk /dev/sdc1 rw\n"
                                     "34 22 0:53 / /media/dav rw - fuse https://dav.example.org/files rw\n"
                                     "35 22 0:54 / /stack rw - cifs //server/share rw\n"
                                     "36 35 0:55 / /stack rw - tmpfs tmpfs rw\n"
                                     "garbage line\n";
        const QList<QPair<const char *, bool>> cases{
            {"/home/ann/quelm", false},
            {"/mnt/share", true},
            {"/mnt/share/quelm", true},
            {"/mnt/shared/quelm", false},      // a longer name, not a folder below
            {"/mnt/share/local/quelm", false}, // a local mount inside the network one
            {"/home/ann/re mote/quelm", true},
            {"/media/usb/quelm", false},
            {"/media/dav/quelm", true},
            {"/stack/quelm", false},           // the latest of stacked mounts
        };
        for (const auto &[folder, network] : cases)
            QVERIFY2(NetworkFolderCheck::isNetworkMount(QLatin1String(folder), mountInfo) == network, folder);
    }

    void localAddress()
    {
        QCOMPARE(LocalAddressFinder::find(" 127.0.3.1\n"), QStringLiteral("127.0.3.1"));
        const QString found = LocalAddressFinder::find("   ");
        QHostAddress parsed;
        QVERIFY2(parsed.setAddress(found) && parsed.protocol() == QAbstractSocket::IPv4Protocol, qPrintable(found));

        const QByteArray header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
        const QByteArray localRoute = "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
        const auto route = [](const char *name, const char *flags, const char *metric) {
            return QByteArray(name) + "\t00000000\t0100A8C0\t" + flags + "\t0\t0\t" + metric + "\t00000000\t0\t0\t0\n";
        };
        QCOMPARE(LocalAddressFinder::defaultRouteInterface(header + localRoute + route("eth0", "0003", "100")),
                 QStringLiteral("eth0"));
        QCOMPARE(LocalAddressFinder::defaultRouteInterface(header + route("wlan0", "0003", "600") + route("eth1", "0003", "100")),
                 QStringLiteral("eth1"));
        QCOMPARE(LocalAddressFinder::defaultRouteInterface(header + route("eth0", "0002", "0")), QString()); // down
        QCOMPARE(LocalAddressFinder::defaultRouteInterface(header + localRoute), QString());
    }
};

QTEST_GUILESS_MAIN(TestEnvironmentChecks)
#include "tst_environmentchecks.moc"
