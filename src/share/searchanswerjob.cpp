#include "share/searchanswerjob.h"

#include "common/formatsize.h"
#include "net/wirekeywords.h"
#include "share/indexsnapshot.h"

SearchAnswerJob::SearchAnswerJob(std::shared_ptr<const IndexSnapshot> snapshot, SearchQuery query,
                                 const QString &localAddress, const QByteArray &nickname, Target target,
                                 std::function<QByteArray(const QString &)> fileSignature)
    : m_snapshot(std::move(snapshot))
    , m_query(std::move(query))
    , m_prefix(WireKeywords::Result + m_query.text() + ':')
    , m_suffix('|' + localAddress.toLatin1() + '|' + nickname + '?')
    , m_target(std::move(target))
    , m_fileSignature(std::move(fileSignature))
{
}

SearchAnswerJob::Progress SearchAnswerJob::runSlice(const QDeadlineTimer &deadline)
{
    if (!m_target.isOpen())
        return Progress::Gone;
    if (m_target.backlog() > MaxBacklogBytes)
        return Progress::Blocked;
    const std::vector<SharedFile> &files = m_snapshot->files;
    QByteArray sharedName;
    // Every slice gets through some files, however late it starts.
    int sinceCheck = RowsPerCheck;
    while (m_next < files.size()) {
        if (sinceCheck == 0) {
            if (deadline.hasExpired())
                return Progress::MoreToDo;
            sinceCheck = RowsPerCheck;
        }
        --sinceCheck;
        const SharedFile &file = files[m_next++];
        bool readContent = false;
        const bool matched = matches(file, sharedName, readContent);
        if (readContent)
            sinceCheck = 0;
        if (!matched)
            continue;
        // Checked before every write: one result may be as long as the query.
        if (m_target.backlog() > MaxBacklogBytes) {
            --m_next;
            return Progress::Blocked;
        }
        if (!m_target.isOpen())
            return Progress::Gone;
        m_target.send(m_prefix + sharedName + '|' + formatSize(file.size).toLatin1() + m_suffix);
        ++m_sent;
    }
    return Progress::Finished;
}

bool SearchAnswerJob::matches(const SharedFile &file, QByteArray &sharedName, bool &readContent) const
{
    switch (m_query.form()) {
    case SearchQuery::Form::UserBrowse:
        sharedName = m_snapshot->sharedName(file);
        return true;
    case SearchQuery::Form::FileSignature:
        if (!m_query.matchesSize(file.size))
            return false;
        readContent = true;
        if (!m_query.matchesSignature(m_fileSignature(m_snapshot->fullPath(file))))
            return false;
        sharedName = m_snapshot->sharedName(file);
        return true;
    case SearchQuery::Form::Keyword:
        if (!m_query.matchesFile(file))
            return false;
        sharedName = m_snapshot->sharedName(file);
        return true;
    }
    return false;
}
