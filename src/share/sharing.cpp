#include "share/sharing.h"

Sharing::Sharing(SettingsStore &settings, const QString &programFolder, ControlConnections &connections,
                 LocalPeer &localPeer, QObject *parent)
    : QObject(parent)
    , m_sharedIndex(settings, programFolder)
    , m_contentHashes(programFolder)
    , m_search(connections, localPeer, searchContext())
    , m_quietSearch(connections)
{
    m_rescanTimer.setInterval(RescanIntervalMs);
    connect(&m_rescanTimer, &QTimer::timeout, &m_sharedIndex, &SharedIndex::loadSharedFolders);
    connect(&m_sharedIndex, &SharedIndex::rebuilt, &m_contentHashes,
            [this] { m_contentHashes.hashIndex(m_sharedIndex.snapshot()); });
}

SearchService::Context Sharing::searchContext()
{
    SearchService::Context search;
    search.snapshot = [this] { return m_sharedIndex.snapshot(); };
    search.fileSignature = [this](const QString &fullPath) { return m_sharedIndex.fileSignature(fullPath); };
    return search;
}

void Sharing::startRescanning()
{
    m_rescanTimer.start();
}

void Sharing::stop()
{
    m_rescanTimer.stop();
    m_contentHashes.stop();
}
