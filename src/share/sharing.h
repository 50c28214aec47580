#pragma once

#include "share/searchservice.h"
#include "share/sharedindex.h"

#include <QObject>
#include <QString>
#include <QTimer>

class ControlConnections;
class LocalPeer;
class SettingsStore;

// Sharing and search of one copy: the shared-file index, walked again every
// two minutes so that peers hear of new files, and the search service that
// answers peers from it and lists what they answer.
class Sharing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sharing)

public:
    static constexpr int RescanIntervalMs = 120000;

    Sharing(SettingsStore &settings, const QString &programFolder, ControlConnections &connections,
            LocalPeer &localPeer, QObject *parent = nullptr);

    SharedIndex &sharedIndex() { return m_sharedIndex; }
    SearchService &search() { return m_search; }

    // The shared folders are walked again every RescanIntervalMs from now on.
    void startRescanning();
    bool isRescanning() const { return m_rescanTimer.isActive(); }
    void stop();

private:
    SearchService::Context searchContext();

    SharedIndex m_sharedIndex;
    SearchService m_search;
    QTimer m_rescanTimer;
};
