#pragma once

#include "net/acceptbounds.h"
#include "transfer/fileupload.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class ControlConnections;
class IndexSnapshot;
class LocalPeer;

// The serving side of file transfers: it answers file-information requests
// at once, queues file requests in arrival order, serves the queue one upload
// at a time and tells every waiting requester its position.
class UploadServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadServer)

public:
    // Past these, a new request's connection is closed instead of queued.
    static constexpr int MaxEntriesPerAddress = AcceptBounds::MaxTransfersPerAddress;
    static constexpr int MaxEntries = AcceptBounds::MaxTransfers;
    // Requests from one address beyond this many waiting give way to those of
    // other addresses that come later.
    static constexpr int FairShare = 64;
    // A request that has not ended within this many bytes is no request:
    // a shared name of a path's longest length, coded twice (four bytes a byte).
    static constexpr qsizetype MaxRequestLength = 4 * 4096 + 64;

    enum class EntryState { Waiting = 0, Sending = 1, Ended = 2 };

    struct QueueEntry {
        int index;              // the requesting connection
        QByteArray sharedName;
        qint64 offset;
        EntryState state;
        QString address;        // the requester's address when the request came
    };

    struct Context {
        std::function<std::shared_ptr<const IndexSnapshot>()> snapshot;
        std::function<QByteArray(const QString &)> fileSignature;
    };

    UploadServer(ControlConnections &connections, LocalPeer &localPeer, Context context, QObject *parent = nullptr);

    // Bytes from a connection that opened with a transfer request.
    void serveTransferRequest(int index, const QByteArray &bytes);
    // The requesting connection closed: its entries end.
    void endQueueEntries(int index);
    void queTick();
    // Starts no upload any more: the copy is shutting down.
    void stop();
    const std::deque<QueueEntry> &queue() const { return m_queue; }

signals:
    void uploadStarted(int index, const QByteArray &sharedName, const QString &address);

private:
    struct RequestStream {
        QByteArray buffer;
        int requests = 0;
    };

    bool takeRequest(int index, RequestStream &stream);
    void answerFileInfo(int index, const QByteArray &body);
    void queueFileRequest(int index, const QByteArray &body);
    bool hasRoomFor(const QString &address) const;
    std::deque<QueueEntry>::iterator placeFor(const QString &address);
    std::optional<QString> sharedPath(const QByteArray &sharedName) const;
    void advanceQueue();
    void advanceOnce();
    void serveFile(QueueEntry &entry);
    void markEnded(int index);
    void sweepStaleEntries();
    void sendQueuePositions();
    void schedulePositions();
    void closeConnection(int index);
    void onUploadFinished(int index);
    void onUploadStalled(int index);

    ControlConnections &m_connections;
    LocalPeer &m_localPeer;
    Context m_context;
    std::deque<QueueEntry> m_queue;
    QHash<int, RequestStream> m_requests;
    FileUpload m_upload;
    bool m_advancing = false;
    bool m_advanceAgain = false;
    bool m_positionsDue = false;
    bool m_stopped = false;
};
