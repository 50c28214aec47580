#include "share/filetypes.h"

#include <QTest>

class TestFileTypes final : public QObject
{
    Q_OBJECT

private slots:
    void everyExtensionOfItsCategoryPasses_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("extensions");
        const auto row = [](const char *category, const QStringList &extensions) {
            QTest::newRow(category) << QString(category) << extensions;
        };
        row("Audio", {"mp3", "ogg", "wav", "au", "snd", "mid", "midi", "mpga", "mpega", "mp2", "sid", "aif", "aiff",
                      "aifc", "gsm", "ra", "rm", "ram", "wma"});
        row("Video", {"avi", "mpg", "mpeg", "mp4", "mov", "flv", "rv", "rm", "wmv", "asf", "qt"});
        row("Images", {"bmp", "gif", "ief", "jpeg", "jpe", "jpg", "pcx", "png", "tiff", "tif", "wbmp", "ras", "cdr",
                       "pat", "cdt", "cpt", "jng", "pnm", "pbm", "pgm", "ppm", "rgb", "xbm", "xpm", "wxd"});
        row("Archives", {"zip", "rar", "tar", "gz", "iso", "cdr", "bin", "cue", "lzh", "lzx", "sit", "sitx", "ace",
                         "toast", "dmg"});
        row("Documents", {"doc", "xls", "htm", "html", "txt", "text", "pdf", "xml", "rtf", "ppt"});
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
            const bool longerListed = extensions.contains(extension + QLatin1Char('x'));
            QCOMPARE(FileTypes::matchesFileType(lower + "x", category), longerListed);
            QVERIFY(!FileTypes::matchesFileType("1:name_" + extension.toUtf8(), category));
        }
    }

    void namedCases()
    {
        QCOMPARE(FileTypes::fillFileTypes(),
                 QStringList({"All File Types", "Audio", "Video", "Images", "Archives", "Documents"}));
        // Lists overlap; the extension is the file's, not a folder's; any other
        // category text passes everything.
        const QList<std::tuple<QByteArray, QString, bool>> cases{
            {"1:clip.rm", "Audio", true},         {"1:clip.rm", "Video", true},
            {"1:art.cdr", "Images", true},        {"1:art.cdr", "Archives", true},
            {"1:art.cdr", "Documents", false},    {"2:Music\\Song.MP3", "Audio", true},
            {"1:song.mp3.txt", "Audio", false},   {"1:song.mp3.txt", "Documents", true},
            {"1:backup.tar.gz", "Archives", true}, {"1:clip.avi", "Audio", false},
            {"jpg", "Images", false},             {".jpg", "Images", true},
            {"1:pics.jpg\\readme", "Images", false}, {"", "Audio", false}};
        for (const auto &[name, category, matches] : cases)
            QCOMPARE(std::tuple(name, category, FileTypes::matchesFileType(name, category)),
                     std::tuple(name, category, matches));
        for (const QString &category : QStringList{"All File Types", "", "audio", "Audio ", "Pictures"}) {
            QVERIFY2(FileTypes::matchesFileType("1:clip.avi", category), qPrintable(category));
            QVERIFY2(FileTypes::matchesFileType("README", category), qPrintable(category));
        }
    }
};

QTEST_GUILESS_MAIN(TestFileTypes)
#include "tst_filetypes.moc"
