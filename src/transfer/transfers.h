#pragma once

#include "net/socketarray.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/digestexchange.h"
#include "transfer/downloader.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/downloadnotifier.h"
#include "transfer/downloadparking.h"
#include "transfer/parkedresumer.h"
#include "transfer/folderdownloads.h"
#include "transfer/resumestore.h"
#include "transfer/uploadserver.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class ControlConnections;
class IndexSnapshot;
class Prompter;
class QuietSignatureSearch;
class LocalPeer;
class SearchService;
class SettingsStore;

// File transfers of one copy: downloads with their lists and the resume
// store on the requesting side, the upload queue on the serving side, and
// the timers that drive both.
class Transfers final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Transfers)

public:
    // The rate columns are sampled this often.
    static constexpr int ProgressIntervalMs = 1000;
    // The upload queue tells its positions and sweeps ended entries this often.
    static constexpr int QueueIntervalMs = 5000;

    struct Context {
        std::function<std::shared_ptr<const IndexSnapshot>()> snapshot;
        std::function<QByteArray(const QString &)> fileSignature;
    };

    // `quietSearch` finds the peers that hold parked downloads' files.
    Transfers(SettingsStore &settings, Prompter &prompter, ControlConnections &connections, SearchService &search,
              QuietSignatureSearch &quietSearch, LocalPeer &localPeer, const QString &programFolder, Context context,
              QObject *parent = nullptr);

    SocketArray &transferSockets() { return m_sockets; }
    Downloader &downloader() { return m_downloader; }
    UploadServer &uploads() { return m_uploads; }
    DownloadListModel &downloadList() { return m_running; }
    DeadDownloadListModel &deadDownloadList() { return m_ended; }
    ResumeStore &resumeStore() { return m_store; }
    DownloadParking &parking() { return m_parking; }
    DigestExchange &digests() { return m_digests; }
    FolderDownloads &folders() { return m_folders; }

    // Starts a download; returns its id, or -1 when no transfer connection is left.
    int start(const QByteArray &sharedName, const QString &address);
    // Ends a running download; what arrived is parked. Nothing for any other id.
    void cancel(int id);
    // Asks every peer for the file of an ended, unfinished download, by its
    // size and signature; a download of it from any of them continues from
    // the parked part. False when `id` is no such download.
    bool resume(int id);
    // Continues a parked download from a peer that holds its file: the
    // parked entry leaves the ended list and a download takes its place.
    void resumeParked(int id, const QByteArray &sharedName, const QString &address);
    // Whether the end of the program parks running downloads and keeps the
    // resume store, rather than cancelling them and emptying it.
    bool keepsUnfinishedDownloads() const;
    // Every file of the peer below `folder` (a shared name's folder), as
    // one folder download, from a browse of the peer: the one shown when it
    // is that browse, else a new one. folderStarted tells when it begins.
    void downloadFolder(const QString &address, const QByteArray &nickname, const QByteArray &folder);
    // Empties the ended list and the resume store.
    void clearEnded();
    // A running or ended download; null when there is none with this id.
    const Download *download(int id) const;
    // The downloads folder, created when missing.
    QString downloadsFolder() const;
    QString incompleteFolder() const;
    int runningDownloadCount() const { return m_downloader.runningDownloadCount(); }
    // At start: the parts a crash left in the incomplete folder go into the
    // resume store where they can be keyed; old ones that cannot are deleted.
    void recoverPartialFiles();
    // At start: the downloads parked at the last end are listed again.
    void restoreParkedDownloads() { m_parking.restore(); }

    // Rate sampling of running downloads, from the very start of the copy.
    void startProgressTimer();
    void stopProgressTimer();
    // The upload queue's ticks, once the copy serves.
    void startQueueTimer();
    const QTimer &progressTimer() const { return m_progressTimer; }
    const QTimer &queueTimer() const { return m_queueTimer; }
    // The end of the program: timers stop, no upload starts any more,
    // transfers close where they stand and the resume store goes, or, when
    // unfinished downloads are kept, they are parked and the store stays.
    void shutDown();

signals:
    // A download was filed in the ended list, cancels included.
    void downloadEnded(int id);
    // A download whose content differed from its digest is fetched again as retryId.
    void retryStarted(int endedId, int retryId);
    // A peer holds the file that resume(id) looks for.
    void resumeSourceFound(int id, const QByteArray &sharedName, const QString &address);
    // A folder download asked for by downloadFolder() began; -1 when the
    // peer listed no file below the folder.
    void folderStarted(int group, const QByteArray &folder);

private:
    Downloader::Context downloaderContext();
    FolderDownloads::Context foldersContext();
    void onSignatureFound(qint64 size, const QByteArray &signature, const QByteArray &sharedName,
                          const QString &address);

    SettingsStore &m_settings;
    SearchService &m_search;
    const QString m_programFolder;
    SocketArray m_sockets;
    DownloadListModel m_running;
    DeadDownloadListModel m_ended;
    ResumeStore m_store;
    DownloadNotifier m_notifier;
    DigestExchange m_digests;
    Downloader m_downloader;
    UploadServer m_uploads;
    DownloadParking m_parking;
    ParkedResumer m_parkedResumer;
    FolderDownloads m_folders;
    QTimer m_progressTimer;
    QTimer m_queueTimer;
    // The download the latest resume search looks for.
    int m_resuming = -1;
};
