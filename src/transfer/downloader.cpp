#include "transfer/downloader.h"

#include "base/settingsstore.h"
#include "common/formatsize.h"
#include "net/socketarray.h"
#include "share/filesignature.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/downloadprogress.h"
#include "transfer/filemover.h"
#include "transfer/filenaming.h"
#include "transfer/resumestore.h"
#include "transfer/transfermessages.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString Downloading = QStringLiteral("Downloading...");
const QString FallbackFileName = QStringLiteral("download");

QString resumeTag(const TransferSlot &entry)
{
    return QString::number(entry.total) + QLatin1Char(' ') + QString::fromUtf8(entry.signature);
}

bool isQueuePosition(const QByteArray &text)
{
    constexpr qsizetype MaxDigits = 9;
    if (text.isEmpty() || text.size() > MaxDigits)
        return false;
    return std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; });
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
                       ResumeStore &store, Context context, QObject *parent)
    : QObject(parent)
    , m_sockets(sockets)
    , m_running(running)
    , m_ended(ended)
    , m_store(store)
    , m_context(std::move(context))
{
    connect(&sockets, &SocketArray::connected, this, &Downloader::transferConnected);
    connect(&sockets, &SocketArray::dataArrival, this, &Downloader::transferDataArrived);
    connect(&sockets, &SocketArray::closed, this, &Downloader::onClosed);
    connect(&sockets, &SocketArray::errorOccurred, this, &Downloader::onError);
    ensureSlots();
}

void Downloader::ensureSlots()
{
    if (static_cast<int>(m_slots.size()) < m_sockets.count())
        m_slots.resize(static_cast<size_t>(m_sockets.count()));
}

int Downloader::allocateTransferSlot()
{
    int slot = 0;
    while (slot < m_sockets.count() && m_sockets.at(slot)->state() != SocketElement::Closed)
        ++slot;
    if (!m_sockets.ensure(slot))
        return -1;
    m_sockets.at(slot)->close();
    ensureSlots();
    slotAt(slot) = TransferSlot();
    return slot;
}

int Downloader::startDownload(const QByteArray &sharedName, const QString &address)
{
    const int slot = allocateTransferSlot();
    if (slot < 0)
        return -1;
    QDir().mkpath(m_store.folder());
    QDir().mkpath(m_context.incompleteFolder());
    TransferSlot &entry = slotAt(slot);
    entry.sharedName = sharedName;
    entry.fileName = FileNaming::nameFromSharedName(sharedName);
    if (entry.fileName.isEmpty())
        entry.fileName = FallbackFileName;
    DownloadListModel::Row row;
    row.fileName = entry.fileName;
    row.status = QStringLiteral("Connecting...");
    row.slot = slot;
    row.address = address;
    m_running.append(row);
    SocketElement *socket = m_sockets.at(slot);
    socket->setLocalPort(0);
    socket->connectTo(address, m_context.listenPort());
    return slot;
}

void Downloader::cancelDownload(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(m_slots.size()))
        return;
    TransferSlot &entry = slotAt(slot);
    entry.file.reset();
    m_sockets.at(slot)->close();
    if (!m_running.removeSlot(slot))
        return;
    fileUnfinished(slot, QStringLiteral("Cancelled"), {});
}

void Downloader::closeAll()
{
    for (int slot = 0; slot < m_sockets.count(); ++slot) {
        m_sockets.at(slot)->close();
        if (slot < static_cast<int>(m_slots.size()))
            slotAt(slot).file.reset();
    }
}

int Downloader::runningDownloadCount() const
{
    return m_running.rowCount();
}

void Downloader::downloadTick()
{
    for (int slot = 0; slot < m_sockets.count() && slot < static_cast<int>(m_slots.size()); ++slot) {
        if (m_sockets.at(slot)->state() != SocketElement::Connected
            || m_running.text(slot, DownloadListModel::StatusColumn) != Downloading)
            continue;
        TransferSlot &entry = slotAt(slot);
        const qint64 sample = entry.received + entry.pending;
        const qint64 rate = sample - entry.lastSample;
        entry.lastSample = sample;
        m_running.setText(slot, DownloadListModel::RateColumn, DownloadProgress::rateText(rate));
    }
}

void Downloader::transferConnected(int slot)
{
    ensureSlots();
    TransferSlot &entry = slotAt(slot);
    if (entry.sharedName.isEmpty()) {
        m_sockets.at(slot)->close();
        return;
    }
    setStatus(slot, QStringLiteral("Getting Info..."));
    m_sockets.at(slot)->sendData(TransferMessages::fileInfoRequest(entry.sharedName));
}

void Downloader::transferDataArrived(int slot)
{
    ensureSlots();
    TransferSlot &entry = slotAt(slot);
    SocketElement *socket = m_sockets.at(slot);
    if (entry.halted) {
        socket->getData();
        return;
    }
    // Small reads are left in the socket until enough has gathered.
    if (entry.parser.inData() && entry.received > 0) {
        entry.pending = socket->bytesAvailable();
        if (entry.pending < MinimumRead && entry.received + entry.pending < entry.total)
            return;
        entry.pending = 0;
    }
    for (const TransferStreamParser::Event &event : entry.parser.feed(socket->getData())) {
        if (entry.halted || socket->state() != SocketElement::Connected)
            return;
        switch (event.kind) {
        case TransferStreamParser::Event::FileInfo:
            handleFileInfo(slot, event.text);
            break;
        case TransferStreamParser::Event::Wait:
            // Only a position is shown; anything else a server sends there is not.
            if (isQueuePosition(event.text))
                setStatus(slot, QLatin1String("Queued (") + QString::fromLatin1(event.text) + QLatin1Char(')'));
            break;
        case TransferStreamParser::Event::Data:
            handleData(slot, event.text);
            break;
        case TransferStreamParser::Event::Malformed:
            entry.halted = true;
            break;
        }
    }
}

void Downloader::handleFileInfo(int slot, const QByteArray &body)
{
    TransferSlot &entry = slotAt(slot);
    setStatus(slot, QStringLiteral("Requesting..."));
    const std::optional<TransferMessages::FileInfo> info = TransferMessages::parseFileInfo(body);
    if (!info) {
        entry.halted = true;
        return;
    }
    entry.total = info->size;
    entry.peerNick = shownNickname(info->nickname);
    entry.signature = info->signature;
    m_running.setText(slot, DownloadListModel::TotalColumn, formatSize(entry.total));
    m_running.setText(slot, DownloadListModel::NicknameColumn, entry.peerNick);

    QDir().mkpath(m_context.incompleteFolder());
    entry.localPath = FileNaming::numberedName(m_context.incompleteFolder(), entry.fileName);
    entry.resumeSource = m_store.findResumeFile(entry.total, entry.signature);
    qint64 offset = 0;
    // Taking the record over by a rename consumes it in one step; when that
    // fails the record stays parked and the file is fetched whole.
    if (!entry.resumeSource.isEmpty() && QFile::rename(entry.resumeSource, entry.localPath))
        offset = QFileInfo(entry.localPath).size();
    else
        entry.resumeSource.clear();
    // The incomplete file exists from now on, so no other download takes its name.
    if (!openIncompleteFile(slot))
        return;
    entry.received = offset;
    if (entry.total == 0) {
        finishTransfer(slot);
        return;
    }
    m_sockets.at(slot)->sendData(TransferMessages::fileRequest(entry.sharedName, offset));
}

bool Downloader::openIncompleteFile(int slot)
{
    TransferSlot &entry = slotAt(slot);
    entry.file = std::make_unique<QFile>(entry.localPath);
    if (!entry.file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        fail(slot, QStringLiteral("file"), entry.file->errorString());
        return false;
    }
    return true;
}

void Downloader::handleData(int slot, const QByteArray &bytes)
{
    TransferSlot &entry = slotAt(slot);
    if (!entry.file) {
        // Data before any file information: there is no size to write against.
        entry.halted = true;
        return;
    }
    setStatus(slot, Downloading);
    // Never beyond the announced size, whatever the server sends.
    const qint64 wanted = qMin<qint64>(bytes.size(), entry.total - entry.received);
    if (wanted > 0) {
        const bool written = entry.file->seek(entry.received)
                             && entry.file->write(bytes.constData(), wanted) == wanted;
        if (!written) {
            fail(slot, QStringLiteral("write"), entry.file->errorString());
            return;
        }
        entry.received += wanted;
        showProgress(slot);
    }
    if (entry.received >= entry.total)
        finishTransfer(slot);
}

void Downloader::fail(int slot, const QString &reason, const QString &description)
{
    TransferSlot &entry = slotAt(slot);
    entry.failureReason = reason;
    entry.failureDescription = description;
    entry.halted = true;
    finishTransfer(slot);
}

void Downloader::onClosed(int slot)
{
    // Bytes that came before the close count: a file whose last bytes
    // arrived together with the close is complete.
    if (slot < static_cast<int>(m_slots.size()) && !slotAt(slot).halted) {
        slotAt(slot).pending = 0;
        TransferSlot &entry = slotAt(slot);
        for (const TransferStreamParser::Event &event : entry.parser.feed(m_sockets.at(slot)->getData())) {
            if (event.kind == TransferStreamParser::Event::Data && m_running.findDownloadRow(slot) >= 0)
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
    ensureSlots();
    TransferSlot &entry = slotAt(slot);
    entry.failureReason = QString::number(number);
    entry.failureDescription = description;
    finishTransfer(slot);
}

void Downloader::finishTransfer(int slot)
{
    ensureSlots();
    m_sockets.at(slot)->close();
    TransferSlot &entry = slotAt(slot);
    entry.file.reset();
    if (!m_running.removeSlot(slot))
        return;
    const bool finished = !entry.localPath.isEmpty() && entry.received >= entry.total
                          && entry.failureReason.isEmpty();
    if (finished && !signatureMatches(entry)) {
        entry.failureReason = QStringLiteral("signature");
        entry.failureDescription = QStringLiteral("The received file does not have the signature the server announced.");
    }
    if (finished && entry.failureReason.isEmpty()) {
        fileFinished(slot);
        return;
    }
    if (entry.failureReason.isEmpty()) {
        fileUnfinished(slot, QStringLiteral("Remotely Terminated"), {});
    } else {
        fileUnfinished(slot, QLatin1String("Error (") + entry.failureReason + QLatin1Char(')'),
                       entry.failureDescription);
    }
    emit transferEnded(Outcome::Failed, entry.fileName);
}

bool Downloader::signatureMatches(const TransferSlot &entry) const
{
    const QByteArray announced = entry.signature.trimmed().toLower();
    // A server that could not sign its file sends "-1" or nothing: there is
    // nothing to check against.
    if (announced.isEmpty() || announced == "-1")
        return true;
    return FileSignature::computeFileSignature(entry.localPath) == announced;
}

int Downloader::fileUnfinished(int slot, const QString &status, const QString &toolTip)
{
    TransferSlot &entry = slotAt(slot);
    QString tip = toolTip;
    if (!entry.localPath.isEmpty() && !m_store.parkPartialFile(entry.localPath, entry.total, entry.signature)) {
        // What was received is never thrown away: it stays where it is.
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QLatin1String("The received part was kept in ")
               + entry.localPath;
    }
    return fileEnded(slot, {entry.fileName, status, tip, resumeTag(entry)});
}

int Downloader::fileFinished(int slot)
{
    TransferSlot &entry = slotAt(slot);
    QString folder = m_context.downloadsFolder();
    if (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    QDir().mkpath(folder);
    int number = 0;
    const QString destination = FileNaming::numberedName(folder, entry.fileName, &number);
    const QString text =
        number == 0 ? entry.fileName : QLatin1Char('(') + QString::number(number) + QLatin1String(") ") + entry.fileName;
    QString error;
    if (!FileMover::move(entry.localPath, destination, &error)) {
        emit transferEnded(Outcome::Failed, entry.fileName);
        return fileEnded(slot, {text, QStringLiteral("Error (move)"),
                                error + QLatin1String("\nThe file was kept in ") + entry.localPath, resumeTag(entry)});
    }
    const int row = fileEnded(slot, {text, QStringLiteral("Complete"), {}, destination});
    emit transferEnded(Outcome::Completed, entry.fileName);
    return row;
}

int Downloader::fileEnded(int slot, const DeadDownloadListModel::Entry &entry)
{
    const int row = m_ended.append(entry);
    emit downloadFiled(slot, row);
    return row;
}

void Downloader::setStatus(int slot, const QString &status)
{
    m_running.setText(slot, DownloadListModel::StatusColumn, status);
}

void Downloader::showProgress(int slot)
{
    const TransferSlot &entry = slotAt(slot);
    m_running.setText(slot, DownloadListModel::ReceivedColumn, formatSize(entry.received));
    m_running.setText(slot, DownloadListModel::PercentColumn, DownloadProgress::percentText(entry.received, entry.total));
}
