#include "share/clscrc.h"
#include "share/filesignature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

constexpr qint32 Crc123456789 = -873187034; // 0xCBF43926

// Bytes that change from position to position, so a wrong prefix length
// gives a different digest.
QByteArray patterned(qsizetype length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

QByteArray md5Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
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
        ClsCrc crc;
        QCOMPARE(crc.algorithm(), qint16(1));
        QCOMPARE(crc.calculateString("123456789"), Crc123456789);
        QCOMPARE(crc.calculateString(""), 0);

        // Input fed in pieces, or continued from a value written back.
        crc.clear();
        crc.addString("1234");
        QCOMPARE(crc.addString("56789"), Crc123456789);
        ClsCrc fresh;
        fresh.setValue(ClsCrc().calculateBytes("1234"));
        QCOMPARE(fresh.addBytes("56789"), Crc123456789);
        fresh.setValue(-2);
        QCOMPARE(fresh.value(), -2);

        // Setting the algorithm clears; zero selects no digest at all.
        crc.setAlgorithm(5);
        QCOMPARE(crc.algorithm(), qint16(1));
        QCOMPARE(crc.value(), 0);
        crc.setAlgorithm(0);
        QCOMPARE(crc.addString("123456789"), 0);

        // Larger than one read block, so the blocks must chain.
        const QByteArray bytes = patterned(200000);
        const qint32 expected = ClsCrc().calculateBytes(bytes);
        QCOMPARE(ClsCrc().calculateFile(writeFile(QStringLiteral("crc.bin"), bytes)), expected);
        QCOMPARE(ClsCrc().calculateFile(m_dir.filePath(QStringLiteral("missing"))), 0);
    }

    void signatureLength_data()
    {
        QTest::addColumn<qint64>("fileLength");
        QTest::addColumn<qint64>("length");
        QTest::newRow("100") << qint64(100) << qint64(0);
        QTest::newRow("512: half to even 0") << qint64(512) << qint64(0);
        QTest::newRow("1000") << qint64(1000) << qint64(1);
        QTest::newRow("1536: half to even 2") << qint64(1536) << qint64(2);
        QTest::newRow("2048") << qint64(2048) << qint64(2);
        QTest::newRow("2560: half to even 2") << qint64(2560) << qint64(2);
        QTest::newRow("3584: half to even 4") << qint64(3584) << qint64(4);
        QTest::newRow("10 MiB") << qint64(10) * 1024 * 1024 << qint64(10240);
        QTest::newRow("3 GiB reaches the cap") << (qint64(3) << 30) << qint64(3145728);
        QTest::newRow("huge") << (qint64(1) << 50) << qint64(3145728);
    }

    void signatureLength()
    {
        QFETCH(qint64, fileLength);
        QFETCH(qint64, length);
        QCOMPARE(FileSignature::signatureLength(fileLength), length);
    }

    void signatureCoversPrefix()
    {
        const std::pair<int, int> cases[] = {{1000, 1}, {1536, 2}, {2048, 2}, {2560, 2}, {1 << 20, 1024}};
        for (const auto &[fileLength, prefixLength] : cases) {
            const QByteArray bytes = patterned(fileLength);
            QCOMPARE(signatureOf(QStringLiteral("prefix.bin"), bytes), md5Hex(bytes.left(prefixLength)));
        }

        // Two 1000-byte files that start alike share their signature.
        QByteArray first(1000, 'x');
        QByteArray second(1000, 'y');
        first[0] = second[0] = 'a';
        QCOMPARE(signatureOf(QStringLiteral("one"), first), signatureOf(QStringLiteral("two"), second));

        QByteArray ab(2048, '\0');
        ab[0] = 'a';
        ab[1] = 'b';
        QCOMPARE(signatureOf(QStringLiteral("ab"), ab), QByteArray("187ef4436122d1cc2f40dc2b92f0eba0"));
    }

    void signatureFailures()
    {
        QCOMPARE(signatureOf(QStringLiteral("small"), patterned(100)), QByteArray("-1"));
        QCOMPARE(signatureOf(QStringLiteral("empty"), {}), QByteArray("-1"));
        QCOMPARE(FileSignature::computeFileSignature(m_dir.filePath(QStringLiteral("none"))), QByteArray("-1"));
        QCOMPARE(FileSignature::computeFileSignature(m_dir.path()), QByteArray("-1"));
        // The presence test trims the path, the measurement does not: a file
        // whose name ends in a blank is measured but then not found.
        QCOMPARE(signatureOf(QStringLiteral("spaced "), patterned(4096)), QByteArray());
    }

    void presenceTest()
    {
        const QString path = writeFile(QStringLiteral("present"), "content");
        QVERIFY(FileSignature::fileIsPresent(path));
        QVERIFY(FileSignature::fileIsPresent(QStringLiteral("  ") + path + QStringLiteral("/ ")));
        QVERIFY(!FileSignature::fileIsPresent(path + QStringLiteral("//")));
        QVERIFY(!FileSignature::fileIsPresent(m_dir.filePath(QStringLiteral("absent"))));
        QVERIFY(!FileSignature::fileIsPresent(m_dir.path()));

        if (::geteuid() == 0)
            QSKIP("root reads every file, so permission cannot be denied");
        const QString locked = writeFile(QStringLiteral("locked"), patterned(4096));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        QVERIFY(FileSignature::fileIsPresent(locked));
        QCOMPARE(FileSignature::computeFileSignature(locked), QByteArray("-1"));
    }
};

QTEST_GUILESS_MAIN(TestHashing)
#include "tst_hashing.moc"
