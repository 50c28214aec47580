#pragma once

#include <QByteArray>
#include "base/filechangestamp.h"

#include <QString>
#include <array>
#include <memory>
#include <optional>

class QSettings;

// The two places a value can live: the current user's settings and the
// machine-wide ones (the host lists and the system's product identifier).
enum class Hive { User, Machine };

// Named string values kept in one INI file per hive. A key path such as
// "Software\Vendrakos\Quelm" names the group that holds the values.
//
// Nothing is cached here beyond what QSettings keeps itself: every read first
// checks the file's change stamp and re-reads it when it changed, so a value
// another process wrote is seen by the next read. No error is ever reported; a value that cannot be read yields the
// caller's default and a failed write is lost.
class SettingsStore final
{
public:
    static constexpr char QuelmKeyPath[] = "Software\\Vendrakos\\Quelm";
    static constexpr int MaxNicknameLength = 25;

    SettingsStore(const QString &userIniPath, const QString &machineIniPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // The value as UTF-8, cut at its first NUL. An absent value, or one that
    // is not a plain string in the file (a list, a byte array, a variant),
    // gives `defaultValue`.
    QByteArray regGetString(Hive hive, const QString &keyPath, const QString &valueName,
                            const QByteArray &defaultValue) const;
    // Stores `value` (UTF-8) as a string and writes the file at once; a value
    // already stored exactly so is left alone. An empty value is stored as an
    // empty string, not removed.
    void regSaveString(Hive hive, const QString &keyPath, const QString &valueName, const QByteArray &value);

    // The same under the program's own key path.
    QByteArray get(const QString &valueName, const QByteArray &defaultValue = {}) const;
    void set(const QString &valueName, const QByteArray &value);
    QByteArray getMachine(const QString &valueName, const QByteArray &defaultValue = {}) const;
    void setMachine(const QString &valueName, const QByteArray &value);

    // Keeps the stored nickname at most MaxNicknameLength characters long and
    // free of "?" and "|" (both are field separators on the wire). Writes the
    // nickname back in any case; true when it had to be changed.
    bool normaliseNickname();

private:
    QSettings &settingsOf(Hive hive) const;
    // Syncs a hive with its file unless the file is as the last sync left it.
    void syncIfChanged(Hive hive) const;
    // Syncs a hive with its file and remembers the file's stamp.
    void syncNow(Hive hive) const;

    std::unique_ptr<QSettings> m_user;
    std::unique_ptr<QSettings> m_machine;
    // Each hive's file as of its last sync, by Hive.
    mutable std::array<std::optional<FileChangeStamp>, 2> m_synced;
};
