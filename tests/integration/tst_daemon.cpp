// quelmd, the headless copy, as scripts and people drive it: real processes
// on loopback addresses, controlled through quelm-cli and, for what a broken
// or hostile client would send, straight through the control socket.
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "common/programfolder.h"
#include "daemon/daemonprompter.h"
#include "shell/core.h"
#include "shell/startupsequence.h"
#include "support/conflictingprogram.h"
#include "support/quelmprocess.h"
#include "support/sharedfiles.h"
#include "support/testcopy.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {

using Program = QuelmProcess::Program;

std::unique_ptr<QuelmProcess> daemonCopy(const QByteArray &nickname, const QString &address = {})
{
    return std::make_unique<QuelmProcess>(nickname, 0, address, Program::Headless);
}

QString socketOf(const QuelmProcess &daemon)
{
    return ProgramFolder::controlSocketPath(daemon.home());
}

// Sends raw bytes on the control socket and reads every reply line until the
// daemon closes, for at most `timeoutMs`.
QList<QJsonObject> exchange(const QString &socketPath, const QByteArray &bytes, int timeoutMs = 10000)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(bytes);
    QByteArray received;
    QDeadlineTimer deadline(timeoutMs);
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(100);
        received += socket.readAll();
    }
    received += socket.readAll();
    QList<QJsonObject> lines;
    for (const QByteArray &line : received.split('\n')) {
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

QJsonObject request(const QuelmProcess &daemon, const QJsonObject &body)
{
    const QList<QJsonObject> lines =
        exchange(socketOf(daemon), QJsonDocument(body).toJson(QJsonDocument::Compact) + '\n');
    return lines.isEmpty() ? QJsonObject() : lines.last();
}

QJsonObject status(const QuelmProcess &daemon)
{
    return request(daemon, {{QStringLiteral("command"), QStringLiteral("status")}});
}

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs quelm-cli against the daemon in `home`, bounded in time.
CliRun cli(const QString &home, const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), home);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUELM_CLI_EXECUTABLE), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(3000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool waitForPeers(const QuelmProcess &daemon, int count)
{
    return QTest::qWaitFor([&] { return status(daemon).value(QLatin1String("peers")).toInt() == count; }, 20000);
}

// An address on loopback whose second octet differs: another /16, so another
// subnet for a copy on `address`.
QString otherSubnet(const QString &address)
{
    QStringList octets = address.split(QLatin1Char('.'));
    octets[1] = QString::number(octets[1].toInt() % 250 + 1);
    return octets.join(QLatin1Char('.'));
}

bool containsText(const QJsonArray &sentences, const QString &first, const QString &second)
{
    for (const QJsonValue &sentence : sentences) {
        if (sentence.toString().contains(first) && sentence.toString().contains(second))
            return true;
    }
    return false;
}

} // namespace

class DaemonTest : public QObject
{
    Q_OBJECT

private slots:
    void refusesWithItsTextOnStandardError();
    void answersQuestionsForAnUnattendedCopy();
    void endsInOrderOnSigterm();
    void controlSocketIsTheOwnersAndSurvivesGarbage();
    void daemonsSearchAndDownloadThroughTheClient();
    void getFailsWhenTheServerDiesMidwayAndResumes();
    void diagnoseNamesBlockedAndOtherSubnetPeers();
    void peersAreNamedByNicknameOrAddress();
};

void DaemonTest::refusesWithItsTextOnStandardError()
{
    // Asking for help starts nothing; an unknown option is refused.
    QProcess help;
    help.start(QStringLiteral(QUELMD_EXECUTABLE), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().contains("quelm-cli"));
    help.start(QStringLiteral(QUELMD_EXECUTABLE), {QStringLiteral("--bogus")});
    QVERIFY(help.waitForFinished(10000));
    QVERIFY(help.exitCode() != 0);
    QVERIFY(help.readAllStandardError().contains("bogus"));

    // No nickname: the error names the setting and the file to put it in.
    QuelmProcess unnamed("", 0, {}, Program::Headless);
    QProcess &bare = unnamed.process();
    bare.start();
    QVERIFY(bare.waitForFinished(20000));
    QCOMPARE(bare.exitCode(), 1);
    const QByteArray missing = bare.readAllStandardError();
    QVERIFY2(missing.contains("Nickname") && missing.contains(QDir(unnamed.home()).filePath("settings/user.ini").toUtf8()),
             missing.constData());

    // A second copy on the same program folder.
    auto first = daemonCopy("first");
    QVERIFY(first->start());
    QProcess second;
    second.setProcessEnvironment(first->process().processEnvironment());
    second.start(QStringLiteral(QUELMD_EXECUTABLE), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 1);
    QVERIFY2(second.readAllStandardError().startsWith("Quelm is already running."), "refusal text");
    QCOMPARE(status(*first).value(QLatin1String("nickname")).toString(), QStringLiteral("first"));

}

void DaemonTest::answersQuestionsForAnUnattendedCopy()
{
    // A conflicting program: asked to retry or cancel, the copy cancels and ends.
    ConflictingProgram conflicting;
    QVERIFY(conflicting.started());
    TestCopy copy;
    copy.presetUserValue(QLatin1String(SettingNames::Nickname), "alone");
    CoreConfig config = copy.config();
    config.conflictingPrograms = {conflicting.name()};
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    DaemonPrompter prompter(outStream, errStream, config.userSettingsPath);
    Core core(config, prompter);
    QVERIFY(!core.start());
    QVERIFY2(err.startsWith(QLatin1String("Korvi is running. Please close it before running Quelm.")), qPrintable(err));

    // The firewall question takes Ignore (the untested fallback port); nobody confirms a yes-or-no question.
    QCOMPARE(prompter.messageBox(StartupSequence::firewallMessage(), Prompter::Buttons::AbortRetryIgnore,
                                 Prompter::Icon::None),
             Prompter::Answer::Ignore);
    QCOMPARE(prompter.messageBox(QStringLiteral("Block?"), Prompter::Buttons::YesNo, Prompter::Icon::Exclamation),
             Prompter::Answer::No);
    // Notices are one line each, whatever the peer-given text holds.
    prompter.showBalloon(QStringLiteral("Download Complete"), QStringLiteral("a\r\nb\x1b[2Jc"), 1);
    QCOMPARE(out, QStringLiteral("notice: Download Complete: a b [2Jc\n"));
}

void DaemonTest::endsInOrderOnSigterm()
{
    auto daemon = daemonCopy("leaver");
    QVERIFY(daemon->start());
    const QDir home(daemon->home());
    // A part parked by an earlier download: the store is emptied at the end.
    QFile parked(home.filePath(QStringLiteral("ForResume/part")));
    QVERIFY(parked.open(QIODevice::WriteOnly));
    parked.close();

    QVERIFY(daemon->stop());
    QVERIFY(daemon->output().contains("shutting down"));
    QCOMPARE(QDir(home.filePath(QStringLiteral("ForResume"))).entryList(QDir::Files).size(), 0);
    QVERIFY(!QFile::exists(socketOf(*daemon)));
    QLockFile lock(home.filePath(QStringLiteral("quelm.lock")));
    QVERIFY(lock.tryLock(0));
}

void DaemonTest::controlSocketIsTheOwnersAndSurvivesGarbage()
{
    auto daemon = daemonCopy("keeper");
    QVERIFY(daemon->start());
    const QString path = socketOf(*daemon);
    const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                            | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());
    QVERIFY(QFile::permissions(path) & QFile::WriteOwner);

    struct Case {
        QByteArray bytes;
        const char *error;
    };
    const QList<Case> cases{
        {"not json at all\n", "malformed"},
        {"[1,2,3]\n", "malformed"},
        {"{\"command\":\"reboot\"}\n", "unknown command"},
        {"{\"command\":\"get\",\"name\":\"1:x\",\"from\":\"not an address\"}\n", "no linked peer"},
        {"{\"command\":\"get\",\"name\":\"x\",\"from\":\"127.0.0.2\"}\n", "1:song.mp3"},
        {"{\"command\":\"block\",\"peer\":\"a|b\"}\n", "no linked peer"},
        {"{\"command\":\"share\",\"action\":\"add\",\"folder\":\"relative/path\"}\n", "absolute"},
        {QByteArray(70 * 1024, 'x'), "64 KiB"},
    };
    for (const Case &entry : cases) {
        const QList<QJsonObject> lines = exchange(path, entry.bytes);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().value(QLatin1String("ok")).toBool(true), false);
        QVERIFY2(lines.first().value(QLatin1String("error")).toString().contains(QLatin1String(entry.error)),
                 entry.error);
    }

    // A client that leaves in the middle of a search.
    {
        QLocalSocket leaving;
        leaving.connectToServer(path);
        QVERIFY(leaving.waitForConnected(3000));
        leaving.write("{\"command\":\"search\",\"words\":\"anything\",\"wait\":30}\n");
        QVERIFY(leaving.waitForBytesWritten(3000));
    }

    // A hundred clients at once are all answered.
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(std::make_unique<QLocalSocket>());
        clients.back()->connectToServer(path);
        QVERIFY(clients.back()->waitForConnected(3000));
        clients.back()->write("{\"command\":\"status\"}\n");
    }
    int answered = 0;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 answered = 0;
                                 for (auto &client : clients)
                                     answered += client->bytesAvailable() > 0 && client->canReadLine();
                                 return answered == 100;
                             }()),
                             20000);
    for (auto &client : clients)
        QVERIFY(QJsonDocument::fromJson(client->readLine()).object().value(QLatin1String("ok")).toBool());
    QVERIFY(daemon->isRunning());
    QCOMPARE(status(*daemon).value(QLatin1String("nickname")).toString(), QStringLiteral("keeper"));

    // Another user is turned away even when the file itself would let them in.
    if (geteuid() != 0)
        QSKIP("only root can run a client as another user");
    QVERIFY(QFile::setPermissions(daemon->home(), QFile::permissions(daemon->home()) | QFile::ExeOther));
    QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::WriteOther));
    QProcess stranger;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), daemon->home());
    stranger.setProcessEnvironment(environment);
    stranger.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                               QStringLiteral("--clear-groups"), QStringLiteral(QUELM_CLI_EXECUTABLE),
                                               QStringLiteral("--json"), QStringLiteral("status")});
    QVERIFY(stranger.waitForFinished(15000));
    if (stranger.exitCode() == 126 || stranger.exitCode() == 127)
        QSKIP("the client's folder is out of another user's reach here");
    QVERIFY(stranger.exitCode() != 0);
    QVERIFY(!stranger.readAllStandardOutput().contains("keeper"));
}

void DaemonTest::daemonsSearchAndDownloadThroughTheClient()
{
    auto server = daemonCopy("bob");
    const QByteArray song = patternBytes(3 * 1024 * 1024 + 17, 5);
    server->share(QStringLiteral("evening song.mp3"), song);
    QVERIFY(QDir(server->home()).mkpath(QStringLiteral("Downloads/photos/2024/june")));
    server->share(QStringLiteral("photos/2024/beach.jpg"), patternBytes(70000, 1));
    server->share(QStringLiteral("photos/2024/june/cake.jpg"), patternBytes(300, 2));
    server->share(QStringLiteral("photos/other.jpg"));
    auto client = daemonCopy("alice");
    QVERIFY(server->start());
    QVERIFY(client->start());

    const CliRun linked = cli(client->home(), {QStringLiteral("connect"), server->address()});
    QCOMPARE(linked.exitCode, 0);
    QVERIFY(waitForPeers(*client, 1));
    QVERIFY(waitForPeers(*server, 1));
    QTRY_VERIFY_WITH_TIMEOUT(server->output().contains("joined: alice (" + client->address().toUtf8() + ')'), 10000);

    const CliRun found = cli(client->home(), {QStringLiteral("search"), QStringLiteral("evening"),
                                              QStringLiteral("--wait"), QStringLiteral("3")});
    QCOMPARE(found.exitCode, 0);
    QVERIFY2(found.out.contains("evening song.mp3") && found.out.contains("bob"), found.out.constData());
    const CliRun listed = cli(client->home(), {QStringLiteral("--json"), QStringLiteral("browse"),
                                               QStringLiteral("bob"), QStringLiteral("--wait"), QStringLiteral("3")});
    QJsonObject row;
    for (const QByteArray &line : listed.out.split('\n')) {
        if (line.contains("evening song.mp3"))
            row = QJsonDocument::fromJson(line).object();
    }
    QCOMPARE(row.value(QLatin1String("address")).toString(), server->address());
    const QString sharedName = row.value(QLatin1String("name")).toString();
    QVERIFY2(sharedName.endsWith(QLatin1String(":evening song.mp3")), listed.out.constData());
    const CliRun none = cli(client->home(), {QStringLiteral("--json"), QStringLiteral("search"),
                                             QStringLiteral("morning"), QStringLiteral("--wait"), QStringLiteral("2")});
    QCOMPARE(none.exitCode, 0);
    QVERIFY2(none.out.contains("\"results\":0"), none.out.constData());

    const CliRun fetched =
        cli(client->home(), {QStringLiteral("get"), sharedName, QStringLiteral("--from"), server->address()});
    QVERIFY2(fetched.exitCode == 0, fetched.err.constData());
    QCOMPARE(readWholeFile(QDir(client->home()).filePath(QStringLiteral("Downloads/evening song.mp3"))), song);

    // A whole folder keeps its tree; one progress line covers its files.
    const QString folder = sharedName.section(QLatin1Char(':'), 0, 0) + QStringLiteral(":photos\\2024");
    const CliRun tree = cli(client->home(), {QStringLiteral("--json"), QStringLiteral("get"), QStringLiteral("--folder"),
                                             folder, QStringLiteral("--from"), QStringLiteral("bob")});
    QVERIFY2(tree.exitCode == 0 && tree.out.contains("\"files\":2"), tree.out.constData());
    const QDir saved(QDir(client->home()).filePath(QStringLiteral("Downloads/2024")));
    QCOMPARE(readWholeFile(saved.filePath(QStringLiteral("beach.jpg"))), patternBytes(70000, 1));
    QCOMPARE(readWholeFile(saved.filePath(QStringLiteral("june/cake.jpg"))), patternBytes(300, 2));
    QVERIFY(!QFile::exists(saved.filePath(QStringLiteral("other.jpg"))));

    // A folder shared while the copy runs is searchable from the other one; removing it is reported.
    QTemporaryDir extra;
    QVERIFY(writeFile(extra.filePath(QStringLiteral("sunrise.ogg")), "dawn"));
    const CliRun added = cli(client->home(), {QStringLiteral("--json"), QStringLiteral("share"), QStringLiteral("add"),
                                              extra.path()});
    QVERIFY2(added.exitCode == 0 && added.out.contains(extra.path().toUtf8()), added.out.constData());
    QTRY_VERIFY_WITH_TIMEOUT(cli(server->home(), {QStringLiteral("search"), QStringLiteral("sunrise"),
                                                  QStringLiteral("--wait"), QStringLiteral("1")})
                                 .out.contains("sunrise.ogg"),
                             20000);
    const CliRun removed = cli(client->home(), {QStringLiteral("--json"), QStringLiteral("share"),
                                                QStringLiteral("remove"), extra.path()});
    QVERIFY2(removed.exitCode == 0 && !removed.out.contains(extra.path().toUtf8()), removed.out.constData());
    QCOMPARE(cli(client->home(), {QStringLiteral("share"), QStringLiteral("remove"), extra.path()}).exitCode, 1);

    // Chat and a private message reach the other copy's log.
    QCOMPARE(cli(client->home(), {QStringLiteral("chat"), QStringLiteral("hello all")}).exitCode, 0);
    QCOMPARE(cli(client->home(), {QStringLiteral("im"), server->address(), QStringLiteral("just you")}).exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(server->output().contains("chat: alice: hello all"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(server->output().contains("message from alice (" + client->address().toUtf8()
                                                       + "): just you"),
                             10000);

    QVERIFY(server->stop());
    QTRY_VERIFY_WITH_TIMEOUT(client->output().contains("left: bob (" + server->address().toUtf8() + ')'), 20000);
    const CliRun gone = cli(server->home(), {QStringLiteral("status")});
    QVERIFY(gone.exitCode != 0);
    QVERIFY2(gone.err.contains("not running"), gone.err.constData());
}

void DaemonTest::getFailsWhenTheServerDiesMidwayAndResumes()
{
    auto server = daemonCopy("fragile");
    // A large file that costs no disk: the server is ended while it is sent.
    constexpr qint64 Size = qint64(256) << 20;
    QFile big(QDir(server->home()).filePath(QStringLiteral("Downloads/huge.iso")));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(Size));
    big.close();
    auto client = daemonCopy("patient");
    QVERIFY(server->start());
    QVERIFY(client->start());

    QProcess get;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), client->home());
    get.setProcessEnvironment(environment);
    const QStringList arguments{QStringLiteral("--json"), QStringLiteral("get"), QStringLiteral("1:huge.iso"),
                                QStringLiteral("--from"), server->address()};
    get.start(QStringLiteral(QUELM_CLI_EXECUTABLE), arguments);
    QVERIFY(get.waitForStarted());
    // The server dies once some megabytes have arrived, however fast they come.
    const QFileInfo arriving(QDir(client->home()).filePath(QStringLiteral("Incomplete/huge.iso")));
    QDeadlineTimer deadline(20000);
    while (QFileInfo(arriving.filePath()).size() < (qint64(8) << 20) && !deadline.hasExpired())
        QTest::qWait(1);
    server->process().kill();
    QByteArray progress;
    QVERIFY(server->process().waitForFinished(5000));
    QVERIFY(get.waitForFinished(30000));
    progress += get.readAllStandardOutput();
    QVERIFY2(get.exitCode() == 1, progress.constData());
    QVERIFY2(progress.contains("\"ok\":false"), progress.constData());
    // What arrived is parked for a resume, never thrown away.
    const QDir store(QDir(client->home()).filePath(QStringLiteral("ForResume")));
    QCOMPARE(store.entryList(QDir::Files).size(), 1);
    // A mark at the end of the part, past what the signature covers, shows that the download goes on from it.
    const QByteArray mark("kept from before");
    QFile part(store.filePath(store.entryList(QDir::Files).first()));
    const qint64 partSize = part.size();
    QVERIFY2(partSize > (qint64(1) << 20) && partSize < Size, QByteArray::number(partSize).constData());
    QVERIFY(part.open(QIODevice::ReadWrite) && part.seek(partSize - mark.size()) && part.write(mark) == mark.size());
    part.close();

    // While nobody answers the search, the named peer is asked after the wait,
    // and its absence is reported instead of waiting for ever.
    const CliRun unanswered = cli(client->home(), arguments + QStringList{QStringLiteral("--resume")}, 60000);
    QVERIFY2(unanswered.exitCode == 1, unanswered.out.right(2000).constData());
    QVERIFY(unanswered.out.contains("\"event\":\"resumeSearch\",\"found\":false"));
    QCOMPARE(store.entryList(QDir::Files).size(), 1);

    // Back again: the search by signature finds the file and the download goes on from the parked part.
    QVERIFY(server->start());
    QCOMPARE(cli(client->home(), {QStringLiteral("connect"), server->address()}).exitCode, 0);
    QVERIFY(waitForPeers(*client, 1));
    const CliRun resumed = cli(client->home(), arguments + QStringList{QStringLiteral("--resume")}, 120000);
    QVERIFY2(resumed.exitCode == 0, resumed.out.right(2000).constData());
    QVERIFY(resumed.out.contains("\"event\":\"resumeSearch\",\"found\":true"));
    QFile done(QDir(client->home()).filePath(QStringLiteral("Downloads/huge.iso")));
    QCOMPARE(done.size(), Size);
    QVERIFY(done.open(QIODevice::ReadOnly) && done.seek(partSize - mark.size()));
    // Once the server has hashed the file, the mark (which is not the
    // server's content) is caught at the end and the file fetched again.
    const bool verified = resumed.out.contains("\"verification\":\"verified (SHA-256 ");
    QCOMPARE(done.read(mark.size()), verified ? QByteArray(mark.size(), '\0') : mark);
    QVERIFY(done.seek(partSize) && done.read(4096) == QByteArray(4096, '\0'));
    QCOMPARE(store.entryList(QDir::Files).size(), 0);
}

void DaemonTest::diagnoseNamesBlockedAndOtherSubnetPeers()
{
    auto self = daemonCopy("watcher");
    auto far = daemonCopy("faraway", otherSubnet(self->address()));
    auto pest = daemonCopy("pest");
    QVERIFY(self->start());
    QVERIFY(far->start());
    QVERIFY(pest->start());
    for (const QuelmProcess *peer : {far.get(), pest.get()})
        QCOMPARE(cli(self->home(), {QStringLiteral("connect"), peer->address()}).exitCode, 0);
    QVERIFY(waitForPeers(*self, 2));
    const QString pestId = status(*pest).value(QLatin1String("id")).toString();
    QVERIFY(!pestId.isEmpty());
    QCOMPARE(cli(self->home(), {QStringLiteral("block"), pestId}).exitCode, 0);

    const CliRun diagnosis = cli(self->home(), {QStringLiteral("--json"), QStringLiteral("diagnose")});
    QCOMPARE(diagnosis.exitCode, 0);
    const QJsonObject report = QJsonDocument::fromJson(diagnosis.out.trimmed().split('\n').last()).object();
    const QJsonArray findings = report.value(QLatin1String("findings")).toArray();
    QVERIFY2(containsText(findings, far->address(), QStringLiteral("another subnet")), diagnosis.out.constData());
    QVERIFY2(containsText(findings, pest->address(), QStringLiteral("blocked by you")), diagnosis.out.constData());
    QVERIFY(!containsText(findings, pest->address(), QStringLiteral("another subnet")));
    QCOMPARE(report.value(QLatin1String("blocked")).toArray().first().toObject().value(QLatin1String("id")).toString(),
             pestId);
    // The blocked peer learns of it and says so in its own diagnosis.
    QTRY_VERIFY_WITH_TIMEOUT(containsText(request(*pest, {{QStringLiteral("command"), QStringLiteral("diagnose")}})
                                              .value(QLatin1String("findings"))
                                              .toArray(),
                                          self->address(), QStringLiteral("has blocked you")),
                             10000);
    // The human form names them too.
    const CliRun readable = cli(self->home(), {QStringLiteral("diagnose")});
    QVERIFY(readable.out.contains(far->address().toUtf8()) && readable.out.contains("blocked by you"));
}

void DaemonTest::peersAreNamedByNicknameOrAddress()
{
    auto client = daemonCopy("alice");
    auto bob = daemonCopy("bob");
    auto twin = daemonCopy("bob");
    QVERIFY(client->start() && bob->start() && twin->start());
    const QString home = client->home();

    // connect waits for the link and says who answered.
    const CliRun linked = cli(home, {QStringLiteral("connect"), bob->address()});
    QVERIFY2(linked.exitCode == 0, linked.err.constData());
    QVERIFY2(linked.out.startsWith("Linked to bob (" + bob->address().toUtf8() + ", ID "), linked.out.constData());
    const CliRun nobody = cli(home, {QStringLiteral("connect"), TestCopy::nextLoopbackAddress()});
    QCOMPARE(nobody.exitCode, 1);
    QVERIFY2(nobody.err.contains("came up within 5 s: no Quelm peer answered"), nobody.err.constData());

    const CliRun blocked = cli(home, {QStringLiteral("block"), QStringLiteral("bob")});
    QVERIFY2(blocked.exitCode == 0 && blocked.out.startsWith("Blocked bob (" + bob->address().toUtf8()),
             blocked.out.constData());
    QVERIFY(request(*client, {{QStringLiteral("command"), QStringLiteral("peers")}})
                .value(QLatin1String("peers")).toArray().first().toObject()
                .value(QLatin1String("blockedByYou")).toBool());
    const CliRun unblocked = cli(home, {QStringLiteral("unblock"), QStringLiteral("BOB")});
    QVERIFY2(unblocked.exitCode == 0 && unblocked.out.startsWith("Unblocked bob ("), unblocked.out.constData());
    const CliRun unknown = cli(home, {QStringLiteral("im"), QStringLiteral("carol"), QStringLiteral("hi")});
    QCOMPARE(unknown.exitCode, 1);
    QVERIFY2(unknown.err.contains("no linked peer is called \"carol\""), unknown.err.constData());

    // Two peers of one nickname: neither is chosen, both are listed.
    QCOMPARE(cli(home, {QStringLiteral("connect"), twin->address()}).exitCode, 0);
    const CliRun ambiguous = cli(home, {QStringLiteral("block"), QStringLiteral("bob")});
    QCOMPARE(ambiguous.exitCode, 1);
    QVERIFY2(ambiguous.err.contains("2 linked peers are called \"bob\"") && ambiguous.err.contains(bob->address().toUtf8())
                 && ambiguous.err.contains(twin->address().toUtf8()),
             ambiguous.err.constData());
    const CliRun message = cli(home, {QStringLiteral("im"), twin->address(), QStringLiteral("only you")});
    QVERIFY2(message.exitCode == 0 && message.out.startsWith("Message sent to bob (" + twin->address().toUtf8()),
             message.out.constData());
    QTRY_VERIFY_WITH_TIMEOUT(twin->output().contains("): only you"), 10000);
    QVERIFY(!bob->output().contains("only you"));

    // A request quelmd finds malformed is a usage error, as one the client finds is.
    QCOMPARE(cli(home, {QStringLiteral("search"), QStringLiteral("x"), QStringLiteral("--type"), QStringLiteral("Nonsense")})
                 .exitCode,
             2);
    const CliRun rootless = cli(home, {QStringLiteral("get"), QStringLiteral("song.mp3"), QStringLiteral("--from"),
                                       bob->address()});
    QCOMPARE(rootless.exitCode, 2);
    QVERIFY2(rootless.err.contains("for example 1:music"), rootless.err.constData());
}

QTEST_GUILESS_MAIN(DaemonTest)
#include "tst_daemon.moc"
