#include "share/indexsnapshot.h"
#include "share/searchanswerjob.h"
#include "share/searchquery.h"
#include "share/searchresultsmodel.h"

#include <QtTest>

namespace {

// The connection an answer writes to, recording what it is sent.
struct Connection {
    bool open = true;
    qint64 backlog = 0;
    QList<QByteArray> sent;

    // The answer to `query` over the files of one root, "/share".
    SearchAnswerJob answer(const QList<QPair<QByteArray, qint64>> &files, const QByteArray &query,
                           std::function<QByteArray(const QString &)> signatureOf = {})
    {
        auto snapshot = std::make_shared<IndexSnapshot>();
        snapshot->roots = {QStringLiteral("/share")};
        for (const auto &[name, size] : files)
            snapshot->files.push_back(IndexSnapshot::makeFile(name, size, 1));
        return SearchAnswerJob(std::move(snapshot), SearchQuery(query, "bob"), QStringLiteral("127.0.0.9"), "bob",
                               {[this] { return open; }, [this] { return backlog; },
                                [this](const QByteArray &message) { sent.append(message); }},
                               std::move(signatureOf));
    }
};

QStringList names(const SearchResultsModel &model)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(QString::fromUtf8(model.result(row).sharedName));
    return texts;
}

} // namespace

class SearchMatchTest : public QObject
{
    Q_OBJECT

private slots:
    void keywordRules_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("empty words") << QByteArray("  ab  readme ") << QByteArray("1:README") << true;
        QTest::newRow("non-ASCII case") << QByteArray("ÉTÉ") << QByteArray("1:été 2020.ogg") << true;
        QTest::newRow("three characters, six bytes") << QByteArray("été") << QByteArray("1:Été.txt") << true;
        QTest::newRow("two characters, three bytes") << QByteArray("ét") << QByteArray("1:ét.txt") << false;
        QTest::newRow("extension cut") << QByteArray("mp3") << QByteArray("1:song.mp3") << false;
        QTest::newRow("folder name") << QByteArray("mp3") << QByteArray("1:mp3 collection\\song.ogg") << true;
        QTest::newRow("across the separator") << QByteArray("rock\\so") << QByteArray("1:Rock\\Song.ogg") << true;
        QTest::newRow("slash never matches") << QByteArray("rock/so") << QByteArray("1:rock\\song.ogg") << false;
        QTest::newRow("root number") << QByteArray("12:m") << QByteArray("12:music.ogg") << true;
        QTest::newRow("overlapping words") << QByteArray("abcd bcx") << QByteArray("2:abcx.txt") << true;
        QTest::newRow("word after a near miss") << QByteArray("aab") << QByteArray("1:aaab") << true;
        QTest::newRow("none of many") << QByteArray("one two three four five") << QByteArray("1:tw on thre") << false;
        QTest::newRow("last of many") << QByteArray("one two three four five") << QByteArray("1:a FIVE b") << true;
        // A word this long and varied would need a table beyond the bound.
        QByteArray longWord;
        for (int i = 0; i < 120000; ++i)
            longWord += "abcdefghijklmnopqrstuvwxyz0123456789"[i % 36];
        QTest::newRow("too long for the table") << longWord + " xyz" << QByteArray("1:xyz") << true;
        QTest::newRow("long word present") << longWord << QByteArray("1:a" + longWord + ".txt") << true;
    }

    void keywordRules()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, name);
        QFETCH(bool, matches);
        const SearchQuery parsed(query, "me");
        QCOMPARE(parsed.form(), SearchQuery::Form::Keyword);
        QCOMPARE(!parsed.matchesNothing() && parsed.matchesName(name), matches);
        // The indexed form of the same name: search text made at index time.
        const qsizetype colon = name.indexOf(':');
        const SharedFile file = IndexSnapshot::makeFile(name.mid(colon + 1).replace('\\', '/'), 1,
                                                        name.left(colon).toInt());
        QCOMPARE(parsed.matchesFile(file), matches);
    }

    void answersInSlicesInIndexOrder()
    {
        QList<QPair<QByteArray, qint64>> files;
        QList<QByteArray> expected;
        for (int i = 0; i < 1000; ++i) {
            const QByteArray name = (i % 3 ? "other" : "song") + QByteArray::number(i) + ".mp3";
            files.append({"dir/" + name, 2048});
            if (i % 3 == 0)
                expected.append("result:a:b|c song:1:dir\\" + name + "|2.00 KB|127.0.0.9|bob?");
        }
        Connection connection;
        SearchAnswerJob job = connection.answer(files, "a:b|c song");
        int slices = 0;
        // An expired deadline still lets each slice through a few rows.
        while (job.runSlice(QDeadlineTimer(0)) == SearchAnswerJob::Progress::MoreToDo && slices < 1000)
            ++slices;
        QVERIFY(slices >= 1000 / SearchAnswerJob::RowsPerCheck - 1);
        QCOMPARE(connection.sent, expected);
    }

    void answerStopsAndWaitsForItsConnection()
    {
        Connection connection;
        SearchAnswerJob job = connection.answer(QList<QPair<QByteArray, qint64>>(500, {"x.txt", 1}),
                                                "quelmuserbrowse bob");
        connection.backlog = SearchAnswerJob::MaxBacklogBytes + 1;
        QCOMPARE(job.runSlice(QDeadlineTimer::Forever), SearchAnswerJob::Progress::Blocked);
        QVERIFY(connection.sent.isEmpty());

        connection.backlog = 0;
        QCOMPARE(job.runSlice(QDeadlineTimer(0)), SearchAnswerJob::Progress::MoreToDo);
        const qsizetype sentBeforeClose = connection.sent.size();
        QVERIFY(sentBeforeClose > 0 && sentBeforeClose < 500);
        connection.open = false;
        QCOMPARE(job.runSlice(QDeadlineTimer::Forever), SearchAnswerJob::Progress::Gone);
        QCOMPARE(connection.sent.size(), sentBeforeClose);
    }

    // Reading a signature may read the whole file: only rows of the asked size are worth it.
    void signaturesAreReadOnlyForRowsOfTheAskedSize()
    {
        QStringList asked;
        Connection connection;
        SearchAnswerJob job = connection.answer({{"a.bin", 1048576}, {"b.bin", 1048577}, {"c.bin", 1048576}},
                                                "quelmfhsearch 1048576 " + QByteArray(32, 'c'),
                                                [&asked](const QString &path) {
                                                    asked.append(path);
                                                    return QByteArray(32, path.endsWith("a.bin") ? 'c' : 'd');
                                                });
        QCOMPARE(job.runSlice(QDeadlineTimer::Forever), SearchAnswerJob::Progress::Finished);
        QCOMPARE(asked, QStringList({"/share/a.bin", "/share/c.bin"}));
        QCOMPARE(connection.sent, QList<QByteArray>({"result:quelmfhsearch 1048576 " + QByteArray(32, 'c')
                                                     + ":1:a.bin|1.00 MB|127.0.0.9|bob?"}));
    }

    void resultTableSortsAndKeepsSorting()
    {
        SearchResultsModel model;
        const auto add = [&model](std::initializer_list<std::pair<const char *, const char *>> rows) {
            for (const auto &[name, nickname] : rows)
                model.append({name, "1 Bytes", nickname, QStringLiteral("127.0.0.2")});
        };
        add({{"1:b.txt", "zed"}, {"1:C.txt", "amy"}, {"1:a.txt", "zed"}});
        QCOMPARE(model.rowCount(), 0);
        QTRY_COMPARE(names(model), QStringList({"1:b.txt", "1:C.txt", "1:a.txt"}));

        // A new search flips the stored direction; the first click flips it back.
        model.startNewSearch();
        add({{"1:b.txt", "zed"}, {"1:C.txt", "amy"}, {"1:a.txt", "zed"}});
        model.flush();
        model.toggleSort(SearchResultsModel::FilenameColumn);
        QCOMPARE(names(model), QStringList({"1:a.txt", "1:b.txt", "1:C.txt"}));

        // Equal nicknames keep their order; later rows join in sorted place.
        model.toggleSort(SearchResultsModel::NicknameColumn);
        QCOMPARE(names(model), QStringList({"1:a.txt", "1:b.txt", "1:C.txt"}));
        add({{"1:d.txt", "bob"}, {"1:e.txt", "zed"}});
        model.flush();
        QCOMPARE(names(model), QStringList({"1:a.txt", "1:b.txt", "1:e.txt", "1:d.txt", "1:C.txt"}));
        QCOMPARE(model.index(3, 0).data(SearchResultsModel::AddressRole).toString(), QStringLiteral("127.0.0.2"));

        model.startNewSearch();
        QVERIFY(!model.isSortingEnabled());
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(SearchMatchTest)
#include "tst_searchmatch.moc"
