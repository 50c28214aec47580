#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class ControlConnections;
class QuietSignatureSearch;
class Transfers;

// Resumes the downloads parked at the last end of the program once peers
// are connected: one after the other, it asks every peer for the parked
// file by its size and signature, and continues it from the first peer
// that holds it. Each peer that names itself starts one more round for the
// entries still parked; no round runs without one. Its searches are quiet:
// the Search tab keeps showing what the person searched for.
class ParkedResumer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ParkedResumer)

public:
    // Peers that name themselves within this much of each other start one round.
    static constexpr int GatherMs = 1000;
    // A file no peer offers within this much is left parked until the next round.
    static constexpr int SourceWaitMs = 10000;

    ParkedResumer(Transfers &transfers, ControlConnections &connections, QuietSignatureSearch &search,
                  QObject *parent = nullptr);

    void stop();

private:
    void startRound();
    void resumeNext();
    // Asks the peers for a parked entry's file; false when it cannot be looked for.
    bool lookFor(int id);
    void onSourceFound(qint64 size, const QByteArray &signature, const QByteArray &sharedName,
                       const QString &address);

    Transfers &m_transfers;
    ControlConnections &m_connections;
    QuietSignatureSearch &m_search;
    QTimer m_gather;
    QTimer m_sourceWait;
    // The parked entries this round has still to look for.
    QList<int> m_round;
    // The entry whose search runs, or -1.
    int m_looking = -1;
    // A peer came during the round: another round follows it.
    bool m_again = false;
};
