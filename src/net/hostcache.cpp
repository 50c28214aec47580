#include "net/hostcache.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"


HostCache::HostCache(SettingsStore &settings, std::function<void(const QString &)> connectTo)
    : m_settings(settings)
    , m_connectTo(std::move(connectTo))
{
}

void HostCache::loadHostCache()
{
    const QStringList addresses = cachedAddresses(m_settings.getMachine(QLatin1String(SettingNames::HostCache)),
                                                  m_settings.getMachine(QLatin1String(SettingNames::RecentHosts)));
    for (const QString &address : addresses)
        m_connectTo(address);
    m_settings.setMachine(QLatin1String(SettingNames::RecentHosts), QByteArray());
}

QStringList HostCache::cachedAddresses(const QByteArray &hostCache, const QByteArray &recentHosts)
{
    const QByteArray hosts = hostCache.isEmpty() ? recentHosts : shiftCodes(hostCache, -StoredShift).value_or(QByteArray());
    // Every address is followed by ";"; a text cut short loses only the ";".
    QStringList addresses;
    for (const QByteArray &piece : hosts.split(';')) {
        if (!piece.isEmpty())
            addresses.append(QString::fromLatin1(piece));
    }
    return addresses;
}

void HostCache::addToHostCache(const QString &address)
{
    if (m_addCount >= MaxAddsPerRun)
        return;
    ++m_addCount;
    const QByteArray entry = address.toLatin1();
    if ((';' + m_text).contains(';' + entry + ';'))
        return;
    const std::optional<QByteArray> stored = shiftCodes(m_text + entry + ';', StoredShift);
    if (!stored)
        return;
    m_text += entry + ';';
    m_settings.setMachine(QLatin1String(SettingNames::HostCache), *stored);
}

void HostCache::flush()
{
    m_settings.setMachine(QLatin1String(SettingNames::RecentHosts), QByteArray());
    m_settings.setMachine(QLatin1String(SettingNames::HostCache), QByteArray());
}

std::optional<QByteArray> HostCache::shiftCodes(const QByteArray &text, int shift)
{
    QByteArray result(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int code = static_cast<unsigned char>(text[i]) + shift;
        if (code < 0 || code > 255)
            return std::nullopt;
        result[i] = static_cast<char>(code);
    }
    return result;
}
