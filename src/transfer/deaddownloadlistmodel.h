#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

// The ended downloads, newest last, as the Downloads tab shows them.
class DeadDownloadListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeadDownloadListModel)

public:
    enum Column { LocalFilenameColumn, StatusColumn, ColumnCount };

    struct Entry {
        QString text;
        QString status;
        QString toolTip;
        // "Complete": the finished file's path; otherwise size, " ", signature.
        QString tag;
    };

    explicit DeadDownloadListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Appends an entry; entryAdded() asks the view to select and show it.
    int append(const Entry &entry);
    void setStatus(int row, const QString &status, const QString &toolTip);
    const Entry &entry(int row) const { return m_entries.at(row); }
    void clear();

signals:
    void entryAdded(int row);

private:
    QVector<Entry> m_entries;
};
