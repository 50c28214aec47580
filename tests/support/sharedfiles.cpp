#include "support/sharedfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

bool shareFiles(RunningCopy &copy, const QMap<QString, QByteArray> &files)
{
    SharedIndex &index = copy.core().sharing().sharedIndex();
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        const QString path = index.rootFolders().first() + QLatin1Char('/') + file.key();
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.value()) != file.value().size())
            return false;
    }
    QSignalSpy rebuilt(&index, &SharedIndex::rebuilt);
    index.loadSharedFolders();
    return QTest::qWaitFor([&] { return !index.isWalking() && rebuilt.count() > 0; }, 10000);
}

QByteArray patternBytes(qint64 length, int seed)
{
    QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
    quint32 state = 2166136261u ^ static_cast<quint32>(seed);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
