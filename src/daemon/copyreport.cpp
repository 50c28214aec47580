#include "daemon/copyreport.h"

#include "base/settingnames.h"
#include "shell/core.h"

#include <QJsonArray>

namespace {

QJsonObject peerEntry(Core &core, int row)
{
    const UserListModel &list = core.network().userList();
    const QString address = list.address(row);
    const ControlConnections &connections = core.network().connections();
    const int link = connections.findConnection(address);
    const QByteArray id = link >= 0 ? connections.record(link).peerId : QByteArray();
    return {
        {QStringLiteral("nickname"), list.data(list.index(row, UserListModel::UsernameColumn)).toString()},
        {QStringLiteral("address"), address},
        {QStringLiteral("id"), QString::fromLatin1(id)},
        {QStringLiteral("sharedFiles"), list.data(list.index(row, UserListModel::FilesColumn)).toString()},
        {QStringLiteral("blockedByYou"), core.network().blockedList().isBlocked(id)},
        {QStringLiteral("blocksYou"), link >= 0 && connections.record(link).blockedByPeer},
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
    return {
        {QStringLiteral("ok"), true},
        {QStringLiteral("nickname"), QString::fromUtf8(core.settings().get(QLatin1String(SettingNames::Nickname)))},
        {QStringLiteral("id"), QString::fromLatin1(core.localPeer().id())},
        {QStringLiteral("version"), QLatin1String(Core::Version)},
        {QStringLiteral("address"), core.localPeer().address()},
        {QStringLiteral("port"), core.localPeer().port()},
        {QStringLiteral("peers"), core.network().userList().rowCount()},
        {QStringLiteral("sharedFiles"), core.sharedFileCount()},
        {QStringLiteral("downloads"), core.runningDownloadCount()},
        {QStringLiteral("uploading"), uploading},
        {QStringLiteral("uploadQueue"), waiting},
    };
}

QJsonObject CopyReport::peers(Core &core)
{
    QJsonArray peers;
    for (int row = 0; row < core.network().userList().rowCount(); ++row)
        peers.append(peerEntry(core, row));
    return {{QStringLiteral("ok"), true}, {QStringLiteral("peers"), peers}};
}

QJsonObject CopyReport::downloads(Core &core)
{
    Transfers &transfers = core.transfers();
    QJsonArray running;
    const DownloadListModel &list = transfers.downloadList();
    for (int row = 0; row < list.rowCount(); ++row) {
        const DownloadListModel::Row &entry = list.row(row);
        const TransferSlot &slot = transfers.downloader().slot(entry.slot);
        running.append(QJsonObject{
            {QStringLiteral("name"), entry.fileName},
            {QStringLiteral("status"), entry.status},
            {QStringLiteral("percent"), entry.percent},
            {QStringLiteral("received"), slot.received},
            {QStringLiteral("total"), slot.total},
            {QStringLiteral("rate"), entry.rate},
            {QStringLiteral("nickname"), entry.nickname},
            {QStringLiteral("address"), entry.address},
        });
    }
    QJsonArray ended;
    const DeadDownloadListModel &dead = transfers.deadDownloadList();
    for (int row = 0; row < dead.rowCount(); ++row) {
        const DeadDownloadListModel::Entry &entry = dead.entry(row);
        const bool complete = entry.status == QLatin1String("Complete");
        ended.append(QJsonObject{
            {QStringLiteral("name"), entry.text},
            {QStringLiteral("status"), entry.status},
            {QStringLiteral("detail"), complete ? entry.tag : entry.toolTip},
        });
    }
    return {{QStringLiteral("ok"), true}, {QStringLiteral("running"), running}, {QStringLiteral("ended"), ended}};
}
