#include "support/bridgedlan.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString finish(QProcess &process, const QString &what, QString *output)
{
    if (!process.waitForFinished(BridgedLan::CommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(BridgedLan::CommandTimeoutMs);
    }
    const QString text = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (output)
        *output = text;
    if (process.error() == QProcess::UnknownError && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0)
        return {};
    return QStringLiteral("ip %1: %2").arg(what, text.isEmpty() ? process.errorString() : text);
}

} // namespace

BridgedLan::BridgedLan(const QString &prefix, int run, const QString &subnet, int hosts)
    : m_tag(QStringLiteral("%1%2-%3").arg(prefix).arg(QCoreApplication::applicationPid()).arg(run))
    , m_subnet(subnet)
    , m_hosts(hosts)
{
}

BridgedLan::~BridgedLan()
{
    remove();
}

QString BridgedLan::namespaceOf(int host) const
{
    return m_tag + QLatin1Char('-') + QString::number(host + 1);
}

QString BridgedLan::addressOf(int host) const
{
    return m_subnet + QString::number(host + 1);
}

QString BridgedLan::hardwareAddressOf(int host)
{
    return QStringLiteral("02:51:00:00:%1:%2")
        .arg((host + 1) / 256, 2, 16, QLatin1Char('0'))
        .arg((host + 1) % 256, 2, 16, QLatin1Char('0'));
}

QString BridgedLan::extraNamespace(const QString &name) const
{
    return m_tag + QLatin1Char('-') + name;
}

QString BridgedLan::build(const std::function<bool()> &stopped)
{
    const QString bridge = extraNamespace(QStringLiteral("br"));
    QStringList spaces{QStringLiteral("netns add ") + bridge};
    QStringList bridgeSteps{QStringLiteral("link add br0 type bridge"), QStringLiteral("link set br0 up")};
    for (int host = 0; host < m_hosts; ++host) {
        const QString space = namespaceOf(host);
        const QString port = QStringLiteral("v%1").arg(host + 1);
        spaces << QStringLiteral("netns add ") + space;
        bridgeSteps << QStringLiteral("link add %1 type veth peer name eth0 address %2 netns %3")
                           .arg(port, hardwareAddressOf(host), space)
                    << QStringLiteral("link set %1 master br0 up").arg(port);
    }
    if (QString error = ipBatch({}, spaces); !error.isEmpty())
        return error;
    if (QString error = ipBatch(QStringLiteral("-n ") + bridge, bridgeSteps); !error.isEmpty())
        return error;
    for (int host = 0; host < m_hosts; ++host) {
        if (stopped && stopped())
            return QStringLiteral("stopped before %1 was set up").arg(namespaceOf(host));
        QStringList steps{QStringLiteral("link set lo up"), QStringLiteral("addr add %1/24 dev eth0").arg(addressOf(host)),
                          QStringLiteral("link set eth0 up")};
        for (int other = 0; other < m_hosts; ++other) {
            if (other != host)
                steps << QStringLiteral("neigh replace %1 lladdr %2 dev eth0 nud permanent")
                             .arg(addressOf(other), hardwareAddressOf(other));
        }
        const QString error = ipBatch(QStringLiteral("-n ") + namespaceOf(host), steps);
        if (!error.isEmpty())
            return error;
        // A guard, not a step: a route out would let a probe leave the network.
        QString routes;
        const QString listed = ip(QStringLiteral("-n %1 route show default").arg(namespaceOf(host)), &routes);
        if (!listed.isEmpty() || !routes.isEmpty())
            return QStringLiteral("%1 has a default route or none can be read: %2%3").arg(namespaceOf(host), listed, routes);
    }
    return {};
}

void BridgedLan::remove()
{
    QString list;
    if (!ip(QStringLiteral("netns list"), &list).isEmpty())
        return;
    QStringList deletions;
    for (const QString &line : list.split(QLatin1Char('\n'))) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        if (name.startsWith(m_tag + QLatin1Char('-')))
            deletions << QStringLiteral("netns delete ") + name;
    }
    ipBatch(QStringLiteral("-force"), deletions);
}

QString BridgedLan::ipCommand()
{
    return QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                                  QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

QString BridgedLan::ip(const QString &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ipCommand(), arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    return finish(process, arguments, output);
}

QString BridgedLan::ipBatch(const QString &options, const QStringList &lines)
{
    if (lines.isEmpty())
        return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ipCommand(), options.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                   + QStringList{QStringLiteral("-batch"), QStringLiteral("-")});
    process.write(lines.join(QLatin1Char('\n')).toLocal8Bit() + '\n');
    process.closeWriteChannel();
    return finish(process, options + QLatin1String(" -batch: ") + lines.first(), nullptr);
}

void BridgedLan::removeStale(const QString &prefix)
{
    QString list;
    if (!ip(QStringLiteral("netns list"), &list).isEmpty())
        return;
    const QRegularExpression ours(QStringLiteral("^%1(\\d+)-\\S+").arg(QRegularExpression::escape(prefix)));
    QStringList deletions;
    for (const QString &line : list.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = ours.match(line);
        if (match.hasMatch() && !QFile::exists(QStringLiteral("/proc/") + match.captured(1)))
            deletions << QStringLiteral("netns delete ") + match.captured(0);
    }
    ipBatch(QStringLiteral("-force"), deletions);
}
