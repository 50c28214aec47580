#include "net/blockedlist.h"

namespace {

constexpr char RowEnd = '?';
constexpr char FieldEnd = '|';

bool holdsSeparator(const QByteArray &text)
{
    return text.contains(RowEnd) || text.contains(FieldEnd);
}

} // namespace

bool BlockedList::isBlocked(const QByteArray &id) const
{
    return !id.isEmpty() && m_counts.contains(id);
}

void BlockedList::add(const QByteArray &id, const QByteArray &nickname)
{
    m_rows.append({id, nickname});
    ++m_counts[id];
}

bool BlockedList::removeFirst(const QByteArray &id)
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id != id)
            continue;
        m_rows.removeAt(i);
        const auto count = m_counts.find(id);
        if (--count.value() == 0)
            m_counts.erase(count);
        return true;
    }
    return false;
}

void BlockedList::clear()
{
    m_rows.clear();
    m_counts.clear();
}

void BlockedList::setRows(const QList<Row> &rows)
{
    clear();
    for (const Row &row : rows)
        add(row.id, row.nickname);
}

void BlockedList::setNickname(int row, const QByteArray &nickname)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].nickname = nickname;
}

void BlockedList::load(const QByteArray &stored)
{
    clear();
    const QList<QByteArray> pieces = stored.split(RowEnd);
    // The last piece is what follows the final "?": empty, or a cut-off row.
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        const QList<QByteArray> fields = pieces[i].split(FieldEnd);
        if (fields[0].isEmpty())
            continue;
        add(fields[0], fields.size() > 1 ? fields[1] : QByteArray());
    }
}

QByteArray BlockedList::storedForm() const
{
    QByteArray stored;
    for (const Row &row : m_rows) {
        if (row.id.isEmpty() || holdsSeparator(row.id))
            continue;
        // A peer's nickname arrives as it was sent and may hold separators.
        QByteArray nickname = row.nickname;
        nickname.replace(RowEnd, ' ').replace(FieldEnd, ' ');
        stored += row.id + FieldEnd + nickname + RowEnd;
    }
    return stored;
}
