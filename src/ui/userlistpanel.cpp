#include "ui/userlistpanel.h"

#include "shell/core.h"
#include "ui/addcomputerrow.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Draws the small blocking mark before a user's name: orange when the peer
// blocked this user, red when this user blocked the peer.
class BlockIconDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const int icon = index.data(UserListModel::BlockIconRole).toInt();
        if (index.column() != UserListModel::UsernameColumn || icon == UserListModel::NoIcon)
            return;
        const QColor colour = icon == UserListModel::BlockedByUsIcon ? QColor(0xc6, 0x28, 0x28) : QColor(0xef, 0x6c, 0x00);
        const int size = option.rect.height() / 2;
        const QRect mark(option.rect.right() - size - 4, option.rect.center().y() - size / 2, size, size);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setBrush(colour);
        painter->setPen(Qt::NoPen);
        painter->drawEllipse(mark);
        painter->restore();
    }
};

} // namespace

UserListPanel::UserListPanel(Core &core, QWidget *parent)
    : QWidget(parent)
    , m_core(core)
    , m_table(new QTableView(this))
    , m_menu(new QMenu(this))
    , m_addComputer(new AddComputerRow(core, this))
{
    UserListModel &model = core.network().userList();
    m_table->setModel(&model);
    m_table->setItemDelegate(new BlockIconDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->setColumnWidth(UserListModel::UsernameColumn, 150);

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                m_core.network().userList().setSelectedAddress(current.isValid() ? m_core.network().userList().address(current.row())
                                                                      : QString());
            });
    connect(&model, &UserListModel::selectionRestored, this, &UserListPanel::restoreSelection);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        // Every click on a heading flips the direction.
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        m_sortColumn = column;
        m_core.network().userList().sort(column, m_sortOrder);
    });

    const auto toggleBlock = [this] { m_core.network().blocking().toggleBlock(selectedAddress()); };
    const auto openConversation = [this] { m_core.chat().openMessageWindow(selectedAddress()); };
    auto *block = new QPushButton(QStringLiteral("Block / Unblock User"), this);
    connect(block, &QPushButton::clicked, this, toggleBlock);
    auto *browse = new QPushButton(QStringLiteral("Browse Files"), this);
    connect(browse, &QPushButton::clicked, this, &UserListPanel::browseSelectedUser);

    // The message button and a double-click on a user open a conversation.
    auto *message = new QPushButton(QStringLiteral("Message User"), this);
    connect(message, &QPushButton::clicked, this, openConversation);
    connect(m_table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &row) {
        m_core.chat().openMessageWindow(m_core.network().userList().address(row.row()));
    });

    m_menu->addAction(QStringLiteral("Browse Files"), this, &UserListPanel::browseSelectedUser);
    m_menu->addAction(QStringLiteral("Message User"), this, openConversation);
    m_menu->addAction(QStringLiteral("Block / Unblock User"), this, toggleBlock);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, &UserListPanel::showUserMenu);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Users Online:"), this));
    layout->addWidget(m_table, 1);
    layout->addWidget(message);
    layout->addWidget(browse);
    layout->addWidget(block);
    layout->addWidget(m_addComputer);
}

void UserListPanel::restoreSelection(int row)
{
    const QSignalBlocker blocker(m_table->selectionModel());
    if (row < 0)
        m_table->clearSelection();
    else
        m_table->selectRow(row);
}

QString UserListPanel::selectedAddress() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : m_core.network().userList().address(rows.first().row());
}

void UserListPanel::browseSelectedUser()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        m_core.sharing().search().browseUser(rows.first().data().toString().toUtf8());
}

void UserListPanel::showUserMenu(const QPoint &position)
{
    const QModelIndex row = m_table->indexAt(position);
    if (!row.isValid())
        return;
    m_table->selectRow(row.row());
    m_menu->popup(m_table->viewport()->mapToGlobal(position));
}
