#include "daemon/copyreport.h"

#include "base/settingnames.h"
#include "common/controlprotocol.h"
#include "shell/core.h"

#include <QJsonArray>

namespace {

namespace Key = ControlProtocol::Key;

QJsonObject peerEntry(Core &core, int row)
{
    const UserListModel &list = core.network().userList();
    const QString address = list.address(row);
    const ControlConnections &connections = core.network().connections();
    const int link = connections.findConnection(address);
    const QByteArray id = link >= 0 ? connections.record(link).peerId : QByteArray();
    return {
        {Key::Nickname, list.data(list.index(row, UserListModel::UsernameColumn)).toString()},
        {Key::Address, address},
        {Key::Id, QString::fromLatin1(id)},
        {Key::SharedFiles, list.data(list.index(row, UserListModel::FilesColumn)).toString()},
        {Key::BlockedByYou, core.network().blockedList().isBlocked(id)},
        {Key::BlocksYou, link >= 0 && connections.record(link).blockedByPeer},
    };
}

} // namespace

QJsonObject CopyReport::status(Core &core)
{
    int waiting = 0;
    bool uploading = false;
    for (const UploadServer::QueueEntry &entry : core.transfers().uploads().queue()) {
        waiting += entry.state == UploadServer::EntryState::Waiting;
        uploading = uploading || entry.state == UploadServer::EntryState::Sending;
    }
    const HashingProgress hashing = core.sharing().contentHashes().progress();
    return {
        {Key::Ok, true},
        {Key::Nickname, QString::fromUtf8(core.settings().get(QLatin1String(SettingNames::Nickname)))},
        {Key::Id, QString::fromLatin1(core.localPeer().id())},
        {Key::Version, QLatin1String(Core::Version)},
        {Key::Address, core.localPeer().address()},
        {Key::Port, core.localPeer().port()},
        {Key::Peers, core.network().userList().rowCount()},
        {Key::SharedFiles, core.sharedFileCount()},
        {Key::Downloads, core.runningDownloadCount()},
        {Key::Uploading, uploading},
        {Key::UploadQueue, waiting},
        {Key::HashedBytes, hashing.doneBytes},
        {Key::HashingBytes, hashing.totalBytes},
    };
}

QJsonObject CopyReport::peers(Core &core)
{
    QJsonArray peers;
    for (int row = 0; row < core.network().userList().rowCount(); ++row)
        peers.append(peerEntry(core, row));
    return {{Key::Ok, true}, {Key::Peers, peers}};
}

QJsonObject CopyReport::downloads(Core &core)
{
    Transfers &transfers = core.transfers();
    QJsonArray running;
    const DownloadListModel &list = transfers.downloadList();
    const auto shown = [&list](int row, DownloadListModel::Column column) {
        return list.data(list.index(row, column)).toString();
    };
    for (int row = 0; row < list.rowCount(); ++row) {
        const Download &download = list.at(row);
        running.append(QJsonObject{
            {Key::Name, download.fileName},
            {Key::Status, shown(row, DownloadListModel::StatusColumn)},
            {Key::State, stateWord(download)},
            {Key::Percent, shown(row, DownloadListModel::PercentColumn)},
            {Key::Received, download.received},
            {Key::Total, download.total},
            {Key::Rate, shown(row, DownloadListModel::RateColumn)},
            {Key::Nickname, download.peerNick},
            {Key::Address, download.address},
        });
    }
    QJsonArray ended;
    const DeadDownloadListModel &dead = transfers.deadDownloadList();
    for (int row = 0; row < dead.rowCount(); ++row) {
        const Download &download = dead.at(row);
        const QModelIndex status = dead.index(row, DeadDownloadListModel::StatusColumn);
        const bool complete = download.state.state() == Download::State::Complete;
        ended.append(QJsonObject{
            {Key::Name, dead.data(dead.index(row, DeadDownloadListModel::LocalFilenameColumn)).toString()},
            {Key::Status, dead.data(status).toString()},
            {Key::State, stateWord(download)},
            {Key::Detail, complete ? download.finishedPath : dead.data(status, Qt::ToolTipRole).toString()},
            {Key::Verification, DeadDownloadListModel::verificationText(download)},
        });
    }
    return {{Key::Ok, true}, {Key::Running, running}, {Key::Ended, ended}};
}

QLatin1String CopyReport::stateWord(const Download &download)
{
    namespace Word = ControlProtocol::StateWord;
    switch (download.state.state()) {
    case Download::State::Connecting: return Word::Connecting;
    case Download::State::GettingInfo: return Word::GettingInfo;
    case Download::State::Requesting: return Word::Requesting;
    case Download::State::Queued: return Word::Queued;
    case Download::State::Downloading: return Word::Downloading;
    case Download::State::Complete: return Word::Complete;
    case Download::State::Cancelled: return Word::Cancelled;
    case Download::State::RemotelyTerminated: return Word::RemotelyTerminated;
    case Download::State::Error: return Word::Error;
    case Download::State::SignatureError: return Word::SignatureError;
    case Download::State::MoveError: return Word::MoveError;
    case Download::State::Parked: return Word::Parked;
    }
    return Word::Error;
}
