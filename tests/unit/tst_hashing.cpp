#include "base/crc32.h"
#include "share/contenthashes.h"
#include "share/filehasher.h"
#include "share/filesignature.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes that change from position to position, so a wrong prefix length
// gives a different digest.
QByteArray patterned(qsizetype length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

} // namespace

class TestHashing final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write a test file");
        return path;
    }

    // Writes `bytes` over the file and puts back its modification time, so
    // only a digest taken from the content itself can tell the difference.
    static void replaceKeepingStamp(const QString &path, const QByteArray &bytes)
    {
        struct stat before {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
    }

    // One pass of `hashes` over `index`, to its end.
    static bool hashAll(ContentHashes &hashes, const std::shared_ptr<const IndexSnapshot> &index)
    {
        QSignalSpy finished(&hashes, &ContentHashes::hashingFinished);
        hashes.hashIndex(index);
        return finished.wait(20000);
    }

    std::shared_ptr<const IndexSnapshot> indexOf(const QString &root, const QList<QByteArray> &names)
    {
        auto index = std::make_shared<IndexSnapshot>();
        index->roots << root;
        for (const QByteArray &name : names)
            index->files.push_back(IndexSnapshot::makeFile(name, QFileInfo(root + '/' + name).size(), 1));
        return index;
    }

    static QByteArray sha256(const QByteArray &bytes)
    {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    }

    QByteArray signatureOf(const QString &name, const QByteArray &bytes)
    {
        return FileSignature::computeFileSignature(writeFile(name, bytes));
    }

private slots:
    void crc()
    {
        QCOMPARE(Crc32::of("123456789"), 0xCBF43926u);
        QCOMPARE(Crc32::of(""), 0u);
        // A NUL is data like any other byte.
        QCOMPARE(Crc32::of(QByteArray("\0", 1)), 0xD202EF8Du);
    }

    void signature_data()
    {
        QTest::addColumn<qint64>("fileLength");
        QTest::addColumn<qint64>("length");
        QTest::newRow("100") << qint64(100) << qint64(0);
        QTest::newRow("1000") << qint64(1000) << qint64(1);
        QTest::newRow("1536: half to even 2") << qint64(1536) << qint64(2);
        QTest::newRow("2048") << qint64(2048) << qint64(2);
        QTest::newRow("2560: half to even 2") << qint64(2560) << qint64(2);
        QTest::newRow("1 MiB") << (qint64(1) << 20) << qint64(1024);
        QTest::newRow("3 GiB reaches the cap") << (qint64(3) << 30) << qint64(3145728);
        QTest::newRow("huge") << (qint64(1) << 50) << qint64(3145728);
    }

    void signature()
    {
        QFETCH(qint64, fileLength);
        QFETCH(qint64, length);
        QCOMPARE(FileSignature::signatureLength(fileLength), length);
        if (fileLength > (1 << 20))
            return;
        const QByteArray bytes = patterned(fileLength);
        const QByteArray md5 = QCryptographicHash::hash(bytes.left(length), QCryptographicHash::Md5).toHex();
        QCOMPARE(signatureOf(QStringLiteral("file"), bytes), length ? md5 : QByteArray("-1"));
    }

    void signatureFailuresAndPresence()
    {
        QCOMPARE(signatureOf(QStringLiteral("ab"), QByteArray("ab").leftJustified(2048, '\0')),
                 QByteArray("187ef4436122d1cc2f40dc2b92f0eba0"));
        QCOMPARE(FileSignature::computeFileSignature(m_dir.filePath(QStringLiteral("none"))), QByteArray("-1"));
        QCOMPARE(FileSignature::computeFileSignature(m_dir.path()), QByteArray("-1"));
        // The presence test trims the path, the measurement does not: a file
        // whose name ends in a blank is measured but then not found.
        QCOMPARE(signatureOf(QStringLiteral("spaced "), patterned(4096)), QByteArray());

        const QString path = writeFile(QStringLiteral("present"), "content");
        QVERIFY(FileSignature::fileIsPresent(QStringLiteral("  ") + path + QStringLiteral("/ ")));
        QVERIFY(!FileSignature::fileIsPresent(path + QStringLiteral("//")));
        QVERIFY(!FileSignature::fileIsPresent(m_dir.filePath(QStringLiteral("absent"))));
        QVERIFY(!FileSignature::fileIsPresent(m_dir.path()));
        if (::geteuid() == 0)
            return; // root reads every file, so permission cannot be denied
        const QString locked = writeFile(QStringLiteral("locked"), patterned(4096));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        QVERIFY(FileSignature::fileIsPresent(locked));
        QCOMPARE(FileSignature::computeFileSignature(locked), QByteArray("-1"));
    }

    void contentDigestEqualsSha256sum()
    {
        // Past one read block, so the pieces are joined right.
        const QString path = writeFile(QStringLiteral("known"), patterned(FileHasher::BlockBytes + 4321));
        QProcess tool;
        tool.start(QStringLiteral("sha256sum"), {path});
        QVERIFY(tool.waitForFinished(20000) && tool.exitCode() == 0);
        const std::atomic<bool> stop{false};
        std::atomic<qint64> read{0};
        FileHasher hasher(stop, &read);
        const FileHasher::Result result = hasher.hash(path);
        QCOMPARE(result.digest.toHex(), tool.readAllStandardOutput().left(64));
        QCOMPARE(read.load(), FileHasher::BlockBytes + 4321);
        QCOMPARE(result.stamp.size, FileHasher::BlockBytes + 4321);
        QVERIFY(hasher.hash(m_dir.filePath(QStringLiteral("absent"))).digest.isEmpty());
    }

    void hashCacheKeepsUnchangedFilesAndRehashesTheRest()
    {
        QTemporaryDir home;
        const QString shared = m_dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared));
        const QString kept = writeFile(QStringLiteral("shared/kept"), "first content");
        const QString changed = writeFile(QStringLiteral("shared/changed"), "old");
        {
            ContentHashes hashes(home.path());
            QVERIFY(hashes.knownHash(kept).isEmpty());
            QVERIFY(hashAll(hashes, indexOf(shared, {"kept", "changed"})));
            QCOMPARE(hashes.knownHash(kept), sha256("first content"));
            QCOMPARE(hashes.knownHash(changed), sha256("old"));
        }
        const QString cachePath = home.filePath(QLatin1String(ContentHashes::CacheFileName));
        struct stat cacheInfo {};
        QVERIFY(::stat(QFile::encodeName(cachePath).constData(), &cacheInfo) == 0);
        QCOMPARE(cacheInfo.st_mode & 0777, 0600u);

        // Same size and time: a restart takes the cached digest and reads nothing.
        replaceKeepingStamp(kept, "first CONTENT");
        writeFile(QStringLiteral("shared/changed"), "new and longer");
        const QString added = writeFile(QStringLiteral("shared/added"), "added");
        const auto index = indexOf(shared, {"kept", "changed", "added"});
        {
            ContentHashes hashes(home.path());
            QVERIFY(hashAll(hashes, index));
            QCOMPARE(hashes.knownHash(kept), sha256("first content"));
            QCOMPARE(hashes.knownHash(changed), sha256("new and longer"));
            QCOMPARE(hashes.knownHash(added), sha256("added"));
            // A change after hashing hides the digest at once.
            writeFile(QStringLiteral("shared/added"), "added more");
            QVERIFY(hashes.knownHash(added).isEmpty());
        }

        // A cache cut in half is ignored whole and written anew.
        const qint64 fullSize = QFileInfo(cachePath).size();
        QVERIFY(QFile::resize(cachePath, fullSize / 2));
        {
            ContentHashes hashes(home.path());
            QVERIFY(hashAll(hashes, index));
            QCOMPARE(hashes.knownHash(kept), sha256("first CONTENT"));
            QCOMPARE(hashes.knownHash(added), sha256("added more"));
        }
        QCOMPARE(QFileInfo(cachePath).size(), fullSize);
        DigestTable table;
        QVERIFY(HashCacheFile(cachePath).load(table));
        QCOMPARE(table.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestHashing)
#include "tst_hashing.moc"
