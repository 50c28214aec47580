#include "base/settingnames.h"
#include "shell/optionsform.h"
#include "support/runningcopy.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray stored(Core &core, const char *name)
{
    return core.settings().get(QLatin1String(name), "(absent)");
}

// Opens the dialog's form, lets `edit` change it and confirms it.
void confirm(Core &core, const std::function<void(OptionsForm &)> &edit)
{
    OptionsForm form(core, false);
    form.load();
    edit(form);
    form.store();
}

} // namespace

class OptionsFormTest : public QObject
{
    Q_OBJECT

private slots:
    void portIsStoredAsANumberInRange_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("empty box") << "" << QByteArray();
        QTest::newRow("zero") << "0" << QByteArray();
        QTest::newRow("above the range") << "70000" << QByteArray();
        QTest::newRow("leading zeros") << "0080" << QByteArray("80");
        QTest::newRow("top of the range") << "65536" << QByteArray("65536");
        QTest::newRow("not a number") << "port" << QByteArray();
        QTest::newRow("negative") << "-5" << QByteArray();
    }
    void portIsStoredAsANumberInRange()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        RunningCopy copy("options");
        confirm(copy.core(), [&typed](OptionsForm &form) { form.values.customPort = typed; });
        QCOMPARE(::stored(copy.core(), SettingNames::CustomPort), stored);
    }

    void longStoredPortIsCutAndStoredCut()
    {
        RunningCopy copy("options");
        copy.core().settings().set(QLatin1String(SettingNames::CustomPort), "1234567");
        OptionsForm form(copy.core(), false);
        form.load();
        QCOMPARE(form.values.customPort, QStringLiteral("12345"));
        QVERIFY(form.values.customPortChosen);
        form.store();
        QCOMPARE(stored(copy.core(), SettingNames::CustomPort), QByteArray("12345"));
    }

    void downloadsFolderLosesItsFinalSeparator_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("trailing separator") << "/media/d/Films/" << "/media/d/Films";
        QTest::newRow("none") << "/media/d/Films" << "/media/d/Films";
        QTest::newRow("the root") << "/" << "/";
    }
    void downloadsFolderLosesItsFinalSeparator()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(OptionsForm::storedDownloadsFolder(typed), stored);
    }

    void storesEveryValueAndLoadsItBack()
    {
        RunningCopy copy("options");
        QTemporaryDir folders;
        const QString downloads = folders.filePath(QStringLiteral("Received"));
        bool keptByDefault = true;
        confirm(copy.core(), [&](OptionsForm &form) {
            keptByDefault = form.values.keepUnfinishedDownloads;
            form.values.keepUnfinishedDownloads = true;
            form.values.nickname = QStringLiteral("new|name?");
            form.values.enableScanning = false;
            form.values.enableUDP = false;
            form.values.balloons = OptionsForm::Balloons::Always;
            form.values.downloadsFolder = downloads + QLatin1Char('/');
            form.values.sharedFolders = {folders.path(), folders.path()};
        });
        Core &core = copy.core();
        QCOMPARE(stored(core, SettingNames::Nickname), QByteArray("new name "));
        QCOMPARE(stored(core, SettingNames::EnableScanning), QByteArray("0"));
        QCOMPARE(stored(core, SettingNames::EnableUDP), QByteArray("0"));
        QCOMPARE(stored(core, SettingNames::EnableTCP), QByteArray("1"));
        QCOMPARE(stored(core, SettingNames::ShowDownloadNotifications), QByteArray("2"));
        QVERIFY(!keptByDefault);
        QCOMPARE(stored(core, SettingNames::KeepUnfinishedDownloads), QByteArray("1"));
        QCOMPARE(stored(core, SettingNames::DownloadsFolder), downloads.toUtf8());
        QVERIFY(QFileInfo(downloads).isDir());
        QCOMPARE(stored(core, SettingNames::SharedFolders), (folders.path() + ';' + folders.path() + ';').toUtf8());

        OptionsForm again(core, false);
        again.load();
        QCOMPARE(again.values.nickname, QStringLiteral("new name "));
        QVERIFY(!again.values.enableScanning);
        QVERIFY(again.values.enableIPLookout);
        QVERIFY(again.values.keepUnfinishedDownloads);
        QCOMPARE(again.values.balloons, OptionsForm::Balloons::Always);
        QVERIFY(!again.values.customPortChosen);
        QCOMPARE(again.values.sharedFolders, QStringList({folders.path(), folders.path()}));
    }

    void blockedIdentifiers()
    {
        RunningCopy copy("options");
        Core &core = copy.core();
        core.network().blockedList().add("AAAA", "alice");
        core.network().blockedList().add("BBBB", "bob");
        OptionsForm form(core, false);
        form.load();
        BlockIdModel &rows = form.blockedUsers();
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.data(rows.index(0, BlockIdModel::LastSeenNickname), Qt::DisplayRole).toString(),
                 QStringLiteral("alice"));
        QVERIFY(!(rows.flags(rows.index(0, 0)) & Qt::ItemIsEditable));
        // The same identifier twice leaves one row, its nickname forgotten;
        // identifiers differ by case.
        rows.addIdentifier("AAAA");
        rows.addIdentifier("AAAA");
        rows.addIdentifier("aaaa");
        rows.removeRow(-1);
        QCOMPARE(rows.rows(), QList<BlockedList::Row>({{"BBBB", "bob"}, {"AAAA", {}}, {"aaaa", {}}}));
        QCOMPARE(core.network().blockedList().count(), 2);
        form.store();
        QCOMPARE(core.network().blockedList().rows(), rows.rows());
        QVERIFY(core.network().blockedList().isBlocked("aaaa"));
        QVERIFY(stored(core, SettingNames::BlockedList).contains("aaaa"));
    }

    void cancelKeepsEverythingButTheFlush()
    {
        RunningCopy copy("options");
        Core &core = copy.core();
        core.settings().setMachine(QLatin1String(SettingNames::HostCache), "127.0.0.5|");
        core.settings().setMachine(QLatin1String(SettingNames::RecentHosts), "127.0.0.6|");
        core.network().blockedList().add("AAAA", "alice");
        const QByteArray nickname = stored(core, SettingNames::Nickname);
        {
            OptionsForm form(core, false);
            form.load();
            form.values.nickname = QStringLiteral("changed");
            form.values.customPort = QStringLiteral("1300");
            form.blockedUsers().removeRow(0);
            form.flushHostCache();
        }
        QCOMPARE(stored(core, SettingNames::Nickname), nickname);
        QCOMPARE(stored(core, SettingNames::CustomPort), QByteArray("(absent)"));
        QCOMPARE(core.network().blockedList().count(), 1);
        QCOMPARE(core.settings().getMachine(QLatin1String(SettingNames::HostCache), "x"), QByteArray());
        QCOMPARE(core.settings().getMachine(QLatin1String(SettingNames::RecentHosts), "x"), QByteArray());
        QCOMPARE(copy.person().boxTexts(), QStringList(QLatin1String(OptionsForm::FlushedText)));
        QCOMPARE(copy.person().boxes[0].icon, Prompter::Icon::Information);
    }

    void firstStartNeedsANicknameAndKeepsStoredBlocks()
    {
        TestCopy place;
        place.presetUserValue(QLatin1String(SettingNames::BlockedList), "CCCC|carol?");
        ScriptedPrompter person;
        Core core(place.config(), person);
        OptionsForm form(core, true);
        form.load();
        QVERIFY(form.values.nickname.startsWith(QLatin1String("user")));
        QCOMPARE(form.values.nickname.size(), 11);
        QCOMPARE(form.blockedUsers().rowCount(), 1);
        for (const char *blank : {"", "   "}) {
            form.values.nickname = QLatin1String(blank);
            QVERIFY(!form.canConfirm());
        }
        form.values.nickname = QStringLiteral("first");
        QVERIFY(form.canConfirm());
        form.store();
        QCOMPARE(stored(core, SettingNames::BlockedList), QByteArray("CCCC|carol?"));

        OptionsForm later(core, false);
        later.values.nickname.clear();
        QVERIFY(later.canConfirm());
    }

    void newNicknameReachesPeers()
    {
        RunningCopy editing("before");
        RunningCopy peer("peer");
        editing.core().network().connections().connectTo(peer.address());
        QTRY_VERIFY_WITH_TIMEOUT(peer.linkedTo(editing), 10000);
        confirm(editing.core(), [](OptionsForm &form) { form.values.nickname = QStringLiteral("after"); });
        ControlConnections &links = peer.core().network().connections();
        QTRY_COMPARE_WITH_TIMEOUT(links.record(links.findConnection(editing.address())).nickname, QByteArray("after"),
                                  10000);
    }
};

QTEST_GUILESS_MAIN(OptionsFormTest)
#include "tst_optionsform.moc"
