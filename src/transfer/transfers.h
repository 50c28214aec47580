#pragma once

#include "net/socketarray.h"
#include "transfer/deaddownloadlistmodel.h"
#include "transfer/downloader.h"
#include "transfer/downloadlistmodel.h"
#include "transfer/downloadnotifier.h"
#include "transfer/resumestore.h"
#include "transfer/uploadserver.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class ControlConnections;
class IndexSnapshot;
class Prompter;
class SettingsStore;

// File transfers of one copy: downloads with their lists and the resume
// store on the requesting side, the upload queue on the serving side.
class Transfers final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Transfers)

public:
    struct Context {
        std::function<int()> listenPort;
        std::function<std::shared_ptr<const IndexSnapshot>()> snapshot;
        std::function<QByteArray(const QString &)> fileSignature;
    };

    Transfers(SettingsStore &settings, Prompter &prompter, ControlConnections &connections,
              const QString &programFolder, Context context, QObject *parent = nullptr);

    SocketArray &transferSockets() { return m_sockets; }
    Downloader &downloader() { return m_downloader; }
    UploadServer &uploads() { return m_uploads; }
    DownloadListModel &downloadList() { return m_running; }
    DeadDownloadListModel &deadDownloadList() { return m_ended; }
    ResumeStore &resumeStore() { return m_store; }

    int startDownload(const QByteArray &sharedName, const QString &address);
    // The delete button on the running row `row`; nothing when it is -1.
    void deleteButtonClicked(int row);
    // Searches the network for the file of an unfinished ended entry.
    void resumeButtonClicked(int deadRow);
    // Empties the ended list and the resume store.
    void clearButtonClicked();
    // The downloads folder, created when missing.
    QString downloadsFolder() const;
    QString incompleteFolder() const;
    int runningDownloadCount() const { return m_downloader.runningDownloadCount(); }
    // The end of the program: transfers close where they stand, the resume store goes.
    void shutDown();

signals:
    // The search tab comes to the front and runs this query.
    void resumeSearchRequested(const QByteArray &query);

private:
    Downloader::Context downloaderContext();
    UploadServer::Context uploadContext(Context context);

    SettingsStore &m_settings;
    const QString m_programFolder;
    SocketArray m_sockets;
    DownloadListModel m_running;
    DeadDownloadListModel m_ended;
    ResumeStore m_store;
    DownloadNotifier m_notifier;
    Context m_context;
    Downloader m_downloader;
    UploadServer m_uploads;
};
