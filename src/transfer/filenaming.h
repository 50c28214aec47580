#pragma once

#include <QByteArray>
#include <QString>

// How a download's files are named on this side.
class FileNaming final
{
public:
    // The local name of a shared name: the text after its last "\", and of
    // that only what follows a first ":". Empty when nothing usable is left
    // or the name could leave the folder it is put into.
    static QString nameFromSharedName(const QByteArray &sharedName);

    // The first free name for `name` in `folder`: the name itself, else
    // "(1) name", "(2) name" and so on. `number` receives n (0 for the plain name).
    static QString numberedName(const QString &folder, const QString &name, int *number = nullptr);
};
