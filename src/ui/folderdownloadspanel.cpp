#include "ui/folderdownloadspanel.h"

#include "transfer/folderdownloads.h"
#include "ui/fittedcolumns.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

FolderDownloadsPanel::FolderDownloadsPanel(FolderDownloads &folders, QWidget *parent)
    : QWidget(parent)
    , m_folders(folders)
    , m_view(new QTreeView(this))
{
    m_view->setModel(&folders.model());
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A folder can hold a hundred thousand files: rows of one height are laid out without measuring each.
    m_view->setUniformRowHeights(true);
    // The sizes and states fit their text, measured on the rows in sight; the names take the rest.
    new FittedColumns(*m_view, FolderDownloadModel::NameColumn);

    auto *cancel = new QPushButton(QStringLiteral("Cancel Folder"), this);
    cancel->setObjectName(QStringLiteral("cancelFolderButton"));
    auto *resume = new QPushButton(QStringLiteral("Resume Folder"), this);
    resume->setObjectName(QStringLiteral("resumeFolderButton"));
    connect(cancel, &QPushButton::clicked, this, [this] { m_folders.cancel(selectedGroup()); });
    connect(resume, &QPushButton::clicked, this, [this] { m_folders.resume(selectedGroup()); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addWidget(resume);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Folders and selections"), this));
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
}

int FolderDownloadsPanel::selectedGroup() const
{
    const QModelIndexList rows = m_view->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().data(FolderDownloadModel::GroupIdRole).toInt();
}
