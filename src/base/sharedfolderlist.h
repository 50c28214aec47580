#pragma once

#include <QByteArray>
#include <QStringList>

// The text of the "SharedFolders" setting: every folder followed by ";".
// A last folder without its ";" (a value written by hand) still counts, and
// empty pieces are no folders.
class SharedFolderList final
{
public:
    SharedFolderList() = delete;

    static QStringList parse(const QByteArray &stored);
    static QByteArray format(const QStringList &folders);
};
