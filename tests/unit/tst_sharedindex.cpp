#include "share/filesignature.h"
#include "share/sharedindex.h"
#include "shell/settingnames.h"
#include "shell/settingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int WalkTimeoutMs = 10000;
// Not UTF-8, so not shared; QTemporaryDir cannot remove it by itself.
constexpr char RawName[] = "latin1-\xe9.txt";

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// For names no QString can carry.
void writeRawName(const QString &folder, const QByteArray &name)
{
    const int fd = ::open((QFile::encodeName(folder) + '/' + name).constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
}

QByteArrayList sharedNames(const IndexSnapshot &snapshot)
{
    QByteArrayList names;
    for (const SharedFile &file : snapshot.files)
        names << snapshot.sharedName(file);
    return names;
}

} // namespace

class TestSharedIndex final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_settings;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    bool walk(SharedIndex &index)
    {
        QSignalSpy rebuilt(&index, &SharedIndex::rebuilt);
        index.loadSharedFolders();
        return rebuilt.wait(WalkTimeoutMs) && !index.isWalking();
    }

    // Root 1: the default downloads folder; 2: a folder stored with a
    // trailing "/"; 3: missing from disk; 4: another folder.
    void buildTree()
    {
        const QString downloads = path("program/Downloads/");
        writeFile(downloads + "sub/inner.mp3", "12345");
        writeFile(downloads + "Zeta.txt", "z");
        writeFile(downloads + "beta.txt", "bb");
        writeFile(downloads + "alpha.txt", "aaa");
        writeFile(downloads + QString::fromUtf8("café.txt"), "c");
        writeFile(downloads + ".hidden.txt", "h");
        writeFile(downloads + "bad|name.txt", "b");
        writeFile(downloads + "co:lon.txt", "b");
        writeFile(downloads + "what?.txt", "b");
        writeFile(downloads + "tab\tname.txt", "b");
        writeRawName(downloads, RawName);

        const QString a = path("a/");
        writeFile(a + "x.txt", "xx");
        writeFile(a + "B/c.txt", "c");
        writeFile(a + "m/k.txt", "k");
        writeFile(a + "m/n/y.mp3", "yyyy");
        writeFile(a + ".hiddendir/h.txt", "h");
        writeFile(a + "bad|dir/f.txt", "f");
        QVERIFY(QFile::link(a + "m", a + "linkdir"));
        QVERIFY(QFile::link(a + "x.txt", a + "linkfile.txt"));
        QVERIFY(QFile::link(a + "nowhere", a + "dangling.txt"));
        QVERIFY(::mkfifo(QFile::encodeName(a + "pipe").constData(), 0600) == 0);

        writeFile(path("b/x.txt"), "bx");

        m_settings->set(SettingNames::SharedFolders, (path("a") + "/;" + path("missing") + ";" + path("b") + ";").toUtf8());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_settings = std::make_unique<SettingsStore>(path("user.ini"), path("machine.ini"));
    }

    void cleanup()
    {
        ::unlink((QFile::encodeName(path("program/Downloads")) + '/' + RawName).constData());
    }

    void rootsFromSettings()
    {
        SharedIndex index(*m_settings, "/home/u/prog");
        QCOMPARE(index.rootFolders(), QStringList({"/home/u/prog/Downloads"}));

        m_settings->set(SettingNames::DownloadsFolder, "/d/");
        m_settings->set(SettingNames::SharedFolders, "/a/;/b//;/c;");
        QCOMPARE(index.rootFolders(), QStringList({"/d", "/a", "/b/", "/c"}));

        // The last folder is stored without its ";" and is lost; an empty
        // element keeps its number; "/" alone stays a folder.
        m_settings->set(SettingNames::SharedFolders, ";/;/lost");
        QCOMPARE(index.rootFolders(), QStringList({"/d", "", "/"}));
    }

    void walkNamesAndOrder()
    {
        buildTree();
        QVERIFY(!QTest::currentTestFailed());
        SharedIndex index(*m_settings, path("program"));
        QVERIFY(index.snapshot());
        QCOMPARE(index.count(), 0);
        QVERIFY(walk(index));

        const auto snapshot = index.snapshot();
        QCOMPARE(snapshot->roots, QStringList({path("program/Downloads"), path("a"), path("missing"), path("b")}));
        // Sub-folders' files before the folder's own; names in order with
        // letter case ignored; the missing root 3 moves nothing.
        const QByteArrayList expected{
            "1:sub\\inner.mp3", "1:alpha.txt", "1:beta.txt", QString::fromUtf8("1:café.txt").toUtf8(), "1:Zeta.txt",
            "2:B\\c.txt", "2:m\\n\\y.mp3", "2:m\\k.txt", "2:linkfile.txt", "2:x.txt",
            "4:x.txt"};
        QCOMPARE(sharedNames(*snapshot), expected);
        QCOMPARE(index.count(), qint64(expected.size()));

        for (const SharedFile &file : snapshot->files) {
            const QString full = snapshot->fullPath(file);
            QVERIFY2(full.startsWith(snapshot->roots.at(file.root - 1) + "/"), qPrintable(full));
            // A link to a file carries its target's size.
            QCOMPARE(file.size, QFileInfo(full).size());
            QCOMPARE(snapshot->resolveSharedName(snapshot->sharedName(file)), std::optional<QString>(full));
        }
        QCOMPARE(snapshot->fullPath(snapshot->files.at(6)), path("a/m/n/y.mp3"));
    }

    void resolveRefusesWhatLeavesItsRoot()
    {
        IndexSnapshot snapshot;
        snapshot.roots = QStringList{"/dl", "/share/a", "/gone", "", "/"};

        QCOMPARE(snapshot.resolveSharedName("2:m\\n\\y.mp3"), std::optional<QString>("/share/a/m/n/y.mp3"));
        QCOMPARE(snapshot.resolveSharedName("02:y.mp3"), std::optional<QString>("/share/a/y.mp3"));
        // The disk is not consulted.
        QCOMPARE(snapshot.resolveSharedName("3:x.txt"), std::optional<QString>("/gone/x.txt"));
        QCOMPARE(snapshot.resolveSharedName("5:etc\\x"), std::optional<QString>("/etc/x"));
        QCOMPARE(snapshot.resolveSharedName("1:a b: c.txt"), std::nullopt);

        for (const QByteArray &name : QByteArrayList{"2:..\\secret", "2:a\\..\\..\\x", "2:.", "2:a\\.\\b", "0:x", "9:x",
                                                     "x", "2:", "2:\\abs", "2:a\\\\b", "2:a\\", ":x", "+2:x", " 2:x",
                                                     "2 :x", "4294967298:x", "2:/etc/passwd", "2:m/../../x",
                                                     "2:.ssh\\id_rsa", "2:a\tb", "2:a\x7f", "2:bad|x", "2:what?",
                                                     "2:\xff", "4:x"}) {
            QVERIFY2(!snapshot.resolveSharedName(name), name.constData());
        }
    }

    void rebuildsDuringAWalkCoalesce()
    {
        buildTree();
        QVERIFY(!QTest::currentTestFailed());
        SharedIndex index(*m_settings, path("program"));
        QSignalSpy started(&index, &SharedIndex::walkStarted);
        QSignalSpy rebuilt(&index, &SharedIndex::rebuilt);

        index.loadSharedFolders();
        // The walk's end is delivered through this thread's event loop, so it
        // is still running here whatever the worker has done.
        QVERIFY(index.isWalking());
        writeFile(path("b/added.txt"), "new");
        index.loadSharedFolders();
        index.loadSharedFolders();
        index.loadSharedFolders();
        QCOMPARE(started.count(), 1);

        QTRY_COMPARE_WITH_TIMEOUT(rebuilt.count(), 2, WalkTimeoutMs);
        QCOMPARE(started.count(), 2);
        QVERIFY(!index.isWalking());
        QCOMPARE(sharedNames(*index.snapshot()).mid(10), QByteArrayList({"4:added.txt", "4:x.txt"}));

        // Nothing was left pending: another request walks once more.
        QVERIFY(walk(index));
        QCOMPARE(started.count(), 3);
    }

    void signatureIsCachedUntilTheFileChanges()
    {
        SharedIndex index(*m_settings, path("program"));
        const QString file = path("sig.bin");
        const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1600000000);
        const auto setStamp = [&] {
            QFile handle(file);
            QVERIFY(handle.open(QIODevice::ReadWrite));
            QVERIFY(handle.setFileTime(stamp, QFileDevice::FileModificationTime));
        };

        writeFile(file, QByteArray(4096, 'a'));
        setStamp();
        const QByteArray first = index.fileSignature(file);
        QCOMPARE(first, FileSignature::computeFileSignature(file));
        QCOMPARE(first.size(), 32);

        // Other content, same size and time: the cached text stands.
        writeFile(file, QByteArray(4096, 'b'));
        setStamp();
        QVERIFY(FileSignature::computeFileSignature(file) != first);
        QCOMPARE(index.fileSignature(file), first);

        writeFile(file, QByteArray(8192, 'b'));
        setStamp();
        const QByteArray grown = index.fileSignature(file);
        QCOMPARE(grown, FileSignature::computeFileSignature(file));
        QVERIFY(grown != first);

        // A failure is cached too, until the file appears.
        const QString later = path("later.bin");
        QCOMPARE(index.fileSignature(later), QByteArray("-1"));
        writeFile(later, QByteArray(2048, 'c'));
        QCOMPARE(index.fileSignature(later), FileSignature::computeFileSignature(later));
        QCOMPARE(index.fileSignature(later).size(), 32);
    }
};

QTEST_GUILESS_MAIN(TestSharedIndex)
#include "tst_sharedindex.moc"
