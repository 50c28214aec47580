#include "ui/fittedcolumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableView>
#include <QTreeView>

FittedColumns::FittedColumns(QTableView &view, int stretchColumn)
    : FittedColumns(view, *view.horizontalHeader(), *view.verticalHeader(), stretchColumn)
{
}

FittedColumns::FittedColumns(QTreeView &view, int stretchColumn)
    : FittedColumns(view, *view.header(), *view.header(), stretchColumn)
{
}

FittedColumns::FittedColumns(QAbstractItemView &view, QHeaderView &columns, QHeaderView &rowsMeasured,
                             int stretchColumn)
    : QObject(&view)
    , m_view(view)
    , m_header(columns)
    , m_stretchColumn(stretchColumn)
{
    QHeaderView *header = &columns;
    rowsMeasured.setResizeContentsPrecision(MeasuredRows);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
    m_fitTimer.setSingleShot(true);
    m_fitTimer.setInterval(FitDelayMs);
    connect(&m_fitTimer, &QTimer::timeout, this, &FittedColumns::fit);
    QAbstractItemModel *model = view.model();
    for (auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, changed, &m_fitTimer, qOverload<>(&QTimer::start));
    connect(model, &QAbstractItemModel::dataChanged, &m_fitTimer, qOverload<>(&QTimer::start));
    connect(model, &QAbstractItemModel::modelReset, &m_fitTimer, qOverload<>(&QTimer::start));
    connect(header, &QHeaderView::sectionResized, this, &FittedColumns::sectionResized);
    view.installEventFilter(this);
    fit();
}

bool FittedColumns::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_view && event->type() == QEvent::Show)
        m_fitTimer.start();
    return QObject::eventFilter(watched, event);
}

QByteArray FittedColumns::saveState() const
{
    return m_personSized ? m_header.saveState() : QByteArray();
}

void FittedColumns::restoreState(const QByteArray &state)
{
    if (state.isEmpty())
        return;
    m_fitting = true;
    const bool restored = m_header.restoreState(state);
    m_fitting = false;
    m_personSized = restored;
}

void FittedColumns::fit()
{
    // The style draws text a few pixels in from the cell's edges.
    constexpr int CellPadding = 8;
    if (m_personSized)
        return;
    m_fitting = true;
    for (int column = 0; column < m_header.count(); ++column) {
        if (column != m_stretchColumn)
            m_header.resizeSection(column,
                                   qMax(m_header.sectionSizeHint(column), m_view.sizeHintForColumn(column) + CellPadding));
    }
    m_fitting = false;
}

void FittedColumns::sectionResized(int column)
{
    // Widths set here, and the stretching column following the table's width,
    // are not the person's choice.
    if (!m_fitting && column != m_stretchColumn)
        m_personSized = true;
}
