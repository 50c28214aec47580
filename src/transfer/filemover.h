#pragma once

#include <QString>

// Moves a file so that it is never lost: within one file system by a rename;
// across file systems by a copy that is synced to disk before the source is
// removed. On failure the source stays and nothing is left at the target.
class FileMover final
{
public:
    static bool move(const QString &source, const QString &target, QString *error = nullptr);

private:
    static bool copyAndSync(const QString &source, const QString &target, QString *error);
};
