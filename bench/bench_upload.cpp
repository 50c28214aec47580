// The serving side under slow, many and idle requesters: a real quelmd on
// loopback serves, requesters in this process read at a fixed pace, read
// nothing, or come in bursts. Prints what each requester got and when.
//
//   bench_upload [path of quelmd [queue]]
//
// The default quelmd is the one built with this tree; "queue" runs only the
// idle-queue and flood cases.
//
// Every address is in 127/8. Needs about 70 MB in the temporary folder.

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "support/testcopy.h"
#include "transfer/transfermessages.h"
#include "transfer/transferstreamparser.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Port = 1971;
constexpr qint64 BigSize = qint64(64) << 20;
constexpr qint64 SmallSize = 100000;
const QByteArray BigName = "1:big.bin";
const QByteArray SmallName = "1:small.bin";

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// A quelmd with its own home and address, sharing a big and a small file.
class Server
{
public:
    explicit Server(const QString &executable)
        : m_address(TestCopy::nextLoopbackAddress())
    {
        SettingsStore settings(m_home.filePath(QStringLiteral("settings/user.ini")),
                               m_home.filePath(QStringLiteral("settings/machine.ini")));
        settings.set(QLatin1String(SettingNames::Nickname), "server");
        settings.set(QLatin1String(SettingNames::EnableScanning), "0");
        QDir(m_home.path()).mkpath(QStringLiteral("Downloads"));
        QFile big(m_home.filePath(QStringLiteral("Downloads/big.bin")));
        if (big.open(QIODevice::WriteOnly))
            big.resize(BigSize);
        QFile small(m_home.filePath(QStringLiteral("Downloads/small.bin")));
        if (small.open(QIODevice::WriteOnly))
            small.write(QByteArray(SmallSize, 's'));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUELM_HOME"), m_home.path());
        environment.insert(QStringLiteral("QUELM_ADDRESS"), m_address);
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setProgram(executable);
    }
    ~Server()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Started and serving the small file.
    bool start()
    {
        m_process.start();
        return m_process.waitForStarted(5000) && waitFor([this] { return answersFileInfo(); }, 30000);
    }
    QString address() const { return m_address; }

private:
    bool answersFileInfo()
    {
        QTcpSocket probe;
        probe.connectToHost(m_address, Port);
        if (!probe.waitForConnected(200))
            return false;
        probe.write(TransferMessages::fileInfoRequest(SmallName));
        return probe.waitForReadyRead(500) && probe.readAll().startsWith("fileinfo:");
    }

    QTemporaryDir m_home;
    QString m_address;
    QProcess m_process;
};

// One transfer connection that asks for a file and takes its data at a
// fixed pace (0: never).
class Requester
{
public:
    Requester(const Server &server, const QString &from, const QByteArray &sharedName, qint64 bytesPerSecond)
        : m_pace(bytesPerSecond)
    {
        m_clock.start();
        m_socket.setReadBufferSize(bytesPerSecond > 0 ? qMax<qint64>(64 * 1024, bytesPerSecond / 5) : 1024);
        m_socket.bind(QHostAddress(from), 0);
        m_socket.connectToHost(server.address(), Port);
        QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket,
                         [this, sharedName] { m_socket.write(TransferMessages::fileRequest(sharedName, 0)); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket, [this] { m_endedMs = m_clock.elapsed(); });
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket, [this] {
        if (m_endedMs < 0)
            m_endedMs = m_clock.elapsed();
    });
        if (m_pace == 0)
            return;
        QObject::connect(&m_timer, &QTimer::timeout, &m_socket, [this] { take(m_pace / 10); });
        m_timer.start(100);
    }

    // Reads whatever waits, at once.
    void takeAll() { take(m_socket.bytesAvailable()); }
    qint64 received() const { return m_received; }
    int firstPosition() const { return m_firstPosition; }
    bool ended() const { return m_endedMs >= 0; }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    double endedSeconds() const { return m_endedMs / 1000.0; }
    double seconds() const { return m_clock.elapsed() / 1000.0; }

private:
    void take(qint64 bytes)
    {
        for (const TransferStreamParser::Event &event : m_parser.feed(m_socket.read(bytes))) {
            if (event.kind == TransferStreamParser::Event::Data)
                m_received += event.text.size();
            else if (event.kind == TransferStreamParser::Event::Wait && m_firstPosition < 0)
                m_firstPosition = event.text.toInt();
        }
    }

    QTcpSocket m_socket;
    QTimer m_timer;
    QElapsedTimer m_clock;
    TransferStreamParser m_parser;
    qint64 m_pace;
    qint64 m_received = 0;
    qint64 m_endedMs = -1;
    int m_firstPosition = -1;
};

void slowReader(const QString &executable, qint64 pace, int boundSeconds)
{
    Server server(executable);
    if (!server.start()) {
        std::printf("slow reader: the server did not start\n");
        return;
    }
    Requester reader(server, TestCopy::nextLoopbackAddress(), BigName, pace);
    waitFor([&] { return reader.ended() || reader.received() >= BigSize; }, boundSeconds * 1000);
    std::printf("reader at %lld KB/s, 64 MiB file: %s after %.1f s with %.1f MB\n", pace / 1000,
                reader.received() >= BigSize ? "complete" : reader.ended() ? "cut" : "still reading",
                reader.ended() ? reader.endedSeconds() : reader.seconds(), reader.received() / 1e6);
}

void burst(const QString &executable, int downloads)
{
    Server server(executable);
    if (!server.start())
        return;
    const QString from = TestCopy::nextLoopbackAddress();
    std::vector<std::unique_ptr<Requester>> requesters;
    for (int i = 0; i < downloads; ++i)
        requesters.push_back(std::make_unique<Requester>(server, from, SmallName, 10 << 20));
    waitFor([&] {
        for (const auto &requester : requesters) {
            if (requester->received() < SmallSize && !requester->ended())
                return false;
        }
        return true;
    }, 60000);
    int complete = 0;
    for (const auto &requester : requesters)
        complete += requester->received() >= SmallSize;
    std::printf("%d downloads at once from one address: %d complete, %d cut\n", downloads, complete,
                downloads - complete);
}

void stalledHeads(const QString &executable, int stalled)
{
    Server server(executable);
    if (!server.start())
        return;
    std::vector<std::unique_ptr<Requester>> idle;
    for (int i = 0; i < stalled; ++i) {
        idle.push_back(std::make_unique<Requester>(server, TestCopy::nextLoopbackAddress(), BigName, 0));
        waitFor([] { return false; }, 200);
    }
    Requester legit(server, TestCopy::nextLoopbackAddress(), SmallName, 10 << 20);
    waitFor([&] { return legit.received() >= SmallSize || legit.ended(); }, 400000);
    std::printf("%d requesters that never read ahead: the next download %s after %.1f s\n", stalled,
                legit.received() >= SmallSize ? "complete" : "not complete", legit.seconds());
}

// Opens `count` requesters that never read, one after the other as an
// attacker's loop would, from `addresses` addresses in turn.
std::vector<std::unique_ptr<Requester>> idleRequesters(const Server &server, int count, int addresses)
{
    std::vector<QString> from;
    for (int a = 0; a < addresses; ++a)
        from.push_back(TestCopy::nextLoopbackAddress());
    std::vector<std::unique_ptr<Requester>> idle;
    for (int i = 0; i < count; ++i) {
        idle.push_back(std::make_unique<Requester>(server, from[static_cast<size_t>(i % addresses)], BigName, 0));
        const Requester &last = *idle.back();
        waitFor([&last] { return last.isConnected() || last.ended(); }, 1000);
        waitFor([] { return false; }, 2);
    }
    waitFor([] { return false; }, 2000);
    return idle;
}

int stillConnected(const std::vector<std::unique_ptr<Requester>> &requesters)
{
    int connected = 0;
    for (const auto &requester : requesters)
        connected += requester->isConnected();
    return connected;
}

void idleQueue(const QString &executable, int idleCount, int addresses)
{
    Server server(executable);
    if (!server.start())
        return;
    const std::vector<std::unique_ptr<Requester>> idle = idleRequesters(server, idleCount, addresses);
    Requester newcomer(server, TestCopy::nextLoopbackAddress(), SmallName, 10 << 20);
    waitFor([&] { return newcomer.firstPosition() >= 0 || newcomer.received() > 0 || newcomer.ended(); }, 10000);
    std::printf("%d idle requests from %d address(es), %d held: a newcomer from another waits at position %d\n",
                idleCount, addresses, stillConnected(idle), newcomer.firstPosition());
}

void handshakeDuringFlood(const QString &executable, int connections, int addresses)
{
    Server server(executable);
    if (!server.start())
        return;
    const std::vector<std::unique_ptr<Requester>> idle = idleRequesters(server, connections, addresses);
    QTcpSocket peer;
    peer.bind(QHostAddress(TestCopy::nextLoopbackAddress()), 0);
    peer.connectToHost(server.address(), Port);
    QByteArray reply;
    QObject::connect(&peer, &QTcpSocket::connected, &peer, [&peer] { peer.write("uid:BE0C4!!!!"); });
    QObject::connect(&peer, &QTcpSocket::readyRead, &peer, [&] { reply += peer.readAll(); });
    QElapsedTimer clock;
    clock.start();
    const bool answered = waitFor([&] { return reply.contains("!!!!"); }, 20000);
    std::printf("%d idle transfer connections from %d addresses, %d held: a new peer's handshake %s\n", connections,
                addresses, stillConnected(idle),
                answered ? qPrintable(QStringLiteral("answered in %1 s").arg(clock.elapsed() / 1000.0))
                         : "not answered within 20 s");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    const QString executable = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUELMD_EXECUTABLE);
    if (argc > 2 && qstrcmp(argv[2], "queue") == 0) {
        idleQueue(executable, 180, 1);
        idleQueue(executable, 180, 6);
        handshakeDuringFlood(executable, 1100, 40);
        return 0;
    }
    slowReader(executable, 200 * 1000, 75);
    slowReader(executable, 1000 * 1000, 75);
    burst(executable, 12);
    burst(executable, 40);
    stalledHeads(executable, 3);
    idleQueue(executable, 180, 1);
    idleQueue(executable, 180, 6);
    handshakeDuringFlood(executable, 1100, 40);
    return 0;
}
