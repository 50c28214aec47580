#include "share/sharing.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"

Sharing::Sharing(SettingsStore &settings, const QString &programFolder, ControlConnections &connections,
                 Context context, QObject *parent)
    : QObject(parent)
    , m_sharedIndex(settings, programFolder)
    , m_search(connections, searchContext(settings, std::move(context)))
{
}

SearchService::Context Sharing::searchContext(SettingsStore &settings, Context context)
{
    SearchService::Context search;
    search.snapshot = [this] { return m_sharedIndex.snapshot(); };
    search.fileSignature = [this](const QString &fullPath) { return m_sharedIndex.fileSignature(fullPath); };
    search.nickname = [&settings] { return settings.get(QLatin1String(SettingNames::Nickname)); };
    search.normaliseNickname = [&settings] { return settings.normaliseNickname(); };
    search.announceToAll = std::move(context.announceToAll);
    search.localAddress = std::move(context.localAddress);
    search.setCurrentQuery = std::move(context.setCurrentQuery);
    return search;
}
