#include "net/discovery.h"
#include "shell/statusdisplay.h"
#include "support/runningcopy.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>
#include <vector>

namespace {

// The light and status text, and whether search, the scan and the notice's blinking are on.
QString stateOf(Core &core)
{
    const StatusDisplay &status = core.status();
    const char *lights[] = {"red", "yellow", "green"};
    return QStringLiteral("%1: %2 search=%3 scan=%4 blink=%5")
        .arg(QLatin1String(lights[int(status.light())]), status.statusText())
        .arg(int(status.isSearchEnabled()))
        .arg(int(core.network().discovery().isScanning()))
        .arg(int(core.presence().isScanNoticeBlinking()));
}

QList<int> scanPosition(Core &core)
{
    return {core.network().discovery().scanHost(), core.network().discovery().scanBlock(), core.network().discovery().scanBlockTicks()};
}

} // namespace

class StatusDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void followsThePeerCount()
    {
        RunningCopy centre("centre");
        QVERIFY(centre.started());
        Core &core = centre.core();
        StatusDisplay &status = core.status();
        const QString four = QStringLiteral("yellow: You are connected to only 4 peer(s). search=1 scan=1 blink=1");
        const QString green = QStringLiteral("green: You are connected to 5 peer(s). search=1 scan=0 blink=0");
        QCOMPARE(stateOf(core), QStringLiteral("red: You are not connected to any peers! search=0 scan=1 blink=1"));
        QSignalSpy changed(&status, &StatusDisplay::changed);
        status.update();
        QCOMPARE(changed.count(), 1);

        std::vector<std::unique_ptr<RunningCopy>> peers;
        for (int i = 0; i < 5; ++i)
            peers.push_back(std::make_unique<RunningCopy>("peer" + QByteArray::number(i)));
        for (int i = 0; i < 4; ++i)
            core.network().connections().connectTo(peers[i]->address());
        QTRY_COMPARE_WITH_TIMEOUT(centre.linkCount(), 4, 10000);
        status.update();
        QCOMPARE(stateOf(core), four);
        QCOMPARE(status.peerCountText(), QStringLiteral("You are sharing 0 file(s). Connected to 4 peer(s)."));

        // The fifth peer stops the scan, hides the notice and rewinds the scan;
        // the rebuild that follows its greeting refreshes the status.
        core.network().discovery().setScanPosition(3, 4, 5);
        QTRY_VERIFY(core.presence().isScanNoticeVisible());
        core.network().connections().connectTo(peers[4]->address());
        QTRY_COMPARE_WITH_TIMEOUT(status.peerCount(), 5, 10000);
        QCOMPARE(stateOf(core), green);
        QVERIFY(!core.presence().isScanNoticeVisible());
        QCOMPARE(scanPosition(core), QList<int>({0, 0, 0}));

        // With the scan already off, a green update touches neither.
        QSignalSpy notice(&core.presence(), &ShellPresence::scanNoticeVisibilityChanged);
        core.network().discovery().setScanPosition(3, 4, 5);
        status.update();
        QCOMPARE(stateOf(core), green);
        QVERIFY(notice.isEmpty());
        QCOMPARE(scanPosition(core), QList<int>({3, 4, 5}));

        peers.pop_back();
        QTRY_COMPARE_WITH_TIMEOUT(status.peerCount(), 4, 10000);
        QCOMPARE(stateOf(core), four);
    }
};

QTEST_MAIN(StatusDisplayTest)
#include "tst_statusdisplay.moc"
