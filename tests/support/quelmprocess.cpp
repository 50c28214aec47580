#include "support/quelmprocess.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "common/programfolder.h"
#include "support/testcopy.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

QuelmProcess::QuelmProcess(const QByteArray &nickname, int descriptorLimit, const QString &address, Program program)
    : m_address(address.isEmpty() ? TestCopy::nextLoopbackAddress() : address)
    , m_descriptorLimit(descriptorLimit)
    , m_program(program)
{
    SettingsStore settings(m_home.filePath(QStringLiteral("settings/user.ini")),
                           m_home.filePath(QStringLiteral("settings/machine.ini")));
    settings.set(QLatin1String(SettingNames::Nickname), nickname);
    // Only the peers a test brings: no probe, no announcement.
    settings.set(QLatin1String(SettingNames::EnableScanning), "0");
    settings.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                           QLatin1String(SettingNames::ProductID), "hostile-" + m_address.toLatin1());
    QDir(m_home.path()).mkpath(QStringLiteral("Downloads"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), m_home.path());
    environment.insert(QStringLiteral("QUELM_ADDRESS"), m_address);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The home page's web engine refuses to start as root inside its sandbox.
    environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    m_process.setProcessEnvironment(environment);
    if (program == Program::Desktop) {
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
    }
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QString executable =
        program == Program::Desktop ? QStringLiteral(QUELM_EXECUTABLE) : QStringLiteral(QUELMD_EXECUTABLE);
    if (m_descriptorLimit > 0) {
        // prlimit runs the program in its own process, so the limit is the program's.
        const QString limit = QString::number(m_descriptorLimit);
        m_process.setProgram(QStringLiteral("prlimit"));
        m_process.setArguments({QStringLiteral("--nofile=%1:%1").arg(limit), executable});
    } else {
        m_process.setProgram(executable);
    }
}

QByteArray QuelmProcess::output()
{
    if (m_program == Program::Headless)
        m_output += m_process.readAllStandardOutput();
    return m_output;
}

QuelmProcess::~QuelmProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void QuelmProcess::share(const QString &name, const QByteArray &content)
{
    QFile file(m_home.filePath(QStringLiteral("Downloads/") + name));
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

void QuelmProcess::presetMachine(const QString &name, const QByteArray &value)
{
    SettingsStore(m_home.filePath(QStringLiteral("settings/user.ini")),
                  m_home.filePath(QStringLiteral("settings/machine.ini")))
        .setMachine(name, value);
}

bool QuelmProcess::stop()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool QuelmProcess::start()
{
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    // quelmd opens its control socket right after it starts listening.
    const QString controlSocket = ProgramFolder::controlSocketPath(m_home.path());
    return QTest::qWaitFor(
        [this, &controlSocket] {
            QTcpSocket probe;
            probe.connectToHost(m_address, static_cast<quint16>(Port));
            return !isRunning()
                   || (probe.waitForConnected(200)
                       && (m_program == Program::Desktop || QFile::exists(controlSocket)));
        },
        20000)
           && isRunning();
}

qint64 QuelmProcess::residentKiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

qint64 QuelmProcess::cpuTicks(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // The command name may hold spaces; the fields after it start at "state",
    // and utime and stime are the 12th and 13th of those.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

int QuelmProcess::openDescriptors(qint64 pid)
{
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                                .size());
}
