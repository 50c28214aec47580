#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "share/filesignature.h"
#include "share/sharedindex.h"

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
constexpr char RawName[] = "program/Downloads/latin1-\xe9.txt";

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
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

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QByteArray rawPath() const { return QFile::encodeName(m_dir.path()) + '/' + RawName; }

private slots:
    // Root 1: the default downloads folder; 2: stored with a trailing "/";
    // 3: missing from disk; 4: another folder.
    void initTestCase()
    {
        for (const char *name : {"sub/inner.mp3", "Zeta.txt", "beta.txt", "alpha.txt", "café.txt", ".hidden.txt",
                                 "bad|name.txt", "co:lon.txt", "what?.txt", "tab\tname.txt"})
            writeFile(path("program/Downloads/") + QString::fromUtf8(name), name);
        for (const char *name : {"x.txt", "B/c.txt", "m/k.txt", "m/n/y.mp3", ".hiddendir/h.txt", "bad|dir/f.txt"})
            writeFile(path("a/") + name, name);
        writeFile(path("b/x.txt"), "bx");
        const int raw = ::open(rawPath().constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(raw >= 0 && ::close(raw) == 0);
        QVERIFY(QFile::link(path("a/m"), path("a/linkdir")) && QFile::link(path("a/x.txt"), path("a/linkfile.txt")));
        QVERIFY(QFile::link(path("a/nowhere"), path("a/dangling.txt")));
        QVERIFY(::mkfifo(QFile::encodeName(path("a/pipe")).constData(), 0600) == 0);
        m_settings = std::make_unique<SettingsStore>(path("user.ini"), path("machine.ini"));
        m_settings->set(SettingNames::SharedFolders,
                        (path("a") + "/;" + path("missing") + ";" + path("b") + ";").toUtf8());
    }

    void cleanupTestCase() { ::unlink(rawPath().constData()); }

    void rootsFromSettings()
    {
        SettingsStore settings(path("roots-user.ini"), path("roots-machine.ini"));
        SharedIndex index(settings, "/home/u/prog");
        QCOMPARE(index.rootFolders(), QStringList({"/home/u/prog/Downloads"}));

        settings.set(SettingNames::DownloadsFolder, "/d/");
        settings.set(SettingNames::SharedFolders, "/a/;/b//;/c;");
        QCOMPARE(index.rootFolders(), QStringList({"/d", "/a", "/b/", "/c"}));

        // A last folder without its ";" still counts; empty pieces are no
        // folders; "/" alone stays a folder.
        settings.set(SettingNames::SharedFolders, ";/;/last");
        QCOMPARE(index.rootFolders(), QStringList({"/d", "/", "/last"}));
    }

    void walkNamesAndOrder()
    {
        SharedIndex index(*m_settings, path("program"));
        QSignalSpy rebuilt(&index, &SharedIndex::rebuilt);
        index.loadSharedFolders();
        QVERIFY(rebuilt.wait(WalkTimeoutMs));

        const auto snapshot = index.snapshot();
        QCOMPARE(snapshot->roots, QStringList({path("program/Downloads"), path("a"), path("missing"), path("b")}));
        // Sub-folders' files before the folder's own; names in order with
        // letter case ignored; the missing root 3 moves nothing.
        const QByteArrayList expected{
            "1:sub\\inner.mp3", "1:alpha.txt", "1:beta.txt", QString::fromUtf8("1:café.txt").toUtf8(), "1:Zeta.txt",
            "2:B\\c.txt", "2:m\\n\\y.mp3", "2:m\\k.txt", "2:linkfile.txt", "2:x.txt", "4:x.txt"};
        QCOMPARE(sharedNames(*snapshot), expected);
        // The progress count ends at the number of files found.
        QCOMPARE(index.walkedFileCount(), qint64(expected.size()));
        for (const SharedFile &file : snapshot->files) {
            const QString full = snapshot->fullPath(file);
            // A link to a file carries its target's size.
            QCOMPARE(file.size, QFileInfo(full).size());
            QCOMPARE(snapshot->resolveSharedName(snapshot->sharedName(file)), std::optional<QString>(full));
        }
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
        for (const QByteArray &name : QByteArrayList{"2:..\\secret", "2:a\\..\\..\\x", "2:.", "2:a\\.\\b", "0:x", "9:x",
                                                     "x", "2:", "2:\\abs", "2:a\\\\b", "2:a\\", ":x", "+2:x", " 2:x",
                                                     "2 :x", "4294967298:x", "2:/etc/passwd", "2:m/../../x",
                                                     "2:.ssh\\id_rsa", "2:a\tb", "2:a\x7f", "2:bad|x", "2:what?",
                                                     "2:\xff", "4:x", "1:a b: c.txt"})
            QVERIFY2(!snapshot.resolveSharedName(name), name.constData());
    }

    void rebuildsDuringAWalkCoalesce()
    {
        SharedIndex index(*m_settings, path("program"));
        QSignalSpy started(&index, &SharedIndex::walkStarted);
        QSignalSpy rebuilt(&index, &SharedIndex::rebuilt);
        index.loadSharedFolders();
        // The walk's end is delivered through this thread's event loop, so it
        // is still running here whatever the worker has done.
        QVERIFY(index.isWalking());
        writeFile(path("b/added.txt"), "new");
        for (int i = 0; i < 3; ++i)
            index.loadSharedFolders();
        QCOMPARE(started.count(), 1);

        QTRY_COMPARE_WITH_TIMEOUT(rebuilt.count(), 2, WalkTimeoutMs);
        QCOMPARE(started.count(), 2);
        QVERIFY(!index.isWalking());
        QCOMPARE(sharedNames(*index.snapshot()).mid(10), QByteArrayList({"4:added.txt", "4:x.txt"}));
    }

    void signatureIsCachedUntilTheFileChanges()
    {
        SharedIndex index(*m_settings, path("program"));
        const QString file = path("sig.bin");
        const auto write = [&file](const QByteArray &content) {
            writeFile(file, content);
            QFile handle(file);
            QVERIFY(handle.open(QIODevice::ReadWrite));
            QVERIFY(handle.setFileTime(QDateTime::fromSecsSinceEpoch(1600000000), QFileDevice::FileModificationTime));
        };
        write(QByteArray(4096, 'a'));
        const QByteArray first = index.fileSignature(file);
        QCOMPARE(first, FileSignature::computeFileSignature(file));
        QCOMPARE(first.size(), 32);

        // Other content, same size and time: the cached text stands.
        write(QByteArray(4096, 'b'));
        QVERIFY(FileSignature::computeFileSignature(file) != first);
        QCOMPARE(index.fileSignature(file), first);

        write(QByteArray(8192, 'b'));
        QCOMPARE(index.fileSignature(file), FileSignature::computeFileSignature(file));

        // A failure is cached too, until the file appears.
        QCOMPARE(index.fileSignature(path("later.bin")), QByteArray("-1"));
        writeFile(path("later.bin"), QByteArray(2048, 'c'));
        QCOMPARE(index.fileSignature(path("later.bin")), FileSignature::computeFileSignature(path("later.bin")));
    }

    // Run last: the links it adds would shift the other tests' listings.
    void linksOutOfEveryRootAreNeitherListedNorServed()
    {
        writeFile(path("outside/secret.txt"), "secret");
        QVERIFY(QFile::link(path("outside/secret.txt"), path("a/out.txt")));
        QVERIFY(QFile::link(path("b/x.txt"), path("a/tob.txt")));
        // A folder swapped for a link after the walk.
        QVERIFY(QFile::link(path("outside"), path("a/outdir")));

        SharedIndex index(*m_settings, path("program"));
        QSignalSpy rebuilt(&index, &SharedIndex::rebuilt);
        index.loadSharedFolders();
        QVERIFY(rebuilt.wait(WalkTimeoutMs));
        const auto snapshot = index.snapshot();
        const QByteArrayList names = sharedNames(*snapshot);
        QVERIFY(!names.contains("2:out.txt"));
        QVERIFY(names.contains("2:tob.txt"));

        QCOMPARE(snapshot->resolveServedPath("2:tob.txt"), std::optional<QString>(path("a/tob.txt")));
        QCOMPARE(snapshot->resolveServedPath("2:m\\k.txt"), std::optional<QString>(path("a/m/k.txt")));
        QVERIFY(!snapshot->resolveServedPath("2:out.txt"));
        QVERIFY(!snapshot->resolveServedPath("2:outdir\\secret.txt"));
    }
};

QTEST_GUILESS_MAIN(TestSharedIndex)
#include "tst_sharedindex.moc"
