// File transfers between copies on loopback, and the same files fetched
// from nginx for reference: the large one with curl, the small ones with
// this program's own plain HTTP reader.
//
//   bench_transfer [--small] [parent-folder]   (default: the system's temporary folder)
//
// --small runs the small-file figure alone, with nothing else to prepare.
//
// A real quelm process serves; the requesting copies run in this process.
// The timer measurement needs a serving copy whose event loop it can watch:
// for that one run this program starts itself as the server (--serve).
// Every address is in one block of 127/8 chosen per run. Needs about 2.3 GB
// of free space below the parent folder; nginx and curl come from Debian
// (apt-get install nginx curl); without nginx, python3's http.server serves.

#include "benchsupport.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "shell/core.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qint64 BigSize = qint64(1) << 30;
constexpr qint64 MediumSize = 50 << 20;
constexpr int SmallFiles = 1000;
// The folder download: FolderFiles files of SmallSize in FolderBranches x
// FolderBranches nested folders.
constexpr int FolderFiles = 10000;
constexpr int FolderBranches = 10;
constexpr int SmallSize = 4096;
constexpr int Requesters = 20;
constexpr int Runs = 3;
constexpr int Port = 1971;
constexpr int HttpPort = 8080;

;

double seconds(qint64 nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// User and system CPU time a process has used so far.
qint64 processCpuNanoseconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command name, which may hold blanks itself.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong();
    return ticks * (1000000000 / ::sysconf(_SC_CLK_TCK));
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

bool writePattern(const QString &path, qint64 size, int seed)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(std::min<qint64>(size, 8 << 20), Qt::Uninitialized);
    quint32 state = 2166136261u ^ static_cast<quint32>(seed);
    for (qint64 written = 0; written < size;) {
        for (qsizetype i = 0; i < block.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            block[i] = static_cast<char>(state >> 24);
        }
        const qint64 piece = std::min<qint64>(block.size(), size - written);
        if (file.write(block.constData(), piece) != piece)
            return false;
        written += piece;
    }
    return true;
}

QByteArray digestOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

bool listensOn(const QString &address, int port)
{
    QTcpSocket probe;
    probe.connectToHost(address, static_cast<quint16>(port));
    return probe.waitForConnected(300);
}

void prepareHome(const QString &home, const QString &address, const QByteArray &nickname)
{
    const CoreConfig config = CoreConfig::forHome(home, address);
    SettingsStore settings(config.userSettingsPath, config.machineSettingsPath);
    settings.set(QLatin1String(SettingNames::Nickname), nickname);
    settings.set(QLatin1String(SettingNames::EnableScanning), "0");
    settings.set(QLatin1String(SettingNames::EnableUDP), "0");
    settings.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                           QLatin1String(SettingNames::ProductID), "bench-" + address.toLatin1());
}

// Downloads one shared file; returns the seconds it took, or -1. The wait
// ends on the download's own end, so no polling step is counted in.
double download(Core &core, const QByteArray &sharedName, const QString &from, int timeoutMs = 600000)
{
    Transfers &transfers = core.transfers();
    DeadDownloadListModel &ended = transfers.deadDownloadList();
    const int before = ended.rowCount();
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&transfers, &Transfers::downloadEnded, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    const int id = transfers.start(sharedName, from);
    limit.start(timeoutMs);
    if (ended.rowCount() == before)
        loop.exec();
    if (ended.rowCount() == before) {
        transfers.cancel(id);
        return -1;
    }
    if (ended.at(before).state.state() != Download::State::Complete)
        return -1;
    const double elapsed = seconds(clock.nsecsElapsed());
    QFile::remove(ended.at(before).finishedPath);
    return elapsed;
}

// Fetches a file again and again until one download completes: a copy
// answers only once its index is in place. False when none did within
// `attempts` tries of 2 s. A plain loop, since waitFor() around a download
// would start the next one from inside the first one's wait.
bool downloadOnceServed(Core &core, const QByteArray &sharedName, const QString &from, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (download(core, sharedName, from, 2000) >= 0)
            return true;
    }
    return false;
}

// The serving program: quelmd (the copy without its window, which these
// figures do not involve), or this program in --serve mode.
class Server
{
public:
    Server(const QString &home, const QString &address, const QStringList &program)
        : m_address(address)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUELM_HOME"), home);
        environment.insert(QStringLiteral("QUELM_ADDRESS"), address);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program.first(), program.mid(1));
    }
    ~Server()
    {
        // The --serve mode ends at the end of its input, quelmd in order on SIGTERM.
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(1000))
            m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool waitUntilListening()
    {
        return m_process.waitForStarted() && waitFor([this] { return listensOn(m_address, Port); }, 30000);
    }
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }

private:
    QString m_address;
    QProcess m_process;
};

// The serving side of the timer measurement: a copy with a 10 ms timer whose
// latest tick it reports when its standard input closes.
int serve()
{
    QuietPrompter prompter;
    Core core(CoreConfig::fromEnvironment({}, QCoreApplication::applicationDirPath()), prompter);
    if (!core.start())
        return 1;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QElapsedTimer clock;
    qint64 worstLateNs = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        worstLateNs = std::max(worstLateNs, clock.nsecsElapsed() - 10000000);
        clock.restart();
    });
    clock.start();
    timer.start(10);
    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    // Ends on end of input, checked between ticks.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(0, &set);
        timeval none{0, 0};
        char byte;
        if (select(1, &set, nullptr, nullptr, &none) > 0 && ::read(0, &byte, 1) <= 0) {
            std::printf("%.1f\n", static_cast<double>(worstLateNs) / 1e6);
            std::fflush(stdout);
            QCoreApplication::quit();
        }
    });
    watch.start(100);
    return QCoreApplication::exec();
}

struct Addresses {
    QString requester, server, http, timerServer;
    QString manyRequesters(int i) const { return requester.section('.', 0, 2) + '.' + QString::number(20 + i); }
};

Addresses chooseAddresses()
{
    const quint32 a = QRandomGenerator::global()->bounded(1u, 250u);
    const quint32 b = QRandomGenerator::global()->bounded(1u, 250u);
    const QString base = QStringLiteral("127.%1.%2.").arg(a).arg(b);
    return {base + '1', base + '2', base + '3', base + '4'};
}

void benchThroughput(Core &requester, Server &server, const QString &serverAddress)
{
    std::vector<double> times;
    qint64 serverBase = residentKiB(server.pid()), serverPeak = serverBase;
    qint64 ownBase = residentKiB(getpid()), ownPeak = ownBase;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        serverPeak = std::max(serverPeak, residentKiB(server.pid()));
        ownPeak = std::max(ownPeak, residentKiB(getpid()));
    });
    sampler.start(50);
    for (int run = 0; run < Runs; ++run)
        times.push_back(download(requester, "1:big.bin", serverAddress));
    sampler.stop();
    std::printf("quelm, 1 GiB:   runs %.2f %.2f %.2f s, median %.2f s (%.0f MB/s)\n", times[0], times[1], times[2],
                median(times), static_cast<double>(BigSize) / 1e6 / median(times));
    std::printf("memory growth during transfers: server %+.1f MiB, requester %+.1f MiB (target < 64 MiB each)\n",
                static_cast<double>(serverPeak - serverBase) / 1024, static_cast<double>(ownPeak - ownBase) / 1024);
}

// nginx (or, for the large file alone, python3's http.server) serving
// `root` on address:HttpPort while the object lives.
class HttpServer
{
public:
    HttpServer(const QString &root, const QString &address, const QString &work, bool nginxOnly = false)
    {
        const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/usr/bin"});
        if (!nginx.isEmpty()) {
            m_name = QStringLiteral("nginx");
            const QString folder = work + "/nginx";
            QDir().mkpath(folder);
            QFile conf(folder + "/nginx.conf");
            conf.open(QIODevice::WriteOnly);
            // The folders are private to this user, so the worker runs as this user too.
            const QString user = ::getuid() == 0 ? QStringLiteral("user root;\n") : QString();
            conf.write((user + QStringLiteral("worker_processes 1; pid %1/pid; error_log %1/error.log;\n"
                                              "events {}\nhttp { access_log off; sendfile on; client_body_temp_path %1;\n"
                                              "  proxy_temp_path %1; fastcgi_temp_path %1; uwsgi_temp_path %1;\n"
                                              "  scgi_temp_path %1;\n"
                                              "  server { listen %2:%3; root %4; } }\n")
                                   .arg(folder, address)
                                   .arg(HttpPort)
                                   .arg(root))
                           .toUtf8());
            conf.close();
            m_process.start(nginx, {"-c", conf.fileName(), "-p", folder, "-g", "daemon off;"});
        } else if (!nginxOnly) {
            m_name = QStringLiteral("python3");
            m_process.setWorkingDirectory(root);
            m_process.start(QStringLiteral("python3"),
                            {"-m", "http.server", QString::number(HttpPort), "--bind", address});
        }
        m_listening = !m_name.isEmpty() && m_process.waitForStarted()
                      && waitFor([&] { return listensOn(address, HttpPort); }, 10000);
    }
    ~HttpServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool isListening() const { return m_listening; }
    // "nginx" or "python3"; empty when neither is there.
    QString name() const { return m_name; }

private:
    QProcess m_process;
    QString m_name;
    bool m_listening = false;
};

double benchCurl(const QString &root, const QString &address, const QString &work)
{
    const HttpServer http(root, address, work);
    if (!http.isListening()) {
        std::printf("curl: no HTTP server could start\n");
        return -1;
    }
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        QProcess::execute(QStringLiteral("curl"), {"-s", "-f", "-o", work + "/curl.out",
                                                   QStringLiteral("http://%1:%2/big.bin").arg(address).arg(HttpPort)});
        times.push_back(seconds(clock.nsecsElapsed()));
        const qint64 fetched = QFileInfo(work + "/curl.out").size();
        QFile::remove(work + "/curl.out");
        if (fetched != BigSize) {
            std::printf("curl fetched %lld bytes, not the whole file\n", static_cast<long long>(fetched));
            return -1;
        }
    }
    std::printf("curl (%s), 1 GiB: runs %.2f %.2f %.2f s, median %.2f s\n", qPrintable(http.name()), times[0],
                times[1], times[2], median(times));
    return median(times);
}

void benchResponsiveness(Core &requester, const QString &parent, const Addresses &addresses, const QString &bigFile)
{
    QTemporaryDir home(parent + QStringLiteral("/bench_transfer_XXXXXX"));
    QDir().mkpath(home.filePath("Downloads"));
    if (::link(QFile::encodeName(bigFile).constData(), QFile::encodeName(home.filePath("Downloads/big.bin")).constData()) != 0
        || !writePattern(home.filePath("Downloads/ready.dat"), SmallSize, 0)) {
        std::printf("timer: cannot prepare the serving copy's files\n");
        return;
    }
    prepareHome(home.path(), addresses.timerServer, "timed");
    Server server(home.path(), addresses.timerServer,
                  {QCoreApplication::applicationFilePath(), QStringLiteral("--serve")});
    if (!server.waitUntilListening()) {
        std::printf("timer: the serving copy did not start\n");
        return;
    }
    ControlConnections &connections = requester.network().connections();
    // The copy answers only once its port test is over and its index is in place.
    if (!downloadOnceServed(requester, "1:ready.dat", addresses.timerServer, 15)) {
        std::printf("timer: the serving copy never served\n");
        return;
    }
    connections.connectTo(addresses.timerServer);
    const auto linked = [&] {
        const int index = connections.findConnection(addresses.timerServer);
        return index >= 0 && !connections.record(index).nickname.isEmpty();
    };
    if (!waitFor(linked, 10000)) {
        std::printf("timer: no control link to the serving copy\n");
        return;
    }
    // Searches go out every 200 ms while the upload runs; each is timed to its first result.
    Dispatcher &dispatcher = requester.network().dispatcher();
    QElapsedTimer asked;
    double worstAnswerMs = 0;
    bool waiting = false;
    QObject scope;
    QObject::connect(&dispatcher, &Dispatcher::resultReceived, &scope, [&] {
        if (waiting)
            worstAnswerMs = std::max(worstAnswerMs, static_cast<double>(asked.nsecsElapsed()) / 1e6);
        waiting = false;
    });
    QTimer searcher;
    int searches = 0, unanswered = 0;
    QObject::connect(&searcher, &QTimer::timeout, [&] {
        if (waiting && asked.elapsed() < 1000)
            return;
        unanswered += waiting;
        if (requester.transfers().downloadList().rowCount() == 0)
            return;
        asked.restart();
        waiting = true;
        ++searches;
        requester.sharing().search().submitSearch("big", QStringLiteral("All File Types"));
    });
    searcher.start(200);
    const double elapsed = download(requester, "1:big.bin", addresses.timerServer);
    searcher.stop();
    server.process().closeWriteChannel();
    server.process().waitForFinished(10000);
    const QByteArray late = server.process().readAllStandardOutput().trimmed();
    std::printf("during a 1 GiB upload (%.2f s): 10 ms timer on the server at most %s ms late (target 50); "
                "%d searches, %d unanswered within 1 s, slowest first result %.1f ms (target 100)\n",
                elapsed, late.constData(), searches, unanswered, worstAnswerMs);
}

void benchManyRequesters(const QString &parent, const Addresses &addresses, const QString &mediumFile)
{
    QuietPrompter prompter;
    std::vector<std::unique_ptr<QTemporaryDir>> homes;
    std::vector<std::unique_ptr<Core>> copies;
    for (int i = 0; i < Requesters; ++i) {
        homes.push_back(std::make_unique<QTemporaryDir>(parent + QStringLiteral("/bench_transfer_XXXXXX")));
        copies.push_back(startCopy(homes.back()->path(), addresses.manyRequesters(i), "requester", prompter));
        if (!copies.back()) {
            std::printf("%d requesters: a copy did not start\n", Requesters);
            return;
        }
    }
    std::vector<QList<int>> positions(Requesters);
    for (int i = 0; i < Requesters; ++i) {
        DownloadListModel &list = copies[i]->transfers().downloadList();
        QObject::connect(&list, &QAbstractItemModel::dataChanged, [&list, &positions, i] {
            for (int row = 0; row < list.rowCount(); ++row) {
                const DownloadState &state = list.at(row).state;
                if (state.state() == Download::State::Queued
                    && (positions[i].isEmpty() || positions[i].last() != state.queuePosition()))
                    positions[i].append(state.queuePosition());
            }
        });
    }
    QElapsedTimer clock;
    clock.start();
    for (auto &copy : copies)
        copy->transfers().start("1:medium.bin", addresses.server);
    const bool allEnded = waitFor(
        [&] {
            return std::all_of(copies.begin(), copies.end(),
                               [](auto &copy) { return copy->transfers().deadDownloadList().rowCount() > 0; });
        },
        600000);
    const double elapsed = seconds(clock.nsecsElapsed());
    const QByteArray expected = digestOf(mediumFile);
    int identical = 0, countedDown = 0;
    for (int i = 0; i < Requesters; ++i) {
        const DeadDownloadListModel &ended = copies[i]->transfers().deadDownloadList();
        identical += ended.rowCount() > 0 && ended.at(0).state.state() == Download::State::Complete
                     && digestOf(ended.at(0).finishedPath) == expected;
        const QList<int> &seen = positions[i];
        bool down = true;
        for (int k = 1; k < seen.size(); ++k)
            down = down && seen[k] < seen[k - 1];
        countedDown += down;
    }
    std::printf("%d requesters x 50 MiB at once: %s in %.2f s, %d byte-identical, %d saw their position only fall\n",
                Requesters, allEnded ? "all ended" : "NOT all ended", elapsed, identical, countedDown);
}

// Fetches `path` from address:HttpPort as HTTP/1.0 on a connection of its
// own and writes the body to `target`; false on any failure. Each wait is
// bounded by the socket's time-outs, the answer by MaxAnswer.
bool httpFetch(const QString &address, const QByteArray &path, const QString &target)
{
    constexpr qsizetype MaxAnswer = 1 << 20;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(HttpPort);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &server.sin_addr) != 1)
        return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const QByteArray request = "GET /" + path + " HTTP/1.0\r\nHost: " + address.toLatin1() + "\r\n\r\n";
    QByteArray answer;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server) == 0
              && ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) == request.size();
    char buffer[65536];
    for (ssize_t got = 1; ok && got > 0 && answer.size() <= MaxAnswer;) {
        got = ::recv(fd, buffer, sizeof buffer, 0);
        ok = got >= 0;
        if (got > 0)
            answer.append(buffer, static_cast<qsizetype>(got));
    }
    ::close(fd);
    const qsizetype body = answer.indexOf("\r\n\r\n");
    if (!ok || body < 0 || !answer.startsWith("HTTP/1.1 200") || answer.size() > MaxAnswer)
        return false;
    QFile file(target);
    return file.open(QIODevice::WriteOnly) && file.write(answer.constData() + body + 4, answer.size() - body - 4)
                                                 == answer.size() - body - 4;
}

QByteArray smallFilePath(int i)
{
    return "small/f" + QByteArray::number(i).rightJustified(4, '0') + ".dat";
}

// nginx serving `count` files, named by `pathOf`, to a plain reader that
// opens one connection per file, one after another: prints the figure and
// returns the files per second, or 0 without nginx.
double nginxRate(const QString &root, const QString &httpAddress, const QString &work, int count,
                 const std::function<QByteArray(int)> &pathOf)
{
    const HttpServer http(root, httpAddress, work, true);
    if (!http.isListening()) {
        std::printf("the same files from nginx: skipped, nginx is not installed (apt-get install nginx)\n");
        return 0;
    }
    const QString target = work + "/http.out";
    QElapsedTimer clock;
    clock.start();
    int fetched = 0;
    for (int i = 0; i < count; ++i) {
        fetched += httpFetch(httpAddress, pathOf(i), target);
        QFile::remove(target);
    }
    const double elapsed = seconds(clock.nsecsElapsed());
    std::printf("the same files from nginx, one connection each: %d complete in %.2f s, %.0f files/s\n", fetched,
                elapsed, fetched / elapsed);
    return fetched / elapsed;
}

// Quelm's figure for the small files, and beside it nginx serving the same
// files to a plain reader that opens one connection per file.
void benchSmallFiles(Core &requester, const Server &server, const QString &serverAddress, const QString &root,
                     const QString &httpAddress, const QString &work)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 ownCpu = threadCpuNanoseconds();
    const qint64 serverCpu = processCpuNanoseconds(server.pid());
    int done = 0;
    for (int i = 0; i < SmallFiles; ++i) {
        const QByteArray name = "1:" + smallFilePath(i).replace('/', '\\');
        done += download(requester, name, serverAddress, 10000) >= 0;
    }
    const double elapsed = seconds(clock.nsecsElapsed());
    std::printf("%d files of 4 KiB one after another: %d complete in %.2f s, %.0f files/s (target >= 2000)\n",
                SmallFiles, done, elapsed, done / elapsed);
    // What each file cost in work, whatever else the machine was doing.
    std::printf("  CPU per file: requester %.0f us, server %.0f us\n",
                static_cast<double>(threadCpuNanoseconds() - ownCpu) / 1e3 / SmallFiles,
                static_cast<double>(processCpuNanoseconds(server.pid()) - serverCpu) / 1e3 / SmallFiles);
    const double rate = nginxRate(root, httpAddress, work, SmallFiles, smallFilePath);
    if (rate > 0)
        std::printf("  quelm at %.2f x nginx's rate\n", (done / elapsed) / rate);
}

// The shared name of file i of the folder tree, as the server lists it.
QString folderTreePath(int i)
{
    const int leaf = i % (FolderBranches * FolderBranches);
    return QStringLiteral("tree/d%1/e%2/f%3.dat").arg(leaf / FolderBranches).arg(leaf % FolderBranches).arg(i);
}

bool writeFolderTree(const QString &shared)
{
    for (int i = 0; i < FolderFiles; ++i) {
        if (!writePattern(shared + QLatin1Char('/') + folderTreePath(i), SmallSize, i))
            return false;
    }
    return true;
}

void benchFolder(Core &requester, const QString &serverAddress, const QString &root, const QString &httpAddress,
                 const QString &work)
{
    std::vector<FolderDownload::File> files;
    for (int i = 0; i < FolderFiles; ++i)
        files.push_back({"1:" + folderTreePath(i).toUtf8().replace('/', '\\'), serverAddress, SmallSize});
    FolderDownloads &folders = requester.transfers().folders();
    QElapsedTimer clock;
    clock.start();
    const int id = folders.startFolder(serverAddress, "1:tree", std::move(files), QStringLiteral("server"));
    const bool ended = waitFor(
        [&] {
            const FolderDownload *group = folders.group(id);
            return group && group->status() != FolderDownload::Status::Running && group->runningCount() == 0;
        },
        600000);
    const double elapsed = seconds(clock.nsecsElapsed());
    const int done = folders.group(id) ? folders.group(id)->filesDone() : 0;
    std::printf("a folder of %d files of 4 KiB in %d nested folders: %s, %d complete in %.2f s, %.0f files/s "
                "(target >= 2000)\n",
                FolderFiles, FolderBranches * FolderBranches, ended ? "ended" : "NOT ended", done, elapsed,
                done / elapsed);
    QDir(requester.transfers().downloadsFolder() + QStringLiteral("/tree")).removeRecursively();
    const double rate =
        nginxRate(root, httpAddress, work, FolderFiles, [](int i) { return folderTreePath(i).toUtf8(); });
    if (rate > 0)
        std::printf("  quelm at %.2f x nginx's rate\n", (done / elapsed) / rate);
}

// A folder of 100,000 files from a peer that is not there: how long the
// group takes to start, and the longest the event loop is held (a 5 ms
// timer's latest tick) until its refused connections have ended every file.
void benchLargeFolderStart(Core &requester, const QString &absentAddress)
{
    constexpr int Files = 100000;
    std::vector<FolderDownload::File> files;
    files.reserve(Files);
    for (int i = 0; i < Files; ++i)
        files.push_back({"1:huge\\d" + QByteArray::number(i % 100) + "\\f" + QByteArray::number(i) + ".dat",
                         absentAddress, SmallSize});
    FolderDownloads &folders = requester.transfers().folders();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    qint64 worstLateNs = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstLateNs = std::max(worstLateNs, sinceTick.nsecsElapsed() - 5000000);
        sinceTick.restart();
    });
    QElapsedTimer clock;
    clock.start();
    const int id = folders.startFolder(absentAddress, "1:huge", std::move(files), QStringLiteral("absent"));
    const double startMs = clock.nsecsElapsed() / 1e6;
    sinceTick.start();
    ticker.start(5);
    const bool ended = waitFor(
        [&] {
            const FolderDownload *group = folders.group(id);
            return group && group->status() != FolderDownload::Status::Running && group->runningCount() == 0;
        },
        30000);
    ticker.stop();
    std::printf("a folder of %d files from a peer that is not there: started in %.1f ms; %s, the event loop held "
                "at most %.1f ms (target: 50 ms)\n",
                Files, startMs, ended ? "every file ended" : "NOT every file ended", worstLateNs / 1e6);
    requester.transfers().clearEnded();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("--serve"))
        return serve();
    QStringList arguments = app.arguments().mid(1);
    const bool smallOnly = arguments.removeAll(QStringLiteral("--small")) > 0;
    const QString parent = arguments.value(0, QDir::tempPath());
    QTemporaryDir serverHome(parent + QStringLiteral("/bench_transfer_XXXXXX"));
    QTemporaryDir requesterHome(parent + QStringLiteral("/bench_transfer_XXXXXX"));
    if (!serverHome.isValid() || !requesterHome.isValid()) {
        std::printf("usage: bench_transfer [writable-folder]\n");
        return 2;
    }
    const Addresses addresses = chooseAddresses();
    const QString shared = serverHome.filePath(QStringLiteral("Downloads"));
    std::printf("preparing 1 GiB, 50 MiB, %d small files and a folder of %d below %s\n", SmallFiles, FolderFiles,
                qPrintable(parent));
    std::fflush(stdout);
    bool written = smallOnly
                   || (writePattern(shared + "/big.bin", BigSize, 1) && writePattern(shared + "/medium.bin", MediumSize, 2));
    for (int i = 0; written && i < SmallFiles; ++i)
        written = writePattern(shared + QStringLiteral("/small/f%1.dat").arg(i, 4, 10, QLatin1Char('0')), SmallSize, i);
    written = written && (smallOnly || writeFolderTree(shared));
    if (!written) {
        std::printf("cannot write the files\n");
        return 1;
    }
    prepareHome(serverHome.path(), addresses.server, "server");
    Server server(serverHome.path(), addresses.server, {QStringLiteral(QUELMD_EXECUTABLE)});
    QuietPrompter prompter;
    std::unique_ptr<Core> requester = startCopy(requesterHome.path(), addresses.requester, "requester", prompter);
    if (!requester || requester->localPeer().port() != Port || !server.waitUntilListening()) {
        std::printf("the copies did not start on port %d\n", Port);
        return 1;
    }
    // The server answers once its first index is in place.
    if (!downloadOnceServed(*requester, "1:small\\f0000.dat", addresses.server, 30)) {
        std::printf("the server never served\n");
        return 1;
    }
    if (smallOnly) {
        benchSmallFiles(*requester, server, addresses.server, shared, addresses.http, requesterHome.path());
        return 0;
    }
    benchThroughput(*requester, server, addresses.server);
    const double curl = benchCurl(shared, addresses.http, requesterHome.path());
    if (curl > 0)
        std::printf("target: quelm's median at most 0.8 x curl's = %.2f s\n", 0.8 * curl);
    benchSmallFiles(*requester, server, addresses.server, shared, addresses.http, requesterHome.path());
    benchFolder(*requester, addresses.server, shared, addresses.http, requesterHome.path());
    benchLargeFolderStart(*requester, addresses.timerServer);
    benchManyRequesters(parent, addresses, shared + "/medium.bin");
    benchResponsiveness(*requester, parent, addresses, shared + "/big.bin");
    return 0;
}
