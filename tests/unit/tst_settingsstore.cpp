#include "shell/settingnames.h"
#include "shell/settingsstore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

class TestSettingsStore final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void absentValuesGiveTheCallersDefault();
    void onlyPlainStringsAreRead();
    void emptyValueIsStoredNotRemoved();
    void fileLayoutIsTheDocumentedOne();
    void otherStoresAndWritersAreSeen();
    void hivesAreSeparateFiles();
    void nicknameIsNormalised();
    void unchangedValueIsNotRewritten();

private:
    QString userPath() const { return m_dir->filePath(QStringLiteral("settings/user.ini")); }
    QString machinePath() const { return m_dir->filePath(QStringLiteral("settings/machine.ini")); }
    std::unique_ptr<SettingsStore> newStore() const { return std::make_unique<SettingsStore>(userPath(), machinePath()); }
    static void writeFile(const QString &path, const QByteArray &content);
    static QByteArray readFile(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

constexpr QLatin1String Nickname(SettingNames::Nickname);

} // namespace

void TestSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("settings")));
}

void TestSettingsStore::writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

QByteArray TestSettingsStore::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestSettingsStore::absentValuesGiveTheCallersDefault()
{
    auto store = newStore();
    QCOMPARE(store->get(QLatin1String(SettingNames::EnableScanning), SettingDefaults::EnableScanning), QByteArray("1"));
    QCOMPARE(store->get(Nickname), QByteArray());
    QCOMPARE(store->getMachine(QLatin1String(SettingNames::HostCache), "fallback"), QByteArray("fallback"));
    // Reading never creates the files.
    QVERIFY(!QFile::exists(userPath()));
    QVERIFY(!QFile::exists(machinePath()));

    QCOMPARE(SettingDefaults::downloadsFolder(QStringLiteral("/home/ann/quelm/")), QByteArray("/home/ann/quelm/Downloads"));
}

void TestSettingsStore::onlyPlainStringsAreRead()
{
    const QList<QPair<QByteArray, QByteArray>> lines{
        {"a,b", "default"}, // an unquoted comma makes a list
        {"@ByteArray(abc)", "default"},
        {"@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", "default"},
        {"@Invalid()", "default"},
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

void TestSettingsStore::emptyValueIsStoredNotRemoved()
{
    auto store = newStore();
    store->set(QLatin1String(SettingNames::CustomPort), "2600");
    store->set(QLatin1String(SettingNames::CustomPort), "");
    QCOMPARE(store->get(QLatin1String(SettingNames::CustomPort), "default"), QByteArray(""));
    QVERIFY(readFile(userPath()).contains("Vendrakos\\Quelm\\CustomPort=\n"));
}

// The README tells how to prepare a copy's settings by hand; this is the
// layout it describes.
void TestSettingsStore::fileLayoutIsTheDocumentedOne()
{
    const QByteArray nickname = QStringLiteral("J\u00fcrgen").toUtf8();
    auto store = newStore();
    store->set(Nickname, nickname);
    store->set(QLatin1String(SettingNames::SharedFolders), "/srv/music;/srv/films;");
    store->setMachine(QLatin1String(SettingNames::RecentHosts), "127.0.0.2;");

    const QByteArray user = readFile(userPath());
    QVERIFY2(user.startsWith("[Software]\n"), user.constData());
    QVERIFY2(user.contains("\nVendrakos\\Quelm\\Nickname=" + nickname + '\n'), user.constData());
    QVERIFY2(user.contains("\nVendrakos\\Quelm\\SharedFolders=\"/srv/music;/srv/films;\"\n"), user.constData());
    QVERIFY(readFile(machinePath()).contains("\nVendrakos\\Quelm\\RecentHosts=\"127.0.0.2;\"\n"));
    QCOMPARE(newStore()->get(Nickname), nickname);

    writeFile(userPath(), "[Software]\nVendrakos\\Quelm\\Nickname=Bob\nVendrakos\\Quelm\\EnableUDP=0\n");
    writeFile(machinePath(), "[Software]\nMicrosoft\\Windows\\CurrentVersion\\ProductID=copy-7\n");
    auto prepared = newStore();
    QCOMPARE(prepared->get(Nickname), QByteArray("Bob"));
    QCOMPARE(prepared->get(QLatin1String(SettingNames::EnableUDP), SettingDefaults::EnableUDP), QByteArray("0"));
    QCOMPARE(prepared->regGetString(Hive::Machine, QLatin1String(SettingNames::CurrentVersionKeyPath),
                                    QLatin1String(SettingNames::ProductID), {}),
             QByteArray("copy-7"));
}

void TestSettingsStore::otherStoresAndWritersAreSeen()
{
    const QString name = QLatin1String(SettingNames::EnableTCP);
    auto first = newStore();
    auto second = newStore();
    QCOMPARE(second->get(name, "1"), QByteArray("1"));
    first->set(name, "0");
    QCOMPARE(second->get(name, "1"), QByteArray("0"));

    // A writer outside QSettings, such as a script or another process.
    writeFile(userPath(), "[Software]\nVendrakos\\Quelm\\EnableTCP=changed elsewhere\n");
    QCOMPARE(first->get(name, "1"), QByteArray("changed elsewhere"));
    QCOMPARE(second->get(name, "1"), QByteArray("changed elsewhere"));
}

void TestSettingsStore::hivesAreSeparateFiles()
{
    auto store = newStore();
    store->setMachine(QLatin1String(SettingNames::HostCache), "scrambled");
    store->set(Nickname, "Ann");

    QCOMPARE(store->get(QLatin1String(SettingNames::HostCache), "none"), QByteArray("none"));
    QCOMPARE(store->getMachine(Nickname, "none"), QByteArray("none"));
    QCOMPARE(store->regGetString(Hive::Machine, QLatin1String(SettingsStore::QuelmKeyPath),
                                 QLatin1String(SettingNames::HostCache), {}),
             QByteArray("scrambled"));
    QVERIFY(readFile(machinePath()).contains("HostCache=scrambled"));
    QVERIFY(!readFile(userPath()).contains("HostCache"));
}

void TestSettingsStore::nicknameIsNormalised()
{
    auto store = newStore();
    const QByteArray thirty = "ab?de|ghijklmnopqrstuvwx?z|234"; // "?" and "|" before and after the 25th
    QCOMPARE(thirty.size(), 30);
    store->set(Nickname, thirty);
    QVERIFY(store->normaliseNickname());
    QCOMPARE(store->get(Nickname), QByteArray("ab de ghijklmnopqrstuvwx "));
    QVERIFY(!store->normaliseNickname());
    QCOMPARE(store->get(Nickname), QByteArray("ab de ghijklmnopqrstuvwx "));

    // Characters are counted, not UTF-8 bytes, and none is split in half.
    const QString umlauts(25, QChar(0x00FC));
    store->set(Nickname, umlauts.toUtf8());
    QVERIFY(!store->normaliseNickname());
    const QString x24(24, QLatin1Char('x'));
    store->set(Nickname, (x24 + QStringLiteral("\U0001F600\U0001F600")).toUtf8());
    QVERIFY(store->normaliseNickname());
    QCOMPARE(store->get(Nickname), (x24 + QStringLiteral("\U0001F600")).toUtf8());
}

// The nickname is normalised on every incoming control message, and each
// real write rewrites and flushes the file (under a new inode).
void TestSettingsStore::unchangedValueIsNotRewritten()
{
    const auto inode = [this] {
        struct stat info {};
        return ::stat(QFile::encodeName(userPath()).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    auto store = newStore();
    store->set(Nickname, "Ann");
    const ino_t written = inode();
    QVERIFY(written != 0);

    QVERIFY(!store->normaliseNickname());
    store->set(Nickname, "Ann");
    QCOMPARE(inode(), written);
    store->set(Nickname, "Bob");
    QVERIFY(inode() != written);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
