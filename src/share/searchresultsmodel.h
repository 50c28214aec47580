#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTimer>
#include <vector>

// The visible result table of the search tab. Results arrive far faster than
// a view can take single insertions, so they are collected and inserted
// together at most every FlushIntervalMs. Rows are listed in arrival order
// until a column heading is clicked; then they are kept sorted as text.
class SearchResultsModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchResultsModel)

public:
    enum Column { FilenameColumn = 0, FilesizeColumn = 1, NicknameColumn = 2, ColumnCount };
    enum Role {
        AddressRole = Qt::UserRole,  // QString: the responder's address, the row's key
    };

    // A browse of a peer lists all its files; beyond this many rows further
    // results are dropped, so a flood cannot exhaust memory.
    static constexpr int MaxRows = 1000000;
    static constexpr int FlushIntervalMs = 50;

    struct Result {
        QByteArray sharedName;
        QByteArray sizeText;
        QByteArray nickname;
        QString address;
    };

    explicit SearchResultsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Sorts by the column's text, letter case ignored; equal texts keep their order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Queues a row; it is shown within FlushIntervalMs. False when the table is full.
    bool append(Result result);
    // Shows the queued rows now.
    void flush();
    Result result(int row) const;

    // A new search: every row goes, sorting is switched off and the stored
    // direction flips, as a heading click would.
    void startNewSearch();
    // A click on a column heading: the direction flips and the rows are
    // sorted by that column, and stay sorted as more arrive.
    void toggleSort(int column);
    bool isSortingEnabled() const { return m_sortingEnabled; }
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

private:
    // The responder's address and nickname are the same for most rows and
    // are kept once.
    struct Responder {
        QString address;
        QByteArray nickname;
    };
    // The shared name and the size text in one block: a million rows add up.
    struct Row {
        QByteArray text;
        quint32 nameLength = 0;
        quint32 responder = 0;
    };

    QByteArrayView columnText(const Row &row, int column) const;
    bool lessThan(int rowA, int rowB) const;
    quint32 responderOf(const QString &address, const QByteArray &nickname);
    // Rows from `first` on have just been appended to sorted rows.
    void mergeSortedTail(int first);
    // Row i becomes what was row order[i].
    void reorder(const std::vector<int> &order);

    std::vector<Row> m_rows;
    std::vector<Row> m_pending;
    std::vector<Responder> m_responders;
    QHash<QString, QHash<QByteArray, quint32>> m_responderIds;
    QTimer m_flushTimer;
    bool m_sortingEnabled = false;
    int m_sortColumn = FilenameColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
