#include "cli/commandcatalog.h"
#include "cli/commandline.h"
#include "cli/commandrunner.h"
#include "cli/controlclient.h"
#include "cli/diagnosisprinter.h"
#include "cli/progressbar.h"
#include "cli/progressdisplay.h"
#include "cli/replyprinter.h"
#include "common/hashingprogress.h"
#include "common/programfolder.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QString WorkingFolder = QStringLiteral("/home/ann");

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QByteArray compact(const QJsonObject &request)
{
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

// Plays quelmd on the control socket of the test's program folder: reads the
// one request line, then writes the scripted chunks one event-loop turn
// apart (so lines may arrive cut), and closes unless told to stay.
class FakeDaemon final : public QObject
{
public:
    explicit FakeDaemon(QList<QByteArray> chunks, bool closeAtEnd = true)
        : m_chunks(std::move(chunks))
        , m_closeAtEnd(closeAtEnd)
    {
        const QString path = ProgramFolder::controlSocketPath(ProgramFolder::fromEnvironment());
        QLocalServer::removeServer(path);
        m_server.listen(path);
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            m_client = m_server.nextPendingConnection();
            connect(m_client, &QLocalSocket::readyRead, this, &FakeDaemon::readRequest);
        });
    }

    bool isListening() const { return m_server.isListening(); }
    const QByteArray &request() const { return m_request; }

private:
    void readRequest()
    {
        m_request += m_client->readAll();
        if (m_request.endsWith('\n'))
            writeNext();
    }

    void writeNext()
    {
        if (m_chunks.isEmpty()) {
            if (m_closeAtEnd)
                m_client->disconnectFromServer();
            return;
        }
        m_client->write(m_chunks.takeFirst());
        m_client->flush();
        QTimer::singleShot(20, this, &FakeDaemon::writeNext);
    }

    QLocalServer m_server;
    QLocalSocket *m_client = nullptr;
    QList<QByteArray> m_chunks;
    QByteArray m_request;
    bool m_closeAtEnd;
};

} // namespace

class TestCli final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("QUELM_HOME", m_home.path().toUtf8());
    }

    void everyCommandBecomesItsRequest_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("json");
        auto row = [](const char *name, const QStringList &arguments, const QByteArray &request, bool json = false) {
            QTest::newRow(name) << arguments << request << json;
        };
        row("status", {"status"}, R"({"command":"status"})");
        row("json before the command", {"--json", "peers"}, R"({"command":"peers"})", true);
        row("json after the command", {"peers", "--json"}, R"({"command":"peers"})", true);
        row("search", {"search", "blue", "moon", "--type", "Audio", "--wait", "12"},
            R"({"command":"search","words":"blue moon","type":"Audio","wait":12})");
        row("search, option first", {"search", "--wait=3", "jazz"}, R"({"command":"search","words":"jazz","wait":3})");
        row("browse", {"browse", "ann lee", "--wait", "2"}, R"({"command":"browse","nick":"ann lee","wait":2})");
        row("get", {"get", "1:music\\song.mp3", "--from", "127.0.0.2"},
            R"({"command":"get","name":"1:music\\song.mp3","from":"127.0.0.2"})");
        row("get, resuming from a nickname", {"get", "2:x.bin", "--resume", "--from=ann"},
            R"({"command":"get","name":"2:x.bin","from":"ann","resume":true})");
        row("get, several names", {"get", "1:a.bin", "1:b\\c.bin", "--from", "ann"},
            R"({"command":"get","names":["1:a.bin","1:b\\c.bin"],"from":"ann"})");
        row("get, a folder", {"get", "--folder", "2:photos\\2024", "--from", "ann"},
            R"({"command":"get","folder":"2:photos\\2024","from":"ann"})");
        row("downloads", {"downloads"}, R"({"command":"downloads"})");
        row("chat", {"chat", "hello", "all"}, R"({"command":"chat","text":"hello all"})");
        row("chat text that starts with a dash", {"chat", "--", "-dash", "text"},
            R"({"command":"chat","text":"-dash text"})");
        row("im", {"im", "127.0.0.3", "see", "you"}, R"({"command":"im","peer":"127.0.0.3","text":"see you"})");
        row("im to a nickname", {"im", "ann", "hi"}, R"({"command":"im","peer":"ann","text":"hi"})");
        row("block", {"block", "ann"}, R"({"command":"block","peer":"ann"})");
        row("unblock", {"unblock", "AB12"}, R"({"command":"unblock","peer":"AB12"})");
        row("share a relative folder", {"share", "add", "music/../films"},
            R"({"command":"share","action":"add","folder":"/home/ann/films"})");
        row("share an absolute folder", {"share", "remove", "/srv/shared/"},
            R"({"command":"share","action":"remove","folder":"/srv/shared"})");
        row("connect", {"connect", "127.0.0.4"}, R"({"command":"connect","peer":"127.0.0.4"})");
        row("diagnose", {"diagnose"}, R"({"command":"diagnose"})");
    }

    void everyCommandBecomesItsRequest()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, request);
        QFETCH(bool, json);
        const CommandLine::Parsed parsed = CommandLine::parse(QStringList{"quelm-cli"} + arguments, WorkingFolder);
        QCOMPARE(parsed.outcome, CommandLine::Outcome::Run);
        QCOMPARE(compact(parsed.request), compact(object(request)));
        QCOMPARE(parsed.json, json);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        auto row = [](const char *name, const QStringList &arguments, const QString &error) {
            QTest::newRow(name) << arguments << error;
        };
        row("no command", {}, "no command given");
        row("only a global option", {"--json"}, "no command given");
        row("unknown command", {"fly"}, "unknown command \"fly\"");
        row("missing argument", {"browse"}, "missing NICK");
        row("missing text", {"im", "127.0.0.3"}, "missing TEXT");
        row("empty words", {"search", " "}, "empty WORDS");
        row("extra argument", {"status", "now"}, "unexpected argument \"now\"");
        row("second id", {"block", "A1", "B2"}, "unexpected argument \"B2\"");
        row("get without a source", {"get", "1:x.bin"}, "missing --from PEER");
        row("get without the root number", {"get", "x.bin", "--from", "127.0.0.2"},
            "SHAREDNAME begins with its root number, as search and browse list it, for example 1:music\\song.mp3");
        row("get without names or a folder", {"get", "--from", "ann"}, "missing SHAREDNAME");
        row("get with names and a folder", {"get", "1:x.bin", "--folder", "1:d", "--from", "ann"},
            "give either SHAREDNAME or --folder");
        row("get with a second name outside a root", {"get", "1:x.bin", "y.bin", "--from", "ann"},
            "SHAREDNAME begins with its root number");
        row("option without its value", {"get", "1:x.bin", "--from"}, "Missing value after '--from'");
        row("empty option value", {"get", "1:x.bin", "--from="}, "empty --from");
        row("unknown share action", {"share", "copy", "/srv"}, "ACTION must be one of: add, remove");
        row("wait not a number", {"search", "x", "--wait", "soon"}, "--wait takes whole seconds from 1 to 3600");
        row("wait zero", {"search", "x", "--wait", "0"}, "--wait takes whole seconds");
        row("wait too long", {"browse", "ann", "--wait", "3601"}, "--wait takes whole seconds");
        row("unknown option after the command", {"peers", "--verbose"}, "Unknown option 'verbose'");
        row("unknown option before the command", {"--verbose", "peers"}, "Unknown option 'verbose'");
        row("option of another command", {"chat", "hi", "--resume"}, "Unknown option 'resume'");
        row("request over 64 KiB", {"chat", QString(64 * 1024, QLatin1Char('a'))}, "longer than quelmd accepts");
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CommandLine::Parsed parsed = CommandLine::parse(QStringList{"quelm-cli"} + arguments, WorkingFolder);
        QCOMPARE(parsed.outcome, CommandLine::Outcome::UsageError);
        QVERIFY(parsed.request.isEmpty());
        QVERIFY2(parsed.text.startsWith("quelm-cli: ") && parsed.text.contains(error), qPrintable(parsed.text));
        // The usage that goes with the error follows it.
        QVERIFY(parsed.text.contains("Usage: "));
    }

    void helpAndVersion()
    {
        const CommandLine::Parsed overview = CommandLine::parse({"quelm-cli", "--help"}, WorkingFolder);
        QCOMPARE(overview.outcome, CommandLine::Outcome::Help);
        const CommandCatalog catalog;
        for (const CliCommand &command : catalog.commands())
            QVERIFY2(overview.text.contains(command.synopsis()), qPrintable(command.name()));
        QVERIFY(overview.text.contains("3 quelmd is not running"));

        for (const QStringList &arguments : {QStringList{"get", "--help"}, QStringList{"--help", "get"}}) {
            const CommandLine::Parsed get = CommandLine::parse(QStringList{"quelm-cli"} + arguments, WorkingFolder);
            QCOMPARE(get.outcome, CommandLine::Outcome::Help);
            QVERIFY2(get.text.contains("get --from PEER [--resume] [--folder SHAREDFOLDER] [SHAREDNAME...]") && get.text.contains("--resume")
                         && get.text.contains("--json") && !get.text.contains("--wait"),
                     qPrintable(get.text));
        }

        const CommandLine::Parsed version = CommandLine::parse({"quelm-cli", "-v"}, WorkingFolder);
        QCOMPARE(version.outcome, CommandLine::Outcome::Version);
        QCOMPARE(version.text, QStringLiteral("quelm-cli " QUELM_VERSION_TEXT "\n"));
    }

    void progressBar_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("text");
        constexpr qint64 MiB = 1024 * 1024;
        constexpr qint64 GiB = 1024 * MiB;
        auto row = [](const char *name, qint64 received, qint64 total, qint64 rate, qint64 elapsed, const char *text) {
            QTest::newRow(name) << received << total << rate << elapsed << QString::fromUtf8(text);
        };
        row("size not known yet", 1536, 0, 0, 0, "[----------]   ?%  1.50 KB of ?  --/s  --:-- left");
        row("nothing yet", 0, MiB, 0, 0, "[----------]   0%  0 Bytes of 1.00 MB  --/s  --:-- left");
        row("rate known", MiB / 4, MiB, 64 * 1024, 3000,
            "[##--------]  25%  256.00 KB of 1.00 MB  64.00 KB/s  0:12 left");
        row("no rate: the average", MiB, 4 * MiB, 0, 4000,
            "[##--------]  25%  1.00 MB of 4.00 MB  256.00 KB/s  0:12 left");
        row("time left rounds up", 1000, 2000, 300, 0,
            "[#####-----]  50%  1000 Bytes of 1.95 KB  300 Bytes/s  0:04 left");
        row("an hour left", 0, 360000, 100, 0, "[----------]   0%  0 Bytes of 351.56 KB  100 Bytes/s  1:00:00 left");
        row("complete", MiB, MiB, 64 * 1024, 75000,
            "[##########] 100%  1.00 MB of 1.00 MB  64.00 KB/s  done in 1:15");
        row("over 4 GiB", 5 * GiB, 8 * GiB, 1024, 0,
            "[######----]  62%  5.00 GB of 8.00 GB  1.00 KB/s  873:48:48 left");
        row("one byte short of 6 GiB", 6 * GiB - 1, 6 * GiB, 10 * MiB, 0,
            "[#########-]  99%  6.00 GB of 6.00 GB  10.00 MB/s  0:01 left");
        row("largest counts", (qint64(1) << 62) - 1, qint64(1) << 62, 0, 0,
            "[#########-]  99%  4294967296.00 GB of 4294967296.00 GB  --/s  --:-- left");
        row("more than the total", 2000, 1000, 10, 5000,
            "[##########] 100%  1.95 KB of 1000 Bytes  10 Bytes/s  done in 0:05");
    }

    void progressBar()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(qint64, rate);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, text);
        QCOMPARE(ProgressBar::text(received, total, rate, elapsedMs), text);
    }

    void progressOnATerminalIsRedrawnInPlace()
    {
        ProgressDisplay display(ProgressDisplay::Mode::Terminal);
        const QString first = display.update(object(R"({"status":"Waiting in line","received":0,"total":0})"), 0);
        QVERIFY(first.startsWith("\rWaiting in line  [") && !first.contains('\n'));
        const QString second = display.update(object(R"({"status":"Receiving","received":0,"total":0})"), 10);
        // The shorter status leaves no characters of the longer one behind.
        QCOMPARE(second.size(), first.size());
        QVERIFY(second.startsWith("\rReceiving  [") && second.endsWith("   "));
        QCOMPARE(display.release(), QStringLiteral("\n"));
        QCOMPARE(display.release(), QString());

        // A line that wrapped could not be drawn over.
        ProgressDisplay narrow(ProgressDisplay::Mode::Terminal, 30);
        QCOMPARE(narrow.update(object(R"({"status":"Receiving","received":5,"total":10})"), 10),
                 QStringLiteral("\r50%  5 Bytes of 10 Bytes  500"));
        // On 80 columns the bar gives way before the time left does.
        ProgressDisplay standard(ProgressDisplay::Mode::Terminal, 80);
        const QString line = standard.update(
            QJsonObject{{"status", "Downloading..."}, {"received", (1LL << 30) - 2}, {"total", (1LL << 30) - 1},
                        {"rate", 10 * 1024 * 1024}},
            10);
        QVERIFY2(line.size() <= 80 && line.endsWith(QLatin1String("0:01 left")), qPrintable(line));
    }

    void progressIntoAFileIsAnOccasionalLine()
    {
        ProgressDisplay display(ProgressDisplay::Mode::Lines);
        auto event = [](const char *status, qint64 received) {
            return QJsonObject{{"status", status}, {"received", received}, {"total", 1000}, {"rate", 100}};
        };
        QStringList written;
        for (const auto &[status, received, at] : QList<std::tuple<const char *, qint64, qint64>>{
                 {"Receiving", 0, 0}, {"Receiving", 100, 1000}, {"Receiving", 400, 4999}, {"Receiving", 500, 5000},
                 {"Stalled", 500, 5200}, {"Receiving", 900, 5300}, {"Receiving", 1000, 5400}, {"Receiving", 1000, 5500}}) {
            const QString text = display.update(event(status, received), at);
            if (!text.isEmpty())
                written.append(QString::number(at) + QLatin1Char(' ') + text.section(QLatin1Char(' '), 0, 0));
            QVERIFY(text.isEmpty() || (text.endsWith('\n') && !text.contains('\r')));
        }
        // The first, the one due after the interval, each change of status and the completion.
        QCOMPARE(written, QStringList({"0 Receiving", "5000 Receiving", "5200 Stalled", "5300 Receiving", "5400 Receiving"}));
        QCOMPARE(display.release(), QString());
    }

    void resultsAndTablesLineUp()
    {
        ReplyPrinter search(object(R"({"command":"search","words":"song"})"));
        const QString first = search.eventText(object(
            R"({"event":"result","nickname":"ann","address":"127.0.0.2","name":"a\\song.mp3","size":5000000,"type":"Audio"})"));
        const QString second = search.eventText(object(
            R"({"event":"result","nickname":"bartholomew","address":"127.0.0.3","name":"song.ogg","size":12,"type":"Audio"})"));
        const QStringList lines = (first + second).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(1).indexOf("a\\song.mp3"), lines.at(0).lastIndexOf("NAME"));
        QCOMPARE(lines.at(2).indexOf("song.ogg"), lines.at(0).lastIndexOf("NAME"));
        QVERIFY(lines.at(1).contains("4.77 MB"));
        // A peer's name or file name never reaches the terminal as control characters.
        const QString hostile = search.eventText({{"event", "result"},
                                                  {"nickname", QStringLiteral("x\x1b]0;owned\x07")},
                                                  {"address", "127.0.0.4"},
                                                  {"name", QStringLiteral("a\nb") + QChar(0x9b) + QLatin1Char('c')},
                                                  {"size", "4.20 MB"}});
        QVERIFY2(!hostile.contains(QChar(0x1b)) && !hostile.contains(QChar(0x07)) && !hostile.contains(QChar(0x9b)),
                 qPrintable(hostile));
        QVERIFY(hostile.contains(QStringLiteral("x\uFFFD]0;owned\uFFFD")) && hostile.contains(QStringLiteral("a b\uFFFDc")));
        QVERIFY(hostile.contains(QStringLiteral("4.20 MB")));
        QCOMPARE(hostile.count('\n'), 1);
        QCOMPARE(search.successText(object(R"({"ok":true,"results":2})")), QStringLiteral("2 results.\n"));

        const ReplyPrinter peers(object(R"({"command":"peers"})"));
        const QStringList rows = peers.successText(object(R"({"ok":true,"peers":[
            {"nickname":"bartholomew","address":"127.0.0.3","id":"AB","sharedFiles":"1200","blockedByYou":true},
            {"nickname":"ann","address":"127.0.0.2","id":"CDEF","sharedFiles":"7","blocksYou":true}]})"))
                                        .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(1).indexOf("127.0.0.3"), rows.at(0).indexOf("ADDRESS"));
        QCOMPARE(rows.at(2).indexOf("127.0.0.2"), rows.at(0).indexOf("ADDRESS"));
        // Counts are right-aligned under their header.
        QCOMPARE(rows.at(1).indexOf("1200") + 4, rows.at(0).indexOf("FILES") + 5);
        QCOMPARE(rows.at(2).indexOf(" 7 ") + 2, rows.at(0).indexOf("FILES") + 5);
        QVERIFY(rows.at(1).endsWith("blocked by you") && rows.at(2).endsWith("blocks you"));
        QCOMPARE(peers.successText(object(R"({"ok":true,"peers":[]})")), QStringLiteral("No peers.\n"));
    }

    void statusShowsHashingProgress()
    {
        const ReplyPrinter status(object(R"({"command":"status"})"));
        const auto hashingLine = [&status](const char *reply) {
            const QStringList lines = status.successText(object(reply)).split('\n');
            for (const QString &line : lines) {
                if (line.startsWith(QStringLiteral("Hashing:")))
                    return line.mid(8).trimmed();
            }
            return QString();
        };
        QCOMPARE(hashingLine(R"({"ok":true,"hashedBytes":13314398618,"hashingBytes":365072220160})"),
                 QStringLiteral("12.4 of 340 GB"));
        QCOMPARE(hashingLine(R"({"ok":true,"hashedBytes":0,"hashingBytes":0})"), QStringLiteral("idle"));
        QCOMPARE((HashingProgress{1536, 2048}).text(), QStringLiteral("Hashing shared files: 1.5 of 2.0 KB"));
    }

    void diagnosisShowsEveryFieldThenTheFindings()
    {
        const QString text = DiagnosisPrinter::text(object(R"({"ok":true,"address":"127.0.0.5","subnet":"127.0.0.0/24",
            "port":4321,"portSelfTest":"passed","udp":false,"scanPosition":"127.0.0.77","scanMisses":9,
            "hostCache":["127.0.0.6","127.0.0.7"],"recentHosts":[],"blocked":[{"id":"BEEF01","nickname":"mallory"}],
            "peers":[{"address":"127.0.1.9","nickname":"remote","sameSubnet":false,"blockedByYou":false,"blocksYou":true}],
            "refusedLinks":[{"address":"127.0.0.8","reason":"blocked identifier","time":"12:01:02"}],
            "findings":["Peer remote is on another subnet.","UDP discovery is off."]})"));
        for (const char *expected : {"127.0.0.5", "127.0.0.0/24", "4321", "passed", "UDP discovery:   off",
                                     "127.0.0.77", "Scan misses:     9", "127.0.0.6, 127.0.0.7", "Recent hosts:    none",
                                     "BEEF01  mallory", "127.0.1.9  remote    other   blocks you",
                                     "12:01:02  127.0.0.8  blocked identifier"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
        QVERIFY2(text.endsWith("Findings:\n  - Peer remote is on another subnet.\n  - UDP discovery is off.\n"),
                 qPrintable(text));
    }

    void clientStreamsEventsThenTheFinalLine()
    {
        // The second event is cut in two.
        const QList<QByteArray> script{"{\"event\":\"result\",\"name\":\"a\"}\n{\"event\":\"res",
                                       "ult\",\"name\":\"b\"}\n", "{\"ok\":true,\"results\":2}\n"};
        FakeDaemon daemon(script);
        QVERIFY(daemon.isListening());
        ControlClient client(ProgramFolder::controlSocketPath(ProgramFolder::fromEnvironment()));
        QStringList log;
        connect(&client, &ControlClient::eventReceived, this,
                [&](const QJsonObject &event) { log.append(event.value("name").toString()); });
        connect(&client, &ControlClient::replied, this, [&](const QJsonObject &reply, const QByteArray &line) {
            log.append(QString::number(reply.value("results").toInt()));
            QCOMPARE(line, QByteArray(R"({"ok":true,"results":2})"));
        });
        connect(&client, &ControlClient::failed, this, [&] { log.append("failed"); });
        const QJsonObject request{{"command", "search"}, {"words", "x"}};
        client.send(request);
        QTRY_COMPARE(log, QStringList({"a", "b", "2"}));
        QCOMPARE(daemon.request(), compact(request) + '\n');
    }

    void clientFailures_data()
    {
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<bool>("closeAtEnd");
        QTest::addColumn<ControlClient::Failure>("failure");
        using F = ControlClient::Failure;
        QTest::newRow("closed after an event") << QList<QByteArray>{R"({"event":"progress"})" "\n"} << true
                                               << F::ConnectionLost;
        QTest::newRow("closed in the final line") << QList<QByteArray>{R"({"ok":tr)"} << true << F::ConnectionLost;
        QTest::newRow("not JSON, even with a final line after it")
            << QList<QByteArray>{"hello\n", R"({"ok":true})" "\n"} << true << F::BadReply;
        QTest::newRow("JSON but not an object") << QList<QByteArray>{"[1,2]\n"} << true << F::BadReply;
        QTest::newRow("neither event nor final") << QList<QByteArray>{R"({"status":"x"})" "\n"} << true << F::BadReply;
        QTest::newRow("ok that is not a boolean") << QList<QByteArray>{R"({"ok":"yes"})" "\n"} << true << F::BadReply;
        QTest::newRow("endless line on an open connection")
            << QList<QByteArray>{QByteArray(ControlClient::MaxLineBytes / 2, 'x'), QByteArray(ControlClient::MaxLineBytes / 2 + 1, 'x')}
            << false << F::BadReply;
    }

    void clientFailures()
    {
        QFETCH(QList<QByteArray>, script);
        QFETCH(bool, closeAtEnd);
        QFETCH(ControlClient::Failure, failure);
        FakeDaemon daemon(script, closeAtEnd);
        QVERIFY(daemon.isListening());
        ControlClient client(ProgramFolder::controlSocketPath(ProgramFolder::fromEnvironment()));
        QSignalSpy replied(&client, &ControlClient::replied);
        QSignalSpy failed(&client, &ControlClient::failed);
        client.send({{"command", "status"}});
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<ControlClient::Failure>(), failure);
        // Nothing more is reported once the exchange has failed.
        QTest::qWait(100);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(replied.count(), 0);
    }

    void runnerExitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QByteArray progress = R"({"event":"progress","name":"x.bin","status":"Receiving","received":512,"total":1024,"rate":256})" "\n";
        const QStringList get{"get", "1:x.bin", "--from", "127.0.0.2"};
        QTest::newRow("download complete")
            << get << QList<QByteArray>{progress, R"({"ok":true,"status":"Complete","state":"complete","path":"/dl/x.bin"})" "\n"} << 0
            << "Receiving  [#####-----]  50%  512 Bytes of 1.00 KB  256 Bytes/s  0:02 left\nSaved to /dl/x.bin\n"
            << "";
        QTest::newRow("download verified: the check is the last line")
            << get
            << QList<QByteArray>{R"j({"ok":true,"status":"Complete","state":"complete","path":"/dl/x.bin","verification":"verified (SHA-256 0123456789abcdef)"})j" "\n"}
            << 0 << "Saved to /dl/x.bin\nverified (SHA-256 0123456789abcdef)\n" << "";
        QTest::newRow("download ended by the server")
            << get
            << QList<QByteArray>{progress, R"({"ok":false,"status":"Remotely Terminated","error":"the peer stopped"})" "\n"}
            << 1 << "" << "the download ended with status \"Remotely Terminated\": the peer stopped";
        // The state word decides, not the text shown.
        QTest::newRow("download ok but not complete")
            << get << QList<QByteArray>{R"({"ok":true,"status":"Complete","state":"downloading"})" "\n"} << 1 << ""
            << "status \"Complete\"";
        QTest::newRow("quelmd gone mid-download") << get << QList<QByteArray>{progress} << 4 << "Receiving  ["
                                                  << "closed the connection before its final reply";
        QTest::newRow("usage error found by quelmd")
            << QStringList{"search", "a", "--type", "Pictures"}
            << QList<QByteArray>{R"({"ok":false,"usage":true,"error":"unknown type: Pictures"})" "\n"} << 2 << ""
            << "quelm-cli: unknown type: Pictures\n";
        QTest::newRow("refused get names no status")
            << get << QList<QByteArray>{R"({"ok":false,"error":"no linked peer is called ann"})" "\n"} << 1 << ""
            << "quelm-cli: no linked peer is called ann\n";
        QTest::newRow("whom a command acted on") << QStringList{"block", "ann"}
            << QList<QByteArray>{R"({"ok":true,"nickname":"ann","address":"127.0.0.5","id":"AB12"})" "\n"} << 0
            << "Blocked ann (127.0.0.5, ID AB12).\n" << "";
        QTest::newRow("refused command") << QStringList{"unblock", "AB"}
                                         << QList<QByteArray>{R"({"ok":false,"error":"AB is not blocked"})" "\n"} << 1
                                         << "" << "quelm-cli: AB is not blocked\n";
        QTest::newRow("unreadable reply") << QStringList{"status"} << QList<QByteArray>{"<html>\n"} << 4 << ""
                                          << "not a JSON object";
        const QByteArray result = R"({ "event": "result", "name": "a b.mp3", "size": 1 })" "\n";
        QTest::newRow("json lines pass unchanged")
            << QStringList{"--json", "search", "a"} << QList<QByteArray>{result, R"({"ok":true, "results":1})" "\n"} << 0
            << QString::fromUtf8(result + R"({"ok":true, "results":1})" "\n") << "";
    }

    void runnerExitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<QByteArray>, script);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        FakeDaemon daemon(script);
        QVERIFY(daemon.isListening());
        const CommandLine::Parsed parsed = CommandLine::parse(QStringList{"quelm-cli"} + arguments, WorkingFolder);
        QBuffer stdOut;
        QBuffer stdErr;
        stdOut.open(QIODevice::WriteOnly);
        stdErr.open(QIODevice::WriteOnly);
        CommandRunner runner(parsed.request, parsed.json, ProgramFolder::fromEnvironment(), {&stdOut, &stdErr, 0});
        QSignalSpy finished(&runner, &CommandRunner::finished);
        runner.start();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), exitCode);
        const QString written = QString::fromUtf8(stdOut.data());
        QVERIFY2(out.isEmpty() ? !written.contains("Saved") : written.startsWith(out), qPrintable(written));
        const QString errors = QString::fromUtf8(stdErr.data());
        QVERIFY2(err.isEmpty() ? errors.isEmpty() : errors.contains(err), qPrintable(errors));
    }

    void noDaemonIsNotRunning_data()
    {
        QTest::addColumn<bool>("staleSocketFile");
        QTest::newRow("no socket") << false;
        QTest::newRow("socket file left by a crash") << true;
    }

    void noDaemonIsNotRunning()
    {
        QFETCH(bool, staleSocketFile);
        const QString folder = ProgramFolder::fromEnvironment();
        const QString path = ProgramFolder::controlSocketPath(folder);
        QLocalServer::removeServer(path);
        if (staleSocketFile) {
            QFile stale(path);
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
        QBuffer stdOut;
        QBuffer stdErr;
        stdOut.open(QIODevice::WriteOnly);
        stdErr.open(QIODevice::WriteOnly);
        CommandRunner runner({{"command", "status"}}, false, folder, {&stdOut, &stdErr, 80});
        QSignalSpy finished(&runner, &CommandRunner::finished);
        runner.start();
        QTRY_COMPARE(finished.count(), 1);
        QFile::remove(path);
        QCOMPARE(finished.at(0).at(0).toInt(), 3);
        QCOMPARE(stdErr.data(), ("quelm-cli: quelmd is not running for " + folder + "\n").toUtf8());
        QVERIFY(stdOut.data().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
