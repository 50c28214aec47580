#pragma once

#include "transfer/deaddownloadlistmodel.h"
#include "transfer/transferslot.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class DownloadListModel;
class ResumeStore;
class SocketArray;

// The requesting side of file transfers: one transfer connection per started
// download, the messages on it, the incomplete file, and the filing of the
// outcome in the ended-downloads list.
class Downloader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Downloader)

public:
    // Data is taken from the socket in reads of at least this much, except
    // the read that completes the file.
    static constexpr qint64 MinimumRead = 512;

    enum class Outcome { Completed, Failed };

    struct Context {
        std::function<int()> listenPort;
        std::function<QString()> incompleteFolder;
        std::function<QString()> downloadsFolder;
    };

    Downloader(SocketArray &sockets, DownloadListModel &running, DeadDownloadListModel &ended, ResumeStore &store,
               Context context, QObject *parent = nullptr);

    int allocateTransferSlot();
    // Returns the slot, or -1 when no socket element is left.
    int startDownload(const QByteArray &sharedName, const QString &address);
    void cancelDownload(int slot);
    // Closes every transfer connection without filing anything: the
    // incomplete files stay where they are.
    void closeAll();
    // Transfers that have a row in the running list.
    int runningDownloadCount() const;
    // Samples the rate of every downloading transfer.
    void downloadTick();
    const TransferSlot &slot(int index) const { return m_slots.at(static_cast<size_t>(index)); }

    void transferConnected(int slot);
    void transferDataArrived(int slot);
    void finishTransfer(int slot);
    void transferFailed(int slot, int number, const QString &description);

signals:
    // A transfer left the running list; cancels are not reported.
    void transferEnded(Outcome outcome, const QString &fileName);
    // The download of `slot` was filed in the ended list at `endedRow`, cancels included.
    void downloadFiled(int slot, int endedRow);

private:
    TransferSlot &slotAt(int index) { return m_slots.at(static_cast<size_t>(index)); }
    void ensureSlots();
    void handleFileInfo(int slot, const QByteArray &body);
    void handleData(int slot, const QByteArray &bytes);
    bool openIncompleteFile(int slot);
    void fail(int slot, const QString &reason, const QString &description);
    void onClosed(int slot);
    void onError(int slot, const QString &description);
    void setStatus(int slot, const QString &status);
    void showProgress(int slot);
    // Files an unfinished transfer; returns the entry's row.
    int fileUnfinished(int slot, const QString &status, const QString &toolTip);
    int fileFinished(int slot);
    int fileEnded(int slot, const DeadDownloadListModel::Entry &entry);
    bool signatureMatches(const TransferSlot &entry) const;

    SocketArray &m_sockets;
    DownloadListModel &m_running;
    DeadDownloadListModel &m_ended;
    ResumeStore &m_store;
    Context m_context;
    std::vector<TransferSlot> m_slots;
};
