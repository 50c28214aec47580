// Attacks on a running quelm program from hostile hosts on loopback. After
// each, the program must still run, still answer a legitimate peer's search
// and give back what the attack made it hold.
#include "support/fakepeer.h"
#include "support/quelmprocess.h"
#include "support/testcopy.h"

#include "common/programfolder.h"
#include "net/acceptbounds.h"
#include "net/controlconnections.h"
#include "net/wirecodec.h"
#include "net/wirekeywords.h"
#include "transfer/transfermessages.h"
#include "transfer/transferstreamparser.h"
#include "transfer/fileupload.h"
#include "transfer/uploadserver.h"

#include <QHostAddress>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/resource.h>

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

// The shared name in the first answer to `query`; empty when none came.
QByteArray firstResultName(FakePeer &peer, const QByteArray &copyId, const QByteArray &query)
{
    const QByteArray prefix = "result:" + query + ':';
    QByteArray name;
    const bool answered = QTest::qWaitFor(
        [&] {
            for (const QByteArray &message : peer.takeFrames(copyId)) {
                if (message.startsWith(prefix)) {
                    name = message.mid(prefix.size()).split('|').first();
                    return true;
                }
            }
            return false;
        },
        15000);
    return answered ? name : QByteArray();
}

bool resultArrives(FakePeer &peer, const QByteArray &copyId, const QByteArray &query)
{
    return !firstResultName(peer, copyId, query).isEmpty();
}

// A well-behaved peer from an address of its own greets the copy and
// searches; the shared name of the first result, or empty.
QByteArray legitimateSearch(const QuelmProcess &copy)
{
    FakePeer peer(LegitId, TestCopy::nextLoopbackAddress());
    const QByteArray copyId = peer.greet(copy.address(), copy.port());
    if (copyId.isEmpty())
        return {};
    peer.sendFrames({"id/client", "nick:legit", "search:target"}, copyId);
    return firstResultName(peer, copyId, "target");
}

bool legitimateSearchAnswered(const QuelmProcess &copy)
{
    return !legitimateSearch(copy).isEmpty();
}

// A requester from an address of its own asks for the whole of `sharedName`;
// the file data it holds when all `size` bytes came or the copy hung up.
QByteArray legitimateDownload(const QuelmProcess &copy, const QByteArray &sharedName, qsizetype size)
{
    QTcpSocket socket;
    socket.bind(QHostAddress(TestCopy::nextLoopbackAddress()), 0);
    socket.connectToHost(copy.address(), static_cast<quint16>(copy.port()));
    socket.write(TransferMessages::fileRequest(sharedName, 0));
    TransferStreamParser parser;
    QByteArray data;
    // What came is returned either way; the caller compares it with the file.
    [[maybe_unused]] const bool ended = QTest::qWaitFor(
        [&] {
            for (const TransferStreamParser::Event &event : parser.feed(socket.readAll())) {
                if (event.kind == TransferStreamParser::Event::Data)
                    data += event.text;
            }
            return data.size() >= size || socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000);
    return data;
}

int countInState(const Sockets &sockets, QAbstractSocket::SocketState state)
{
    return static_cast<int>(std::count_if(sockets.begin(), sockets.end(),
                                          [state](const auto &socket) { return socket->state() == state; }));
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

// Asks for `sharedName` and takes `bytesPerSecond` of its data, ten times a
// second, until `size` bytes came, the copy hung up or `boundMs` passed; the
// bytes taken.
qint64 readAtPace(const QuelmProcess &copy, const QByteArray &sharedName, qint64 size, qint64 bytesPerSecond,
                  int boundMs)
{
    QTcpSocket socket;
    // What is not taken stays with the system, which then stops the sender.
    socket.setReadBufferSize(bytesPerSecond / 10);
    socket.bind(QHostAddress(TestCopy::nextLoopbackAddress()), 0);
    socket.connectToHost(copy.address(), static_cast<quint16>(copy.port()));
    socket.write(TransferMessages::fileRequest(sharedName, 0));
    TransferStreamParser parser;
    qint64 taken = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, &socket, [&] {
        for (const TransferStreamParser::Event &event : parser.feed(socket.read(bytesPerSecond / 10))) {
            if (event.kind == TransferStreamParser::Event::Data)
                taken += event.text.size();
        }
    });
    pace.start(100);
    [[maybe_unused]] const bool ended = QTest::qWaitFor(
        [&] { return taken >= size || socket.state() == QAbstractSocket::UnconnectedState; }, boundMs);
    return taken;
}

// Whether the copy's size comes back near `baselineKiB` once an attack ended.
bool memorySettles(QuelmProcess &copy, qint64 baselineKiB)
{
    if (!MemoryMeasurable)
        return true;
    if (QTest::qWaitFor([&] { return copy.residentKiB() <= baselineKiB + SettledSlackKiB; }, SettleTimeoutMs))
        return true;
    qWarning("Still %lld KiB above the baseline", copy.residentKiB() - baselineKiB);
    return false;
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
    void transferRequestFloods();
    void slowReaderIsServedToTheEnd();
    void requesterThatTakesNothingGivesWay();
    void queuedTransfersLeaveRoomForLinks();
    void idleControlClientsLeaveTheOwnerServed();

private:
    // A started copy sharing files that "target" finds, each holding
    // `content`; its settled size is `baselineKiB`.
    std::unique_ptr<QuelmProcess> startVictim(qint64 &baselineKiB, int sharedFiles = 1,
                                              const QByteArray &content = "x");
};

std::unique_ptr<QuelmProcess> HostileTest::startVictim(qint64 &baselineKiB, int sharedFiles,
                                                       const QByteArray &content)
{
    auto copy = std::make_unique<QuelmProcess>("victim", DescriptorLimit);
    for (int i = 0; i < sharedFiles; ++i)
        copy->share(QStringLiteral("target%1.txt").arg(i, 4, 10, QLatin1Char('0')), content);
    if (!copy->start())
        return nullptr;
    // The first search loads what every later one uses.
    if (!QTest::qWaitFor([&copy] { return legitimateSearchAnswered(*copy); }, 20000))
        return nullptr;
    // Start-up may still be filling caches: the baseline is a size that held
    // for a quarter of a second.
    qint64 previous = copy->residentKiB();
    for (int i = 0; i < 12; ++i) {
        QTest::qWait(250);
        const qint64 now = copy->residentKiB();
        if (qAbs(now - previous) < 256)
            break;
        previous = now;
    }
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
    QVERIFY(memorySettles(*copy, baseline));
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
    QVERIFY(memorySettles(*copy, baseline));
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
    QVERIFY(memorySettles(*copy, baseline));
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
    QVERIFY(memorySettles(*copy, baseline));
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

void HostileTest::transferRequestFloods()
{
    constexpr int HeldAttempts = 120;
    constexpr int RefusedAttempts = 60;
    // The copy looks for silent connections every few seconds, not at once.
    constexpr int SilenceSlackMs = 10000;
    QByteArray content;
    for (int i = 0; content.size() < 1024 * 1024; ++i)
        content += QByteArray::number(i) + ' ';
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline, 1, content);
    QVERIFY(copy);

    // From one host, requests that never end or are never answered: each
    // may wait for the silence bound, and the host holds no more than its
    // share of connections.
    const QByteArray fileFields = TransferMessages::encodeTwice("1:target0000.txt|");
    const QList<QByteArray> held{
        {},
        WireKeywords::FileRequest + fileFields.left(fileFields.size() / 2),
        QByteArray(WireKeywords::FileInfoRequest) + "Dj",
        TransferMessages::fileInfoRequest("0:nosuch.txt"),
    };
    // From another, requests the copy can judge at once: too long, empty,
    // unknown, for no shared file, or one too many on a connection.
    const QList<QByteArray> refused{
        WireKeywords::FileRequest + QByteArray(UploadServer::MaxRequestLength + 1024, 'A'),
        "getfile:|",
        "getfiles:" + fileFields + '|',
        TransferMessages::fileRequest("0:nosuch.txt", 0),
        TransferMessages::fileInfoRequest("0:a") + TransferMessages::fileInfoRequest("0:b")
            + TransferMessages::fileInfoRequest("0:c"),
    };
    Sockets heldFlood;
    const QString heldFrom = TestCopy::nextLoopbackAddress();
    for (int i = 0; i < HeldAttempts; ++i)
        openFrom(heldFlood, heldFrom, *copy)->write(held.at(i % held.size()));
    Sockets refusedFlood;
    const QString refusedFrom = TestCopy::nextLoopbackAddress();
    for (int i = 0; i < RefusedAttempts; ++i)
        openFrom(refusedFlood, refusedFrom, *copy)->write(refused.at(i % refused.size()));

    QTRY_VERIFY_WITH_TIMEOUT(countInState(refusedFlood, QAbstractSocket::UnconnectedState) == RefusedAttempts,
                             ControlConnections::HandshakeTimeoutMs / 2);
    // The held connections came first, so the copy has judged them all by now.
    const int stillHeld = countInState(heldFlood, QAbstractSocket::ConnectedState);
    const int heldBound =
        AcceptBounds::maxTransfersPerAddress(DescriptorLimit) + AcceptBounds::MaxUnidentifiedPerAddress;
    QVERIFY2(stillHeld > 0 && stillHeld <= heldBound, qPrintable(QString::number(stillHeld)));
    QVERIFY(copy->isRunning());
    QVERIFY2(copy->openDescriptors() < DescriptorLimit * 3 / 4, qPrintable(QString::number(copy->openDescriptors())));
    const QByteArray sharedName = legitimateSearch(*copy);
    QVERIFY(!sharedName.isEmpty());
    QCOMPARE(legitimateDownload(*copy, sharedName, content.size()), content);

    QTRY_VERIFY_WITH_TIMEOUT(countInState(heldFlood, QAbstractSocket::UnconnectedState) == HeldAttempts,
                             ControlConnections::HandshakeTimeoutMs + SilenceSlackMs);
    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY(copy->isRunning());
    QVERIFY(memorySettles(*copy, baseline));
}

// A requester that reads steadily but slower than the copy sends keeps the
// copy's send backlog full for longer than any stall bound.
void HostileTest::slowReaderIsServedToTheEnd()
{
    constexpr qint64 Size = 40 << 20;
    constexpr qint64 Pace = 1000 * 1000;
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline, 1, QByteArray(Size, 's'));
    QVERIFY(copy);
    const QByteArray sharedName = legitimateSearch(*copy);
    QVERIFY(!sharedName.isEmpty());
    QCOMPARE(readAtPace(*copy, sharedName, Size, Pace, static_cast<int>(Size * 2000 / Pace)), Size);
}

void HostileTest::requesterThatTakesNothingGivesWay()
{
    // Larger than what the system and the copy hold for one connection.
    constexpr qint64 Size = 32 << 20;
    constexpr int SlackMs = 15000;
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline, 1, QByteArray(Size, 'n'));
    QVERIFY(copy);
    const QByteArray sharedName = legitimateSearch(*copy);
    QVERIFY(!sharedName.isEmpty());
    Sockets idle;
    openFrom(idle, TestCopy::nextLoopbackAddress(), *copy)->write(TransferMessages::fileRequest(sharedName, 0));
    // Its upload has begun: it holds the queue's head.
    QTRY_VERIFY(idle.front()->bytesAvailable() > 0);
    // The next requester is served once the idle one has taken nothing for the stall bound.
    QCOMPARE(readAtPace(*copy, sharedName, Size, 100 * 1000 * 1000, FileUpload::StallTimeoutMs + SlackMs), Size);
    QVERIFY(copy->isRunning());
}

void HostileTest::queuedTransfersLeaveRoomForLinks()
{
    constexpr int Addresses = 4;
    qint64 baseline = 0;
    std::unique_ptr<QuelmProcess> copy = startVictim(baseline);
    QVERIFY(copy);
    const QByteArray sharedName = legitimateSearch(*copy);
    QVERIFY(!sharedName.isEmpty());
    // Queued requests, each holding its connection open: more than the copy takes.
    Sockets flood;
    const int perAddress = AcceptBounds::maxTransfersPerAddress(DescriptorLimit);
    for (int a = 0; a < Addresses; ++a) {
        const QString from = TestCopy::nextLoopbackAddress();
        for (int i = 0; i < perAddress; ++i)
            openFrom(flood, from, *copy)->write(TransferMessages::fileRequest(sharedName, 0));
    }
    [[maybe_unused]] const bool allSettled = QTest::qWaitFor([&flood] { return settled(flood); }, 5000);
    QVERIFY(legitimateSearchAnswered(*copy));
    QVERIFY2(copy->openDescriptors() < DescriptorLimit * 3 / 4, qPrintable(QString::number(copy->openDescriptors())));
    QVERIFY(copy->isRunning());
}

// A thousand local clients that connect to quelmd's control socket and never
// send a request must not keep the owner's own command out.
void HostileTest::idleControlClientsLeaveTheOwnerServed()
{
    constexpr int IdleClients = 1000;
    QuelmProcess daemon("keeper", 0, QString(), QuelmProcess::Program::Headless);
    QVERIFY(daemon.start());
    rlimit limit{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    limit.rlim_cur = limit.rlim_max;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
    QVERIFY2(limit.rlim_cur > IdleClients + 64, "the descriptor limit is too low for the flood");
    const QString path = ProgramFolder::controlSocketPath(daemon.home());
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < IdleClients; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(path);
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::none_of(idle.cbegin(), idle.cend(),
                                          [](const auto &socket) {
                                              return socket->state() == QLocalSocket::ConnectingState;
                                          }),
                             20000);

    QProcess owner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), daemon.home());
    owner.setProcessEnvironment(environment);
    owner.start(QStringLiteral(QUELM_CLI_EXECUTABLE), {QStringLiteral("status")});
    QVERIFY(owner.waitForFinished(20000));
    QVERIFY2(owner.exitCode() == 0, owner.readAllStandardError().constData());
    QVERIFY(owner.readAllStandardOutput().contains("keeper"));
    QVERIFY(daemon.isRunning());
}

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
