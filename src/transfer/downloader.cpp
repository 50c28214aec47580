#include "transfer/downloader.h"

#include "base/logcategories.h"
#include "base/settingsstore.h"
#include "common/formatsize.h"
#include "common/programfolder.h"
#include "net/localpeer.h"
#include "net/socketarray.h"
#include "share/filesignature.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/filenaming.h"
#include "transfer/partialfiletag.h"
#include "transfer/resumestore.h"
#include "transfer/transfermessages.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>

namespace {

const QString FallbackFileName = QStringLiteral("download");

// Only a plain position is taken; anything else a server sends there is not.
std::optional<int> queuePosition(const QByteArray &text)
{
    constexpr qsizetype MaxDigits = 9;
    if (text.isEmpty() || text.size() > MaxDigits
        || !std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return text.toInt();
}

// The serving peer's nickname as the table shows it: no longer than a
// nickname may be, control characters made visible as U+FFFD.
QString shownNickname(const QByteArray &sent)
{
    QString nickname =
        QString::fromUtf8(sent.left(4 * SettingsStore::MaxNicknameLength)).left(SettingsStore::MaxNicknameLength);
    for (QChar &c : nickname) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QChar::ReplacementCharacter;
    }
    return nickname;
}

} // namespace

Downloader::Downloader(SocketArray &sockets, DownloadListModel &running, DeadDownloadListModel &ended,
                       ResumeStore &store, const LocalPeer &localPeer, Context context, QObject *parent)
    : QObject(parent)
    , m_sockets(sockets)
    , m_running(running)
    , m_ended(ended)
    , m_store(store)
    , m_localPeer(localPeer)
    , m_context(std::move(context))
{
    connect(&sockets, &SocketArray::connected, this, &Downloader::transferConnected);
    connect(&sockets, &SocketArray::dataArrival, this, &Downloader::transferDataArrived);
    connect(&sockets, &SocketArray::closed, this, &Downloader::onClosed);
    connect(&sockets, &SocketArray::errorOccurred, this, &Downloader::onError);
    connect(&m_moves, &FileMoveQueue::finished, this, &Downloader::onMoved);
    connect(&m_digestWaits, &DigestWaits::expired, this, &Downloader::digestWaitEnded);
    ensureConnections();
}

Downloader::~Downloader() = default;

void Downloader::ensureConnections()
{
    if (static_cast<int>(m_connections.size()) < m_sockets.count())
        m_connections.resize(static_cast<size_t>(m_sockets.count()));
}

Download *Downloader::runningOn(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(m_connections.size()))
        return nullptr;
    return m_running.find(connectionAt(slot).download);
}

int Downloader::allocateTransferSlot()
{
    int slot = 0;
    while (slot < m_sockets.count() && m_sockets.at(slot)->state() != SocketElement::Closed)
        ++slot;
    if (!m_sockets.ensure(slot))
        return -1;
    m_sockets.at(slot)->close();
    ensureConnections();
    connectionAt(slot) = Connection();
    return slot;
}

int Downloader::startDownload(const QByteArray &sharedName, const QString &address, const QString &subfolder)
{
    const int slot = allocateTransferSlot();
    if (slot < 0)
        return -1;
    ProgramFolder::createPrivateFolder(m_store.folder());
    ProgramFolder::createPrivateFolder(m_context.incompleteFolder());
    auto download = std::make_unique<Download>();
    download->id = m_nextId++;
    download->slot = slot;
    download->sharedName = sharedName;
    download->fileName = FileNaming::nameFromSharedName(sharedName);
    if (download->fileName.isEmpty())
        download->fileName = FallbackFileName;
    download->address = address;
    download->subfolder = subfolder;
    const int id = download->id;
    connectionAt(slot).download = id;
    if (m_context.askDigest && m_context.askDigest(address, sharedName)) {
        download->verification.status = Verification::Status::Awaiting;
        connectionAt(slot).digest = std::make_unique<ReceivedDigest>();
    }
    m_running.append(std::move(download));
    SocketElement *socket = m_sockets.at(slot);
    socket->setLocalPort(0);
    socket->connectTo(address, m_localPeer.port());
    qCInfo(lcTransfer) << "download" << id << "of" << sharedName << "from" << address << "started";
    return id;
}

void Downloader::cancelDownload(int id)
{
    const Download *download = m_running.find(id);
    if (!download)
        return;
    // A download waiting for its digest has no connection any more.
    if (!m_digestWaits.release(id)) {
        const int slot = download->slot;
        connectionAt(slot).file.reset();
        m_sockets.at(slot)->close();
    }
    std::unique_ptr<Download> cancelled = m_running.take(id);
    if (!cancelled || !cancelled->state.cancelled())
        return;
    fileUnfinished(std::move(cancelled));
}

void Downloader::abortDownload(int id, int number, const QString &description)
{
    const Download *download = m_running.find(id);
    if (download && !m_digestWaits.isHeld(id))
        transferFailed(download->slot, number, description);
}

void Downloader::closeAll()
{
    for (int slot = 0; slot < m_sockets.count(); ++slot) {
        m_sockets.at(slot)->close();
        if (slot < static_cast<int>(m_connections.size()))
            connectionAt(slot).file.reset();
    }
}

std::unique_ptr<Download> Downloader::detachDownload(int id)
{
    const Download *download = m_running.find(id);
    if (!download)
        return nullptr;
    if (!m_digestWaits.release(id)) {
        const int slot = download->slot;
        connectionAt(slot).file.reset();
        m_sockets.at(slot)->close();
    }
    return m_running.take(id);
}

int Downloader::runningDownloadCount() const
{
    return m_running.rowCount() + movingDownloadCount();
}

void Downloader::downloadTick()
{
    for (int slot = 0; slot < m_sockets.count(); ++slot) {
        Download *download = runningOn(slot);
        if (!download || m_sockets.at(slot)->state() != SocketElement::Connected
            || download->state.state() != Download::State::Downloading)
            continue;
        const qint64 sample = download->received + download->pending;
        download->rate = sample - download->lastSample;
        download->lastSample = sample;
        m_running.refresh(download->id);
    }
}

void Downloader::transferConnected(int slot)
{
    ensureConnections();
    Download *download = runningOn(slot);
    if (!download || download->sharedName.isEmpty()) {
        m_sockets.at(slot)->close();
        return;
    }
    if (!download->state.connected())
        return;
    m_running.refresh(download->id);
    m_sockets.at(slot)->sendData(TransferMessages::fileInfoRequest(download->sharedName));
}

void Downloader::transferDataArrived(int slot)
{
    ensureConnections();
    Connection &connection = connectionAt(slot);
    SocketElement *socket = m_sockets.at(slot);
    Download *download = runningOn(slot);
    if (!download) {
        socket->getData();
        return;
    }
    // Small reads are left in the socket until enough has gathered.
    if (connection.parser.inData() && download->received > 0) {
        download->pending = socket->bytesAvailable();
        if (download->pending < MinimumRead && download->received + download->pending < download->total)
            return;
        download->pending = 0;
    }
    for (const TransferStreamParser::Event &event : connection.parser.feed(socket->getData())) {
        download = runningOn(slot);
        if (!download || socket->state() != SocketElement::Connected)
            return;
        switch (event.kind) {
        case TransferStreamParser::Event::FileInfo:
            handleFileInfo(slot, event.text);
            break;
        case TransferStreamParser::Event::Wait:
            if (const std::optional<int> position = queuePosition(event.text);
                position && download->state.queued(*position))
                m_running.refresh(download->id);
            break;
        case TransferStreamParser::Event::Data:
            handleData(slot, event.text);
            break;
        case TransferStreamParser::Event::Malformed:
            // Nothing after a message this side cannot read can be trusted.
            finishTransfer(slot);
            break;
        }
    }
}

void Downloader::handleFileInfo(int slot, const QByteArray &body)
{
    Download &download = *runningOn(slot);
    download.state.fileInfoArrived();
    m_running.refresh(download.id);
    const std::optional<TransferMessages::FileInfo> info = TransferMessages::parseFileInfo(body);
    if (!info) {
        finishTransfer(slot);
        return;
    }
    download.total = info->size;
    download.sizeKnown = true;
    download.peerNick = shownNickname(info->nickname);
    download.signature = info->signature;
    m_running.refresh(download.id);

    const QString record = download.fromScratch ? QString() : m_store.findResumeFile(download.total, download.signature);
    const qint64 recordLength = record.isEmpty() ? 0 : QFileInfo(record).size();
    if (!hasRoomFor(slot, download.total - recordLength))
        return;
    ProgramFolder::createPrivateFolder(m_context.incompleteFolder());
    download.localPath = FileNaming::numberedName(m_context.incompleteFolder(), download.fileName);
    const qint64 offset = takeResumeRecord(download, record);
    // The incomplete file exists from now on, so no other download takes its name.
    if (!openIncompleteFile(slot))
        return;
    PartialFileTag::write(download.localPath, download.total, download.signature);
    download.received = offset;
    connectionAt(slot).signedPrefix = std::make_unique<PrefixSignature>(download.total);
    if (download.total == 0) {
        finishTransfer(slot);
        return;
    }
    ReceivedDigest *digest = connectionAt(slot).digest.get();
    if (offset == 0 || !digest) {
        requestFile(slot, offset);
        return;
    }
    // The part taken over is hashed before the rest is asked for, so the
    // digest runs over the file in order.
    const int id = download.id;
    connect(digest, &ReceivedDigest::prefixReady, this,
            [this, slot, id](bool readWhole) { prefixHashed(slot, id, readWhole); });
    digest->startWithPrefix(download.localPath, offset);
}

void Downloader::requestFile(int slot, qint64 offset)
{
    const Download &download = *runningOn(slot);
    m_sockets.at(slot)->sendData(TransferMessages::fileRequest(download.sharedName, offset));
}

void Downloader::prefixHashed(int slot, int id, bool readWhole)
{
    Download *download = runningOn(slot);
    if (!download || download->id != id)
        return;
    if (!readWhole)
        download->verification.status = Verification::Status::PartUnreadable;
    requestFile(slot, download->received);
}

void Downloader::digestAnswered(const QString &address, const QByteArray &sharedName, const QByteArray &digest)
{
    for (int row = 0; row < m_running.rowCount(); ++row) {
        Download &download = *m_running.find(m_running.at(row).id);
        if (download.address != address || download.sharedName != sharedName
            || download.verification.status != Verification::Status::Awaiting)
            continue;
        download.verification.status =
            digest.isEmpty() ? Verification::Status::NotHashed : Verification::Status::Expected;
        download.verification.digest = digest;
        if (const std::optional<QByteArray> received = m_digestWaits.release(download.id))
            digestWaitEnded(download.id, *received);
        return;
    }
}

void Downloader::digestAskDropped(const QString &address, const QByteArray &sharedName)
{
    for (int id : m_digestWaits.heldIds()) {
        const Download *download = m_running.find(id);
        if (!download || download->address != address || download->sharedName != sharedName)
            continue;
        if (const std::optional<QByteArray> received = m_digestWaits.release(id))
            digestWaitEnded(id, *received);
        return;
    }
}

qint64 Downloader::takeResumeRecord(Download &download, const QString &record)
{
    // Taking the record over by a rename consumes it in one step; when that
    // fails the record stays parked and the file is fetched whole.
    if (record.isEmpty() || !QFile::rename(record, download.localPath))
        return 0;
    download.resumeSource = record;
    // Only the signature's bytes of a part from another peer could be checked.
    download.partFromOtherPeer = m_store.sourceOf(record) != download.address;
    m_store.forget(record);
    return QFileInfo(download.localPath).size();
}

bool Downloader::hasRoomFor(int slot, qint64 bytes)
{
    const QString folder = m_context.incompleteFolder();
    const qint64 free = m_context.freeSpace ? m_context.freeSpace(folder) : -1;
    if (free < 0 || bytes <= free)
        return true;
    fail(slot, DownloadState::ErrorKind::DiskFull,
         QStringLiteral("The file needs %1 more, but only %2 are free on the disk of %3.")
             .arg(formatSize(bytes), formatSize(free), folder));
    return false;
}

bool Downloader::openIncompleteFile(int slot)
{
    Connection &connection = connectionAt(slot);
    connection.file = std::make_unique<QFile>(runningOn(slot)->localPath);
    if (!connection.file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        fail(slot, DownloadState::ErrorKind::File, connection.file->errorString());
        return false;
    }
    return true;
}

void Downloader::handleData(int slot, const QByteArray &bytes)
{
    Connection &connection = connectionAt(slot);
    Download &download = *runningOn(slot);
    // Data before any file information: there is no size to write against.
    if (!connection.file || !download.state.dataArrived()) {
        finishTransfer(slot);
        return;
    }
    // Never beyond the announced size, whatever the server sends.
    const qint64 wanted = qMin<qint64>(bytes.size(), download.total - download.received);
    if (wanted > 0) {
        const bool written = connection.file->seek(download.received)
                             && connection.file->write(bytes.constData(), wanted) == wanted;
        if (!written) {
            const int error = errno;
            if (error == ENOSPC || error == EDQUOT)
                fail(slot, DownloadState::ErrorKind::DiskFull,
                     QStringLiteral("The disk of %1 is full: %2 of the file's %3 were written.")
                         .arg(m_context.incompleteFolder(), formatSize(download.received), formatSize(download.total)));
            else
                fail(slot, DownloadState::ErrorKind::Write, connection.file->errorString());
            return;
        }
        if (connection.digest)
            connection.digest->add(bytes.constData(), wanted);
        if (connection.signedPrefix)
            connection.signedPrefix->add(download.received, bytes.constData(), wanted);
        download.received += wanted;
    }
    m_running.refresh(download.id);
    if (download.received >= download.total)
        finishTransfer(slot);
}

void Downloader::fail(int slot, DownloadState::ErrorKind kind, const QString &description)
{
    Connection &connection = connectionAt(slot);
    connection.failure = Failure{kind, 0, description};
    finishTransfer(slot);
}

void Downloader::onClosed(int slot)
{
    // Bytes that came before the close count: a file whose last bytes
    // arrived together with the close is complete.
    if (Download *download = runningOn(slot)) {
        download->pending = 0;
        for (const TransferStreamParser::Event &event : connectionAt(slot).parser.feed(m_sockets.at(slot)->getData())) {
            if (event.kind == TransferStreamParser::Event::Data && runningOn(slot))
                handleData(slot, event.text);
        }
    }
    finishTransfer(slot);
}

void Downloader::onError(int slot, const QString &description)
{
    transferFailed(slot, m_sockets.at(slot)->errorNumber(), description);
}

void Downloader::transferFailed(int slot, int number, const QString &description)
{
    ensureConnections();
    connectionAt(slot).failure = Failure{DownloadState::ErrorKind::Socket, number, description};
    finishTransfer(slot);
}

void Downloader::finishTransfer(int slot)
{
    ensureConnections();
    m_sockets.at(slot)->close();
    Connection &connection = connectionAt(slot);
    connection.file.reset();
    Download *running = runningOn(slot);
    if (!running)
        return;
    const bool finished = !running->localPath.isEmpty() && running->received >= running->total
                          && !connection.failure;
    const bool intact = finished && signatureMatches(*running, connection);
    if (intact && holdForDigest(slot, *running))
        return;
    std::unique_ptr<Download> download = m_running.take(running->id);
    const QString fileName = download->fileName;
    if (intact) {
        endChecked(std::move(download), connection.digest ? connection.digest->result() : QByteArray());
        return;
    }
    if (finished) {
        // Every byte arrived: the file stays in the incomplete folder, where
        // neither Clear nor the end of the program deletes it.
        download->state.signatureMismatched();
        download->keptPath = download->localPath;
        fileEnded(std::move(download));
        emit transferEnded(Outcome::Failed, fileName);
        return;
    }
    if (connection.failure) {
        download->state.failed(connection.failure->kind, connection.failure->number);
        download->errorDescription = connection.failure->description;
    } else {
        download->state.remotelyTerminated();
    }
    fileUnfinished(std::move(download));
    emit transferEnded(Outcome::Failed, fileName);
}

bool Downloader::signatureMatches(const Download &download, const Connection &connection) const
{
    const QByteArray announced = download.signature.trimmed().toLower();
    // A server that could not sign its file sends "-1" or nothing: there is
    // nothing to check against.
    if (announced.isEmpty() || announced == "-1")
        return true;
    // What was hashed on the way in saves reading the file back.
    const std::optional<QByteArray> received =
        connection.signedPrefix ? connection.signedPrefix->result() : std::nullopt;
    return (received ? *received : FileSignature::computeFileSignature(download.localPath)) == announced;
}

bool Downloader::holdForDigest(int slot, Download &download)
{
    Connection &connection = connectionAt(slot);
    if (download.verification.status != Verification::Status::Awaiting || !connection.digest
        || !m_context.digestAskTimeLeft)
        return false;
    const int left = m_context.digestAskTimeLeft(download.address, download.sharedName);
    if (left <= 0)
        return false;
    m_digestWaits.hold(download.id, connection.digest->result(), left);
    qCInfo(lcTransfer) << "download" << download.id << "waits up to" << left << "ms for its digest";
    // The connection is closed and may carry another download from now on.
    connection.download = -1;
    connection.digest.reset();
    m_running.refresh(download.id);
    emit digestAwaited(download.id);
    return true;
}

void Downloader::digestWaitEnded(int id, const QByteArray &received)
{
    if (std::unique_ptr<Download> download = m_running.take(id))
        endChecked(std::move(download), received);
}

void Downloader::endChecked(std::unique_ptr<Download> download, const QByteArray &received)
{
    if (digestMatches(*download, received))
        fileFinished(std::move(download));
    else
        digestMismatched(std::move(download));
}

bool Downloader::digestMatches(Download &download, const QByteArray &received)
{
    Verification &verification = download.verification;
    if (verification.status != Verification::Status::Expected)
        return true;
    const bool same = !received.isEmpty() && received == verification.digest;
    verification.status = same ? Verification::Status::Verified : Verification::Status::Mismatched;
    return same;
}

void Downloader::digestMismatched(std::unique_ptr<Download> download)
{
    // Every byte arrived, so the file is not parked: it stays in the
    // incomplete folder, where neither Clear nor the end of the program
    // deletes it.
    download->state.failed(DownloadState::ErrorKind::Hash);
    download->keptPath = download->localPath;
    const QString fileName = download->fileName;
    bool retrying = false;
    if (!download->fromScratch) {
        const int retryId = startDownload(download->sharedName, download->address, download->subfolder);
        if (Download *again = m_running.find(retryId)) {
            again->fromScratch = true;
            retrying = true;
            emit retryStarted(download->id, retryId);
        }
    }
    fileEnded(std::move(download));
    // The retry's outcome is the one the person hears of.
    if (!retrying)
        emit transferEnded(Outcome::Failed, fileName);
}

void Downloader::fileUnfinished(std::unique_ptr<Download> download)
{
    // What was received is never thrown away: it stays where it is. A file
    // whose every byte arrived is not parked, since the store is emptied.
    const bool whole = download->sizeKnown && download->total > 0 && download->received >= download->total;
    if (!download->localPath.isEmpty()
        && (whole || !m_store.parkPartialFile(download->localPath, download->total, download->signature,
                                              download->address)))
        download->keptPath = download->localPath;
    fileEnded(std::move(download));
}

void Downloader::fileFinished(std::unique_ptr<Download> download)
{
    QString folder = m_context.downloadsFolder();
    if (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    if (!download->subfolder.isEmpty())
        folder += QLatin1Char('/') + download->subfolder;
    ProgramFolder::createPrivateFolder(folder);
    const int id = download->id;
    const QString source = download->localPath;
    const QString name = download->fileName;
    m_moving.emplace(id, std::move(download));
    m_moves.enqueue(id, source, folder, name);
}

void Downloader::onMoved(const FileMoveQueue::Result &result)
{
    const auto moving = m_moving.find(result.id);
    if (moving == m_moving.end())
        return;
    std::unique_ptr<Download> download = std::move(moving->second);
    m_moving.erase(moving);
    const QString fileName = download->fileName;
    if (!result.moved) {
        download->state.moveFailed();
        download->errorDescription = result.error;
        download->keptPath = download->localPath;
        emit transferEnded(Outcome::Failed, fileName);
        fileEnded(std::move(download));
        return;
    }
    download->state.completed();
    download->number = result.number;
    download->finishedPath = result.destination;
    if (download->partFromOtherPeer && download->verification.status != Verification::Status::Verified)
        download->note = QStringLiteral("Resumed from another peer: of the part taken over, only the bytes "
                                        "the signature covers were checked.");
    fileEnded(std::move(download));
    emit transferEnded(Outcome::Completed, fileName);
}

void Downloader::fileEnded(std::unique_ptr<Download> download)
{
    const int id = download->id;
    m_ended.append(std::move(download));
    const QModelIndex status = m_ended.index(m_ended.rowOf(id), DeadDownloadListModel::StatusColumn);
    qCInfo(lcTransfer) << "download" << id << "ended:" << m_ended.data(status).toString();
    emit downloadEnded(id);
}
