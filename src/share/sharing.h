#pragma once

#include "share/contenthashes.h"
#include "share/quietsignaturesearch.h"
#include "share/searchservice.h"
#include "share/sharedindex.h"

#include <QObject>
#include <QString>
#include <QTimer>

class ControlConnections;
class LocalPeer;
class SettingsStore;

// Sharing and search of one copy: the shared-file index, walked again every
// two minutes so that peers hear of new files, the full-content digests
// computed in the background after each walk, and the search service that
// answers peers from the index and lists what they answer, beside the
// find-by-signature search whose answers are not listed.
class Sharing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sharing)

public:
    static constexpr int RescanIntervalMs = 120000;

    Sharing(SettingsStore &settings, const QString &programFolder, ControlConnections &connections,
            LocalPeer &localPeer, QObject *parent = nullptr);

    SharedIndex &sharedIndex() { return m_sharedIndex; }
    SearchService &search() { return m_search; }
    QuietSignatureSearch &quietSearch() { return m_quietSearch; }
    ContentHashes &contentHashes() { return m_contentHashes; }
    // Where the serving side asks for a shared file's full-content digest.
    const HashLookup &hashLookup() const { return m_contentHashes; }

    // The shared folders are walked again every RescanIntervalMs from now on.
    void startRescanning();
    bool isRescanning() const { return m_rescanTimer.isActive(); }
    void stop();

private:
    SearchService::Context searchContext();

    SharedIndex m_sharedIndex;
    ContentHashes m_contentHashes;
    SearchService m_search;
    QuietSignatureSearch m_quietSearch;
    QTimer m_rescanTimer;
};
