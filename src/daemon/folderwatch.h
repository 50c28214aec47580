#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class ControlSession;
class Core;

// Runs one folder or multi-file download for a control client: the listing
// of the folder first when there is one, then the files, paced as the
// Downloads tab does, reported as one progress line for the whole group
// and ending with its outcome.
class FolderWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderWatch)

public:
    static constexpr int ProgressIntervalMs = 250;

    // Becomes a child of `session`.
    FolderWatch(Core &core, ControlSession &session, QString address);

    // Every file below `folder` of the peer, listed by a browse of `nickname`.
    void startFolder(const QByteArray &nickname, const QByteArray &folder);
    void startFiles(const QStringList &sharedNames);

private:
    void onFolderStarted(int group, const QByteArray &folder);
    void watch(int group);
    void reportProgress();
    void onGroupEnded(int group);
    QString statusText() const;

    Core &m_core;
    ControlSession &m_session;
    QString m_address;
    QByteArray m_folder;
    int m_group = -1;
    QTimer m_progress;
    QElapsedTimer m_clock;
    qint64 m_lastReceived = 0;
    qint64 m_lastSampleMs = 0;
    qint64 m_rate = 0;
};
