#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <sys/inotify.h>
#include <unistd.h>

// kestrune ends every process called "quelm" of this user. So that it can
// reach no process but the ones started here, each run happens in a private
// PID namespace with its own /proc: one shell there starts the copies of the
// main program (copies of sleep) and kestrune, and reports how each ended.
class TestFinisher final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void swapsWithNoCopyRunning();
    void endsRunningCopiesBeforeTouchingFiles();
    void endsCopiesElsewhereAndInOtherLetterCases();
    void installsWhenOldExecutableIsAbsent();
    void replacesOldExecutableSpeltDifferently();
    void keepsOldExecutableWithoutUsableNew();

private:
    struct Outcome
    {
        int finisherExit = -1;
        QList<int> copyStatuses;
        // Events in the program folder in the order they happened; "closed
        // copyN.out" means copy N has ended (the kernel closed its output).
        QStringList events;
    };

    Outcome runFinisher(const QStringList &copies);
    void placeFile(const QString &path, const QByteArray &content);
    QByteArray contentOf(const QString &name) const;
    QStringList programFiles() const;
    bool caseSensitive() const;

    QStringList m_isolation;
    QByteArray m_oldContent;
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_elsewhere;
};

namespace {

const QByteArray NewContent = "#!/bin/sh\n# the newly delivered build\n";

// The shell must be pid 1 of its namespace, or kestrune is never started.
constexpr char Script[] = R"sh(
[ "$$" -eq 1 ] || { echo "not isolated"; exit 90; }
dir=$1; shift
n=0; pids=
for exe in "$@"; do
    n=$((n + 1))
    "$exe" 300 > "$dir/copy$n.out" &
    pid=$!; pids="$pids $pid"; name=${exe##*/}; tries=0
    until [ "$(cat /proc/$pid/comm 2>/dev/null)" = "$name" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 1000 ] || { echo "copy $n did not start"; exit 91; }
        sleep 0.01
    done
done
"$dir/kestrune"; echo "finisher $?"
for pid in $pids; do wait "$pid"; echo "status $?"; done
)sh";

constexpr int RunTimeoutMs = 60000;
// How the shell reports a child ended by SIGKILL.
constexpr int Killed = 128 + 9;

QStringList readFileEvents(int inotifyFd)
{
    QStringList events;
    alignas(inotify_event) char buffer[64 * 1024];
    ssize_t length = 0;
    while ((length = ::read(inotifyFd, buffer, sizeof buffer)) > 0) {
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            const char *kind = event->mask & IN_CLOSE_WRITE ? "closed "
                : event->mask & IN_DELETE                   ? "deleted "
                : event->mask & IN_MOVED_FROM               ? "moved from "
                : event->mask & IN_MOVED_TO                 ? "moved to "
                                                            : "other ";
            events.append(QLatin1String(kind) + name);
            offset += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    return events;
}

} // namespace

void TestFinisher::initTestCase()
{
#ifndef KESTRUNE_EXECUTABLE
    QSKIP("kestrune is not built");
#endif
    QFile sleep(QStandardPaths::findExecutable(QStringLiteral("sleep")));
    QVERIFY2(sleep.open(QIODevice::ReadOnly), "sleep stands in for the main program");
    m_oldContent = sleep.readAll();

    const QStringList pidNamespace{QStringLiteral("--pid"), QStringLiteral("--fork"), QStringLiteral("--mount-proc"),
                                   QStringLiteral("--kill-child")};
    // As root directly; otherwise inside a user namespace, where allowed.
    for (const QStringList &options :
         {pidNamespace, QStringList{QStringLiteral("--user"), QStringLiteral("--map-root-user")} + pidNamespace}) {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), options + QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                                                      QStringLiteral("[ \"$$\" -eq 1 ]")});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) {
            m_isolation = options;
            return;
        }
    }
    QSKIP("no private PID namespace can be made here (unshare --pid needs root or user namespaces), "
          "and outside one kestrune would reach processes this test did not start");
}

void TestFinisher::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_elsewhere = std::make_unique<QTemporaryDir>();
    QVERIFY(m_program->isValid() && m_elsewhere->isValid());
#ifdef KESTRUNE_EXECUTABLE
    QFile finisher(QStringLiteral(KESTRUNE_EXECUTABLE));
    QVERIFY(finisher.open(QIODevice::ReadOnly));
    placeFile(m_program->filePath(QStringLiteral("kestrune")), finisher.readAll());
#endif
}

void TestFinisher::placeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
    QCOMPARE(file.write(content), content.size());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QByteArray TestFinisher::contentOf(const QString &name) const
{
    QFile file(m_program->filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

// The program folder without kestrune and the copies' output files.
QStringList TestFinisher::programFiles() const
{
    QStringList entries = QDir(m_program->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    entries.removeIf([](const QString &entry) {
        return entry == QLatin1String("kestrune") || entry.startsWith(QLatin1String("copy"));
    });
    return entries;
}

bool TestFinisher::caseSensitive() const
{
    QFile probe(m_elsewhere->filePath(QStringLiteral("probe")));
    const bool sensitive = probe.open(QIODevice::WriteOnly) && !QFile::exists(m_elsewhere->filePath(QStringLiteral("PROBE")));
    probe.remove();
    return sensitive;
}

TestFinisher::Outcome TestFinisher::runFinisher(const QStringList &copies)
{
    Outcome outcome;
    const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0
        || ::inotify_add_watch(inotifyFd, QFile::encodeName(m_program->path()).constData(),
                               IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
        qWarning("no inotify watch on the program folder");
        return outcome;
    }

    QProcess run;
    run.start(QStringLiteral("unshare"), m_isolation
                                             + QStringList{QStringLiteral("sh"), QStringLiteral("-c"), QLatin1String(Script),
                                                           QStringLiteral("sh"), m_program->path()}
                                             + copies);
    if (!run.waitForFinished(RunTimeoutMs)) {
        // Ending unshare ends its namespace and everything in it.
        run.kill();
        run.waitForFinished(RunTimeoutMs);
    }
    const QList<QByteArray> lines = run.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("finisher "))
            outcome.finisherExit = line.mid(9).toInt();
        else if (line.startsWith("status "))
            outcome.copyStatuses.append(line.mid(7).toInt());
        else if (!line.isEmpty())
            qWarning("%s", line.constData());
    }
    outcome.events = readFileEvents(inotifyFd);
    ::close(inotifyFd);
    return outcome;
}

void TestFinisher::swapsWithNoCopyRunning()
{
    placeFile(m_program->filePath(QStringLiteral("quelm")), m_oldContent);
    placeFile(m_program->filePath(QStringLiteral("quelm_new")), NewContent);

    const Outcome outcome = runFinisher({});
    QCOMPARE(outcome.finisherExit, 0);
    QCOMPARE(programFiles(), QStringList{QStringLiteral("quelm")});
    QCOMPARE(contentOf(QStringLiteral("quelm")), NewContent);
    QVERIFY(QFileInfo(m_program->filePath(QStringLiteral("quelm"))).isExecutable());
}

void TestFinisher::endsRunningCopiesBeforeTouchingFiles()
{
    const QString old = m_program->filePath(QStringLiteral("quelm"));
    placeFile(old, m_oldContent);
    placeFile(m_program->filePath(QStringLiteral("quelm_new")), NewContent);

    const Outcome outcome = runFinisher({old, old});
    QCOMPARE(outcome.finisherExit, 0);
    QCOMPARE(outcome.copyStatuses, (QList<int>{Killed, Killed}));
    QCOMPARE(contentOf(QStringLiteral("quelm")), NewContent);
    QCOMPARE(programFiles(), QStringList{QStringLiteral("quelm")});

    // The copies may end in either order, but both before the rename.
    QStringList events = outcome.events;
    std::sort(events.begin(), events.begin() + qMin<qsizetype>(2, events.size()));
    QCOMPARE(events, (QStringList{QStringLiteral("closed copy1.out"), QStringLiteral("closed copy2.out"),
                                  QStringLiteral("moved from quelm_new"), QStringLiteral("moved to quelm")}));
}

void TestFinisher::endsCopiesElsewhereAndInOtherLetterCases()
{
    placeFile(m_program->filePath(QStringLiteral("quelm")), m_oldContent);
    placeFile(m_program->filePath(QStringLiteral("quelm_new")), NewContent);
    QStringList copies{m_elsewhere->filePath(QStringLiteral("quelm"))};
    if (caseSensitive())
        copies << m_elsewhere->filePath(QStringLiteral("QUELM")) << m_elsewhere->filePath(QStringLiteral("Quelm"));
    for (const QString &copy : copies)
        placeFile(copy, m_oldContent);

    const Outcome outcome = runFinisher(copies);
    QCOMPARE(outcome.finisherExit, 0);
    QCOMPARE(outcome.copyStatuses, QList<int>(copies.size(), Killed));
    QCOMPARE(contentOf(QStringLiteral("quelm")), NewContent);
    // Only the program folder changes.
    QCOMPARE(QDir(m_elsewhere->path()).entryList(QDir::Files).size(), copies.size());
}

void TestFinisher::installsWhenOldExecutableIsAbsent()
{
    placeFile(m_program->filePath(QStringLiteral("quelm_new")), NewContent);

    const Outcome outcome = runFinisher({});
    QCOMPARE(outcome.finisherExit, 0);
    QCOMPARE(programFiles(), QStringList{QStringLiteral("quelm")});
    QCOMPARE(contentOf(QStringLiteral("quelm")), NewContent);
}

void TestFinisher::replacesOldExecutableSpeltDifferently()
{
    if (!caseSensitive())
        QSKIP("the file system does not tell letter cases apart");
    const QString old = m_program->filePath(QStringLiteral("Quelm"));
    placeFile(old, m_oldContent);
    placeFile(m_program->filePath(QStringLiteral("quelm_new")), NewContent);

    const Outcome outcome = runFinisher({old});
    QCOMPARE(outcome.finisherExit, 0);
    QCOMPARE(outcome.copyStatuses, QList<int>{Killed});
    QCOMPARE(programFiles(), QStringList{QStringLiteral("quelm")});
    QCOMPARE(contentOf(QStringLiteral("quelm")), NewContent);
    // The new program is in place before the old one goes.
    QCOMPARE(outcome.events, (QStringList{QStringLiteral("closed copy1.out"), QStringLiteral("moved from quelm_new"),
                                          QStringLiteral("moved to quelm"), QStringLiteral("deleted Quelm")}));
}

void TestFinisher::keepsOldExecutableWithoutUsableNew()
{
    const QString old = m_program->filePath(QStringLiteral("quelm"));
    placeFile(old, m_oldContent);
    for (const bool brokenLinkAsNew : {false, true}) {
        if (brokenLinkAsNew)
            QVERIFY(QFile::link(m_elsewhere->filePath(QStringLiteral("missing")), m_program->filePath(QStringLiteral("quelm_new"))));
        const QStringList before = programFiles();

        const Outcome outcome = runFinisher({old});
        QCOMPARE(outcome.finisherExit, 0);
        // Running copies are ended all the same.
        QCOMPARE(outcome.copyStatuses, QList<int>{Killed});
        QCOMPARE(programFiles(), before);
        QCOMPARE(contentOf(QStringLiteral("quelm")), m_oldContent);
        QCOMPARE(outcome.events, QStringList{QStringLiteral("closed copy1.out")});
    }
}

QTEST_GUILESS_MAIN(TestFinisher)
#include "tst_finisher.moc"
