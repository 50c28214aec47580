#include "common/formatsize.h"

#include <QTest>

class TestFormatSize final : public QObject
{
    Q_OBJECT

private slots:
    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        constexpr qint64 M = 1024 * 1024;
        QTest::newRow("negative") << qint64(-5) << QStringLiteral("0 Bytes");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0 Bytes");
        QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023 Bytes");
        QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.00 KB");
        QTest::newRow("1029 = 1.0049 KB") << qint64(1029) << QStringLiteral("1.00 KB");
        QTest::newRow("1034 = 1.0098 KB") << qint64(1034) << QStringLiteral("1.01 KB");
        // Exact halves go away from zero, not to the even neighbour.
        QTest::newRow("1.125 KB") << qint64(1152) << QStringLiteral("1.13 KB");
        QTest::newRow("1.625 GB") << qint64(1744830464) << QStringLiteral("1.63 GB");
        QTest::newRow("just below a MB") << M - 1 << QStringLiteral("1024.00 KB");
        QTest::newRow("one MB") << M << QStringLiteral("1.00 MB");
        QTest::newRow("one GB") << M * 1024 << QStringLiteral("1.00 GB");
        QTest::newRow("4.5 GB") << qint64(4831838208) << QStringLiteral("4.50 GB");
        // (2^63 - 1) / 2^30 is a hair below 2^33.
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << QStringLiteral("8589934592.00 GB");
    }

    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(::formatSize(bytes), text);
    }
};

QTEST_GUILESS_MAIN(TestFormatSize)
#include "tst_formatsize.moc"
