#include "support/runningcopy.h"

#include "shell/settingnames.h"

RunningCopy::RunningCopy(const QByteArray &nickname, bool scanning)
{
    m_copy.presetUserValue(QLatin1String(SettingNames::Nickname), nickname);
    m_copy.presetUserValue(QLatin1String(SettingNames::EnableScanning), scanning ? "1" : "0");
    const CoreConfig config = m_copy.config();
    SettingsStore(config.userSettingsPath, config.machineSettingsPath)
        .regSaveString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                       QLatin1String(SettingNames::ProductID), "copy-" + m_copy.address().toLatin1());
    m_core = std::make_unique<Core>(config, m_person);
    m_started = m_core->start();
}

int RunningCopy::linkCount() const
{
    return static_cast<int>(m_core->connections().controlLinks().size());
}

bool RunningCopy::linkedTo(const RunningCopy &other) const
{
    return m_core->connections().findConnection(other.address()) >= 0;
}
