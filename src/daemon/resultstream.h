#pragma once

#include <QJsonObject>
#include <QObject>
#include <QTimer>

class ControlSession;
class SearchResultsModel;

// Passes the rows of the search results table to a control client as they
// arrive, for as long as the client asked to wait. The copy has one results
// table: a newer search empties it, which ends this stream early.
class ResultStream final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultStream)

public:
    static constexpr int DefaultWaitSeconds = 5;
    static constexpr int MaxWaitSeconds = 3600;

    // Becomes a child of `session`. Start it right after the search was sent.
    ResultStream(SearchResultsModel &results, ControlSession &session, int waitSeconds);

private:
    void onRowsInserted(int first, int last);
    void end(bool replaced);

    SearchResultsModel &m_results;
    ControlSession &m_session;
    QTimer m_wait;
    int m_sent = 0;
};
