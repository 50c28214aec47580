#pragma once

#include <QString>

// Where a copy keeps its files, as both the copy and its command-line client
// find it: QUELM_HOME when set, otherwise the user's data folder.
class ProgramFolder final
{
public:
    ProgramFolder() = delete;

    // The program folder of this process's environment, absolute and clean.
    static QString fromEnvironment();
    // The local control socket of the headless copy that runs in `folder`.
    static QString controlSocketPath(const QString &folder);
    // Creates `folder` and any missing folders above it readable by the owner
    // alone (0700): they hold downloads, partial files and settings. Folders
    // that exist already are left as they are. True when `folder` exists.
    static bool createPrivateFolder(const QString &folder);
};
