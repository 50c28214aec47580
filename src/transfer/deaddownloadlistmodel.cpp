#include "transfer/deaddownloadlistmodel.h"

#include "net/connectionfailuretext.h"

DeadDownloadListModel::DeadDownloadListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

DeadDownloadListModel::~DeadDownloadListModel() = default;

int DeadDownloadListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_downloads.size());
}

int DeadDownloadListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeadDownloadListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Download &download = at(index.row());
    if (role == Qt::ToolTipRole && index.column() == StatusColumn) {
        const QString tip = toolTip(download);
        return tip.isEmpty() ? QVariant() : tip;
    }
    if (role == Qt::ToolTipRole && !download.sharedName.isEmpty())
        return QString::fromUtf8(download.sharedName);
    if (role != Qt::DisplayRole)
        return {};
    return index.column() == StatusColumn ? statusText(download) : localName(download);
}

QString DeadDownloadListModel::localName(const Download &download)
{
    if (download.number == 0)
        return download.fileName;
    return QLatin1Char('(') + QString::number(download.number) + QLatin1String(") ") + download.fileName;
}

QString DeadDownloadListModel::statusText(const Download &download)
{
    switch (download.state.state()) {
    case Download::State::Complete: return QStringLiteral("Complete");
    case Download::State::Cancelled: return QStringLiteral("Cancelled");
    case Download::State::RemotelyTerminated: return QStringLiteral("Remotely Terminated");
    case Download::State::SignatureError: return QStringLiteral("Error (signature)");
    case Download::State::MoveError: return QStringLiteral("Error (move)");
    case Download::State::Parked: return QStringLiteral("Parked");
    case Download::State::Error:
        break;
    default: return {};
    }
    switch (download.state.errorKind()) {
    case DownloadState::ErrorKind::File: return QStringLiteral("Error (file)");
    case DownloadState::ErrorKind::Write: return QStringLiteral("Error (write)");
    case DownloadState::ErrorKind::DiskFull: return QStringLiteral("Error (disk full)");
    case DownloadState::ErrorKind::Hash: return QStringLiteral("Error (hash)");
    default: return QLatin1String("Error (") + QString::number(download.state.errorNumber()) + QLatin1Char(')');
    }
}

QString DeadDownloadListModel::explanation(const Download &download) const
{
    const QString who = download.peerNick.isEmpty() ? download.address : download.peerNick;
    switch (download.state.state()) {
    case Download::State::RemotelyTerminated:
        return QStringLiteral("%1 ended the transfer: Quelm there was closed, or the file is no longer shared. "
                              "Resume looks for another copy.")
            .arg(who);
    case Download::State::SignatureError:
        return QStringLiteral("The received file does not have the signature the server announced.");
    case Download::State::MoveError:
        return QStringLiteral("The finished file could not be moved into the downloads folder.");
    case Download::State::Parked:
        return QStringLiteral("Quelm ended while this download ran from %1, and kept what had arrived. It goes on "
                              "by itself once a peer with the same file is connected; Resume looks now.")
            .arg(who);
    case Download::State::Error:
        break;
    default:
        return {};
    }
    switch (download.state.errorKind()) {
    case DownloadState::ErrorKind::File:
        return QStringLiteral("The file could not be created in the Incomplete folder: check that the program "
                              "folder can be written to.");
    case DownloadState::ErrorKind::Write:
        return QStringLiteral("The file could not be written, perhaps because the disk is full: free some space, "
                              "then Resume.");
    case DownloadState::ErrorKind::DiskFull:
        // The downloader's own sentence says how much was missing and where.
        return download.errorDescription;
    case DownloadState::ErrorKind::Hash:
        return QStringLiteral("The received file differs from the digest %1 announced for it.%2")
            .arg(who, download.fromScratch ? QString()
                                           : QStringLiteral(" It is fetched once more from the start."));
    default:
        return ConnectionFailureText::explain(download.state.errorNumber(), who, m_peerPort ? m_peerPort() : 0);
    }
}

QString DeadDownloadListModel::verificationText(const Download &download)
{
    const bool complete = download.state.state() == Download::State::Complete;
    const bool differed = download.state.state() == Download::State::Error
                          && download.state.errorKind() == DownloadState::ErrorKind::Hash;
    if (!complete && !differed)
        return {};
    const auto notVerified = [](const char *reason) {
        return QLatin1String("not verified (") + QLatin1String(reason) + QLatin1Char(')');
    };
    switch (download.verification.status) {
    case Verification::Status::Verified:
        return QLatin1String("verified (SHA-256 ") + QString::fromLatin1(download.verification.digest.toHex().left(16))
               + QLatin1Char(')');
    case Verification::Status::Mismatched:
        return notVerified("the content differs from the serving peer's digest");
    case Verification::Status::NotHashed:
        return notVerified("the serving peer has not hashed the file yet");
    case Verification::Status::Awaiting:
    case Verification::Status::Expected:
        return notVerified("no digest came from the serving peer in time");
    case Verification::Status::PartUnreadable:
        return notVerified("the resumed part could not be read");
    case Verification::Status::NotOffered:
        break;
    }
    return notVerified("the serving peer offers no digests");
}

QString DeadDownloadListModel::toolTip(const Download &download) const
{
    const Download::State state = download.state.state();
    if (state == Download::State::MoveError)
        return explanation(download) + QLatin1Char('\n') + download.errorDescription
               + QLatin1String("\nThe file was kept in ") + download.keptPath;
    QString tip = explanation(download);
    const auto addLine = [&tip](const QString &line) {
        if (!line.isEmpty() && !tip.contains(line))
            tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + line;
    };
    addLine(download.errorDescription);
    addLine(download.note);
    addLine(verificationText(download));
    // What was received is never thrown away: the tooltip says where it stayed.
    if (!download.keptPath.isEmpty())
        addLine(QLatin1String("The received part was kept in ") + download.keptPath);
    return tip;
}

QVariant DeadDownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == LocalFilenameColumn)
        return QStringLiteral("Local Filename");
    return section == StatusColumn ? QStringLiteral("Status") : QVariant();
}

int DeadDownloadListModel::append(std::unique_ptr<Download> download)
{
    const int position = rowCount();
    beginInsertRows({}, position, position);
    m_rows.insert(download->id, position);
    m_downloads.push_back(std::move(download));
    endInsertRows();
    return position;
}

int DeadDownloadListModel::rowOf(int id) const
{
    return m_rows.value(id, -1);
}

std::unique_ptr<Download> DeadDownloadListModel::take(int id)
{
    const int row = rowOf(id);
    if (row < 0)
        return nullptr;
    beginRemoveRows({}, row, row);
    std::unique_ptr<Download> taken = std::move(m_downloads[static_cast<size_t>(row)]);
    m_downloads.erase(m_downloads.begin() + row);
    m_rows.remove(id);
    for (size_t later = static_cast<size_t>(row); later < m_downloads.size(); ++later)
        m_rows.insert(m_downloads[later]->id, static_cast<int>(later));
    endRemoveRows();
    return taken;
}

void DeadDownloadListModel::clear()
{
    beginResetModel();
    m_downloads.clear();
    m_rows.clear();
    endResetModel();
}
