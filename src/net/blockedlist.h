#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// The users this copy has blocked, by unique identifier, each with the
// nickname it was last seen with. Rows keep their order (the options dialog
// shows them so); a count per identifier beside them answers isBlocked()
// without a scan, since every incoming message asks.
class BlockedList final
{
public:
    struct Row {
        QByteArray id;
        QByteArray nickname;

        bool operator==(const Row &other) const { return id == other.id && nickname == other.nickname; }
    };

    BlockedList() = default;
    Q_DISABLE_COPY_MOVE(BlockedList)

    // Exact and case-sensitive; never true for the empty identifier.
    bool isBlocked(const QByteArray &id) const;
    void add(const QByteArray &id, const QByteArray &nickname = {});
    // Removes the first row with this identifier; false when there is none.
    bool removeFirst(const QByteArray &id);
    void clear();

    const QList<Row> &rows() const { return m_rows; }
    int count() const { return static_cast<int>(m_rows.size()); }
    void setRows(const QList<Row> &rows);
    void setNickname(int row, const QByteArray &nickname);

    // Replaces every row by those of the stored form: "id|nickname?" per row.
    // A piece without "|" is an identifier with no nickname; text after a
    // second "|" is dropped; a piece with an empty identifier is skipped.
    void load(const QByteArray &stored);
    // The stored form of every row that can be written faithfully: a row whose
    // identifier is empty or holds a separator is left out (it blocks nobody
    // after a reload anyway), and separators in a nickname become spaces.
    QByteArray storedForm() const;

private:
    QList<Row> m_rows;
    QHash<QByteArray, int> m_counts;
};
