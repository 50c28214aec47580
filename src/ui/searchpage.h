#pragma once

#include <QModelIndexList>
#include <QWidget>

class Core;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

// The search tab: the words to look for, the file type, and the results as
// they arrive from every peer.
class SearchPage final : public QWidget
{
    Q_OBJECT

public:
    explicit SearchPage(Core &core, QWidget *parent = nullptr);

    // Shows a search that was started elsewhere (browsing a user, resuming a
    // download): the category it lists. The search box keeps what the
    // person typed.
    void showSearch(const QString &category);
    QTableView &resultsView() { return *m_results; }
    QLineEdit &searchBox() { return *m_box; }
    // What a right click on a result offers.
    QMenu &resultMenu() { return *m_menu; }
    // The line beside the responses count: what a browse lists, or that
    // nobody answered yet.
    QString note() const;

signals:
    // A sentence for the window's status line.
    void statusMessage(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search();
    void refreshStatus();
    // The selected result's row, or -1.
    int selectedRow() const;
    // One row downloads as before; several go as one paced group.
    void downloadSelected();
    void downloadRows(const QModelIndexList &rows);
    // Every file of the row's peer below the row's folder.
    void downloadSelectedFolder();
    void browseSelectedUser();
    void messageSelectedUser();
    void showResultMenu(const QPoint &position);

    Core &m_core;
    QLineEdit *m_box;
    QComboBox *m_type;
    QPushButton *m_searchButton;
    QLabel *m_status;
    QLabel *m_note;
    QLabel *m_listening;
    QTableView *m_results;
    QMenu *m_menu;
};
