#include "share/filetypes.h"

#include <QTest>

class TestFileTypes final : public QObject
{
    Q_OBJECT

private slots:
    void categoriesInViewOrder()
    {
        QCOMPARE(FileTypes::fillFileTypes(),
                 QStringList({"All File Types", "Audio", "Video", "Images", "Archives", "Documents"}));
    }

    void everyExtensionOfItsCategoryPasses_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("extensions");
        QTest::newRow("Audio") << "Audio"
                               << QStringList{"mp3", "ogg", "wav", "au", "snd", "mid", "midi", "mpga", "mpega", "mp2",
                                              "sid", "aif", "aiff", "aifc", "gsm", "ra", "rm", "ram", "wma"};
        QTest::newRow("Video") << "Video"
                               << QStringList{"avi", "mpg", "mpeg", "mp4", "mov", "flv", "rv", "rm", "wmv", "asf", "qt"};
        QTest::newRow("Images") << "Images"
                                << QStringList{"bmp", "gif", "ief", "jpeg", "jpe", "jpg", "pcx", "png", "tiff",
                                               "tif", "wbmp", "ras", "cdr", "pat", "cdt", "cpt", "jng", "pnm",
                                               "pbm", "pgm", "ppm", "rgb", "xbm", "xpm", "wxd"};
        QTest::newRow("Archives") << "Archives"
                                  << QStringList{"zip", "rar", "tar", "gz", "iso", "cdr", "bin", "cue", "lzh", "lzx",
                                                 "sit", "sitx", "ace", "toast", "dmg"};
        QTest::newRow("Documents") << "Documents"
                                   << QStringList{"doc", "xls", "htm", "html", "txt", "text", "pdf", "xml", "rtf",
                                                  "ppt"};
    }

    void everyExtensionOfItsCategoryPasses()
    {
        QFETCH(QString, category);
        QFETCH(QStringList, extensions);
        for (const QString &extension : extensions) {
            const QByteArray lower = "1:folder\\name." + extension.toUtf8();
            QVERIFY2(FileTypes::matchesFileType(lower, category), lower.constData());
            QVERIFY2(FileTypes::matchesFileType(lower.toUpper(), category), lower.constData());
            // Only a whole extension after a dot counts.
            const QByteArray longer = lower + "x";
            const bool longerListed = extensions.contains(extension + QLatin1Char('x'));
            QCOMPARE(FileTypes::matchesFileType(longer, category), longerListed);
            QVERIFY(!FileTypes::matchesFileType("1:name_" + extension.toUtf8(), category));
        }
        QVERIFY(!FileTypes::matchesFileType("1:notes.unknownext", category));
        QVERIFY(!FileTypes::matchesFileType("", category));
    }

    void namedCases()
    {
        // Lists overlap.
        QVERIFY(FileTypes::matchesFileType("1:clip.rm", "Audio"));
        QVERIFY(FileTypes::matchesFileType("1:clip.rm", "Video"));
        QVERIFY(FileTypes::matchesFileType("1:art.cdr", "Images"));
        QVERIFY(FileTypes::matchesFileType("1:art.cdr", "Archives"));
        QVERIFY(!FileTypes::matchesFileType("1:art.cdr", "Documents"));

        QVERIFY(FileTypes::matchesFileType("2:Music\\Song.MP3", "Audio"));
        QVERIFY(!FileTypes::matchesFileType("1:song.mp3.txt", "Audio"));
        QVERIFY(FileTypes::matchesFileType("1:song.mp3.txt", "Documents"));
        QVERIFY(FileTypes::matchesFileType("1:backup.tar.gz", "Archives"));
        QVERIFY(!FileTypes::matchesFileType("1:clip.avi", "Audio"));
        QVERIFY(!FileTypes::matchesFileType("jpg", "Images"));
        QVERIFY(FileTypes::matchesFileType(".jpg", "Images"));
        // The extension is that of the file, not of a folder before it.
        QVERIFY(!FileTypes::matchesFileType("1:pics.jpg\\readme", "Images"));
    }

    void otherCategoryTextsPassEverything()
    {
        for (const QString &category : {QString("All File Types"), QString(), QString("audio"), QString("Audio "),
                                        QString("Pictures")}) {
            QVERIFY(FileTypes::matchesFileType("1:clip.avi", category));
            QVERIFY(FileTypes::matchesFileType("README", category));
        }
    }
};

QTEST_GUILESS_MAIN(TestFileTypes)
#include "tst_filetypes.moc"
