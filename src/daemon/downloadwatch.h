#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class ControlSession;
class Core;

// Runs one download for a control client: optionally a search for a parked
// part of the same file first, then the download itself, reporting its
// progress a few times a second and ending with its outcome.
class DownloadWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWatch)

public:
    static constexpr int ProgressIntervalMs = 250;
    static constexpr int ResumeSearchMs = 10000;
    // Answers that come this soon after the first are weighed with it, so the
    // peer the client named wins when it answers too.
    static constexpr int SourceChoiceMs = 50;

    // Becomes a child of `session`.
    DownloadWatch(Core &core, ControlSession &session, QByteArray sharedName, QString address);

    void start(bool resume);

private:
    bool startResumeSearch();
    void onResumeSource(int id, const QByteArray &sharedName, const QString &address);
    void endResumeSearch(bool found);
    void startDownload(const QByteArray &sharedName, const QString &address);
    void reportProgress();
    void onEnded(int id);

    Core &m_core;
    ControlSession &m_session;
    QByteArray m_sharedName;
    QString m_address;
    QTimer m_progress;
    QTimer m_resumeTimeout;
    QTimer m_sourceChoice;
    QElapsedTimer m_clock;
    int m_resuming = -1;
    // The source the resume search settled on so far.
    QByteArray m_sourceName;
    QString m_sourceAddress;
    int m_download = -1;
    qint64 m_lastReceived = 0;
    qint64 m_lastSampleMs = 0;
    qint64 m_rate = 0;
};
