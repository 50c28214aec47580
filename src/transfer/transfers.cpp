#include "transfer/transfers.h"

#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "net/wirekeywords.h"

#include <QDir>

Transfers::Transfers(SettingsStore &settings, Prompter &prompter, ControlConnections &connections,
                     const QString &programFolder, Context context, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_programFolder(programFolder)
    , m_store(programFolder)
    , m_notifier(prompter)
    , m_context(context)
    , m_downloader(m_sockets, m_running, m_ended, m_store, downloaderContext())
    , m_uploads(connections, uploadContext(std::move(context)))
{
    connect(&m_downloader, &Downloader::transferEnded, this,
            [this](Downloader::Outcome outcome, const QString &fileName) {
                const QByteArray setting = m_settings.get(QLatin1String(SettingNames::ShowDownloadNotifications),
                                                          SettingDefaults::ShowDownloadNotifications);
                m_notifier.notifyOutcome(outcome == Downloader::Outcome::Completed
                                             ? DownloadNotifier::Outcome::Completed
                                             : DownloadNotifier::Outcome::Failed,
                                         fileName, setting);
            });
}

Downloader::Context Transfers::downloaderContext()
{
    Downloader::Context context;
    context.listenPort = m_context.listenPort;
    context.incompleteFolder = [this] { return incompleteFolder(); };
    context.downloadsFolder = [this] { return downloadsFolder(); };
    return context;
}

UploadServer::Context Transfers::uploadContext(Context context)
{
    UploadServer::Context uploads;
    uploads.snapshot = std::move(context.snapshot);
    uploads.fileSignature = std::move(context.fileSignature);
    uploads.nickname = [this] { return m_settings.get(QLatin1String(SettingNames::Nickname)); };
    return uploads;
}

int Transfers::startDownload(const QByteArray &sharedName, const QString &address)
{
    return m_downloader.startDownload(sharedName, address);
}

void Transfers::deleteButtonClicked(int row)
{
    if (row < 0 || row >= m_running.rowCount())
        return;
    m_downloader.cancelDownload(m_running.row(row).slot);
}

void Transfers::resumeButtonClicked(int deadRow)
{
    if (deadRow < 0 || deadRow >= m_ended.rowCount())
        return;
    const DeadDownloadListModel::Entry &entry = m_ended.entry(deadRow);
    if (entry.text.isEmpty() || entry.status == QLatin1String("Complete") || entry.tag.isEmpty())
        return;
    emit resumeSearchRequested(WireKeywords::SignatureSearchPrefix + entry.tag.toUtf8());
}

void Transfers::clearButtonClicked()
{
    m_ended.clear();
    m_store.clearResumeStore();
}

QString Transfers::downloadsFolder() const
{
    const QString folder = QString::fromUtf8(m_settings.get(QLatin1String(SettingNames::DownloadsFolder),
                                                            SettingDefaults::downloadsFolder(m_programFolder)));
    QDir().mkpath(folder);
    return folder;
}

QString Transfers::incompleteFolder() const
{
    return QDir(m_programFolder).filePath(QStringLiteral("Incomplete"));
}

void Transfers::shutDown()
{
    m_downloader.closeAll();
    m_store.clearResumeStore();
}
