#include "transfer/transfers.h"

#include "base/logcategories.h"
#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "common/programfolder.h"
#include "net/localpeer.h"
#include "share/searchservice.h"
#include "transfer/folderlisting.h"
#include "transfer/incompletesweep.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sys/statvfs.h>

Transfers::Transfers(SettingsStore &settings, Prompter &prompter, ControlConnections &connections,
                     SearchService &search, QuietSignatureSearch &quietSearch, LocalPeer &localPeer,
                     const QString &programFolder, Context context, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_search(search)
    , m_programFolder(programFolder)
    , m_store(programFolder)
    , m_notifier(prompter)
    , m_digests(connections, context.snapshot)
    , m_downloader(m_sockets, m_running, m_ended, m_store, localPeer, downloaderContext())
    , m_uploads(connections, localPeer, {std::move(context.snapshot), std::move(context.fileSignature)})
    , m_parking(m_downloader, m_running, m_ended, m_store, programFolder)
    , m_parkedResumer(*this, connections, quietSearch)
    , m_folders(foldersContext())
{
    connect(&localPeer, &LocalPeer::addressChanged, &m_sockets, &SocketArray::setLocalIP);
    m_ended.setPeerPort([&localPeer] { return localPeer.port(); });
    connect(&m_downloader, &Downloader::transferEnded, this,
            [this](Downloader::Outcome outcome, const QString &fileName) {
                const QByteArray setting = m_settings.get(QLatin1String(SettingNames::ShowDownloadNotifications),
                                                          SettingDefaults::ShowDownloadNotifications);
                m_notifier.notifyOutcome(outcome == Downloader::Outcome::Completed
                                             ? DownloadNotifier::Outcome::Completed
                                             : DownloadNotifier::Outcome::Failed,
                                         fileName, setting);
            });
    connect(&m_downloader, &Downloader::downloadEnded, &m_folders, &FolderDownloads::downloadEnded);
    connect(&m_downloader, &Downloader::downloadEnded, this, &Transfers::downloadEnded);
    connect(&m_downloader, &Downloader::retryStarted, this, &Transfers::retryStarted);
    connect(&m_downloader, &Downloader::retryStarted, &m_folders, &FolderDownloads::downloadRetried);
    connect(&m_downloader, &Downloader::digestAwaited, &m_folders, &FolderDownloads::downloadAwaitsDigest);
    connect(&m_digests, &DigestExchange::digestAnswered, &m_downloader, &Downloader::digestAnswered);
    connect(&m_digests, &DigestExchange::askDropped, &m_downloader, &Downloader::digestAskDropped);
    connect(&m_running, &DownloadListModel::dataChanged, &m_folders, &FolderDownloads::downloadsChanged);
    connect(&search, &SearchService::signatureFound, this, &Transfers::onSignatureFound);
    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, &m_downloader, &Downloader::downloadTick);
    m_queueTimer.setInterval(QueueIntervalMs);
    connect(&m_queueTimer, &QTimer::timeout, &m_uploads, &UploadServer::queTick);
}

Downloader::Context Transfers::downloaderContext()
{
    Downloader::Context context;
    context.incompleteFolder = [this] { return incompleteFolder(); };
    context.downloadsFolder = [this] { return downloadsFolder(); };
    // statvfs() asks the one file system; QStorageInfo would read the whole
    // mount table on every download.
    context.freeSpace = [](const QString &folder) {
        struct statvfs volume {};
        if (::statvfs(QFile::encodeName(folder).constData(), &volume) != 0)
            return qint64(-1);
        return static_cast<qint64>(volume.f_bavail) * static_cast<qint64>(volume.f_frsize);
    };
    context.askDigest = [this](const QString &address, const QByteArray &sharedName) {
        return m_digests.ask(address, sharedName);
    };
    context.digestAskTimeLeft = [this](const QString &address, const QByteArray &sharedName) {
        return m_digests.askTimeLeft(address, sharedName);
    };
    return context;
}

FolderDownloads::Context Transfers::foldersContext()
{
    FolderDownloads::Context context;
    context.start = [this](const QByteArray &sharedName, const QString &address, const QString &subfolder) {
        return m_downloader.startDownload(sharedName, address, subfolder);
    };
    context.cancel = [this](int id) { m_downloader.cancelDownload(id); };
    context.abort = [this](int id, int number, const QString &description) {
        m_downloader.abortDownload(id, number, description);
    };
    // A download that just ended is the ended list's last entry: found
    // without a walk through a long list.
    context.find = [this](int id) -> const Download * {
        const int last = m_ended.rowCount() - 1;
        if (last >= 0 && m_ended.at(last).id == id)
            return &m_ended.at(last);
        return download(id);
    };
    return context;
}

int Transfers::start(const QByteArray &sharedName, const QString &address)
{
    return m_downloader.startDownload(sharedName, address);
}

void Transfers::cancel(int id)
{
    m_downloader.cancelDownload(id);
}

bool Transfers::resume(int id)
{
    const int row = m_ended.rowOf(id);
    // Without the file information there is no size and signature to look for.
    if (row < 0 || m_ended.at(row).state.state() == Download::State::Complete || !m_ended.at(row).sizeKnown)
        return false;
    const Download &ended = m_ended.at(row);
    m_search.findBySignature(ended.total, ended.signature, ended.fileName);
    m_resuming = id;
    return true;
}

void Transfers::onSignatureFound(qint64 size, const QByteArray &signature, const QByteArray &sharedName,
                                 const QString &address)
{
    const int row = m_ended.rowOf(m_resuming);
    if (row >= 0 && m_ended.at(row).total == size && m_ended.at(row).signature == signature)
        emit resumeSourceFound(m_resuming, sharedName, address);
}

void Transfers::resumeParked(int id, const QByteArray &sharedName, const QString &address)
{
    const int row = m_ended.rowOf(id);
    if (row < 0 || m_ended.at(row).state.state() != Download::State::Parked)
        return;
    if (start(sharedName, address) < 0)
        return;
    m_ended.take(id);
    m_parking.save();
}

bool Transfers::keepsUnfinishedDownloads() const
{
    return m_settings.get(QLatin1String(SettingNames::KeepUnfinishedDownloads),
                          SettingDefaults::KeepUnfinishedDownloads)
           != "0";
}

void Transfers::downloadFolder(const QString &address, const QByteArray &nickname, const QByteArray &folder)
{
    auto *listing = new FolderListing(m_search, address, nickname, folder, this);
    connect(listing, &FolderListing::listed, this, [this, listing](const std::vector<FolderDownload::File> &files) {
        const int group = m_folders.startFolder(listing->address(), listing->folder(), files,
                                                QString::fromUtf8(listing->nickname()));
        emit folderStarted(group, listing->folder());
        listing->deleteLater();
    });
    listing->start();
}

void Transfers::clearEnded()
{
    m_folders.clearEnded();
    m_ended.clear();
    m_store.clearResumeStore();
    m_parking.discard();
}

const Download *Transfers::download(int id) const
{
    if (const Download *running = m_running.find(id))
        return running;
    const int row = m_ended.rowOf(id);
    return row < 0 ? nullptr : &m_ended.at(row);
}

QString Transfers::downloadsFolder() const
{
    const QString folder = QString::fromUtf8(m_settings.get(QLatin1String(SettingNames::DownloadsFolder),
                                                            SettingDefaults::downloadsFolder(m_programFolder)));
    ProgramFolder::createPrivateFolder(folder);
    return folder;
}

QString Transfers::incompleteFolder() const
{
    return QDir(m_programFolder).filePath(QStringLiteral("Incomplete"));
}

void Transfers::recoverPartialFiles()
{
    const IncompleteSweep::Counts counts =
        IncompleteSweep::sweep(incompleteFolder(), m_store, QDateTime::currentDateTime());
    qCInfo(lcTransfer) << "left-over parts:" << counts.parked << "parked," << counts.deleted << "deleted";
}

void Transfers::startProgressTimer()
{
    m_progressTimer.start();
}

void Transfers::stopProgressTimer()
{
    m_progressTimer.stop();
}

void Transfers::startQueueTimer()
{
    m_queueTimer.start();
}

void Transfers::shutDown()
{
    stopProgressTimer();
    m_queueTimer.stop();
    m_uploads.stop();
    m_parkedResumer.stop();
    if (keepsUnfinishedDownloads()) {
        m_parking.parkRunning();
        m_downloader.closeAll();
        return;
    }
    m_downloader.closeAll();
    m_store.clearResumeStore();
    // Their parts went with the store.
    m_parking.discard();
}
