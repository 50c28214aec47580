#include "shell/optionsform.h"

#include "base/prompter.h"
#include "base/settingnames.h"
#include "base/sharedfolderlist.h"
#include "shell/core.h"

#include <QDir>
#include <QRandomGenerator>

namespace {

bool isOn(const QByteArray &value)
{
    return value != "0";
}

QByteArray switchText(bool on)
{
    return on ? "1" : "0";
}

} // namespace

OptionsForm::OptionsForm(Core &core, bool firstStart, QObject *parent)
    : QObject(parent)
    , m_core(core)
    , m_firstStart(firstStart)
{
}

QByteArray OptionsForm::setting(const char *name, const char *defaultValue) const
{
    return m_core.settings().get(QLatin1String(name), defaultValue);
}

void OptionsForm::load()
{
    const QByteArray suggestion = "user" + QByteArray::number(QRandomGenerator::global()->bounded(1000000, 2000000));
    values.nickname = QString::fromUtf8(setting(SettingNames::Nickname, suggestion));
    values.downloadsFolder = QString::fromUtf8(setting(
        SettingNames::DownloadsFolder, SettingDefaults::downloadsFolder(m_core.config().programFolder).constData()));
    values.enableScanning = isOn(setting(SettingNames::EnableScanning, SettingDefaults::EnableScanning));
    values.enableIPLookout = isOn(setting(SettingNames::EnableIPLookout, SettingDefaults::EnableIPLookout));
    values.enableTCP = isOn(setting(SettingNames::EnableTCP, SettingDefaults::EnableTCP));
    values.enableUDP = isOn(setting(SettingNames::EnableUDP, SettingDefaults::EnableUDP));
    values.customPort = QString::fromUtf8(setting(SettingNames::CustomPort)).left(PortTextLength);
    values.customPortChosen = !values.customPort.isEmpty();
    values.sharedFolders = SharedFolderList::parse(setting(SettingNames::SharedFolders));
    values.keepUnfinishedDownloads =
        isOn(setting(SettingNames::KeepUnfinishedDownloads, SettingDefaults::KeepUnfinishedDownloads));

    // Start-up asks for the nickname before it loads the blocked users; the
    // form must not copy an empty table over the stored one.
    if (m_firstStart)
        m_core.network().blocking().loadBlockedList();
    m_blockedUsers.setRows(m_core.network().blockedList().rows());

    const QByteArray balloons =
        setting(SettingNames::ShowDownloadNotifications, SettingDefaults::ShowDownloadNotifications);
    values.balloons = balloons == "0" ? Balloons::Never : balloons == "2" ? Balloons::Always : Balloons::MinimisedOnly;
}

bool OptionsForm::canConfirm() const
{
    return !m_firstStart || !values.nickname.trimmed().isEmpty();
}

void OptionsForm::store()
{
    SettingsStore &settings = m_core.settings();
    storeSwitches();

    values.customPort = storedPort(values.customPort);
    settings.set(QLatin1String(SettingNames::CustomPort), values.customPort.toUtf8());

    values.downloadsFolder = storedDownloadsFolder(values.downloadsFolder);
    settings.set(QLatin1String(SettingNames::DownloadsFolder), values.downloadsFolder.toUtf8());
    QDir().mkpath(values.downloadsFolder);

    settings.set(QLatin1String(SettingNames::SharedFolders), SharedFolderList::format(values.sharedFolders));
    m_core.sharing().sharedIndex().loadSharedFolders();

    m_core.network().blockedList().setRows(m_blockedUsers.rows());
    m_core.network().blocking().saveBlockedList();

    const char *balloons = values.balloons == Balloons::Never ? "0" : values.balloons == Balloons::Always ? "2" : "1";
    settings.set(QLatin1String(SettingNames::ShowDownloadNotifications), balloons);

    settings.set(QLatin1String(SettingNames::Nickname), values.nickname.toUtf8());
    settings.normaliseNickname();
    m_core.network().dispatcher().announceToAll();
}

void OptionsForm::storeSwitches()
{
    SettingsStore &settings = m_core.settings();
    settings.set(QLatin1String(SettingNames::EnableScanning), switchText(values.enableScanning));
    settings.set(QLatin1String(SettingNames::EnableIPLookout), switchText(values.enableIPLookout));
    settings.set(QLatin1String(SettingNames::EnableTCP), switchText(values.enableTCP));
    settings.set(QLatin1String(SettingNames::EnableUDP), switchText(values.enableUDP));
    settings.set(QLatin1String(SettingNames::KeepUnfinishedDownloads), switchText(values.keepUnfinishedDownloads));
}

void OptionsForm::flushHostCache()
{
    m_core.network().hostCache().flush();
    m_core.prompter().messageBox(QLatin1String(FlushedText), Prompter::Buttons::Ok, Prompter::Icon::Information);
}

QString OptionsForm::storedPort(const QString &typed)
{
    if (typed.isEmpty())
        return {};
    bool ok = false;
    const int port = typed.trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65536)
        return {};
    return QString::number(port);
}

QString OptionsForm::storedDownloadsFolder(const QString &typed)
{
    return SharedIndex::withoutTrailingSlash(typed);
}

bool OptionsForm::mayCloseWithoutOk()
{
    return !m_firstStart
           || m_core.prompter().messageBox(QLatin1String(QuitWithoutSetupText), Prompter::Buttons::YesNo,
                                           Prompter::Icon::Question)
                  == Prompter::Answer::Yes;
}
