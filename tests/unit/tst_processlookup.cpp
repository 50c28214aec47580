#include "common/processlookup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestProcessLookup final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A name nobody else uses; with "QlmProbe" in front, longer than the 15 characters comm keeps.
    static QString uniqueName(const QString &prefix)
    {
        return prefix + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    }

    // Places a copy of sleep called `name` and starts it, or `program`; null on failure.
    QProcess *start(const QString &name, const QString &program = {}, const QStringList &arguments = {QStringLiteral("60")})
    {
        const QString path = m_dir.filePath(name);
        if (!QFile::exists(path) && !QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), path))
            return nullptr;
        auto *process = new QProcess(this);
        process->start(program.isEmpty() ? path : program, arguments);
        // Returns once exec has succeeded, so /proc already shows the process.
        return process->waitForStarted(10000) ? process : nullptr;
    }

private slots:
    void cleanup()
    {
        for (QProcess *process : findChildren<QProcess *>()) {
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
    }

    void foundByNameInAnyLetterCaseUntilItEnds()
    {
        const QString name = uniqueName(QStringLiteral("QlmProbe"));
        QProcess *probe = start(name);
        QVERIFY(probe);
        const qint64 pid = probe->processId();
        // Replacing the executable on disk does not hide the process.
        QVERIFY(QFile::remove(m_dir.filePath(name)));

        QCOMPARE(ProcessLookup::findProcessId(name.toLower()), pid);
        QCOMPARE(ProcessLookup::findProcessIds(name.toUpper()), QList<qint64>{pid});
        QVERIFY(ProcessLookup::isProcessRunning(name));
        QCOMPARE(ProcessLookup::executableName(pid), name);
        QVERIFY(ProcessLookup::isOwnedByCurrentUser(pid));
        // Sharing the first 15 characters (all that comm holds) is not a match.
        QCOMPARE(ProcessLookup::findProcessId(name.left(15)), 0);
        QCOMPARE(ProcessLookup::findProcessId(name + QLatin1Char('x')), 0);

        QVERIFY(ProcessLookup::terminate(pid));
        QVERIFY(probe->waitForFinished(10000));
        QCOMPARE(probe->exitStatus(), QProcess::CrashExit);
        QVERIFY(!ProcessLookup::isProcessRunning(name));
    }

    void skipSetIsHonoured()
    {
        const QString name = uniqueName(QStringLiteral("QlmProbe"));
        QProcess *first = start(name);
        QProcess *second = start(name);
        QVERIFY(first && second);
        const qint64 low = qMin(first->processId(), second->processId());
        const qint64 high = qMax(first->processId(), second->processId());
        QCOMPARE(ProcessLookup::findProcessIds(name), (QList<qint64>{low, high}));
        QCOMPARE(ProcessLookup::findProcessId(name), low);
        QCOMPARE(ProcessLookup::findProcessId(name, {low}), high);
        QCOMPARE(ProcessLookup::findProcessIds(name, {high}), QList<qint64>{low});
        QCOMPARE(ProcessLookup::findProcessId(name, {low, high}), 0);
    }

    // An ended process its parent has not collected still shows in /proc
    // under its comm, so the name must fit in comm's 15 characters.
    void zombieIsNotRunning()
    {
        const QString name = uniqueName(QStringLiteral("qz"));
        // The shell starts the probe and becomes a sleep that never collects
        // it; the probe outlives the shell's own code, which might otherwise.
        QVERIFY(start(name, QStandardPaths::findExecutable(QStringLiteral("sh")),
                      {QStringLiteral("-c"), QStringLiteral("\"$0\" 1 & exec sleep 60"), m_dir.filePath(name)}));
        const QByteArray zombieStat = '(' + name.toLatin1() + ") Z ";
        const auto probeIsZombie = [&zombieStat] {
            for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
                if (stat.open(QIODevice::ReadOnly) && stat.read(512).contains(zombieStat))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(probeIsZombie(), 10000);
        QCOMPARE(ProcessLookup::findProcessId(name), 0);
    }
};

QTEST_GUILESS_MAIN(TestProcessLookup)
#include "tst_processlookup.moc"
