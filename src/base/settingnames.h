#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

// Names of the values kept under SettingsStore::QuelmKeyPath. Every value is a
// string; switches are off only when they read "0".
namespace SettingNames {

// User hive.
inline constexpr char Nickname[] = "Nickname";
inline constexpr char FirstRun[] = "FirstRun";
inline constexpr char CustomPort[] = "CustomPort";
inline constexpr char EnableScanning[] = "EnableScanning";
inline constexpr char EnableTCP[] = "EnableTCP";
inline constexpr char EnableUDP[] = "EnableUDP";
inline constexpr char EnableIPLookout[] = "EnableIPLookout";
inline constexpr char ShowDownloadNotifications[] = "ShowDownloadNotifications";
inline constexpr char DownloadsFolder[] = "DownloadsFolder";
inline constexpr char SharedFolders[] = "SharedFolders";
// Whether running downloads are parked at exit and resumed at the next start.
inline constexpr char KeepUnfinishedDownloads[] = "KeepUnfinishedDownloads";
inline constexpr char BlockedList[] = "BlockedList";
// The update page of the Home tab; empty means none (QUELM_UPDATE_URL takes precedence).
inline constexpr char UpdateURL[] = "UpdateURL";
// The main window's place and size, as Qt saves it, in base64.
inline constexpr char WindowGeometry[] = "WindowGeometry";
// The split between the main window's pages and its user list, likewise.
inline constexpr char WindowSplitter[] = "WindowSplitter";
// The Downloads tab's split and the column widths the person chose, likewise.
inline constexpr char DownloadsLayout[] = "DownloadsLayout";

// Machine hive.
inline constexpr char HostCache[] = "HostCache";
inline constexpr char RecentHosts[] = "RecentHosts";

// Machine hive, under CurrentVersionKeyPath rather than the program's own key;
// never written by the program.
inline constexpr char CurrentVersionKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char ProductID[] = "ProductID";

} // namespace SettingNames

// What a reader passes when a value is absent. Values not listed here default
// to the empty string.
namespace SettingDefaults {

inline constexpr char EnableScanning[] = "1";
inline constexpr char EnableTCP[] = "1";
inline constexpr char EnableUDP[] = "1";
inline constexpr char EnableIPLookout[] = "1";
// "0" never, "1" only while the main window is minimised or hidden, "2" always.
inline constexpr char ShowDownloadNotifications[] = "1";
// Off: the end of the program cancels running downloads and empties the resume store.
inline constexpr char KeepUnfinishedDownloads[] = "0";

// The downloads folder defaults to "Downloads" inside the program folder.
inline QByteArray downloadsFolder(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QLatin1String("/Downloads")).toUtf8();
}

} // namespace SettingDefaults
