#include "base/settingnames.h"
#include "base/settingsstore.h"
#include "base/sharedfolderlist.h"
#include "common/programfolder.h"
#include "net/localpeer.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {

const QLatin1String Nickname(SettingNames::Nickname);

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TestSettingsStore final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString userPath() const { return m_dir->filePath(QStringLiteral("settings/user.ini")); }
    QString machinePath() const { return m_dir->filePath(QStringLiteral("settings/machine.ini")); }
    std::unique_ptr<SettingsStore> newStore() const { return std::make_unique<SettingsStore>(userPath(), machinePath()); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QDir(m_dir->path()).mkpath(QStringLiteral("settings")));
    }

    void absentValuesGiveTheCallersDefault()
    {
        auto store = newStore();
        QCOMPARE(store->get(QLatin1String(SettingNames::EnableScanning), SettingDefaults::EnableScanning), QByteArray("1"));
        QCOMPARE(store->get(Nickname), QByteArray());
        QCOMPARE(store->getMachine(QLatin1String(SettingNames::HostCache), "fallback"), QByteArray("fallback"));
        // Reading never creates the files.
        QVERIFY(!QFile::exists(userPath()) && !QFile::exists(machinePath()));
        QCOMPARE(SettingDefaults::downloadsFolder(QStringLiteral("/home/ann/quelm/")), QByteArray("/home/ann/quelm/Downloads"));
    }

    void onlyPlainStringsAreRead()
    {
        const QList<QPair<QByteArray, QByteArray>> lines{
            {"a,b", "default"}, // an unquoted comma makes a list
            {"@ByteArray(abc)", "default"},
            {"@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", "default"},
            {"70000", "70000"},
            {"\"/srv/a;/srv/b;\"", "/srv/a;/srv/b;"},
            {"ab\\0cd", "ab"}, // cut at the NUL
        };
        for (const auto &[line, expected] : lines) {
            writeFile(userPath(), "[Software]\nVendrakos\\Quelm\\Value=" + line + '\n');
            QCOMPARE(newStore()->get(QStringLiteral("Value"), "default"), expected);
        }
        auto store = newStore();
        store->set(QStringLiteral("Written"), QByteArray("left\0right", 10));
        QCOMPARE(store->get(QStringLiteral("Written"), "default"), QByteArray("left"));
    }

    // The README tells how to prepare a copy's settings by hand in this
    // layout; every read sees what other stores and other writers stored.
    void fileLayoutHivesAndOtherWriters()
    {
        const QByteArray nickname = QStringLiteral("J\u00fcrgen").toUtf8();
        auto store = newStore();
        auto other = newStore();
        QCOMPARE(other->get(Nickname), QByteArray());
        store->set(Nickname, nickname);
        store->set(QLatin1String(SettingNames::SharedFolders), "/srv/music;/srv/films;");
        store->set(QLatin1String(SettingNames::CustomPort), "2600");
        store->set(QLatin1String(SettingNames::CustomPort), ""); // stored empty, not removed
        store->setMachine(QLatin1String(SettingNames::RecentHosts), "127.0.0.2;");
        store->setMachine(QLatin1String(SettingNames::HostCache), "scrambled");

        const QByteArray user = readFile(userPath());
        QVERIFY2(user.startsWith("[Software]\n") && !user.contains("HostCache"), user.constData());
        QVERIFY2(user.contains("\nVendrakos\\Quelm\\Nickname=" + nickname + '\n'), user.constData());
        QVERIFY2(user.contains("\nVendrakos\\Quelm\\SharedFolders=\"/srv/music;/srv/films;\"\n"), user.constData());
        QVERIFY2(user.contains("\nVendrakos\\Quelm\\CustomPort=\n"), user.constData());
        QVERIFY(readFile(machinePath()).contains("\nVendrakos\\Quelm\\RecentHosts=\"127.0.0.2;\"\n"));
        QCOMPARE(other->get(Nickname), nickname);
        QCOMPARE(store->get(QLatin1String(SettingNames::CustomPort), "default"), QByteArray(""));
        QCOMPARE(store->get(QLatin1String(SettingNames::HostCache), "none"), QByteArray("none"));

        writeFile(userPath(), "[Software]\nVendrakos\\Quelm\\Nickname=Bob\nVendrakos\\Quelm\\EnableUDP=0\n");
        writeFile(machinePath(), "[Software]\nMicrosoft\\Windows\\CurrentVersion\\ProductID=copy-7\n");
        QCOMPARE(store->get(Nickname), QByteArray("Bob"));
        QCOMPARE(store->get(QLatin1String(SettingNames::EnableUDP), SettingDefaults::EnableUDP), QByteArray("0"));
        QCOMPARE(store->regGetString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                                     QLatin1String(SettingNames::ProductID), {}),
                 QByteArray("copy-7"));
    }

    void filesAndFoldersAreTheOwnersAlone()
    {
        const auto mode = [](const QString &path) {
            struct stat info {};
            return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
        };
        const QString fresh = m_dir->filePath(QStringLiteral("fresh/settings/user.ini"));
        SettingsStore store(fresh, m_dir->filePath(QStringLiteral("fresh/settings/machine.ini")));
        store.set(Nickname, "ann");
        store.set(Nickname, "bea");
        QCOMPARE(mode(fresh), 0600u);
        QCOMPARE(mode(m_dir->filePath(QStringLiteral("fresh/settings"))), 0700u);
        QCOMPARE(mode(m_dir->filePath(QStringLiteral("fresh"))), 0700u);

        // A file prepared by hand is made the owner's alone when opened.
        writeFile(userPath(), "[Software]\nVendrakos\\Quelm\\Nickname=Bob\n");
        QVERIFY(QFile::setPermissions(userPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QCOMPARE(newStore()->get(Nickname), QByteArray("Bob"));
        QCOMPARE(mode(userPath()), 0600u);

        QVERIFY(ProgramFolder::createPrivateFolder(m_dir->filePath(QStringLiteral("home/Incomplete"))));
        QCOMPARE(mode(m_dir->filePath(QStringLiteral("home"))), 0700u);
        QCOMPARE(mode(m_dir->filePath(QStringLiteral("home/Incomplete"))), 0700u);
    }

    // The nickname is normalised on every incoming control message; a real
    // write rewrites the file under a new inode, an unchanged one must not.
    void nicknameIsNormalised()
    {
        const auto inode = [this] {
            struct stat info {};
            return ::stat(QFile::encodeName(userPath()).constData(), &info) == 0 ? info.st_ino : ino_t(0);
        };
        auto store = newStore();
        const QByteArray thirty = "ab?de|ghijklmnopqrstuvwx?z|234"; // "?" and "|" before and after the 25th
        QCOMPARE(thirty.size(), 30);
        store->set(Nickname, thirty);
        QVERIFY(store->normaliseNickname());
        const ino_t written = inode();
        QVERIFY(!store->normaliseNickname());
        QCOMPARE(store->get(Nickname), QByteArray("ab de ghijklmnopqrstuvwx "));
        QCOMPARE(inode(), written);
        store->set(Nickname, "Ann");
        QVERIFY(inode() != written);

        // Characters are counted, not UTF-8 bytes, and none is split in half.
        store->set(Nickname, QString(25, QChar(0x00FC)).toUtf8());
        QVERIFY(!store->normaliseNickname());
        const QString x24(24, QLatin1Char('x'));
        store->set(Nickname, (x24 + QStringLiteral("\U0001F600\U0001F600")).toUtf8());
        QVERIFY(store->normaliseNickname());
        QCOMPARE(store->get(Nickname), (x24 + QStringLiteral("\U0001F600")).toUtf8());
    }

    // The copy's own nickname is read tidied, and peers hear of it only when
    // tidying changed it.
    void localPeerTidiesAndAnnouncesTheNickname()
    {
        auto store = newStore();
        LocalPeer self(*store);
        QSignalSpy announced(&self, &LocalPeer::nicknameChanged);
        store->set(Nickname, "a|b?c");
        QCOMPARE(self.storedNickname(), QByteArray("a|b?c"));
        QCOMPARE(self.nickname(), QByteArray("a b c"));
        QCOMPARE(self.nickname(), QByteArray("a b c"));
        QCOMPARE(announced.count(), 1);

        QSignalSpy moved(&self, &LocalPeer::addressChanged);
        self.setAddress(QStringLiteral("10.1.2.3"));
        QCOMPARE(self.octets(), (std::array<int, 4>{10, 1, 2, 3}));
        QCOMPARE(moved.count(), 1);
    }

    void sharedFolderList_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QByteArray>("written");
        const QStringList two{"/srv/music", "/srv/films"};
        QTest::newRow("terminated") << QByteArray("/srv/music;/srv/films;") << two
                                    << QByteArray("/srv/music;/srv/films;");
        QTest::newRow("unterminated last") << QByteArray("/srv/music;/srv/films") << two
                                           << QByteArray("/srv/music;/srv/films;");
        QTest::newRow("empty pieces") << QByteArray(";/a;;/b;;") << QStringList{"/a", "/b"} << QByteArray("/a;/b;");
        QTest::newRow("empty value") << QByteArray() << QStringList() << QByteArray();
        const QString accented = QStringLiteral("/home/J\u00fcrgen");
        QTest::newRow("UTF-8") << (accented + ';').toUtf8() << QStringList{accented} << (accented + ';').toUtf8();
    }

    // The dialog, quelmd and the index read the value alike; what is written
    // reads back the same.
    void sharedFolderList()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, folders);
        QFETCH(QByteArray, written);
        QCOMPARE(SharedFolderList::parse(stored), folders);
        QCOMPARE(SharedFolderList::format(folders), written);
        QCOMPARE(SharedFolderList::parse(written), folders);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
