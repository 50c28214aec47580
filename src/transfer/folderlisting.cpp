#include "transfer/folderlisting.h"

#include "net/wirekeywords.h"
#include "share/searchservice.h"
#include "transfer/folderpaths.h"

FolderListing::FolderListing(SearchService &search, QString address, QByteArray nickname, QByteArray folder,
                             QObject *parent)
    : QObject(parent)
    , m_search(search)
    , m_address(std::move(address))
    , m_nickname(std::move(nickname))
    , m_folder(std::move(folder))
{
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &FolderListing::collect);
    connect(&search.results(), &QAbstractItemModel::rowsInserted, this, [this] { m_quiet.start(QuietMs); });
}

void FolderListing::start()
{
    const QByteArray browse = WireKeywords::UserBrowsePrefix + m_nickname;
    if (m_search.currentQuery() != browse)
        m_search.browseUser(m_nickname);
    m_quiet.start(m_search.results().rowCount() > 0 ? QuietMs : NoAnswerMs);
}

void FolderListing::collect()
{
    disconnect(&m_search.results(), nullptr, this, nullptr);
    const SearchResultsModel &results = m_search.results();
    std::vector<FolderDownload::File> files;
    for (int row = 0; row < results.rowCount(); ++row) {
        if (results.data(results.index(row, 0), SearchResultsModel::AddressRole).toString() != m_address)
            continue;
        SearchResultsModel::Result result = results.result(row);
        if (!FolderPaths::liesUnder(result.sharedName, m_folder))
            continue;
        bool known = false;
        const qint64 size = result.sizeText.toLongLong(&known);
        files.push_back({std::move(result.sharedName), m_address, known ? size : -1});
    }
    emit listed(files);
}
