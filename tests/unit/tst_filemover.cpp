// Moving a finished download into place without ever losing it, within one
// file system and across two.
#include "support/sharedfiles.h"
#include "transfer/filemover.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

dev_t deviceOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : 0;
}

} // namespace

class FileMoverTest : public QObject
{
    Q_OBJECT

private slots:
    void movesWithinAndAcrossFileSystems_data()
    {
        QTest::addColumn<QString>("targetParent");
        QTest::newRow("same file system") << QDir::tempPath();
        // /dev/shm is a memory file system on Linux, apart from the temporary folder.
        QTest::newRow("another file system") << QStringLiteral("/dev/shm");
    }

    void movesWithinAndAcrossFileSystems()
    {
        QFETCH(QString, targetParent);
        QTemporaryDir sourceDir;
        QTemporaryDir targetDir(targetParent + QStringLiteral("/filemover-XXXXXX"));
        if (!targetDir.isValid())
            QSKIP("no folder can be made there");
        if (QTest::currentDataTag() == QByteArray("another file system")
            && deviceOf(sourceDir.path()) == deviceOf(targetDir.path()))
            QSKIP("both folders are on one file system here");
        const QByteArray content = patternBytes(3 * 1024 * 1024 + 5, 9);
        const QString source = sourceDir.filePath(QStringLiteral("part"));
        const QString target = targetDir.filePath(QStringLiteral("done.bin"));
        QVERIFY(write(source, content));
        // A rename alone moves within one file system; across two it leaves
        // both paths as they were, for the copy.
        const bool across = QTest::currentDataTag() == QByteArray("another file system");
        QCOMPARE(FileMover::rename(source, target),
                 across ? FileMover::Rename::OtherFileSystem : FileMover::Rename::Moved);
        if (across) {
            QCOMPARE(readWholeFile(source), content);
            QVERIFY(!QFile::exists(target));
            QString error;
            QVERIFY2(FileMover::move(source, target, &error), qPrintable(error));
        }
        QCOMPARE(readWholeFile(target), content);
        QVERIFY(!QFile::exists(source));
    }

    void aFailedMoveKeepsTheSource()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("part"));
        QVERIFY(write(source, "kept"));
        for (const QString &target : {dir.filePath(QStringLiteral("missing/done.bin")),
                                      QStringLiteral("/dev/shm/missing-folder-of-filemover/done.bin")}) {
            QString error;
            QVERIFY(!FileMover::move(source, target, &error));
            QVERIFY(!error.isEmpty());
            QCOMPARE(readWholeFile(source), QByteArray("kept"));
            QVERIFY(!QFile::exists(target));
        }
        // A copy stopped at the end of the program keeps its source too.
        QTemporaryDir other(QStringLiteral("/dev/shm/filemover-XXXXXX"));
        if (!other.isValid() || deviceOf(other.path()) == deviceOf(dir.path()))
            QSKIP("no second file system here");
        const std::atomic<bool> stop{true};
        const QString target = other.filePath(QStringLiteral("done.bin"));
        QVERIFY(!FileMover::move(source, target, nullptr, &stop));
        QCOMPARE(readWholeFile(source), QByteArray("kept"));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(FileMoverTest)
#include "tst_filemover.moc"
