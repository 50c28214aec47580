#include "daemon/folderwatch.h"

#include "common/controlprotocol.h"
#include "daemon/controlsession.h"
#include "shell/core.h"

#include <QDir>

namespace Key = ControlProtocol::Key;
namespace StateWord = ControlProtocol::StateWord;

FolderWatch::FolderWatch(Core &core, ControlSession &session, QString address)
    : QObject(&session)
    , m_core(core)
    , m_session(session)
    , m_address(std::move(address))
{
    m_progress.setInterval(ProgressIntervalMs);
    connect(&m_progress, &QTimer::timeout, this, &FolderWatch::reportProgress);
    connect(&core.transfers().folders(), &FolderDownloads::groupEnded, this, &FolderWatch::onGroupEnded);
}

void FolderWatch::startFolder(const QByteArray &nickname, const QByteArray &folder)
{
    m_folder = folder;
    connect(&m_core.transfers(), &Transfers::folderStarted, this, &FolderWatch::onFolderStarted);
    m_core.transfers().downloadFolder(m_address, nickname, folder);
}

void FolderWatch::startFiles(const QStringList &sharedNames)
{
    std::vector<FolderDownload::File> files;
    for (const QString &name : sharedNames)
        files.push_back({name.toUtf8(), m_address, -1});
    watch(m_core.transfers().folders().startSelection(std::move(files)));
}

void FolderWatch::onFolderStarted(int group, const QByteArray &folder)
{
    if (m_group >= 0 || folder != m_folder)
        return;
    if (group < 0) {
        m_session.fail(QLatin1String("the peer lists no file below ") + QString::fromUtf8(folder));
        return;
    }
    watch(group);
}

void FolderWatch::watch(int group)
{
    m_group = group;
    m_clock.start();
    m_progress.start();
    reportProgress();
}

QString FolderWatch::statusText() const
{
    const FolderDownloadModel &model = m_core.transfers().folders().model();
    const int row = model.rowOf(m_group);
    return model.index(row, FolderDownloadModel::StatusColumn).data().toString() + QLatin1Char(' ')
           + model.index(row, FolderDownloadModel::FilesColumn).data().toString() + QStringLiteral(" files");
}

void FolderWatch::reportProgress()
{
    const FolderDownload *group = m_core.transfers().folders().group(m_group);
    if (!group)
        return;
    qint64 received = group->bytesDone();
    for (int index = 0; index < group->entryCount() && group->runningCount() > 0; ++index) {
        const FolderDownload::Entry &entry = group->entry(index);
        if (const Download *download = entry.ended ? nullptr : m_core.transfers().download(entry.download);
            download && download->state.isRunning())
            received += download->received;
    }
    const qint64 now = m_clock.elapsed();
    if (now - m_lastSampleMs >= 1000) {
        m_rate = (received - m_lastReceived) * 1000 / qMax<qint64>(1, now - m_lastSampleMs);
        m_lastReceived = received;
        m_lastSampleMs = now;
    }
    m_session.sendLine({
        {Key::Event, ControlProtocol::Event::Progress},
        {Key::Name, group->name()},
        {Key::Status, statusText()},
        {Key::State, StateWord::Downloading},
        {Key::FilesDone, group->filesDone()},
        {Key::Files, group->entryCount()},
        {Key::Received, received},
        {Key::Total, group->bytesTotal()},
        {Key::Rate, m_rate},
    });
}

void FolderWatch::onGroupEnded(int id)
{
    const FolderDownload *group = m_core.transfers().folders().group(id);
    if (id != m_group || !group)
        return;
    m_progress.stop();
    const QString status = statusText();
    const QString downloads = m_core.transfers().downloadsFolder();
    if (group->status() == FolderDownload::Status::Complete) {
        const QString path = group->folder().isEmpty() ? downloads : QDir(downloads).filePath(group->name());
        m_session.finish({{Key::Ok, true}, {Key::Status, status}, {Key::State, StateWord::Complete},
                          {Key::FilesDone, group->filesDone()}, {Key::Files, group->entryCount()},
                          {Key::Path, path}});
        return;
    }
    const QString error = QStringLiteral("%1 of %2 files did not arrive; what arrived is kept")
                              .arg(group->entryCount() - group->filesDone())
                              .arg(group->entryCount());
    m_session.finish({{Key::Ok, false}, {Key::Status, status}, {Key::State, StateWord::Error},
                      {Key::FilesDone, group->filesDone()}, {Key::Files, group->entryCount()}, {Key::Error, error}});
}
