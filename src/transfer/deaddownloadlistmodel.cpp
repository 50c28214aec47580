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
    case Download::State::Error:
        break;
    default: return {};
    }
    switch (download.state.errorKind()) {
    case DownloadState::ErrorKind::File: return QStringLiteral("Error (file)");
    case DownloadState::ErrorKind::Write: return QStringLiteral("Error (write)");
    case DownloadState::ErrorKind::DiskFull: return QStringLiteral("Error (disk full)");
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
    default:
        return ConnectionFailureText::explain(download.state.errorNumber(), who, m_peerPort ? m_peerPort() : 0);
    }
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
    emit entryAdded(position);
    return position;
}

int DeadDownloadListModel::rowOf(int id) const
{
    return m_rows.value(id, -1);
}

void DeadDownloadListModel::clear()
{
    beginResetModel();
    m_downloads.clear();
    m_rows.clear();
    endResetModel();
}
