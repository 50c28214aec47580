#include "daemon/downloadwatch.h"

#include "daemon/controlsession.h"
#include "shell/core.h"
#include "transfer/filenaming.h"

DownloadWatch::DownloadWatch(Core &core, ControlSession &session, QByteArray sharedName, QString address)
    : QObject(&session)
    , m_core(core)
    , m_session(session)
    , m_sharedName(std::move(sharedName))
    , m_address(std::move(address))
{
    m_progress.setInterval(ProgressIntervalMs);
    connect(&m_progress, &QTimer::timeout, this, &DownloadWatch::reportProgress);
    m_resumeTimeout.setSingleShot(true);
    connect(&m_resumeTimeout, &QTimer::timeout, this, [this] { endResumeSearch(m_sharedName, m_address, false); });
    connect(&core.transfers().downloader(), &Downloader::downloadFiled, this, &DownloadWatch::onFiled);
}

void DownloadWatch::start(bool resume)
{
    if (!resume || !startResumeSearch())
        startDownload(m_sharedName, m_address);
}

bool DownloadWatch::startResumeSearch()
{
    // The most recent unfinished download of this file name that left a part behind.
    const QString fileName = FileNaming::nameFromSharedName(m_sharedName);
    const DeadDownloadListModel &ended = m_core.transfers().deadDownloadList();
    int parked = -1;
    for (int row = 0; row < ended.rowCount(); ++row) {
        const DeadDownloadListModel::Entry &entry = ended.entry(row);
        if (entry.text == fileName && entry.status != QLatin1String("Complete") && !entry.tag.isEmpty())
            parked = row;
    }
    if (parked < 0)
        return false;
    SearchResultsModel &results = m_core.sharing().search().results();
    m_core.transfers().resumeButtonClicked(parked);
    m_resumeRows = connect(&results, &QAbstractItemModel::rowsInserted, this,
                           [this](const QModelIndex &, int first, int last) { onResumeResults(first, last); });
    m_resumeTimeout.start(ResumeSearchMs);
    return true;
}

void DownloadWatch::onResumeResults(int first, int last)
{
    const SearchResultsModel &results = m_core.sharing().search().results();
    // The peer the client named is preferred; any other holder of the same file will do.
    int chosen = first;
    for (int row = first; row <= last; ++row) {
        if (results.result(row).address == m_address)
            chosen = row;
    }
    const SearchResultsModel::Result result = results.result(chosen);
    endResumeSearch(result.sharedName, result.address, true);
}

void DownloadWatch::endResumeSearch(const QByteArray &sharedName, const QString &address, bool found)
{
    if (!m_resumeTimeout.isActive())
        return;
    m_resumeTimeout.stop();
    disconnect(m_resumeRows);
    m_session.sendLine({{QStringLiteral("event"), QStringLiteral("resumeSearch")}, {QStringLiteral("found"), found}});
    startDownload(sharedName, address);
}

void DownloadWatch::startDownload(const QByteArray &sharedName, const QString &address)
{
    m_slot = m_core.transfers().startDownload(sharedName, address);
    if (m_slot < 0) {
        m_session.fail(QStringLiteral("no transfer connection is free"));
        return;
    }
    m_clock.start();
    m_progress.start();
}

void DownloadWatch::reportProgress()
{
    const DownloadListModel &running = m_core.transfers().downloadList();
    const int row = running.findDownloadRow(m_slot);
    if (row < 0)
        return;
    const TransferSlot &slot = m_core.transfers().downloader().slot(m_slot);
    const qint64 now = m_clock.elapsed();
    if (now - m_lastSampleMs >= 1000) {
        m_rate = (slot.received - m_lastReceived) * 1000 / qMax<qint64>(1, now - m_lastSampleMs);
        m_lastReceived = slot.received;
        m_lastSampleMs = now;
    }
    m_session.sendLine({
        {QStringLiteral("event"), QStringLiteral("progress")},
        {QStringLiteral("name"), running.row(row).fileName},
        {QStringLiteral("status"), running.row(row).status},
        {QStringLiteral("received"), slot.received},
        {QStringLiteral("total"), slot.total},
        {QStringLiteral("rate"), m_rate},
    });
}

void DownloadWatch::onFiled(int slot, int endedRow)
{
    if (slot != m_slot || m_slot < 0)
        return;
    m_progress.stop();
    m_slot = -1;
    const DeadDownloadListModel::Entry &entry = m_core.transfers().deadDownloadList().entry(endedRow);
    if (entry.status == QLatin1String("Complete")) {
        m_session.finish({{QStringLiteral("ok"), true}, {QStringLiteral("status"), entry.status},
                          {QStringLiteral("path"), entry.tag}});
        return;
    }
    QString error = entry.status;
    if (!entry.toolTip.isEmpty())
        error += QLatin1String(": ") + entry.toolTip;
    m_session.finish({{QStringLiteral("ok"), false}, {QStringLiteral("status"), entry.status},
                      {QStringLiteral("error"), error}});
}
