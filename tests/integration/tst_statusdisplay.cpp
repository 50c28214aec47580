// The status logic of a copy as its peers come and go: copies in this
// process, each on a loopback address of its own.
#include "net/discovery.h"
#include "shell/statusdisplay.h"
#include "support/runningcopy.h"

#include <QSignalSpy>
#include <QtTest>
#include <array>
#include <memory>
#include <vector>

namespace {

std::array<int, 3> scanPosition(Core &core)
{
    return {core.discovery().scanHost(), core.discovery().scanBlock(), core.discovery().scanBlockTicks()};
}

} // namespace

class StatusDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void followsThePeerCount();
};

void StatusDisplayTest::followsThePeerCount()
{
    RunningCopy centre("centre");
    QVERIFY(centre.started());
    Core &core = centre.core();
    StatusDisplay &status = core.status();
    CoreTimers &timers = core.timers();

    QCOMPARE(status.peerCount(), 0);
    QCOMPARE(status.light(), StatusDisplay::Light::Red);
    QCOMPARE(status.statusText(), QStringLiteral("You are not connected to any peers!"));
    QVERIFY(!status.isSearchEnabled());
    QVERIFY(timers.scan.isActive());
    QVERIFY(timers.blink.isActive());

    QSignalSpy changed(&status, &StatusDisplay::changed);
    status.update();
    QCOMPARE(changed.count(), 1);

    std::vector<std::unique_ptr<RunningCopy>> peers;
    for (int i = 0; i < 5; ++i) {
        peers.push_back(std::make_unique<RunningCopy>("peer" + QByteArray::number(i)));
        QVERIFY(peers.back()->started());
    }
    for (int i = 0; i < 4; ++i)
        core.connections().connectTo(peers[i]->address());
    QTRY_COMPARE_WITH_TIMEOUT(centre.linkCount(), 4, 10000);
    status.update();
    QCOMPARE(status.peerCount(), 4);
    QCOMPARE(status.light(), StatusDisplay::Light::Yellow);
    QCOMPARE(status.statusText(), QStringLiteral("You are connected to only 4 peer(s)."));
    QCOMPARE(status.peerCountText(), QStringLiteral("You are sharing 0 file(s). Connected to 4 peer(s)."));
    QVERIFY(status.isSearchEnabled());
    QVERIFY(timers.scan.isActive());
    QVERIFY(timers.blink.isActive());

    // The fifth peer: the rebuild that follows its greeting refreshes the status.
    core.connections().connectTo(peers[4]->address());
    QTRY_COMPARE_WITH_TIMEOUT(status.peerCount(), 5, 10000);
    QCOMPARE(status.light(), StatusDisplay::Light::Green);
    QCOMPARE(status.statusText(), QStringLiteral("You are connected to 5 peer(s)."));
    QVERIFY(!timers.scan.isActive());
    QVERIFY(!timers.blink.isActive());
    QVERIFY(!core.isBlinkLabelVisible());
    QCOMPARE(scanPosition(core), (std::array<int, 3>{0, 0, 0}));

    // Green stops a running scan, hides the notice and rewinds the scan ...
    timers.scan.start();
    timers.blink.start();
    QTRY_VERIFY(core.isBlinkLabelVisible());
    core.discovery().setScanPosition(3, 4, 5);
    status.update();
    QVERIFY(!timers.scan.isActive());
    QVERIFY(!timers.blink.isActive());
    QVERIFY(!core.isBlinkLabelVisible());
    QCOMPARE(scanPosition(core), (std::array<int, 3>{0, 0, 0}));

    // ... but with the scan already off it touches neither.
    timers.blink.start();
    QTRY_VERIFY(core.isBlinkLabelVisible());
    timers.blink.stop();
    core.discovery().setScanPosition(3, 4, 5);
    status.update();
    QCOMPARE(status.light(), StatusDisplay::Light::Green);
    QVERIFY(core.isBlinkLabelVisible());
    QCOMPARE(scanPosition(core), (std::array<int, 3>{3, 4, 5}));

    // Below five peers the scan and the notice run again.
    peers.pop_back();
    QTRY_COMPARE_WITH_TIMEOUT(status.peerCount(), 4, 10000);
    QCOMPARE(status.light(), StatusDisplay::Light::Yellow);
    QVERIFY(timers.scan.isActive());
    QVERIFY(timers.blink.isActive());
}

QTEST_MAIN(StatusDisplayTest)
#include "tst_statusdisplay.moc"
