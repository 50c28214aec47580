#pragma once

#include "share/indexsnapshot.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QtGlobal>
#include <atomic>
#include <memory>

class SettingsStore;

// The index of every shared file below the downloads folder and the shared
// folders, and the cache of file signatures. Used from its owner's thread.
//
// The folders are walked on a worker thread; the finished index replaces the
// current one in one step on the owner's thread, so every reader sees either
// the old index or the new one, never a table being filled. A rebuild asked
// for while a walk runs is done once more after that walk.
class SharedIndex final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SharedIndex)

public:
    static constexpr int ProgressIntervalMs = 500;

    // The downloads folder defaults to "Downloads" in `programFolder`.
    SharedIndex(SettingsStore &settings, const QString &programFolder, QObject *parent = nullptr);
    ~SharedIndex() override;

    // Starts a rebuild from the stored folders; rebuilt() follows.
    void loadSharedFolders();
    // The roots a walk starting now would index: the downloads folder, then
    // the stored shared folders, each without one trailing "/".
    QStringList rootFolders() const;

    // Never null; empty until the first walk ends.
    std::shared_ptr<const IndexSnapshot> snapshot() const { return m_snapshot; }
    // The shared-file count announced to peers.
    qint64 count() const { return static_cast<qint64>(m_snapshot->files.size()); }
    bool isWalking() const { return m_walking; }
    // Files the running (or last) walk has found so far.
    qint64 walkedFileCount() const { return m_walkedFiles.load(); }
    // A stored folder as a root: without one trailing "/", except "/" itself.
    static QString withoutTrailingSlash(const QString &path);

    // The file's signature, computed on first demand and cached for the
    // whole run, failures included. It is computed anew when the file's size
    // or modification time changed since, so a download never resumes onto
    // other content under a stale signature.
    QByteArray fileSignature(const QString &fullPath);

signals:
    void walkStarted();
    // About twice a second while a walk runs.
    void walkProgress(qint64 filesFound);
    // The new index is in place; count() may have changed.
    void rebuilt();

private:
    struct CachedSignature
    {
        QByteArray signature;
        qint64 size = -1;
        qint64 modifiedNs = -1;
    };

    void startWalk();
    void finishWalk();

    SettingsStore &m_settings;
    const QString m_programFolder;
    std::shared_ptr<const IndexSnapshot> m_snapshot;
    bool m_walking = false;
    bool m_rebuildPending = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<qint64> m_walkedFiles{0};
    QTimer m_progressTimer;
    QHash<QString, CachedSignature> m_signatures;
    // Destroyed before m_stopping and m_walkedFiles, which the walk uses; the destructor has
    // waited for the walk by then.
    QThreadPool m_pool;
    QFutureWatcher<std::shared_ptr<const IndexSnapshot>> m_watcher;
};
