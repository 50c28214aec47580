#pragma once

#include <QWidget>

class BatchedRowsModel;
class Core;
class FittedColumns;
class QPushButton;
class QSplitter;
class QTableView;

// The Downloads tab: running downloads with their progress, ended downloads,
// and the buttons that act on them. Delete on a running download asks before
// cancelling it.
class DownloadsPage final : public QWidget
{
    Q_OBJECT

public:
    explicit DownloadsPage(Core &core, QWidget *parent = nullptr);

    QTableView &runningView() { return *m_running; }
    QTableView &endedView() { return *m_ended; }
    // The split between the two tables and the column widths the person chose.
    QByteArray saveLayout() const;
    void restoreLayout(const QByteArray &layout);
    // How many downloads run, in words, for the tab's tooltip.
    QString runningSummary() const;

signals:
    void runningSummaryChanged(const QString &summary);
    // A sentence for the window's status line.
    void statusMessage(const QString &text);

private:
    void onDownloadEnded(int id);
    QWidget *makeRunningButtons();
    QWidget *makeEndedButtons();
    int selectedRow(const QTableView &view) const;
    void openEntry(int row);
    void askToCancelSelected();

    Core &m_core;
    QTableView *m_running;
    BatchedRowsModel *m_endedRows;
    QTableView *m_ended;
    FittedColumns *m_runningColumns;
    FittedColumns *m_endedColumns;
    QSplitter *m_splitter;
};
