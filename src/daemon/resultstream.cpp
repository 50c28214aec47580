#include "daemon/resultstream.h"

#include "common/controlprotocol.h"
#include "daemon/controlsession.h"
#include "share/filetypes.h"
#include "share/searchresultsmodel.h"

namespace Key = ControlProtocol::Key;

namespace {

QString typeOf(const QByteArray &sharedName)
{
    const QStringList types = FileTypes::fillFileTypes();
    for (qsizetype i = 1; i < types.size(); ++i) {
        if (FileTypes::matchesFileType(sharedName, types[i]))
            return types[i];
    }
    return {};
}

} // namespace

ResultStream::ResultStream(SearchResultsModel &results, ControlSession &session, int waitSeconds)
    : QObject(&session)
    , m_results(results)
    , m_session(session)
{
    connect(&results, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
    connect(&results, &QAbstractItemModel::modelReset, this, [this] { end(true); });
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, [this] { end(false); });
    m_wait.start(qBound(0, waitSeconds, MaxWaitSeconds) * 1000);
}

void ResultStream::onRowsInserted(int first, int last)
{
    for (int row = first; row <= last && !m_session.isFinished(); ++row) {
        const SearchResultsModel::Result result = m_results.result(row);
        m_session.sendLine({
            {Key::Event, ControlProtocol::Event::Result},
            {Key::Nickname, QString::fromUtf8(result.nickname)},
            {Key::Address, result.address},
            {Key::Name, QString::fromUtf8(result.sharedName)},
            // The size as the answering peer wrote it: a display text, not a count.
            {Key::Size, QString::fromUtf8(result.sizeText)},
            {Key::Type, typeOf(result.sharedName)},
        });
        ++m_sent;
    }
}

void ResultStream::end(bool replaced)
{
    if (m_session.isFinished())
        return;
    m_wait.stop();
    QJsonObject final{{Key::Ok, true}, {Key::Results, m_sent}};
    if (replaced)
        final.insert(Key::Note, QStringLiteral("a newer search replaced this one"));
    m_session.finish(final);
}
