#include "ui/searchpage.h"

#include "shell/core.h"
#include "transfer/folderpaths.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

SearchPage::SearchPage(Core &core, QWidget *parent)
    : QWidget(parent)
    , m_core(core)
    , m_box(new QLineEdit(this))
    , m_type(new QComboBox(this))
    , m_searchButton(new QPushButton(QStringLiteral("Search The LAN!"), this))
    , m_status(new QLabel(QStringLiteral("Type what you are looking for and press \"Search The LAN!\"."), this))
    , m_note(new QLabel(this))
    , m_listening(new QLabel(QStringLiteral("Listening..."), this))
    , m_results(new QTableView(this))
    , m_menu(new QMenu(this))
{
    SearchService &search = core.sharing().search();
    m_type->addItems(search.fileTypes());
    connect(&search, &SearchService::fileTypesFilled, this, [this](const QStringList &types) {
        m_type->clear();
        m_type->addItems(types);
    });
    setFocusProxy(m_box);
    m_box->installEventFilter(this);
    connect(m_box, &QLineEdit::returnPressed, this, &SearchPage::search);
    connect(m_searchButton, &QPushButton::clicked, this, &SearchPage::search);

    m_results->setModel(&search.results());
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->verticalHeader()->hide();
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->setColumnWidth(0, 380);
    m_results->setColumnWidth(1, 100);
    connect(m_results->horizontalHeader(), &QHeaderView::sectionClicked, &search.results(),
            &SearchResultsModel::toggleSort);
    // A double-click, Enter or the menu's first entry downloads the selected result.
    connect(m_results, &QTableView::doubleClicked, this, &SearchPage::downloadSelected);
    m_results->installEventFilter(this);
    m_menu->addAction(QStringLiteral("Download"), this, &SearchPage::downloadSelected);
    m_menu->addAction(QStringLiteral("Download Folder"), this, &SearchPage::downloadSelectedFolder);
    m_menu->addAction(QStringLiteral("Browse Files"), this, &SearchPage::browseSelectedUser);
    m_menu->addAction(QStringLiteral("Message User"), this, &SearchPage::messageSelectedUser);
    m_results->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_results, &QWidget::customContextMenuRequested, this, &SearchPage::showResultMenu);

    auto *viewFiles = new QPushButton(QStringLiteral("View Files"), this);
    connect(viewFiles, &QPushButton::clicked, this, &SearchPage::browseSelectedUser);
    auto *message = new QPushButton(QStringLiteral("Message User"), this);
    connect(message, &QPushButton::clicked, this, &SearchPage::messageSelectedUser);
    connect(&search, &SearchService::searchTabRequested, this,
            [this](const QByteArray &, const QString &category) { showSearch(category); });
    connect(&search, &SearchService::statusChanged, this, &SearchPage::refreshStatus);
    connect(&core.status(), &StatusDisplay::changed, this,
            [this] { m_searchButton->setEnabled(m_core.status().isSearchEnabled()); });
    m_searchButton->setEnabled(core.status().isSearchEnabled());
    connect(&core.transfers(), &Transfers::folderStarted, this, [this](int group, const QByteArray &folder) {
        const FolderDownload *started = m_core.transfers().folders().group(group);
        emit statusMessage(started ? QStringLiteral("Downloading the folder %1: %2 files")
                                         .arg(started->name())
                                         .arg(started->entryCount())
                                   : QStringLiteral("No file was listed in %1").arg(QString::fromUtf8(folder)));
    });
    m_listening->setFrameShape(QFrame::StyledPanel);
    m_listening->hide();

    auto *query = new QHBoxLayout;
    query->addWidget(m_box, 1);
    query->addWidget(new QLabel(QStringLiteral("File Types:"), this));
    query->addWidget(m_type);
    query->addWidget(m_searchButton);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status);
    statusRow->addWidget(m_note, 1);
    statusRow->addWidget(m_listening);
    statusRow->addWidget(viewFiles);
    statusRow->addWidget(message);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(query);
    layout->addLayout(statusRow);
    layout->addWidget(m_results, 1);
}

void SearchPage::showSearch(const QString &category)
{
    m_type->setCurrentText(category);
}

QString SearchPage::note() const
{
    return m_note->text();
}

bool SearchPage::eventFilter(QObject *watched, QEvent *event)
{
    // While the box has the focus, Enter searches and the whole text is selected.
    if (watched == m_box && event->type() == QEvent::FocusIn) {
        m_searchButton->setDefault(true);
        QMetaObject::invokeMethod(m_box, &QLineEdit::selectAll, Qt::QueuedConnection);
    } else if (watched == m_box && event->type() == QEvent::FocusOut) {
        m_searchButton->setDefault(false);
    } else if (watched == m_results && event->type() == QEvent::KeyPress) {
        // Enter in the results downloads the selected one.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            downloadSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SearchPage::search()
{
    // With no peer there is nobody to answer; the button says so by being off.
    if (!m_searchButton->isEnabled())
        return;
    if (m_core.sharing().search().startSearch(m_box->text().toUtf8(), m_type->currentText()))
        m_results->setFocus();
}

void SearchPage::refreshStatus()
{
    const SearchService &search = m_core.sharing().search();
    m_status->setText(search.statusCaption());
    m_listening->setVisible(search.isSearchStatusVisible());
    m_note->setText(search.statusNote());
}

int SearchPage::selectedRow() const
{
    // Of several selected rows, the one last clicked.
    const QModelIndex current = m_results->currentIndex();
    if (current.isValid() && m_results->selectionModel()->isRowSelected(current.row()))
        return current.row();
    const QModelIndexList rows = m_results->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SearchPage::downloadSelected()
{
    const QModelIndexList rows = m_results->selectionModel()->selectedRows();
    if (rows.size() > 1) {
        downloadRows(rows);
        return;
    }
    const int row = selectedRow();
    if (row < 0)
        return;
    const SearchResultsModel::Result result = m_core.sharing().search().results().result(row);
    Transfers &transfers = m_core.transfers();
    const int id = transfers.start(result.sharedName, result.address);
    const QString nick = QString::fromUtf8(result.nickname);
    const Download *download = transfers.download(id);
    if (!download) {
        emit statusMessage(QStringLiteral("Could not start the download from %1: no transfer connection is left. "
                                          "Wait for a running download to end.")
                               .arg(nick));
        return;
    }
    emit statusMessage(QStringLiteral("Downloading %1 from %2").arg(download->fileName, nick));
}

void SearchPage::downloadRows(const QModelIndexList &rows)
{
    const SearchResultsModel &results = m_core.sharing().search().results();
    std::vector<FolderDownload::File> files;
    files.reserve(static_cast<size_t>(rows.size()));
    for (const QModelIndex &row : rows) {
        SearchResultsModel::Result result = results.result(row.row());
        bool known = false;
        const qint64 size = result.sizeText.toLongLong(&known);
        files.push_back({std::move(result.sharedName), result.address, known ? size : -1});
    }
    m_core.transfers().folders().startSelection(std::move(files));
    emit statusMessage(QStringLiteral("Downloading %1 files").arg(rows.size()));
}

void SearchPage::downloadSelectedFolder()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const SearchResultsModel::Result result = m_core.sharing().search().results().result(row);
    const QByteArray folder = FolderPaths::folderOf(result.sharedName);
    m_core.transfers().downloadFolder(result.address, result.nickname, folder);
    emit statusMessage(QStringLiteral("Listing the files of %1 from %2")
                           .arg(QString::fromUtf8(folder), QString::fromUtf8(result.nickname)));
}

void SearchPage::browseSelectedUser()
{
    const int row = selectedRow();
    if (row >= 0)
        m_core.sharing().search().browseResultUser(row);
}

void SearchPage::messageSelectedUser()
{
    const int row = selectedRow();
    if (row >= 0)
        m_core.chat().openMessageWindow(m_core.sharing().search().results().result(row).address);
}

void SearchPage::showResultMenu(const QPoint &position)
{
    const QModelIndex index = m_results->indexAt(position);
    if (!index.isValid())
        return;
    // A right click inside the selection keeps it, as file managers do.
    if (!m_results->selectionModel()->isRowSelected(index.row()))
        m_results->selectRow(index.row());
    m_menu->popup(m_results->viewport()->mapToGlobal(position));
}
