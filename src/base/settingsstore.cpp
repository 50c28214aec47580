#include "base/settingsstore.h"

#include "base/settingnames.h"
#include "common/programfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString settingsKey(const QString &keyPath, const QString &valueName)
{
    QString group = keyPath;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group.isEmpty() ? valueName : group + QLatin1Char('/') + valueName;
}

// The first `count` characters of `text`, never splitting a surrogate pair.
QString leftCharacters(const QString &text, int count)
{
    int units = 0;
    for (int taken = 0; taken < count && units < text.size(); ++taken)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    return text.left(units);
}

// Settings hold the nickname, folders and blocked peers: the file is the
// owner's alone. QSettings rewrites it through QSaveFile, which keeps the
// permissions of the file it replaces, so the file is made 0600 (and its
// folder 0700) before the first write creates it.
void prepareOwnerOnlyFile(const QString &path)
{
    ProgramFolder::createPrivateFolder(QFileInfo(path).path());
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::fchmod(fd, S_IRUSR | S_IWUSR);
        ::close(fd);
    }
}

// A file written before it was kept owner-only becomes so; none is created.
const QString &tightened(const QString &path)
{
    ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR);
    return path;
}

} // namespace

SettingsStore::SettingsStore(const QString &userIniPath, const QString &machineIniPath)
    : m_user(std::make_unique<QSettings>(tightened(userIniPath), QSettings::IniFormat))
    , m_machine(std::make_unique<QSettings>(tightened(machineIniPath), QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QSettings &SettingsStore::settingsOf(Hive hive) const
{
    return hive == Hive::Machine ? *m_machine : *m_user;
}

void SettingsStore::syncIfChanged(Hive hive) const
{
    // One stat per read: QSettings' own check costs several calls and a
    // time-zone lookup, and values are read for every file a peer fetches.
    const std::optional<FileChangeStamp> stamp = FileChangeStamp::of(QFile::encodeName(settingsOf(hive).fileName()));
    const std::optional<FileChangeStamp> &synced = m_synced[static_cast<size_t>(hive)];
    if (!stamp || !synced || *stamp != *synced)
        syncNow(hive);
}

void SettingsStore::syncNow(Hive hive) const
{
    // Stamped first: a write that lands during the sync shows on the next read.
    QSettings &settings = settingsOf(hive);
    m_synced[static_cast<size_t>(hive)] = FileChangeStamp::of(QFile::encodeName(settings.fileName()));
    settings.sync();
}

QByteArray SettingsStore::regGetString(Hive hive, const QString &keyPath, const QString &valueName,
                                       const QByteArray &defaultValue) const
{
    QSettings &settings = settingsOf(hive);
    // Re-reads the file when another process changed it.
    syncIfChanged(hive);
    const QVariant value = settings.value(settingsKey(keyPath, valueName));
    if (value.metaType().id() != QMetaType::QString)
        return defaultValue;
    QString text = value.toString();
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text.toUtf8();
}

void SettingsStore::regSaveString(Hive hive, const QString &keyPath, const QString &valueName,
                                  const QByteArray &value)
{
    QSettings &settings = settingsOf(hive);
    const QString key = settingsKey(keyPath, valueName);
    const QString text = QString::fromUtf8(value);
    // Every write costs a locked, flushed rewrite of the file, and callers
    // such as the nickname normalisation store unchanged values often.
    syncIfChanged(hive);
    const QVariant current = settings.value(key);
    if (current.metaType().id() == QMetaType::QString && current.toString() == text)
        return;
    prepareOwnerOnlyFile(settings.fileName());
    settings.setValue(key, text);
    syncNow(hive);
}

QByteArray SettingsStore::get(const QString &valueName, const QByteArray &defaultValue) const
{
    return regGetString(Hive::User, QLatin1String(QuelmKeyPath), valueName, defaultValue);
}

void SettingsStore::set(const QString &valueName, const QByteArray &value)
{
    regSaveString(Hive::User, QLatin1String(QuelmKeyPath), valueName, value);
}

QByteArray SettingsStore::getMachine(const QString &valueName, const QByteArray &defaultValue) const
{
    return regGetString(Hive::Machine, QLatin1String(QuelmKeyPath), valueName, defaultValue);
}

void SettingsStore::setMachine(const QString &valueName, const QByteArray &value)
{
    regSaveString(Hive::Machine, QLatin1String(QuelmKeyPath), valueName, value);
}

bool SettingsStore::normaliseNickname()
{
    const QByteArray stored = get(QLatin1String(SettingNames::Nickname));
    QString nickname = leftCharacters(QString::fromUtf8(stored), MaxNicknameLength);
    nickname.replace(QLatin1Char('?'), QLatin1Char(' '));
    nickname.replace(QLatin1Char('|'), QLatin1Char(' '));
    const QByteArray normalised = nickname.toUtf8();
    if (normalised == stored)
        return false;
    set(QLatin1String(SettingNames::Nickname), normalised);
    return true;
}
