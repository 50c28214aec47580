#pragma once

#include "share/searchservice.h"
#include "share/sharedindex.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class ControlConnections;
class SettingsStore;

// Sharing and search of one copy: the shared-file index and the search
// service that answers peers from it and lists what they answer.
class Sharing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sharing)

public:
    // What sharing needs from the peer network and the rest of the copy.
    struct Context {
        std::function<void()> announceToAll;
        std::function<QString()> localAddress;
        // The dispatcher accepts only results that echo this query.
        std::function<void(const QByteArray &)> setCurrentQuery;
    };

    Sharing(SettingsStore &settings, const QString &programFolder, ControlConnections &connections, Context context,
            QObject *parent = nullptr);

    SharedIndex &sharedIndex() { return m_sharedIndex; }
    SearchService &search() { return m_search; }

private:
    SearchService::Context searchContext(SettingsStore &settings, Context context);

    SharedIndex m_sharedIndex;
    SearchService m_search;
};
