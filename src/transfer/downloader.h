#pragma once

#include "transfer/digestwaits.h"
#include "transfer/download.h"
#include "transfer/filemovequeue.h"
#include "transfer/prefixsignature.h"
#include "transfer/receiveddigest.h"
#include "transfer/transferstreamparser.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class DeadDownloadListModel;
class DownloadListModel;
class LocalPeer;
class ResumeStore;
class SocketArray;

// The requesting side of file transfers: one transfer connection per started
// download, the messages on it, the incomplete file, and the filing of the
// outcome in the ended-downloads list.
class Downloader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Downloader)

public:
    // Data is taken from the socket in reads of at least this much, except
    // the read that completes the file.
    static constexpr qint64 MinimumRead = 512;

    enum class Outcome { Completed, Failed };

    struct Context {
        std::function<QString()> incompleteFolder;
        std::function<QString()> downloadsFolder;
        // Bytes free to this program on the file system of a folder; -1 when unknown.
        std::function<qint64(const QString &)> freeSpace;
        // Asks the serving peer for the file's full-content digest; false
        // when that peer does not offer digests.
        std::function<bool(const QString &address, const QByteArray &sharedName)> askDigest;
        // How long that ask may still be answered, in ms; -1 when it no longer can.
        std::function<int(const QString &address, const QByteArray &sharedName)> digestAskTimeLeft;
    };

    Downloader(SocketArray &sockets, DownloadListModel &running, DeadDownloadListModel &ended, ResumeStore &store,
               const LocalPeer &localPeer, Context context, QObject *parent = nullptr);
    ~Downloader() override;

    int allocateTransferSlot();
    // Returns the download's id, or -1 when no socket element is left.
    // A file of a folder download is saved in `subfolder` of the downloads folder.
    int startDownload(const QByteArray &sharedName, const QString &address, const QString &subfolder = QString());
    // Nothing when the download does not run.
    void cancelDownload(int id);
    // Ends a running download as an error of its transfer connection,
    // numbered and described as given. Nothing when it does not run.
    void abortDownload(int id, int number, const QString &description);
    // Closes every transfer connection without filing anything: the
    // incomplete files stay where they are.
    void closeAll();
    // Closes a running download's connection and file and hands it over,
    // unfiled, with its incomplete file in place; null when it does not run.
    std::unique_ptr<Download> detachDownload(int id);
    // An id no download of this run has, for an entry made outside a transfer.
    int newDownloadId() { return m_nextId++; }
    int runningDownloadCount() const;
    // Finished files whose move into the downloads folder is under way.
    int movingDownloadCount() const { return static_cast<int>(m_moving.size()); }
    // Samples the rate of every downloading transfer.
    void downloadTick();

    void transferConnected(int slot);
    void transferDataArrived(int slot);
    void finishTransfer(int slot);
    void transferFailed(int slot, int number, const QString &description);
    // A serving peer told a file's digest; empty when it has none yet.
    void digestAnswered(const QString &address, const QByteArray &sharedName, const QByteArray &digest);
    // An ask for a file's digest will not be answered.
    void digestAskDropped(const QString &address, const QByteArray &sharedName);

signals:
    // A transfer left the running list; cancels are not reported.
    void transferEnded(Outcome outcome, const QString &fileName);
    // A download was filed in the ended list, cancels included.
    void downloadEnded(int id);
    // A file whose content differed from its digest is fetched once more;
    // sent before the first download is filed.
    void retryStarted(int endedId, int retryId);
    // Every byte of a download arrived and its connection closed; it waits
    // for its digest before it is checked and filed.
    void digestAwaited(int id);

private:
    // A failure on this side or of the socket, filed when the transfer ends.
    struct Failure {
        DownloadState::ErrorKind kind;
        int number;
        QString description;
    };
    // What one transfer socket element carries besides the download.
    struct Connection {
        int download = -1;
        std::unique_ptr<QFile> file;  // open while data arrives
        TransferStreamParser parser;
        std::optional<Failure> failure;
        // Hashes what is written, when the serving peer offers digests.
        std::unique_ptr<ReceivedDigest> digest;
        // The signature of what is written, once the size is known.
        std::unique_ptr<PrefixSignature> signedPrefix;
    };

    Connection &connectionAt(int slot) { return m_connections.at(static_cast<size_t>(slot)); }
    // The running download on a transfer connection; null when it ended.
    Download *runningOn(int slot);
    void ensureConnections();
    void handleFileInfo(int slot, const QByteArray &body);
    void handleData(int slot, const QByteArray &bytes);
    bool openIncompleteFile(int slot);
    // Takes a parked part of the file over into the incomplete file; the
    // offset to ask for from there, 0 when none was taken.
    qint64 takeResumeRecord(Download &download, const QString &record);
    bool hasRoomFor(int slot, qint64 bytes);
    void fail(int slot, DownloadState::ErrorKind kind, const QString &description);
    void onClosed(int slot);
    void onError(int slot, const QString &description);
    void fileUnfinished(std::unique_ptr<Download> download);
    void fileFinished(std::unique_ptr<Download> download);
    void onMoved(const FileMoveQueue::Result &result);
    void fileEnded(std::unique_ptr<Download> download);
    bool signatureMatches(const Download &download, const Connection &connection) const;
    void requestFile(int slot, qint64 offset);
    void prefixHashed(int slot, int id, bool readWhole);
    // Every byte arrived while the digest is still asked for: the download
    // waits for the answer, off its connection. False when no answer can come.
    bool holdForDigest(int slot, Download &download);
    // The end of a held download's wait, answered or not.
    void digestWaitEnded(int id, const QByteArray &received);
    // Files a download whose every byte arrived and matched its signature.
    void endChecked(std::unique_ptr<Download> download, const QByteArray &received);
    // Checks the whole file's digest `received` against the announced one, where one is known.
    static bool digestMatches(Download &download, const QByteArray &received);
    // Ends the download as a hash error, keeps the file, and fetches it once
    // more from byte 0.
    void digestMismatched(std::unique_ptr<Download> download);

    SocketArray &m_sockets;
    DownloadListModel &m_running;
    DeadDownloadListModel &m_ended;
    ResumeStore &m_store;
    const LocalPeer &m_localPeer;
    Context m_context;
    std::vector<Connection> m_connections;
    // Finished downloads waiting for their move, by id.
    std::map<int, std::unique_ptr<Download>> m_moving;
    FileMoveQueue m_moves;
    DigestWaits m_digestWaits;
    int m_nextId = 1;
};
