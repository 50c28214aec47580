#include "share/searchresultsmodel.h"

#include "share/sharednametext.h"

#include <algorithm>
#include <numeric>

namespace {

bool isAscii(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

int compareText(QByteArrayView a, QByteArrayView b)
{
    if (isAscii(a) && isAscii(b))
        return qstrnicmp(a.data(), a.size(), b.data(), b.size());
    return QString::compare(QString::fromUtf8(a), QString::fromUtf8(b), Qt::CaseInsensitive);
}

} // namespace

SearchResultsModel::SearchResultsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &SearchResultsModel::flush);
}

int SearchResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SearchResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Row &row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == FilenameColumn)
            return SharedNameText::forDisplay(columnText(row, FilenameColumn));
        return QString::fromUtf8(columnText(row, index.column()));
    case Qt::ToolTipRole:
        // The name exactly as the peer shares it.
        return index.column() == FilenameColumn ? QVariant(QString::fromUtf8(columnText(row, FilenameColumn)))
                                                : QVariant();
    case AddressRole:
        return m_responders[row.responder].address;
    default:
        return {};
    }
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FilenameColumn:
        return QStringLiteral("Filename");
    case FilesizeColumn:
        return QStringLiteral("Filesize");
    case NicknameColumn:
        return QStringLiteral("Nickname");
    default:
        return {};
    }
}

Qt::ItemFlags SearchResultsModel::flags(const QModelIndex &index) const
{
    // Rows are never edited in place.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void SearchResultsModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    flush();
    m_sortColumn = column;
    m_sortOrder = order;
    m_sortingEnabled = true;
    std::vector<int> sorted(m_rows.size());
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(), [this](int a, int b) { return lessThan(a, b); });
    reorder(sorted);
}

bool SearchResultsModel::append(Result result)
{
    if (m_rows.size() + m_pending.size() >= MaxRows)
        return false;
    Row row;
    row.nameLength = static_cast<quint32>(result.sharedName.size());
    row.text = result.sharedName + result.sizeText;
    row.responder = responderOf(result.address, result.nickname);
    m_pending.push_back(std::move(row));
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
    return true;
}

void SearchResultsModel::flush()
{
    m_flushTimer.stop();
    if (m_pending.empty())
        return;
    std::vector<Row> batch;
    batch.swap(m_pending);
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(batch.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
    endInsertRows();
    if (m_sortingEnabled)
        mergeSortedTail(first);
}

SearchResultsModel::Result SearchResultsModel::result(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return {};
    const Row &entry = m_rows[static_cast<size_t>(row)];
    const Responder &responder = m_responders[entry.responder];
    return {entry.text.left(entry.nameLength), entry.text.mid(entry.nameLength), responder.nickname,
            responder.address};
}

void SearchResultsModel::startNewSearch()
{
    m_flushTimer.stop();
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_pending.clear();
    m_responders.clear();
    m_responderIds.clear();
    m_sortingEnabled = false;
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    endResetModel();
}

void SearchResultsModel::toggleSort(int column)
{
    sort(column, m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QByteArrayView SearchResultsModel::columnText(const Row &row, int column) const
{
    const QByteArrayView text(row.text);
    switch (column) {
    case FilenameColumn:
        return text.first(row.nameLength);
    case FilesizeColumn:
        return text.sliced(row.nameLength);
    case NicknameColumn:
        return m_responders[row.responder].nickname;
    default:
        return {};
    }
}

bool SearchResultsModel::lessThan(int a, int b) const
{
    const int order = compareText(columnText(m_rows[static_cast<size_t>(a)], m_sortColumn),
                                  columnText(m_rows[static_cast<size_t>(b)], m_sortColumn));
    return m_sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
}

quint32 SearchResultsModel::responderOf(const QString &address, const QByteArray &nickname)
{
    QHash<QByteArray, quint32> &ofAddress = m_responderIds[address];
    const auto found = ofAddress.constFind(nickname);
    if (found != ofAddress.constEnd())
        return found.value();
    const auto id = static_cast<quint32>(m_responders.size());
    m_responders.push_back({address, nickname});
    ofAddress.insert(nickname, id);
    return id;
}

void SearchResultsModel::mergeSortedTail(int first)
{
    // The listed rows are sorted already: only the new ones need sorting,
    // then one pass merges them in.
    std::vector<int> tail(m_rows.size() - static_cast<size_t>(first));
    std::iota(tail.begin(), tail.end(), first);
    std::stable_sort(tail.begin(), tail.end(), [this](int a, int b) { return lessThan(a, b); });
    std::vector<int> merged;
    merged.reserve(m_rows.size());
    int listed = 0;
    auto added = tail.cbegin();
    while (listed < first || added != tail.cend()) {
        // Rows already listed go before new ones with an equal text.
        if (added == tail.cend() || (listed < first && !lessThan(*added, listed)))
            merged.push_back(listed++);
        else
            merged.push_back(*added++);
    }
    reorder(merged);
}

void SearchResultsModel::reorder(const std::vector<int> &order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> rows;
    rows.reserve(m_rows.size());
    std::vector<int> newRowOf(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
        rows.push_back(std::move(m_rows[static_cast<size_t>(order[i])]));
    }
    m_rows = std::move(rows);
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex &old : persistent)
        changePersistentIndex(old, index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
