#include "support/testcopy.h"

#include "base/settingsstore.h"

#include <QRandomGenerator>
#include <atomic>

TestCopy::TestCopy()
    : m_address(nextLoopbackAddress())
{
}

CoreConfig TestCopy::config() const
{
    return CoreConfig::forHome(m_dir.path(), m_address);
}

void TestCopy::presetUserValue(const QString &name, const QByteArray &value) const
{
    const CoreConfig settingsOf = config();
    SettingsStore(settingsOf.userSettingsPath, settingsOf.machineSettingsPath).set(name, value);
}

QString TestCopy::nextLoopbackAddress()
{
    static const quint32 block = QRandomGenerator::global()->bounded(1u, 250u) << 8
                                 | QRandomGenerator::global()->bounded(1u, 250u);
    static std::atomic<quint32> next{1};
    const quint32 host = next++;
    return QStringLiteral("127.%1.%2.%3").arg(block >> 8).arg(block & 0xff).arg(host % 250 + 1);
}
