#include "transfer/filenaming.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

bool isTaken(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

QString FileNaming::nameFromSharedName(const QByteArray &sharedName)
{
    QByteArray name = sharedName.mid(sharedName.lastIndexOf('\\') + 1);
    const qsizetype colon = name.indexOf(':');
    if (colon >= 0)
        name = name.mid(colon + 1);
    // A peer's text becomes a file name here: it must not name a folder.
    const QString text = QString::fromUtf8(name);
    if (text.isEmpty() || text == QLatin1String(".") || text == QLatin1String("..") || text.contains(QLatin1Char('/'))
        || text.contains(QChar(0)))
        return {};
    return text;
}

QString FileNaming::numberedName(const QString &folder, const QString &name, int *number)
{
    const QDir dir(folder);
    QString candidate = dir.filePath(name);
    int n = 0;
    // Any entry takes the name, a dangling link included, which must not be
    // written through either: one lstat() a candidate.
    while (isTaken(candidate))
        candidate = dir.filePath(QLatin1Char('(') + QString::number(++n) + QLatin1String(") ") + name);
    if (number)
        *number = n;
    return candidate;
}
