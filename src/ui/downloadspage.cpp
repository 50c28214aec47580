#include "ui/downloadspage.h"

#include "base/prompter.h"
#include "shell/core.h"
#include "ui/batchedrowsmodel.h"
#include "ui/fittedcolumns.h"
#include "ui/folderdownloadspanel.h"
#include "ui/progressdelegate.h"

#include <QDataStream>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QTableView *makeTable(QAbstractItemModel &model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(&model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    return view;
}

} // namespace

DownloadsPage::DownloadsPage(Core &core, QWidget *parent)
    : QWidget(parent)
    , m_core(core)
    , m_running(makeTable(core.transfers().downloadList(), this))
    , m_endedRows(new BatchedRowsModel(core.transfers().deadDownloadList(), this))
    , m_ended(makeTable(*m_endedRows, this))
{
    m_running->setItemDelegateForColumn(DownloadListModel::PercentColumn, new ProgressDelegate(m_running));
    m_runningColumns = new FittedColumns(*m_running, DownloadListModel::FilenameColumn);
    m_endedColumns = new FittedColumns(*m_ended, DeadDownloadListModel::LocalFilenameColumn);
    setFocusProxy(m_running);
    auto *cancel = new QShortcut(QKeySequence::Delete, m_running, nullptr, nullptr, Qt::WidgetShortcut);
    connect(cancel, &QShortcut::activated, this, &DownloadsPage::askToCancelSelected);
    // Downloads that end in the same turn show up together; the newest is selected and shown once.
    connect(m_endedRows, &BatchedRowsModel::rowsAppended, this, [this](int row) {
        m_ended->selectRow(row);
        m_ended->scrollTo(m_ended->model()->index(row, 0));
    });
    connect(m_ended, &QTableView::doubleClicked, this, [this](const QModelIndex &index) { openEntry(index.row()); });
    connect(&core.transfers(), &Transfers::downloadEnded, this, &DownloadsPage::onDownloadEnded);
    DownloadListModel &running = core.transfers().downloadList();
    const auto countChanged = [this] { emit runningSummaryChanged(runningSummary()); };
    connect(&running, &QAbstractItemModel::rowsInserted, this, countChanged);
    connect(&running, &QAbstractItemModel::rowsRemoved, this, countChanged);

    auto *top = new QWidget(this);
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(new QLabel(QStringLiteral("Downloads in progress"), top));
    topLayout->addWidget(m_running, 1);
    topLayout->addWidget(makeRunningButtons());
    auto *bottom = new QWidget(this);
    auto *bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(new QLabel(QStringLiteral("Finished and stopped downloads"), bottom));
    bottomLayout->addWidget(m_ended, 1);
    bottomLayout->addWidget(makeEndedButtons());

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->addWidget(top);
    m_splitter->addWidget(new FolderDownloadsPanel(core.transfers().folders(), this));
    m_splitter->addWidget(bottom);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_splitter);
}

QByteArray DownloadsPage::saveLayout() const
{
    QByteArray layout;
    QDataStream out(&layout, QIODevice::WriteOnly);
    out << m_splitter->saveState() << m_runningColumns->saveState() << m_endedColumns->saveState();
    return layout;
}

void DownloadsPage::restoreLayout(const QByteArray &layout)
{
    QDataStream in(layout);
    QByteArray split;
    QByteArray running;
    QByteArray ended;
    in >> split >> running >> ended;
    if (in.status() != QDataStream::Ok)
        return;
    m_splitter->restoreState(split);
    m_runningColumns->restoreState(running);
    m_endedColumns->restoreState(ended);
}

void DownloadsPage::askToCancelSelected()
{
    const int selected = selectedRow(*m_running);
    if (selected < 0)
        return;
    const Download &download = m_core.transfers().downloadList().at(selected);
    const int id = download.id;
    const QString question = QStringLiteral("Cancel the download of \"%1\" from %2? What has arrived is kept, so "
                                            "it can be resumed later.")
                                 .arg(download.fileName, download.peerNick.isEmpty() ? download.address
                                                                                      : download.peerNick);
    // The download may end while the question is open; it is looked up again by its identifier.
    if (m_core.prompter().messageBox(question, Prompter::Buttons::YesNo, Prompter::Icon::Question)
        == Prompter::Answer::Yes)
        m_core.transfers().cancel(id);
}

QWidget *DownloadsPage::makeRunningButtons()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *remove = new QPushButton(QStringLiteral("Delete"), row);
    remove->setObjectName(QStringLiteral("deleteButton"));
    auto *openFolder = new QPushButton(QStringLiteral("Open Downloads Folder"), row);
    openFolder->setObjectName(QStringLiteral("openFolderButton"));
    auto *browse = new QPushButton(QStringLiteral("Browse User"), row);
    browse->setObjectName(QStringLiteral("browseButton"));
    auto *message = new QPushButton(QStringLiteral("Message User"), row);
    message->setObjectName(QStringLiteral("messageButton"));
    for (QPushButton *button : {remove, openFolder, browse, message})
        layout->addWidget(button);
    layout->addStretch(1);

    connect(remove, &QPushButton::clicked, this, [this] {
        const int selected = selectedRow(*m_running);
        if (selected >= 0)
            m_core.transfers().cancel(m_core.transfers().downloadList().at(selected).id);
    });
    connect(openFolder, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_core.transfers().downloadsFolder()));
    });
    connect(browse, &QPushButton::clicked, this, [this] {
        const int selected = selectedRow(*m_running);
        if (selected >= 0)
            m_core.sharing().search().browseUser(m_core.transfers().downloadList().at(selected).peerNick.toUtf8());
    });
    connect(message, &QPushButton::clicked, this, [this] {
        const int selected = selectedRow(*m_running);
        if (selected >= 0)
            m_core.chat().openMessageWindow(m_core.transfers().downloadList().at(selected).address);
    });
    return row;
}

QWidget *DownloadsPage::makeEndedButtons()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *resume = new QPushButton(QStringLiteral("Resume"), row);
    resume->setObjectName(QStringLiteral("resumeButton"));
    auto *clear = new QPushButton(QStringLiteral("Clear"), row);
    clear->setObjectName(QStringLiteral("clearButton"));
    layout->addWidget(resume);
    layout->addWidget(clear);
    layout->addStretch(1);
    connect(resume, &QPushButton::clicked, this, [this] {
        const int selected = selectedRow(*m_ended);
        if (selected >= 0)
            m_core.transfers().resume(m_core.transfers().deadDownloadList().at(selected).id);
    });
    connect(clear, &QPushButton::clicked, this, [this] { m_core.transfers().clearEnded(); });
    return row;
}

QString DownloadsPage::runningSummary() const
{
    const int count = m_core.transfers().downloadList().rowCount();
    if (count == 0)
        return QStringLiteral("No downloads running");
    return count == 1 ? QStringLiteral("1 download running") : QStringLiteral("%1 downloads running").arg(count);
}

void DownloadsPage::onDownloadEnded(int id)
{
    const DeadDownloadListModel &ended = m_core.transfers().deadDownloadList();
    const int row = ended.rowOf(id);
    if (row < 0)
        return;
    const QString explanation = ended.explanation(ended.at(row));
    if (!explanation.isEmpty())
        emit statusMessage(QStringLiteral("The download of %1 stopped. ").arg(ended.at(row).fileName) + explanation);
}

int DownloadsPage::selectedRow(const QTableView &view) const
{
    const QModelIndexList rows = view.selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void DownloadsPage::openEntry(int row)
{
    const DeadDownloadListModel &ended = m_core.transfers().deadDownloadList();
    if (row < 0 || row >= ended.rowCount() || ended.at(row).state.state() != Download::State::Complete)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(ended.at(row).finishedPath));
}
