#include "ui/searchpage.h"

#include "shell/core.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
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
    , m_listening(new QLabel(QStringLiteral("Listening..."), this))
    , m_results(new QTableView(this))
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
    m_results->setSelectionMode(QAbstractItemView::SingleSelection);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->verticalHeader()->hide();
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->setColumnWidth(0, 380);
    m_results->setColumnWidth(1, 100);
    connect(m_results->horizontalHeader(), &QHeaderView::sectionClicked, &search.results(),
            &SearchResultsModel::toggleSort);
    connect(m_results, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const SearchResultsModel::Result result = m_core.sharing().search().results().result(index.row());
        m_core.transfers().start(result.sharedName, result.address);
    });

    auto *viewFiles = new QPushButton(QStringLiteral("View Files"), this);
    connect(viewFiles, &QPushButton::clicked, this, [this] {
        const QModelIndexList rows = m_results->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            m_core.sharing().search().browseResultUser(rows.first().row());
    });
    auto *message = new QPushButton(QStringLiteral("Message User"), this);
    connect(message, &QPushButton::clicked, this, [this] {
        const QModelIndexList rows = m_results->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            m_core.chat().openMessageWindow(rows.first().data(SearchResultsModel::AddressRole).toString());
    });
    connect(&search, &SearchService::statusChanged, this, &SearchPage::refreshStatus);
    connect(&core.status(), &StatusDisplay::changed, this,
            [this] { m_searchButton->setEnabled(m_core.status().isSearchEnabled()); });
    m_searchButton->setEnabled(core.status().isSearchEnabled());
    m_listening->setFrameShape(QFrame::StyledPanel);
    m_listening->hide();

    auto *query = new QHBoxLayout;
    query->addWidget(m_box, 1);
    query->addWidget(new QLabel(QStringLiteral("File Types:"), this));
    query->addWidget(m_type);
    query->addWidget(m_searchButton);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_listening);
    statusRow->addWidget(viewFiles);
    statusRow->addWidget(message);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(query);
    layout->addLayout(statusRow);
    layout->addWidget(m_results, 1);
}

void SearchPage::showSearch(const QByteArray &searchBoxText, const QString &category)
{
    m_box->setText(QString::fromUtf8(searchBoxText));
    m_type->setCurrentText(category);
}

bool SearchPage::eventFilter(QObject *watched, QEvent *event)
{
    // While the box has the focus, Enter searches and the whole text is selected.
    if (watched == m_box && event->type() == QEvent::FocusIn) {
        m_searchButton->setDefault(true);
        QMetaObject::invokeMethod(m_box, &QLineEdit::selectAll, Qt::QueuedConnection);
    } else if (watched == m_box && event->type() == QEvent::FocusOut) {
        m_searchButton->setDefault(false);
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
}
