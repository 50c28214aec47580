#include "support/runningcopy.h"

#include "base/settingnames.h"

RunningCopy::RunningCopy(const QByteArray &nickname, bool scanning)
{
    m_copy.presetUserValue(QLatin1String(SettingNames::Nickname), nickname);
    m_copy.presetUserValue(QLatin1String(SettingNames::EnableScanning), scanning ? "1" : "0");
    // Not a first run: the welcome balloon would land among a test's own balloons.
    m_copy.presetUserValue(QLatin1String(SettingNames::FirstRun), "1");
    const CoreConfig config = m_copy.config();
    SettingsStore(config.userSettingsPath, config.machineSettingsPath)
        .regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                       QLatin1String(SettingNames::ProductID), "copy-" + m_copy.address().toLatin1());
    m_core = std::make_unique<Core>(config, m_person);
    m_started = m_core->start();
}

bool RunningCopy::restart()
{
    m_core->shutDown();
    m_core.reset();
    m_core = std::make_unique<Core>(m_copy.config(), m_person);
    m_started = m_core->start();
    return m_started;
}

int RunningCopy::linkCount() const
{
    ControlConnections &connections = m_core->network().connections();
    int identified = 0;
    for (int index : connections.controlLinks())
        identified += !connections.record(index).nickname.isEmpty();
    return identified;
}

bool RunningCopy::linkedTo(const RunningCopy &other) const
{
    ControlConnections &connections = m_core->network().connections();
    const int index = connections.findConnection(other.address());
    return index >= 0 && !connections.record(index).nickname.isEmpty();
}
