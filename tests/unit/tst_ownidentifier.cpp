#include "net/ownidentifier.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool isIdentifier(const QByteArray &id)
{
    return QRegularExpression(QStringLiteral("^[0-9A-F]{2,16}$")).match(QString::fromLatin1(id)).hasMatch();
}

} // namespace

class TestOwnIdentifier final : public QObject
{
    Q_OBJECT

private slots:
    void volumeText_data()
    {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("short halves padded with A") << quint32(0x00AB00CD) << QByteArray("ABAA-CDAA");
        QTest::newRow("zero high half") << quint32(0x0000ABCD) << QByteArray("0AAA-ABCD");
        QTest::newRow("full halves") << quint32(0xFFFFFFFF) << QByteArray("FFFF-FFFF");
        QTest::newRow("mixed, upper case") << quint32(0xbeef000f) << QByteArray("BEEF-FAAA");
    }

    void volumeText()
    {
        QFETCH(quint32, serial);
        QFETCH(QByteArray, text);
        QCOMPARE(OwnIdentifier::volumeText(serial), text);
    }

    void composeOwnId()
    {
        // CRC-32 of "" is 0, of "123456789" 0xCBF43926; no leading zeros.
        QCOMPARE(OwnIdentifier::composeOwnId({}, {}), QByteArray("00"));
        QCOMPARE(OwnIdentifier::composeOwnId({}, "123456789"), QByteArray("0CBF43926"));
        QCOMPARE(OwnIdentifier::composeOwnId("123456789", {}), QByteArray("CBF439260"));
    }

    void computeOwnIdIsStablePerVolume()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("inner")));
        QVERIFY(OwnIdentifier::volumeSerial(dir.path()).has_value());

        const QByteArray id = OwnIdentifier::computeOwnId(dir.path(), "123456789");
        QVERIFY(isIdentifier(id));
        QVERIFY(id.endsWith("CBF43926"));
        QCOMPARE(OwnIdentifier::computeOwnId(dir.path(), "123456789"), id);
        QCOMPARE(OwnIdentifier::computeOwnId(dir.filePath(QStringLiteral("inner")), "123456789"), id);
        QVERIFY(OwnIdentifier::computeOwnId(dir.path(), "another machine") != id);

        const QByteArray fallback = OwnIdentifier::computeOwnId(dir.path(), {});
        QVERIFY(isIdentifier(fallback));
        QCOMPARE(OwnIdentifier::computeOwnId(dir.path(), {}), fallback);
    }

    void computeOwnIdWithoutVolume()
    {
        const QString missing = QStringLiteral("/nonexistent-quelm-folder/below");
        QCOMPARE(OwnIdentifier::volumeSerial(missing), std::nullopt);
        QCOMPARE(OwnIdentifier::volumeText(std::nullopt), QByteArray());
        QCOMPARE(OwnIdentifier::computeOwnId(missing, "123456789"), QByteArray("0CBF43926"));
    }
};

QTEST_GUILESS_MAIN(TestOwnIdentifier)
#include "tst_ownidentifier.moc"
