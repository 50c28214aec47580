#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QAbstractItemView;
class QHeaderView;
class QTableView;
class QTreeView;

// The columns of a table: one stretches over the room the others leave, and
// the others fit their content as rows come and change, until the person
// sizes one. From then on the widths are the person's, and they are what
// saveState() keeps.
class FittedColumns final : public QObject
{
    Q_OBJECT

public:
    // Fitting follows changes of the rows at most this often.
    static constexpr int FitDelayMs = 250;
    // A fit measures the rows on screen and a few around them, not every
    // row of a table that holds thousands.
    static constexpr int MeasuredRows = 100;

    FittedColumns(QTableView &view, int stretchColumn);
    FittedColumns(QTreeView &view, int stretchColumn);

    bool isFitting() const { return !m_personSized; }
    // Empty while the columns still fit themselves.
    QByteArray saveState() const;
    void restoreState(const QByteArray &state);

protected:
    // A hidden table measures no rows: it fits again when it is shown.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // `rowsMeasured` is the header whose precision bounds the rows a column's fit measures.
    FittedColumns(QAbstractItemView &view, QHeaderView &columns, QHeaderView &rowsMeasured, int stretchColumn);
    void fit();
    void sectionResized(int column);

    QAbstractItemView &m_view;
    QHeaderView &m_header;
    int m_stretchColumn;
    QTimer m_fitTimer;
    bool m_fitting = false;
    bool m_personSized = false;
};
