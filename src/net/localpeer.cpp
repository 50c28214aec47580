#include "net/localpeer.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"

#include <QStringList>

LocalPeer::LocalPeer(SettingsStore &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
}

void LocalPeer::setAddress(const QString &address)
{
    m_address = address;
    m_octets.fill(0);
    const QStringList parts = address.split(QLatin1Char('.'));
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        m_octets[static_cast<size_t>(i)] = parts[i].toInt();
    emit addressChanged(address);
}

QByteArray LocalPeer::nickname()
{
    if (m_settings.normaliseNickname())
        emit nicknameChanged();
    return storedNickname();
}

QByteArray LocalPeer::storedNickname() const
{
    return m_settings.get(QLatin1String(SettingNames::Nickname));
}
