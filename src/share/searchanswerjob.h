#pragma once

#include "share/searchquery.h"
#include "share/sharedfile.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <memory>

class IndexSnapshot;

// The answer to one search request: walks the index snapshot that was current
// when the request came, a slice at a time, and sends one "result:" per
// matching file. A million files are never matched in one go, and results are
// produced only as fast as the connection carries them away.
class SearchAnswerJob final
{
public:
    // Where the results go: a connection that may close or be handed to
    // another peer while the answer runs.
    struct Target {
        std::function<bool()> isOpen;
        std::function<qint64()> backlog;  // bytes queued on the connection, not yet written
        std::function<void(const QByteArray &)> send;
    };
    // Gone: the connection closed; nothing more is sent.
    enum class Progress { Finished, MoreToDo, Blocked, Gone };

    // No more results are produced while this much is still waiting to be written.
    static constexpr qint64 MaxBacklogBytes = 4 * 1024 * 1024;
    // How many files are matched between two looks at the clock.
    static constexpr int RowsPerCheck = 64;

    SearchAnswerJob(std::shared_ptr<const IndexSnapshot> snapshot, SearchQuery query, const QString &localAddress,
                    const QByteArray &nickname, Target target,
                    std::function<QByteArray(const QString &)> fileSignature);

    // Matches files until the deadline passes, the backlog is full, the
    // connection has gone or the index is done.
    Progress runSlice(const QDeadlineTimer &deadline);
    qint64 resultsSent() const { return m_sent; }

private:
    // `readContent` is set when the test had to fetch a signature, which may
    // read the file: the clock is looked at again before the next file.
    bool matches(const SharedFile &file, QByteArray &sharedName, bool &readContent) const;

    std::shared_ptr<const IndexSnapshot> m_snapshot;
    SearchQuery m_query;
    QByteArray m_prefix;  // "result:" and the query as received, ":"
    QByteArray m_suffix;  // "|", this copy's address, "|", its nickname, "?"
    Target m_target;
    std::function<QByteArray(const QString &)> m_fileSignature;
    size_t m_next = 0;
    qint64 m_sent = 0;
};
