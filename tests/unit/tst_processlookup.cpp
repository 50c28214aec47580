#include "common/processlookup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// Every process looked for here is a copy of sleep that this test started
// under a name nobody else uses.
class TestProcessLookup final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void foundByNameInAnyLetterCase();
    void replacedExecutableIsStillFound();
    void endedProcessIsNotFound();
    void skipSetIsHonoured();
    void zombieIsNotRunning();

private:
    QString copyOfSleep(const QString &name);
    // A copy of sleep called `name`, running; null on failure.
    QProcess *startProbe(const QString &name);
    static QString uniqueName(const QString &prefix);

    QString m_sleep;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestProcessLookup::initTestCase()
{
    m_sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY2(!m_sleep.isEmpty(), "sleep is needed as a probe program");
}

void TestProcessLookup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestProcessLookup::cleanup()
{
    for (const auto &process : m_processes) {
        process->kill();
        process->waitForFinished(5000);
    }
    m_processes.clear();
    m_dir.reset();
}

// With "QlmProbe" in front, longer than the 15 characters comm keeps.
QString TestProcessLookup::uniqueName(const QString &prefix)
{
    return prefix + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

QString TestProcessLookup::copyOfSleep(const QString &name)
{
    const QString path = m_dir->filePath(name);
    return QFile::exists(path) || QFile::copy(m_sleep, path) ? path : QString();
}

QProcess *TestProcessLookup::startProbe(const QString &name)
{
    const QString path = copyOfSleep(name);
    if (path.isEmpty())
        return nullptr;
    m_processes.push_back(std::make_unique<QProcess>());
    QProcess *process = m_processes.back().get();
    process->start(path, {QStringLiteral("60")});
    // Returns once exec has succeeded, so /proc already shows the probe.
    return process->waitForStarted(10000) ? process : nullptr;
}

void TestProcessLookup::foundByNameInAnyLetterCase()
{
    const QString name = uniqueName(QStringLiteral("QlmProbe"));
    QProcess *probe = startProbe(name);
    QVERIFY(probe);
    const qint64 pid = probe->processId();

    QCOMPARE(ProcessLookup::findProcessId(name), pid);
    QCOMPARE(ProcessLookup::findProcessId(name.toLower()), pid);
    QCOMPARE(ProcessLookup::findProcessIds(name.toUpper()), QList<qint64>{pid});
    QVERIFY(ProcessLookup::isProcessRunning(name.toLower()));
    QCOMPARE(ProcessLookup::executableName(pid), name);
    QVERIFY(ProcessLookup::isOwnedByCurrentUser(pid));
    // Sharing the first 15 characters (all that comm holds) is not a match.
    QCOMPARE(ProcessLookup::findProcessId(name.left(15)), 0);
    QCOMPARE(ProcessLookup::findProcessId(name + QLatin1Char('x')), 0);
}

void TestProcessLookup::replacedExecutableIsStillFound()
{
    const QString name = uniqueName(QStringLiteral("QlmProbe"));
    QProcess *probe = startProbe(name);
    QVERIFY(probe);
    QVERIFY(QFile::remove(m_dir->filePath(name)));
    QCOMPARE(ProcessLookup::findProcessId(name), probe->processId());
    QCOMPARE(ProcessLookup::executableName(probe->processId()), name);
}

void TestProcessLookup::endedProcessIsNotFound()
{
    const QString name = uniqueName(QStringLiteral("QlmProbe"));
    QProcess *probe = startProbe(name);
    QVERIFY(probe);
    QVERIFY(ProcessLookup::terminate(probe->processId()));
    QVERIFY(probe->waitForFinished(10000));
    QCOMPARE(probe->exitStatus(), QProcess::CrashExit);
    QCOMPARE(ProcessLookup::findProcessId(name), 0);
    QVERIFY(!ProcessLookup::isProcessRunning(name));
}

void TestProcessLookup::skipSetIsHonoured()
{
    const QString name = uniqueName(QStringLiteral("QlmProbe"));
    QProcess *first = startProbe(name);
    QProcess *second = startProbe(name);
    QVERIFY(first && second);
    const qint64 low = qMin(first->processId(), second->processId());
    const qint64 high = qMax(first->processId(), second->processId());

    QCOMPARE(ProcessLookup::findProcessIds(name), (QList<qint64>{low, high}));
    QCOMPARE(ProcessLookup::findProcessId(name), low);
    QCOMPARE(ProcessLookup::findProcessId(name, {low}), high);
    QCOMPARE(ProcessLookup::findProcessIds(name, {high}), QList<qint64>{low});
    QCOMPARE(ProcessLookup::findProcessId(name, {low, high}), 0);
}

// A process that has ended but whose parent has not collected it still shows
// in /proc under its comm, so the name must fit in comm's 15 characters.
void TestProcessLookup::zombieIsNotRunning()
{
    const QString name = uniqueName(QStringLiteral("qz"));
    const QString probePath = copyOfSleep(name);
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sh"));
    QVERIFY(!probePath.isEmpty() && !shell.isEmpty());

    // The shell starts the probe and becomes a sleep that never collects it;
    // the probe outlives the shell's own code, which might otherwise do so.
    m_processes.push_back(std::make_unique<QProcess>());
    m_processes.back()->start(shell, {QStringLiteral("-c"), QStringLiteral("\"$0\" 1 & exec sleep 60"), probePath});
    QVERIFY(m_processes.back()->waitForStarted(10000));

    const QByteArray zombieStat = '(' + name.toLatin1() + ") Z ";
    const auto probeIsZombie = [&zombieStat] {
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (stat.open(QIODevice::ReadOnly) && stat.read(512).contains(zombieStat))
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(probeIsZombie(), 10000);
    QCOMPARE(ProcessLookup::findProcessId(name), 0);
}

QTEST_GUILESS_MAIN(TestProcessLookup)
#include "tst_processlookup.moc"
