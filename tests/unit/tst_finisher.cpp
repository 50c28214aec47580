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

namespace {

// kestrune ends every process called "quelm" of this user. So that it can
// reach no process but the ones started here, each run happens in a private
// PID namespace with its own /proc: one shell there, which must be pid 1 of
// it, starts the copies of the main program (copies of sleep) and kestrune,
// and reports how each ended.
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

#ifdef KESTRUNE_EXECUTABLE
constexpr char FinisherPath[] = KESTRUNE_EXECUTABLE;
#else
constexpr char FinisherPath[] = "";
#endif
constexpr int RunTimeoutMs = 60000;
const QByteArray NewContent = "#!/bin/sh\n# the newly delivered build\n";

// "closed copyN.out" means copy N has ended: the kernel closed its output.
QStringList readFileEvents(int inotifyFd)
{
    QStringList events;
    alignas(inotify_event) char buffer[64 * 1024];
    ssize_t length = 0;
    while ((length = ::read(inotifyFd, buffer, sizeof buffer)) > 0) {
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            const char *kind = event->mask & IN_CLOSE_WRITE ? "closed "
                : event->mask & IN_DELETE                   ? "deleted "
                : event->mask & IN_MOVED_FROM               ? "moved from "
                : event->mask & IN_MOVED_TO                 ? "moved to "
                                                            : "other ";
            events.append(QLatin1String(kind) + (event->len ? QFile::decodeName(event->name) : QString()));
            offset += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    return events;
}

void placeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TestFinisher final : public QObject
{
    Q_OBJECT

    QStringList m_isolation;
    QByteArray m_oldContent;

private slots:
    void initTestCase()
    {
        if (!*FinisherPath)
            QSKIP("kestrune is not built");
        QFile sleep(QStandardPaths::findExecutable(QStringLiteral("sleep")));
        QVERIFY2(sleep.open(QIODevice::ReadOnly), "sleep stands in for the main program");
        m_oldContent = sleep.readAll();

        // As root directly; otherwise inside a user namespace, where allowed.
        const QString pidNamespace = QStringLiteral("--pid --fork --mount-proc --kill-child");
        for (const QString &options : {pidNamespace, QStringLiteral("--user --map-root-user ") + pidNamespace}) {
            QProcess check;
            check.start(QStringLiteral("unshare"), options.split(QLatin1Char(' ')) + QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                                                                                 QStringLiteral("[ \"$$\" -eq 1 ]")});
            if (check.waitForFinished(10000) && check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0) {
                m_isolation = options.split(QLatin1Char(' '));
                return;
            }
        }
        QSKIP("no private PID namespace can be made here (unshare --pid needs root or user namespaces), "
              "and outside one kestrune would reach processes this test did not start");
    }

    // Copies are started from the program folder, or from another one when
    // named "elsewhere/...". Events are those in the program folder, the
    // copies' endings sorted among themselves.
    void finishesUpdate_data()
    {
        QTest::addColumn<QString>("oldName");
        QTest::addColumn<QString>("newKind");
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QStringList>("events");
        const QString quelm = QStringLiteral("quelm");
        const QString file = QStringLiteral("file");
        const QStringList swap{QStringLiteral("moved from quelm_new"), QStringLiteral("moved to quelm")};
        const QStringList closed{QStringLiteral("closed copy1.out"), QStringLiteral("closed copy2.out")};
        QTest::newRow("no copy running: one pass and the swap") << quelm << file << QStringList() << swap;
        QTest::newRow("two copies running: both end before the file steps") << quelm << file << QStringList{quelm, quelm} << closed + swap;
        QTest::newRow("a copy started from another folder") << quelm << file << QStringList{QStringLiteral("elsewhere/quelm")}
                                                            << closed.mid(0, 1) + swap;
        QTest::newRow("other letter cases: copies end, the old spelling goes after the swap")
            << QStringLiteral("Quelm") << file << QStringList{QStringLiteral("Quelm"), QStringLiteral("elsewhere/QUELM")}
            << closed + swap + QStringList{QStringLiteral("deleted Quelm")};
        QTest::newRow("quelm already absent") << QString() << file << QStringList() << swap;
        QTest::newRow("quelm_new absent: nothing deleted") << quelm << QString() << QStringList{quelm} << closed.mid(0, 1);
        QTest::newRow("quelm_new a broken link: nothing deleted") << quelm << QStringLiteral("broken link")
                                                                   << QStringList{quelm} << closed.mid(0, 1);
    }

    void finishesUpdate()
    {
        QFETCH(QString, oldName);
        QFETCH(QString, newKind);
        QFETCH(QStringList, copies);
        QFETCH(QStringList, events);
        QTemporaryDir program;
        QTemporaryDir elsewhere;
        QFile finisher(QString::fromLocal8Bit(FinisherPath));
        QVERIFY(program.isValid() && elsewhere.isValid() && finisher.open(QIODevice::ReadOnly));
        placeFile(program.filePath(QStringLiteral("kestrune")), finisher.readAll());
        if (!oldName.isEmpty())
            placeFile(program.filePath(oldName), m_oldContent);
        if (oldName != oldName.toLower() && QFile::exists(program.filePath(oldName.toLower())))
            QSKIP("the file system does not tell letter cases apart");
        if (newKind == QLatin1String("file"))
            placeFile(program.filePath(QStringLiteral("quelm_new")), NewContent);
        else if (!newKind.isEmpty())
            QVERIFY(QFile::link(elsewhere.filePath(QStringLiteral("missing")), program.filePath(QStringLiteral("quelm_new"))));
        QStringList paths;
        for (const QString &copy : copies) {
            const bool away = copy.startsWith(QLatin1String("elsewhere/"));
            paths << (away ? elsewhere.filePath(copy.mid(10)) : program.filePath(copy));
            if (away)
                placeFile(paths.last(), m_oldContent);
        }

        const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(inotifyFd >= 0);
        QVERIFY(::inotify_add_watch(inotifyFd, QFile::encodeName(program.path()).constData(),
                                    IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) >= 0);
        QProcess run;
        run.start(QStringLiteral("unshare"), m_isolation + QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                                                        QLatin1String(Script), QStringLiteral("sh"), program.path()}
                                                 + paths);
        if (!run.waitForFinished(RunTimeoutMs)) {
            // Ending unshare ends its namespace and everything in it.
            run.kill();
            run.waitForFinished(RunTimeoutMs);
        }
        QStringList seen = readFileEvents(inotifyFd);
        ::close(inotifyFd);

        // 137: ended by SIGKILL.
        QCOMPARE(run.readAllStandardOutput(), "finisher 0\n" + QByteArray("status 137\n").repeated(copies.size()));
        std::sort(seen.begin(), seen.begin() + qMin(copies.size(), seen.size()));
        QCOMPARE(seen, events);
        QStringList kept{QStringLiteral("quelm")};
        if (newKind == QLatin1String("broken link"))
            kept << QStringLiteral("quelm_new");
        // The name filter ignores letter case, so any spelling left behind shows.
        QCOMPARE(QDir(program.path()).entryList({QStringLiteral("quelm*")}, QDir::AllEntries | QDir::System), kept);
        QFile quelm(program.filePath(QStringLiteral("quelm")));
        QVERIFY(quelm.open(QIODevice::ReadOnly));
        QCOMPARE(quelm.readAll(), newKind == QLatin1String("file") ? NewContent : m_oldContent);
        QVERIFY(QFileInfo(quelm).isExecutable());
        // Only the program folder changes.
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files).size(), copies.filter(QStringLiteral("elsewhere/")).size());
    }
};

QTEST_GUILESS_MAIN(TestFinisher)
#include "tst_finisher.moc"
