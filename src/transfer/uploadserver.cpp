#include "transfer/uploadserver.h"

#include "base/logcategories.h"
#include "net/controlconnections.h"
#include "net/localpeer.h"
#include "net/socketarray.h"
#include "net/socketelement.h"
#include "net/wirekeywords.h"
#include "share/indexsnapshot.h"
#include "transfer/transfermessages.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

// A transfer connection carries one file-information request and one file request.
constexpr int MaxRequestsPerConnection = 2;

} // namespace

UploadServer::UploadServer(ControlConnections &connections, LocalPeer &localPeer, Context context, QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_localPeer(localPeer)
    , m_context(std::move(context))
{
    connect(&m_upload, &FileUpload::finished, this, &UploadServer::onUploadFinished);
    connect(&m_upload, &FileUpload::failed, this, &UploadServer::closeConnection);
    connect(&m_upload, &FileUpload::stalled, this, &UploadServer::onUploadStalled);
    connect(&connections.sockets(), &SocketArray::bytesWritten, this, [this](int index) {
        if (index == m_upload.connectionIndex())
            m_upload.onBytesWritten();
    });
}

void UploadServer::serveTransferRequest(int index, const QByteArray &bytes)
{
    RequestStream &stream = m_requests[index];
    stream.buffer += bytes;
    while (takeRequest(index, stream)) {
    }
}

bool UploadServer::takeRequest(int index, RequestStream &stream)
{
    const qsizetype end = stream.buffer.indexOf('|');
    if (end < 0) {
        if (stream.buffer.size() > MaxRequestLength)
            closeConnection(index);
        return false;
    }
    const QByteArray request = stream.buffer.left(end);
    stream.buffer.remove(0, end + 1);
    if (++stream.requests > MaxRequestsPerConnection) {
        closeConnection(index);
        return false;
    }
    if (request.startsWith(WireKeywords::FileInfoRequest)) {
        answerFileInfo(index, request.mid(WireKeywords::length(WireKeywords::FileInfoRequest)));
    } else if (request.startsWith(WireKeywords::FileRequest)) {
        queueFileRequest(index, request.mid(WireKeywords::length(WireKeywords::FileRequest)));
    } else {
        closeConnection(index);
        return false;
    }
    return m_connections.element(index)->state() == SocketElement::Connected;
}

std::optional<QString> UploadServer::sharedPath(const QByteArray &sharedName) const
{
    // Only files of the current index are served, so a request can reach
    // nothing that is not shared now.
    const std::shared_ptr<const IndexSnapshot> snapshot = m_context.snapshot();
    if (!snapshot->findSharedFile(sharedName))
        return std::nullopt;
    return snapshot->resolveServedPath(sharedName);
}

void UploadServer::answerFileInfo(int index, const QByteArray &body)
{
    const std::optional<QString> path = sharedPath(TransferMessages::decodeTwice(body));
    if (!path)
        return;
    const QFileInfo file(*path);
    if (!file.isFile())
        return;
    m_connections.element(index)->sendData(
        TransferMessages::fileInfo(file.size(), m_localPeer.nickname(), m_context.fileSignature(*path)));
}

void UploadServer::queueFileRequest(int index, const QByteArray &body)
{
    const std::optional<TransferMessages::FileRequest> request = TransferMessages::parseFileRequest(body);
    const QString address = m_connections.element(index)->remoteHostIP();
    if (!request || !hasRoomFor(address)) {
        closeConnection(index);
        return;
    }
    m_queue.insert(placeFor(address), {index, request->sharedName, request->offset, EntryState::Waiting, address});
    m_connections.markTransferQueued(index);
    advanceQueue();
    schedulePositions();
}

bool UploadServer::hasRoomFor(const QString &address) const
{
    if (static_cast<int>(m_queue.size()) >= MaxEntries)
        return false;
    int fromAddress = 0;
    for (const QueueEntry &entry : m_queue)
        fromAddress += entry.address == address;
    return fromAddress < MaxEntriesPerAddress;
}

std::deque<UploadServer::QueueEntry>::iterator UploadServer::placeFor(const QString &address)
{
    // Arrival order, except that a request within its address's fair share
    // goes ahead of the waiting requests beyond other addresses' shares.
    QHash<QString, int> waiting;
    auto place = m_queue.begin();
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        const bool beyondShare = it->state == EntryState::Waiting && waiting[it->address]++ >= FairShare;
        if (!beyondShare)
            place = std::next(it);
    }
    return waiting.value(address) >= FairShare ? m_queue.end() : place;
}

void UploadServer::stop()
{
    m_stopped = true;
    m_upload.stop();
}

void UploadServer::endQueueEntries(int index)
{
    m_requests.remove(index);
    if (m_upload.connectionIndex() == index)
        m_upload.stop();
    markEnded(index);
    advanceQueue();
    schedulePositions();
}

void UploadServer::queTick()
{
    advanceQueue();
    sweepStaleEntries();
    // A swept head must not wait for the next tick.
    advanceQueue();
    sendQueuePositions();
}

void UploadServer::advanceQueue()
{
    // Serving may end an entry at once (nothing to send, a failed send),
    // which asks for another step; those steps run here, not nested.
    if (m_advancing) {
        m_advanceAgain = true;
        return;
    }
    m_advancing = true;
    do {
        m_advanceAgain = false;
        advanceOnce();
    } while (m_advanceAgain);
    m_advancing = false;
}

void UploadServer::advanceOnce()
{
    if (m_stopped)
        return;
    while (!m_queue.empty() && m_queue.front().state == EntryState::Ended)
        m_queue.pop_front();
    if (m_queue.empty() || m_queue.front().state != EntryState::Waiting)
        return;
    m_queue.front().state = EntryState::Sending;
    serveFile(m_queue.front());
}

void UploadServer::serveFile(QueueEntry &entry)
{
    const int index = entry.index;
    SocketElement *socket = m_connections.element(index);
    const std::optional<QString> path = sharedPath(entry.sharedName);
    if (!path || !socket || socket->state() != SocketElement::Connected) {
        closeConnection(index);
        return;
    }
    switch (m_upload.start(socket, *path, entry.offset)) {
    case FileUpload::Start::Sending:
        qCInfo(lcTransfer) << "upload of" << entry.sharedName << "to" << entry.address << "from byte" << entry.offset
                           << "started";
        emit uploadStarted(index, entry.sharedName, entry.address);
        break;
    case FileUpload::Start::NothingToSend:
        markEnded(index);
        m_advanceAgain = true;
        break;
    case FileUpload::Start::Failed:
        closeConnection(index);
        break;
    }
}

void UploadServer::onUploadFinished(int index)
{
    // The requester closes the connection once it holds every byte.
    qCInfo(lcTransfer) << "upload on connection" << index << "sent its last byte";
    markEnded(index);
    advanceQueue();
}

void UploadServer::onUploadStalled(int index)
{
    // A requester that takes nothing holds the one upload; the queue moves on.
    qCInfo(lcTransfer) << "upload on connection" << index << "ended: the requester takes nothing";
    closeConnection(index);
}

void UploadServer::markEnded(int index)
{
    for (QueueEntry &entry : m_queue) {
        if (entry.index == index)
            entry.state = EntryState::Ended;
    }
}

void UploadServer::sweepStaleEntries()
{
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        const SocketElement *socket = m_connections.element(it->index);
        const bool stale = !socket || socket->state() != SocketElement::Connected
                           || socket->remoteHostIP() != it->address;
        if (stale && m_upload.connectionIndex() == it->index && it->state == EntryState::Sending)
            m_upload.stop();
        it = stale ? m_queue.erase(it) : std::next(it);
    }
}

void UploadServer::schedulePositions()
{
    // A burst of requests in one turn of the event loop is told once; with
    // no one waiting behind the head there is nothing to tell. Whatever
    // queues later in this turn asks again.
    const auto waiting = [](const QueueEntry &entry) { return entry.state == EntryState::Waiting; };
    if (m_positionsDue || m_queue.size() < 2 || std::none_of(std::next(m_queue.begin()), m_queue.end(), waiting))
        return;
    m_positionsDue = true;
    QTimer::singleShot(0, this, [this] {
        if (m_positionsDue)
            sendQueuePositions();
    });
}

void UploadServer::sendQueuePositions()
{
    m_positionsDue = false;
    for (size_t i = 1; i < m_queue.size(); ++i) {
        const QueueEntry &entry = m_queue[i];
        if (entry.state != EntryState::Waiting)
            continue;
        SocketElement *socket = m_connections.element(entry.index);
        if (socket && socket->remoteHostIP() == entry.address)
            socket->sendData(TransferMessages::wait(static_cast<int>(i)));
    }
}

void UploadServer::closeConnection(int index)
{
    m_connections.closeConnection(index);
}
