#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <optional>

class SettingsStore;

// The peers remembered from the previous run. The cache is rebuilt from this
// run's first outgoing connections: the first address added replaces what the
// previous run left, so addresses that stopped answering drop out by themselves.
//
// Stored form: "HostCache" in the machine hive, the ";"-terminated addresses
// with every byte lowered by 3. "RecentHosts" is an older plain form, used
// only when "HostCache" is empty and emptied once it has been read.
class HostCache final
{
    Q_DISABLE_COPY_MOVE(HostCache)

public:
    static constexpr int MaxAddsPerRun = 33;
    static constexpr int StoredShift = -3;

    HostCache(SettingsStore &settings, std::function<void(const QString &)> connectTo);

    // Connects to every remembered address; run once at start-up.
    void loadHostCache();
    // Records the address of an outgoing control connection.
    void addToHostCache(const QString &address);
    // Empties both stored forms; this run's addresses are kept in memory.
    void flush();

    QByteArray text() const { return m_text; }
    int addCount() const { return m_addCount; }

    // The addresses a stored cache names: "HostCache" decoded, or when that
    // is empty the plain "RecentHosts".
    static QStringList cachedAddresses(const QByteArray &hostCache, const QByteArray &recentHosts);
    // Every byte moved by `shift`; nothing when a byte would leave 0..255.
    static std::optional<QByteArray> shiftCodes(const QByteArray &text, int shift);

private:
    SettingsStore &m_settings;
    std::function<void(const QString &)> m_connectTo;
    QByteArray m_text;
    int m_addCount = 0;
};
