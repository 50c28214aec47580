#include "support/virtualdisplay.h"

#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int StartWaitMs = 15000;
constexpr int InfoWaitMs = 5000;

} // namespace

VirtualDisplay::VirtualDisplay()
{
    m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

VirtualDisplay::~VirtualDisplay()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(5000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

bool VirtualDisplay::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty();
}

bool VirtualDisplay::start()
{
    // -displayfd: the server picks a free number and writes it once it takes clients.
    m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                            QStringLiteral("1366x768x24")});
    if (!m_server.waitForStarted(StartWaitMs))
        return false;
    QByteArray number;
    while (!number.endsWith('\n') && m_server.waitForReadyRead(StartWaitMs))
        number += m_server.readAllStandardOutput();
    if (number.trimmed().isEmpty())
        return false;
    m_name = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    return true;
}

bool VirtualDisplay::showsWindow(const QString &title) const
{
    QProcess info;
    info.start(QStringLiteral("xwininfo"), {QStringLiteral("-display"), m_name, QStringLiteral("-name"), title});
    if (!info.waitForFinished(InfoWaitMs)) {
        info.kill();
        info.waitForFinished(InfoWaitMs);
        return false;
    }
    return info.readAllStandardOutput().contains("Map State: IsViewable");
}
