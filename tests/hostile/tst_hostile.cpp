// Attacks on a running quelm program from hostile hosts on loopback. After
// each, the program must still run, still answer a legitimate peer's search
// and give back what the attack made it hold.
#include "support/fakepeer.h"
#include "support/quelmprocess.h"
#include "support/testcopy.h"

#include "net/wirecodec.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

const QByteArray LegitId = "4C4547495431";
const QByteArray AttackerId = "BADBADBAD0";
constexpr int DescriptorLimit = 256;
// What the program may keep once an attack has ended.
constexpr qint64 SettledSlackKiB = 10 * 1024;
constexpr int SettleTimeoutMs = 20000;

#ifdef QUELM_SANITIZED
// The address sanitizer keeps freed memory in quarantine: sizes tell nothing there.
constexpr bool MemoryMeasurable = false;
#else
constexpr bool MemoryMeasurable = true;
#endif

using Sockets = std::vector<std::unique_ptr<QTcpSocket>>;

// Connects from `from` without waiting; the event loop completes it.
QTcpSocket *openFrom(Sockets &sockets, const QString &from, const QuelmProcess &copy)
{
    auto socket = std::make_unique<QTcpSocket>();
    // What the copy sends is left unread, as a peer that never reads would.
    socket->setReadBufferSize(1024);
    socket->bind(QHostAddress(from), 0);
    socket->connectToHost(copy.address(), static_cast<quint16>(copy.port()));
    sockets.push_back(std::move(socket));
    return sockets.back().get();
}

bool settled(const Sockets &sockets)
{
    for (const auto &socket : sockets) {
        const auto state = socket->state();
        if (state != QAbstractSocket::ConnectedState && state != QAbstractSocket::UnconnectedState)
            return false;
    }
    return true;
}

bool resultArrives(FakePeer &peer, const QByteArray &copyId, const QByteArray &query)
{
    return QTest::qWaitFor(
        [&] {
            for (const QByteArray &message : peer.takeFrames(copyId)) {
                if (message.startsWith("result:" + query + ':'))
                    return true;
            }
            return false;
        },
        15000);
}

// A well-behaved peer from an address of its own greets the copy and searches.
bool legitimateSearchAnswered(const QuelmProcess &copy)
{
    FakePeer peer(LegitId, TestCopy::nextLoopbackAddress());
    const QByteArray copyId = peer.greet(copy.address(), copy.port());
    if (copyId.isEmpty())
        return false;
    peer.sendFrames({"id/client", "nick:legit", "search:target"}, copyId);
    return resultArrives(peer, copyId, "target");
}

// Sends `block` `times` times, each after the previous one has left.
void pour(QTcpSocket &socket, const QByteArray &block, int times)
{
    for (int i = 0; i < times && socket.state() == QAbstractSocket::ConnectedState; ++i) {
        socket.write(block);
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) {
        }
    }
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT

private slots:
    void connectionFloods_data();
    void connectionFloods();
    void frameFloods_data();
    void frameFloods();
    void unreadSearchAnswers();
    void partialFramesBeforeIdentity();
    void repeatedHostLists();

private:
    // A started copy sharing one file that "target" finds; its settled size is `baselineKiB`.
    std::unique_ptr<QuelmProcess> startVictim(qint64 &baselineKiB, int sharedFiles = 1);
};

std::unique_ptr<QuelmProcess> HostileTest::startVictim(qint64 &baselineKiB, int sharedFiles)
{
    auto copy = std::make_unique<QuelmProcess>("victim", DescriptorLimit);
    for (int i = 0; i < sharedFiles; ++i)
        copy->share(QStringLiteral("target%1.txt").arg(i, 4, 10, QLatin1Char('0')));
    if (!copy->start())
        return nullptr;
    // The first search loads what every later one uses.
    if (!QTest::qWaitFor([&copy] { return legitimateSearchAnswered(*copy); }, 20000))
        return nullptr;
    baselineKiB = copy->residentKiB();
    return copy;
}

void HostileTest::connectionFloods_data()
{
    QTest::addColumn<int>("addresses");
    QTest::addColumn<int>("perAddress");
    QTest::addColumn<bool>("searchDuringFlood");
    // One host holds far more than the descriptor limit's worth.
    QTest::newRow("one address") << 1 << 1000 << true;
    // Many hosts together reach the bound on all accepted connections.
    QTest::newRow("many addresses") << 40 << 8 << false;
}

void HostileTest::connectionFloods()
{
    QFETCH(int, addresses);
    QFETCH(int, perAddress);
    QFETCH(bool, searchDuringFlood);
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline);
    QVERIFY(copy);

    Sockets flood;
    for (int a = 0; a < addresses; ++a) {
        const QString from = TestCopy::nextLoopbackAddress();
        for (int i = 0; i < perAddress; ++i) {
            QTcpSocket *socket = openFrom(flood, from, *copy);
            // Some stay silent, some start a handshake line and stop.
            if (i % 2)
                socket->write("uid:");
        }
    }
    // Beyond the copy's bound, connections wait in the system's queue and
    // never settle: the wait ends at its timeout then.
    [[maybe_unused]] const bool allSettled = QTest::qWaitFor([&flood] { return settled(flood); }, 5000);
    QVERIFY(copy->isRunning());
    QVERIFY2(copy->openDescriptors() < DescriptorLimit * 3 / 4, qPrintable(QString::number(copy->openDescriptors())));
    if (searchDuringFlood)
        QVERIFY(legitimateSearchAnswered(*copy));

    flood.clear();
    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY(copy->isRunning());
    if (MemoryMeasurable)
        QTRY_VERIFY_WITH_TIMEOUT(copy->residentKiB() <= baseline + SettledSlackKiB, SettleTimeoutMs);
}

void HostileTest::frameFloods_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("megabytes");
    // Each of these once rebuilt the user list and redrew the status.
    QTest::newRow("blocked flags") << QByteArray("blocked:0") << 20;
    QTest::newRow("shared counts") << QByteArray("fileshared:12345") << 20;
    QTest::newRow("keep-alives") << QByteArray("//keepalive\\\\") << 20;
    QTest::newRow("unknown keyword") << QByteArray("nonsense:") + QByteArray(200, 'n') << 50;
}

void HostileTest::frameFloods()
{
    QFETCH(QByteArray, message);
    QFETCH(int, megabytes);
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline);
    QVERIFY(copy);

    FakePeer attacker(AttackerId, TestCopy::nextLoopbackAddress());
    const QByteArray copyId = attacker.greet(copy->address(), copy->port());
    QVERIFY(!copyId.isEmpty());
    attacker.sendFrames({"id/client", "nick:flood"}, copyId);
    const QByteArray frame = WireCodec::frameMessage(message, AttackerId, copyId);
    QByteArray block;
    while (block.size() < 1024 * 1024)
        block += frame;
    pour(attacker.socket(), block, megabytes);
    // Frames are handled in order: the answer to this search means the flood is through.
    attacker.sendFrames({"search:target"}, copyId);
    QVERIFY(resultArrives(attacker, copyId, "target"));

    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY(copy->isRunning());
    if (MemoryMeasurable)
        QTRY_VERIFY_WITH_TIMEOUT(copy->residentKiB() <= baseline + SettledSlackKiB, SettleTimeoutMs);
}

void HostileTest::unreadSearchAnswers()
{
    constexpr int Links = 4;
    constexpr int SearchesPerLink = 8;
    constexpr int SharedFiles = 300;
    // Each answer repeats the query, so every result is about as long as this.
    const QByteArray query = "target " + QByteArray(400 * 1024, 'q');
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline, SharedFiles);
    QVERIFY(copy);

    std::vector<std::unique_ptr<FakePeer>> attackers;
    for (int i = 0; i < Links; ++i) {
        auto attacker = std::make_unique<FakePeer>(AttackerId + QByteArray::number(i), TestCopy::nextLoopbackAddress());
        const QByteArray copyId = attacker->greet(copy->address(), copy->port());
        QVERIFY(!copyId.isEmpty());
        // From here on nothing more is read.
        attacker->socket().disconnect();
        attacker->socket().setReadBufferSize(1024);
        QList<QByteArray> messages{"id/client", "nick:hungry"};
        for (int s = 0; s < SearchesPerLink; ++s)
            messages.append("search:" + query);
        attacker->sendFrames(messages, copyId);
        attackers.push_back(std::move(attacker));
    }
    // Unbounded, these answers would queue some gigabytes; bounded, a few
    // megabytes per link, and the copy keeps serving others meanwhile.
    QVERIFY(legitimateSearchAnswered(*copy));
    const qint64 perLinkKiB = 16 * 1024;
    QVERIFY2(!MemoryMeasurable || copy->residentKiB() <= baseline + Links * perLinkKiB,
             qPrintable(QString::number(copy->residentKiB() - baseline)));

    attackers.clear();
    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY(copy->isRunning());
    if (MemoryMeasurable)
        QTRY_VERIFY_WITH_TIMEOUT(copy->residentKiB() <= baseline + SettledSlackKiB, SettleTimeoutMs);
}

void HostileTest::partialFramesBeforeIdentity()
{
    constexpr int Addresses = 8;
    constexpr int PerAddress = 8;
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline);
    QVERIFY(copy);

    Sockets attackers;
    for (int a = 0; a < Addresses; ++a) {
        const QString from = TestCopy::nextLoopbackAddress();
        for (int i = 0; i < PerAddress; ++i) {
            QTcpSocket *socket = openFrom(attackers, from, *copy);
            // Named, but no "id/": then most of a frame as large as any may be.
            socket->write("uid:" + AttackerId + QByteArray::number(a * PerAddress + i) + "!!!!|quelm|"
                          + QByteArray(1000 * 1000, 'x'));
        }
    }
    // The copy takes a few KiB from each and hangs up on them.
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(attackers.begin(), attackers.end(),
                                         [](const auto &socket) {
                                             return socket->state() == QAbstractSocket::UnconnectedState;
                                         }),
                             15000);
    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY(copy->isRunning());
    if (MemoryMeasurable)
        QTRY_VERIFY_WITH_TIMEOUT(copy->residentKiB() <= baseline + SettledSlackKiB, SettleTimeoutMs);
}

void HostileTest::repeatedHostLists()
{
    constexpr int Listening = 8;
    constexpr int ListLength = 200;
    constexpr int Repeats = 30;
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline);
    QVERIFY(copy);

    // The first addresses of the list answer and hang up; however often the
    // list comes, the copy tries each of them once within the retry interval.
    std::vector<std::unique_ptr<QTcpServer>> listeners;
    std::vector<int> accepted(Listening, 0);
    QByteArray list = "hostlist:";
    for (int i = 0; i < ListLength; ++i) {
        const QString address = TestCopy::nextLoopbackAddress();
        list += address.toLatin1() + '|';
        if (i >= Listening)
            continue;
        auto server = std::make_unique<QTcpServer>();
        QVERIFY(server->listen(QHostAddress(address), static_cast<quint16>(copy->port())));
        connect(server.get(), &QTcpServer::newConnection, this, [&accepted, i, raw = server.get()] {
            // Hung up on at once, as a host that is no peer would.
            while (QTcpSocket *socket = raw->nextPendingConnection()) {
                ++accepted[static_cast<size_t>(i)];
                socket->abort();
                socket->deleteLater();
            }
        });
        listeners.push_back(std::move(server));
    }

    FakePeer attacker(AttackerId, TestCopy::nextLoopbackAddress());
    const QByteArray copyId = attacker.greet(copy->address(), copy->port());
    QVERIFY(!copyId.isEmpty());
    attacker.sendFrames({"id/client", "nick:lister"}, copyId);
    for (int i = 0; i < Repeats; ++i) {
        attacker.sendFrames({list}, copyId);
        QTest::qWait(50);
    }
    QTRY_VERIFY(std::all_of(accepted.begin(), accepted.end(), [](int count) { return count >= 1; }));
    QTest::qWait(1000);
    for (int i = 0; i < Listening; ++i)
        QVERIFY2(accepted[static_cast<size_t>(i)] == 1, qPrintable(QString::number(accepted[static_cast<size_t>(i)])));
    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY(copy->isRunning());
}

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
