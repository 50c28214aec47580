#include "net/ownidentifier.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestOwnIdentifier final : public QObject
{
    Q_OBJECT

private slots:
    void volumeTextAndOwnIdWithoutVolume()
    {
        // Upper-case halves, short ones padded with "A".
        QCOMPARE(OwnIdentifier::volumeText(0x00AB00CDu), QByteArray("ABAA-CDAA"));
        QCOMPARE(OwnIdentifier::volumeText(0x0000ABCDu), QByteArray("0AAA-ABCD"));
        QCOMPARE(OwnIdentifier::volumeText(0xbeef000fu), QByteArray("BEEF-FAAA"));
        // CRC-32 of "" is 0, of "123456789" 0xCBF43926; no leading zeros.
        QCOMPARE(OwnIdentifier::composeOwnId({}, {}), QByteArray("00"));
        QCOMPARE(OwnIdentifier::composeOwnId("123456789", {}), QByteArray("CBF439260"));
        const QString missing = QStringLiteral("/nonexistent-quelm-folder/below");
        QCOMPARE(OwnIdentifier::volumeText(OwnIdentifier::volumeSerial(missing)), QByteArray());
        QCOMPARE(OwnIdentifier::computeOwnId(missing, "123456789"), QByteArray("0CBF43926"));
    }

    void ownIdIsStablePerVolume()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("inner")));
        QVERIFY(OwnIdentifier::volumeSerial(dir.path()).has_value());
        const QRegularExpression hex(QStringLiteral("^[0-9A-F]{2,16}$"));
        const QByteArray id = OwnIdentifier::computeOwnId(dir.path(), "123456789");
        QVERIFY2(hex.match(QString::fromLatin1(id)).hasMatch() && id.endsWith("CBF43926"), id.constData());
        QCOMPARE(OwnIdentifier::computeOwnId(dir.filePath(QStringLiteral("inner")), "123456789"), id);
        QVERIFY(OwnIdentifier::computeOwnId(dir.path(), "another machine") != id);
        // Without a product id the machine's own identity stands in.
        const QByteArray fallback = OwnIdentifier::computeOwnId(dir.path(), {});
        QVERIFY2(hex.match(QString::fromLatin1(fallback)).hasMatch(), fallback.constData());
        QCOMPARE(OwnIdentifier::computeOwnId(dir.path(), {}), fallback);
    }
};

QTEST_GUILESS_MAIN(TestOwnIdentifier)
#include "tst_ownidentifier.moc"
