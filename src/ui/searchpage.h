#pragma once

#include <QWidget>

class Core;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The search tab: the words to look for, the file type, and the results as
// they arrive from every peer.
class SearchPage final : public QWidget
{
    Q_OBJECT

public:
    explicit SearchPage(Core &core, QWidget *parent = nullptr);

    // Shows a search that was started elsewhere (browsing a user).
    void showSearch(const QByteArray &searchBoxText, const QString &category);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search();
    void refreshStatus();

    Core &m_core;
    QLineEdit *m_box;
    QComboBox *m_type;
    QPushButton *m_searchButton;
    QLabel *m_status;
    QLabel *m_listening;
    QTableView *m_results;
};
