#include "base/crc32.h"
#include "share/filesignature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestHashing)
#include "tst_hashing.moc"
