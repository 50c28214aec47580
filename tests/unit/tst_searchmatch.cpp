// Keyword matching beyond plain ASCII, answering in slices, and the order of
// the result table.
#include "share/indexsnapshot.h"
#include "share/searchanswerjob.h"
#include "share/searchquery.h"
#include "share/searchresultsmodel.h"

#include <QtTest>

namespace {

std::shared_ptr<const IndexSnapshot> snapshotOf(const QList<QPair<QByteArray, qint64>> &files)
{
    auto snapshot = std::make_shared<IndexSnapshot>();
    snapshot->roots = {QStringLiteral("/share")};
    for (const auto &file : files)
        snapshot->files.push_back({file.first, file.second, 1});
    return snapshot;
}

struct Connection {
    bool open = true;
    qint64 backlog = 0;
    QList<QByteArray> sent;

    SearchAnswerJob::Target target()
    {
        return {[this] { return open; }, [this] { return backlog; },
                [this](const QByteArray &message) { sent.append(message); }};
    }
};

QStringList column(const SearchResultsModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row, column).data().toString());
    return texts;
}

} // namespace

class SearchMatchTest : public QObject
{
    Q_OBJECT

private slots:
    void keywordRules_data();
    void keywordRules();
    void answersInSlicesInIndexOrder();
    void answerStopsAndWaitsForItsConnection();
    void signaturesAreReadOnlyForRowsOfTheAskedSize();
    void resultTableSortsAndKeepsSorting();
};

void SearchMatchTest::keywordRules_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("empty words") << QByteArray("  ab  readme ") << QByteArray("1:README") << true;
    QTest::newRow("non-ASCII case") << QByteArray("ÉTÉ") << QByteArray("1:été 2020.ogg") << true;
    QTest::newRow("three characters, six bytes") << QByteArray("été") << QByteArray("1:Été.txt") << true;
    QTest::newRow("two characters, three bytes") << QByteArray("ét") << QByteArray("1:ét.txt") << false;
}

void SearchMatchTest::keywordRules()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, name);
    QFETCH(bool, matches);
    const SearchQuery parsed(query, "me");
    QCOMPARE(parsed.form(), SearchQuery::Form::Keyword);
    QCOMPARE(!parsed.matchesNothing() && parsed.matchesName(name), matches);
}

void SearchMatchTest::answersInSlicesInIndexOrder()
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
    SearchAnswerJob job(snapshotOf(files), SearchQuery("a:b|c song", "bob"), QStringLiteral("127.0.0.9"), "bob",
                        connection.target(), {});
    int slices = 0;
    // An expired deadline still lets each slice through a few rows.
    while (job.runSlice(QDeadlineTimer(0)) == SearchAnswerJob::Progress::MoreToDo && slices < 1000)
        ++slices;
    QVERIFY(slices >= 1000 / SearchAnswerJob::RowsPerCheck - 1);
    QCOMPARE(connection.sent, expected);
}

void SearchMatchTest::answerStopsAndWaitsForItsConnection()
{
    QList<QPair<QByteArray, qint64>> files(500, {"x.txt", 1});
    Connection connection;
    SearchAnswerJob job(snapshotOf(files), SearchQuery("quelmuserbrowse bob", "bob"), QStringLiteral("127.0.0.9"),
                        "bob", connection.target(), {});
    connection.backlog = SearchAnswerJob::MaxBacklogBytes + 1;
    QCOMPARE(job.runSlice(QDeadlineTimer::Forever), SearchAnswerJob::Progress::Blocked);
    QVERIFY(connection.sent.isEmpty());

    connection.backlog = 0;
    QCOMPARE(job.runSlice(QDeadlineTimer(0)), SearchAnswerJob::Progress::MoreToDo);
    const qsizetype sentBeforeClose = connection.sent.size();
    QVERIFY(sentBeforeClose > 0 && sentBeforeClose < files.size());
    connection.open = false;
    QCOMPARE(job.runSlice(QDeadlineTimer::Forever), SearchAnswerJob::Progress::Finished);
    QCOMPARE(connection.sent.size(), sentBeforeClose);
}

void SearchMatchTest::signaturesAreReadOnlyForRowsOfTheAskedSize()
{
    const QByteArray signature(32, 'c');
    const auto snapshot = snapshotOf({{"a.bin", 1048576}, {"b.bin", 1048577}, {"c.bin", 1048576}, {"d.bin", 1048576}});
    QStringList asked;
    const auto signatureOf = [&asked, &signature](const QString &path) -> QByteArray {
        asked.append(path);
        if (path.endsWith(QLatin1String("c.bin")))
            return QByteArray(32, 'd');
        return path.endsWith(QLatin1String("d.bin")) ? QByteArray("-1") : signature;
    };
    Connection connection;
    SearchAnswerJob job(snapshot, SearchQuery("quelmfhsearch 1048576 " + signature, "bob"),
                        QStringLiteral("127.0.0.9"), "bob", connection.target(), signatureOf);
    QCOMPARE(job.runSlice(QDeadlineTimer::Forever), SearchAnswerJob::Progress::Finished);
    QCOMPARE(asked, QStringList({"/share/a.bin", "/share/c.bin", "/share/d.bin"}));
    QCOMPARE(connection.sent.size(), 1);
    QVERIFY(connection.sent.at(0).contains(":1:a.bin|1.00 MB|"));
}

void SearchMatchTest::resultTableSortsAndKeepsSorting()
{
    SearchResultsModel model;
    const auto add = [&model](const char *name, const char *nickname) {
        return model.append({name, "1 Bytes", nickname, QStringLiteral("127.0.0.2")});
    };
    add("1:b.txt", "zed");
    add("1:C.txt", "amy");
    add("1:a.txt", "zed");
    QCOMPARE(model.rowCount(), 0);
    QTRY_COMPARE(model.rowCount(), 3);
    QCOMPARE(column(model, 0), QStringList({"1:b.txt", "1:C.txt", "1:a.txt"}));

    // A new search flips the stored direction; the first click flips it back.
    model.startNewSearch();
    QCOMPARE(model.sortOrder(), Qt::DescendingOrder);
    add("1:b.txt", "zed");
    add("1:C.txt", "amy");
    add("1:a.txt", "zed");
    model.flush();
    model.headerClicked(SearchResultsModel::FilenameColumn);
    QCOMPARE(model.sortOrder(), Qt::AscendingOrder);
    QCOMPARE(column(model, 0), QStringList({"1:a.txt", "1:b.txt", "1:C.txt"}));

    // Equal nicknames keep their order; later rows join in sorted place.
    model.headerClicked(SearchResultsModel::NicknameColumn);
    QCOMPARE(model.sortOrder(), Qt::DescendingOrder);
    QCOMPARE(column(model, 0), QStringList({"1:a.txt", "1:b.txt", "1:C.txt"}));
    add("1:d.txt", "bob");
    add("1:e.txt", "zed");
    model.flush();
    QCOMPARE(column(model, 0), QStringList({"1:a.txt", "1:b.txt", "1:e.txt", "1:d.txt", "1:C.txt"}));
    QCOMPARE(model.index(3, SearchResultsModel::FilenameColumn).data(SearchResultsModel::AddressRole).toString(),
             QStringLiteral("127.0.0.2"));

    model.startNewSearch();
    QVERIFY(!model.isSortingEnabled());
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(SearchMatchTest)
#include "tst_searchmatch.moc"
