#include "share/searchservice.h"

#include "net/controlconnections.h"
#include "net/localpeer.h"
#include "net/socketelement.h"
#include "net/wirekeywords.h"
#include "share/filetypes.h"
#include "share/indexsnapshot.h"

#include <array>

namespace {

constexpr int ResultFields = 4;

// The first four "|"-separated fields of a result, the closing "?" counting
// as a separator. False when one is missing or empty.
bool splitResult(const QByteArray &payload, std::array<QByteArray, ResultFields> &fields)
{
    if (payload.isEmpty())
        return false;
    const QByteArrayView text = QByteArrayView(payload).chopped(1);
    qsizetype start = 0;
    for (int i = 0; i < ResultFields; ++i) {
        if (start > text.size())
            return false;
        qsizetype end = text.indexOf('|', start);
        if (end < 0)
            end = text.size();
        fields[static_cast<size_t>(i)] = text.sliced(start, end - start).toByteArray();
        if (fields[static_cast<size_t>(i)].isEmpty())
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

SearchService::SearchService(ControlConnections &connections, LocalPeer &localPeer, Context context,
                             QObject *parent)
    : QObject(parent)
    , m_connections(connections)
    , m_localPeer(localPeer)
    , m_context(std::move(context))
    , m_statusCaption(QStringLiteral("Press \"Search The LAN!\" to search for files."))
{
    m_answerTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this, &SearchService::runAnswers);
    connect(&m_results, &SearchResultsModel::rowsInserted, this, &SearchService::onRowsInserted);
    m_noAnswerTimer.setSingleShot(true);
    m_noAnswerTimer.setInterval(NoAnswerMs);
    connect(&m_noAnswerTimer, &QTimer::timeout, this, &SearchService::onNoAnswer);
}

SearchService::~SearchService() = default;

bool SearchService::startSearch(const QByteArray &searchBoxText, const QString &category)
{
    if (searchBoxText.isEmpty())
        return false;
    submitSearch(searchBoxText, category);
    return true;
}

void SearchService::submitSearch(const QByteArray &query, const QString &category)
{
    m_searchDescription.clear();
    m_unanswered = false;
    m_askedPeers = 0;
    setStatus(QStringLiteral("Search request submitted. Waiting for responses..."), true);
    m_currentQuery = query;
    m_currentFileType = category;
    m_signatureSearch.reset();
    emit currentQueryChanged(query);
    m_results.startNewSearch();

    // A browse goes only to the peers that carry the browsed nickname.
    const bool browse = query.startsWith(WireKeywords::UserBrowsePrefix);
    const QByteArray browsed =
        browse ? SearchQuery::lowered(query.mid(WireKeywords::length(WireKeywords::UserBrowsePrefix)).trimmed())
               : QByteArray();
    const QByteArray message = WireKeywords::Search + query;
    for (int index : m_connections.controlLinks()) {
        if (browse) {
            const QByteArray &nickname = m_connections.record(index).nickname;
            if (nickname.isEmpty() || SearchQuery::lowered(nickname.trimmed()) != browsed)
                continue;
        }
        m_connections.send(index, message);
        ++m_askedPeers;
    }
    m_noAnswerTimer.start();
}

void SearchService::browseUser(const QByteArray &nickname)
{
    searchFromTab(WireKeywords::UserBrowsePrefix + nickname);
    describeSearch(QStringLiteral("Files shared by ") + QString::fromUtf8(nickname.trimmed()));
}

void SearchService::searchFromTab(const QByteArray &query)
{
    const QString category = QLatin1String(FileTypes::AllFileTypes);
    emit searchTabRequested(query, category);
    startSearch(query, category);
}

void SearchService::findBySignature(qint64 size, const QByteArray &signature, const QString &fileName)
{
    searchFromTab(QByteArray(WireKeywords::SignatureSearchPrefix) + QByteArray::number(size) + ' ' + signature);
    m_signatureSearch = SignatureSearch{size, signature};
    describeSearch(QStringLiteral("Other copies of ") + fileName);
}

void SearchService::browseResultUser(int row)
{
    if (row < 0 || row >= m_results.rowCount())
        return;
    browseUser(m_results.result(row).nickname);
}

void SearchService::showResult(const QString &address, const QByteArray &payload)
{
    std::array<QByteArray, ResultFields> fields;
    if (!splitResult(payload, fields))
        return;
    const QByteArray &sharedName = fields[0];
    if (!m_currentFileType.isEmpty() && m_currentFileType != QLatin1String(FileTypes::AllFileTypes)
        && !FileTypes::matchesFileType(sharedName, m_currentFileType))
        return;
    // The row is keyed by the address the result came from: a peer cannot
    // point a download at some other machine.
    if (m_results.append({sharedName, fields[1], fields[3], address}) && m_signatureSearch)
        emit signatureFound(m_signatureSearch->size, m_signatureSearch->signature, sharedName, address);
}

void SearchService::fillFileTypes()
{
    m_fileTypes = FileTypes::fillFileTypes();
    emit fileTypesFilled(m_fileTypes);
}

void SearchService::answerSearch(int index, const QByteArray &query)
{
    const QByteArray nickname = m_localPeer.nickname();
    SearchQuery parsed(query, nickname);
    if (parsed.matchesNothing())
        return;
    std::shared_ptr<const IndexSnapshot> snapshot = m_context.snapshot();
    if (!snapshot || snapshot->files.empty())
        return;

    auto job = std::make_unique<SearchAnswerJob>(std::move(snapshot), std::move(parsed), m_localPeer.address(),
                                                 nickname, targetOf(index), m_context.fileSignature);
    std::deque<std::unique_ptr<SearchAnswerJob>> &queue = m_answers[index];
    if (queue.empty())
        m_rotation.push_back(index);
    else if (static_cast<int>(queue.size()) > MaxWaitingAnswersPerLink)
        queue.erase(queue.begin() + 1);
    queue.push_back(std::move(job));
    if (!m_answerTimer.isActive() || m_answerTimer.interval() > 0)
        m_answerTimer.start(0);
}

void SearchService::setStatus(const QString &caption, bool statusVisible)
{
    m_statusCaption = caption;
    m_searchStatusVisible = statusVisible;
    emit statusChanged();
}

QString SearchService::statusNote() const
{
    if (!m_unanswered)
        return m_searchDescription;
    const QString noAnswer = QStringLiteral("No answers from %1 %2").arg(m_askedPeers).arg(
        m_askedPeers == 1 ? QStringLiteral("peer") : QStringLiteral("peers"));
    return m_searchDescription.isEmpty() ? noAnswer : m_searchDescription + QLatin1String(": ") + noAnswer;
}

void SearchService::describeSearch(const QString &description)
{
    m_searchDescription = description;
    emit statusChanged();
}

void SearchService::onNoAnswer()
{
    // The search goes on listening: answers that come later are still listed.
    if (m_results.rowCount() > 0)
        return;
    m_unanswered = true;
    emit statusChanged();
}

void SearchService::onRowsInserted()
{
    m_noAnswerTimer.stop();
    m_unanswered = false;
    setStatus(QStringLiteral("Search Responses: ") + QString::number(m_results.rowCount()), false);
}

SearchAnswerJob::Target SearchService::targetOf(int index) const
{
    // The element may close, or carry another peer's connection, before the
    // answer is done: the record's identity tells.
    ControlConnections &connections = m_connections;
    const ConnectionRecord &record = connections.record(index);
    const QByteArray peerId = record.peerId;
    const qint64 openedAtMs = record.openedAtMs;
    SearchAnswerJob::Target target;
    target.isOpen = [&connections, index, peerId, openedAtMs] {
        const SocketElement *element = connections.element(index);
        const ConnectionRecord &now = connections.record(index);
        return element && element->state() == SocketElement::Connected && now.peerId == peerId
               && now.openedAtMs == openedAtMs;
    };
    target.backlog = [&connections, index] {
        const SocketElement *element = connections.element(index);
        return element ? element->bytesToWrite() : 0;
    };
    target.send = [&connections, index](const QByteArray &message) { connections.send(index, message); };
    return target;
}

void SearchService::runAnswers()
{
    const QDeadlineTimer turn(AnswerTurnMs, Qt::PreciseTimer);
    size_t blockedInARow = 0;
    while (!m_rotation.empty() && !turn.hasExpired() && blockedInARow < m_rotation.size()) {
        const int index = m_rotation.front();
        m_rotation.pop_front();
        std::deque<std::unique_ptr<SearchAnswerJob>> &queue = m_answers[index];
        const SearchAnswerJob::Progress progress = queue.front()->runSlice(turn);
        if (progress == SearchAnswerJob::Progress::Gone)
            queue.clear();  // every waiting answer was for the link that closed
        else if (progress == SearchAnswerJob::Progress::Finished)
            queue.pop_front();
        blockedInARow = progress == SearchAnswerJob::Progress::Blocked ? blockedInARow + 1 : 0;
        if (queue.empty())
            m_answers.erase(index);
        else
            m_rotation.push_back(index);
    }
    if (m_rotation.empty())
        return;
    // When every answer waits for its connection to drain, look again shortly
    // instead of spinning.
    m_answerTimer.start(blockedInARow >= m_rotation.size() ? BlockedRetryMs : 0);
}
