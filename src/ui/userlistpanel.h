#pragma once

#include <QWidget>

class AddComputerRow;
class Core;
class QMenu;
class QTableView;

// The list of online users beside the pages: who is connected, how many
// files each shares, and who blocks whom; plus blocking and adding a
// computer by its address.
class UserListPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit UserListPanel(Core &core, QWidget *parent = nullptr);

    QTableView &table() { return *m_table; }
    // What a right click on a user offers.
    QMenu &userMenu() { return *m_menu; }
    AddComputerRow &addComputerRow() { return *m_addComputer; }

private:
    void restoreSelection(int row);
    QString selectedAddress() const;
    void browseSelectedUser();
    void showUserMenu(const QPoint &position);

    Core &m_core;
    QTableView *m_table;
    QMenu *m_menu;
    AddComputerRow *m_addComputer;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
};
