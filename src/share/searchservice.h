#pragma once

#include "share/searchanswerjob.h"
#include "share/searchresultsmodel.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class ControlConnections;
class LocalPeer;
class IndexSnapshot;

// Searching the peers and answering their searches. The requesting side sends
// "search:" on the control links and lists the results that echo the current
// query; the serving side matches a request against its own index and sends
// one "result:" per matching file, in slices so the event loop stays free.
class SearchService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchService)

public:
    struct Context {
        std::function<std::shared_ptr<const IndexSnapshot>()> snapshot;
        std::function<QByteArray(const QString &)> fileSignature;
    };

    // Answers to one peer run one after the other; more requests than this
    // waiting behind them push out the oldest waiting one.
    static constexpr int MaxWaitingAnswersPerLink = 16;
    // Answering holds the event loop at most about this long per turn.
    static constexpr int AnswerTurnMs = 20;
    // How often answers held back by a full connection look again.
    static constexpr int BlockedRetryMs = 5;
    // A search without any answer this long says so, and goes on listening.
    static constexpr int NoAnswerMs = 10000;

    SearchService(ControlConnections &connections, LocalPeer &localPeer, Context context, QObject *parent = nullptr);
    ~SearchService() override;

    SearchResultsModel &results() { return m_results; }

    // The search button: an empty box does nothing. True when a search went out.
    bool startSearch(const QByteArray &searchBoxText, const QString &category);
    void submitSearch(const QByteArray &query, const QString &category);
    // Lists every file of one user; the search tab comes to the front.
    void browseUser(const QByteArray &nickname);
    // Brings the search tab to the front with `query` in its box and the
    // first category chosen, and runs the search.
    void searchFromTab(const QByteArray &query);
    // Asks every peer for files of this size and signature; the search tab
    // shows the answers like those of any search, as copies of `fileName`.
    void findBySignature(qint64 size, const QByteArray &signature, const QString &fileName);
    // The search tab's "View Files": browses the user of a result row.
    void browseResultUser(int row);
    // One result that echoed the current query, from the peer at `address`.
    void showResult(const QString &address, const QByteArray &payload);

    QByteArray currentQuery() const { return m_currentQuery; }
    QString currentFileType() const { return m_currentFileType; }
    QString statusCaption() const { return m_statusCaption; }
    // The "Listening..." box of the search tab.
    bool isSearchStatusVisible() const { return m_searchStatusVisible; }
    // Said beside the caption: what a browse or a resume lists, and that
    // nobody has answered yet.
    QString statusNote() const;
    QTimer &noAnswerTimer() { return m_noAnswerTimer; }

    // The category choice, in the order a view lists it; the first is preselected.
    void fillFileTypes();
    QStringList fileTypes() const { return m_fileTypes; }

    // Serving side: the request that arrived on control link `index`.
    void answerSearch(int index, const QByteArray &query);

signals:
    // Results are accepted from now on only when they echo this query.
    void currentQueryChanged(const QByteArray &query);
    void statusChanged();
    // A browse or a resume started: the view brings the search tab to the
    // front and shows the category; the query is not for the search box.
    void searchTabRequested(const QByteArray &searchBoxText, const QString &category);
    void fileTypesFilled(const QStringList &fileTypes);
    // A peer answered the running find-by-signature search.
    void signatureFound(qint64 size, const QByteArray &signature, const QByteArray &sharedName,
                        const QString &address);

private:
    void setStatus(const QString &caption, bool statusVisible);
    void describeSearch(const QString &description);
    void onNoAnswer();
    void onRowsInserted();
    SearchAnswerJob::Target targetOf(int index) const;
    void runAnswers();

    ControlConnections &m_connections;
    LocalPeer &m_localPeer;
    Context m_context;
    SearchResultsModel m_results;
    QByteArray m_currentQuery;
    QString m_currentFileType;
    QString m_statusCaption;
    bool m_searchStatusVisible = false;
    QString m_searchDescription;
    int m_askedPeers = 0;
    bool m_unanswered = false;
    QTimer m_noAnswerTimer;
    QStringList m_fileTypes;
    // What the current query looks for, when it is a find-by-signature search.
    struct SignatureSearch {
        qint64 size;
        QByteArray signature;
    };
    std::optional<SignatureSearch> m_signatureSearch;

    // Per control link, its requests in arrival order; the first one runs.
    std::map<int, std::deque<std::unique_ptr<SearchAnswerJob>>> m_answers;
    // Links with work, in the order they get their next slice.
    std::deque<int> m_rotation;
    QTimer m_answerTimer;
};
