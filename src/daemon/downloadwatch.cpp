#include "daemon/downloadwatch.h"

#include "common/controlprotocol.h"
#include "daemon/controlsession.h"
#include "daemon/copyreport.h"
#include "shell/core.h"
#include "transfer/filenaming.h"

namespace Key = ControlProtocol::Key;

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
    connect(&m_resumeTimeout, &QTimer::timeout, this, [this] { endResumeSearch(false); });
    m_sourceChoice.setSingleShot(true);
    connect(&m_sourceChoice, &QTimer::timeout, this, [this] { endResumeSearch(true); });
    connect(&core.transfers(), &Transfers::downloadEnded, this, &DownloadWatch::onEnded);
    // The automatic retry after a digest mismatch is the same download to the client.
    connect(&core.transfers(), &Transfers::retryStarted, this, [this](int endedId, int retryId) {
        if (endedId == m_download)
            m_download = retryId;
    });
    connect(&core.transfers(), &Transfers::resumeSourceFound, this, &DownloadWatch::onResumeSource);
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
    for (int row = ended.rowCount() - 1; row >= 0; --row) {
        const Download &download = ended.at(row);
        if (download.fileName == fileName && m_core.transfers().resume(download.id)) {
            m_resuming = download.id;
            m_sourceName = m_sharedName;
            m_sourceAddress = m_address;
            m_resumeTimeout.start(ResumeSearchMs);
            return true;
        }
    }
    return false;
}

void DownloadWatch::onResumeSource(int id, const QByteArray &sharedName, const QString &address)
{
    if (id != m_resuming)
        return;
    // The peer the client named is preferred; any other holder of the same file will do.
    if (!m_sourceChoice.isActive() || address == m_address) {
        m_sourceName = sharedName;
        m_sourceAddress = address;
    }
    if (address == m_address)
        endResumeSearch(true);
    else if (!m_sourceChoice.isActive())
        m_sourceChoice.start(SourceChoiceMs);
}

void DownloadWatch::endResumeSearch(bool found)
{
    // Not the timer's state: a single-shot timer is no longer active inside its own timeout.
    if (m_resuming < 0)
        return;
    m_resumeTimeout.stop();
    m_sourceChoice.stop();
    m_resuming = -1;
    m_session.sendLine({{Key::Event, ControlProtocol::Event::ResumeSearch}, {Key::Found, found}});
    startDownload(m_sourceName, m_sourceAddress);
}

void DownloadWatch::startDownload(const QByteArray &sharedName, const QString &address)
{
    m_download = m_core.transfers().start(sharedName, address);
    if (m_download < 0) {
        m_session.fail(QStringLiteral("no transfer connection is free"));
        return;
    }
    m_clock.start();
    m_progress.start();
}

void DownloadWatch::reportProgress()
{
    const DownloadListModel &running = m_core.transfers().downloadList();
    const int row = running.rowOf(m_download);
    if (row < 0)
        return;
    const Download &download = running.at(row);
    const qint64 now = m_clock.elapsed();
    if (now - m_lastSampleMs >= 1000) {
        m_rate = (download.received - m_lastReceived) * 1000 / qMax<qint64>(1, now - m_lastSampleMs);
        m_lastReceived = download.received;
        m_lastSampleMs = now;
    }
    m_session.sendLine({
        {Key::Event, ControlProtocol::Event::Progress},
        {Key::Name, download.fileName},
        {Key::Status, running.data(running.index(row, DownloadListModel::StatusColumn)).toString()},
        {Key::State, CopyReport::stateWord(download)},
        {Key::Received, download.received},
        {Key::Total, download.total},
        {Key::Rate, m_rate},
    });
}

void DownloadWatch::onEnded(int id)
{
    const DeadDownloadListModel &ended = m_core.transfers().deadDownloadList();
    const int row = ended.rowOf(id);
    if (id != m_download || row < 0)
        return;
    m_progress.stop();
    m_download = -1;
    const Download &download = ended.at(row);
    const QString status = ended.data(ended.index(row, DeadDownloadListModel::StatusColumn)).toString();
    if (download.state.state() == Download::State::Complete) {
        m_session.finish({{Key::Ok, true}, {Key::Status, status}, {Key::State, CopyReport::stateWord(download)},
                          {Key::Path, download.finishedPath},
                          {Key::Verification, DeadDownloadListModel::verificationText(download)}});
        return;
    }
    const QString toolTip =
        ended.data(ended.index(row, DeadDownloadListModel::StatusColumn), Qt::ToolTipRole).toString();
    const QString error = toolTip.isEmpty() ? status : status + QLatin1String(": ") + toolTip;
    m_session.finish({{Key::Ok, false}, {Key::Status, status}, {Key::State, CopyReport::stateWord(download)},
                      {Key::Error, error}});
}
