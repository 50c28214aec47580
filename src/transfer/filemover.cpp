#include "transfer/filemover.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qint64 CopyBlock = 1 << 20;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

FileMover::Rename FileMover::rename(const QString &source, const QString &target, QString *error)
{
    if (QFile::exists(target)) {
        setError(error, QStringLiteral("The destination already exists."));
        return Rename::Failed;
    }
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0)
        return Rename::Moved;
    if (errno == EXDEV)
        return Rename::OtherFileSystem;
    setError(error, QString::fromLocal8Bit(std::strerror(errno)));
    return Rename::Failed;
}

bool FileMover::move(const QString &source, const QString &target, QString *error, const std::atomic<bool> *stop)
{
    const Rename renamed = rename(source, target, error);
    if (renamed != Rename::OtherFileSystem)
        return renamed == Rename::Moved;
    if (!copyAndSync(source, target, error, stop)) {
        QFile::remove(target);
        return false;
    }
    QFile::remove(source);
    return true;
}

bool FileMover::copyAndSync(const QString &source, const QString &target, QString *error,
                            const std::atomic<bool> *stop)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        setError(error, in.isOpen() ? out.errorString() : in.errorString());
        return false;
    }
    while (!in.atEnd()) {
        if (stop && stop->load()) {
            setError(error, QStringLiteral("The copy was stopped."));
            return false;
        }
        const QByteArray block = in.read(CopyBlock);
        if (block.isEmpty() || out.write(block) != block.size()) {
            setError(error, block.isEmpty() ? in.errorString() : out.errorString());
            return false;
        }
    }
    if (!out.flush() || ::fsync(out.handle()) != 0) {
        setError(error, out.errorString());
        return false;
    }
    return true;
}
