#pragma once

#include <QString>

#include <atomic>

// Moves a file so that it is never lost: within one file system by a rename;
// across file systems by a copy that is synced to disk before the source is
// removed. On failure the source stays and nothing is left at the target.
class FileMover final
{
public:
    enum class Rename { Moved, Failed, OtherFileSystem };

    // The move within one file system alone: OtherFileSystem leaves both
    // paths as they were, for move() or a worker thread to copy.
    static Rename rename(const QString &source, const QString &target, QString *error = nullptr);
    // A copy stops between two blocks once `stop` is set, and fails.
    static bool move(const QString &source, const QString &target, QString *error = nullptr,
                     const std::atomic<bool> *stop = nullptr);

private:
    static bool copyAndSync(const QString &source, const QString &target, QString *error,
                            const std::atomic<bool> *stop);
};
