#include "support/namespacedcopy.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "support/bridgedlan.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/prctl.h>

namespace {

constexpr char TcpEstablished[] = "01";

QString endpointText(const QByteArray &field)
{
    const quint32 value = field.left(8).toUInt(nullptr, 16);
    uchar b[4];
    std::memcpy(b, &value, sizeof b);
    return QStringLiteral("%1.%2.%3.%4:%5").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]).arg(field.mid(9).toInt(nullptr, 16));
}

} // namespace

NamespacedCopy::NamespacedCopy(const QString &program, const QString &space, const QString &address,
                               const Settings &settings, const QByteArray &productId)
    : m_address(address)
{
    SettingsStore store(m_home.filePath(QStringLiteral("settings/user.ini")),
                        m_home.filePath(QStringLiteral("settings/machine.ini")));
    for (const auto &[name, value] : settings)
        store.set(QLatin1String(name), value);
    store.regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                        QLatin1String(SettingNames::ProductID), productId);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), m_home.path());
    environment.insert(QStringLiteral("QUELM_ADDRESS"), m_address);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(BridgedLan::ipCommand());
    m_process.setArguments({QStringLiteral("netns"), QStringLiteral("exec"), space, program});
    m_process.setStandardOutputFile(logPath(), QIODevice::Append);
    m_process.setStandardErrorFile(logPath(), QIODevice::Append);
    // "ip netns exec" replaces itself with the program, which keeps this setting.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

NamespacedCopy::~NamespacedCopy()
{
    const bool endedByItself = m_process.state() == QProcess::NotRunning;
    m_process.kill();
    m_process.waitForFinished(StopTimeoutMs);
    QFile log(logPath());
    if (QTest::currentTestFailed() && log.open(QIODevice::ReadOnly))
        qInfo().noquote() << "copy" << m_address << (endedByItself ? "had ended by itself" : "ran until the end")
                          << "; its output:\n" << log.readAll().right(4000);
}

void NamespacedCopy::setEnvironment(const QString &name, const QString &value)
{
    QProcessEnvironment environment = m_process.processEnvironment();
    environment.insert(name, value);
    m_process.setProcessEnvironment(environment);
}

QStringList NamespacedCopy::links(const QString &subnet) const
{
    QFile file(QStringLiteral("/proc/%1/net/tcp").arg(m_process.processId()));
    const QList<QByteArray> lines = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    const QString own = m_address + QLatin1Char(':');
    const QString port = QStringLiteral(":%1").arg(ControlPort);
    QStringList found;
    for (const QByteArray &line : lines.mid(1)) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4 || fields[3] != TcpEstablished)
            continue;
        const QString local = endpointText(fields[1]);
        const QString remote = endpointText(fields[2]);
        if (local.startsWith(own) && remote.startsWith(subnet) && !remote.startsWith(own)
            && (local.endsWith(port) || remote.endsWith(port)))
            found << local + QLatin1Char('>') + remote;
    }
    return found;
}
