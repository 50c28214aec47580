#pragma once

#include <QWidget>

class Core;
class QLineEdit;
class QTableView;

// The list of online users beside the pages: who is connected, how many
// files each shares, and who blocks whom; plus blocking and adding a
// computer by its address.
class UserListPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit UserListPanel(Core &core, QWidget *parent = nullptr);

private:
    void restoreSelection(int row);
    QString selectedAddress() const;

    Core &m_core;
    QTableView *m_table;
    QLineEdit *m_addComputer;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
};
