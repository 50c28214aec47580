#pragma once

#include <QWidget>

class FolderDownloads;
class QTreeView;

// The folder and multi-selection downloads of the Downloads tab: a row per
// group, opened to show its files, and the buttons that cancel or resume a
// group as a whole.
class FolderDownloadsPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit FolderDownloadsPanel(FolderDownloads &folders, QWidget *parent = nullptr);

    QTreeView &view() { return *m_view; }

private:
    // The group of the selected row, a file's row included; -1 when none.
    int selectedGroup() const;

    FolderDownloads &m_folders;
    QTreeView *m_view;
};
