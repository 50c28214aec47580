// Searching and browsing between copies in this process, and hand-driven peers
// that send exact requests and results, each on a loopback address of its own.
#include "share/filesignature.h"
#include "support/fakepeer.h"
#include "support/runningcopy.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <map>
#include <memory>

namespace {

constexpr int Port = 1971;
constexpr int BulkFiles = 250;
const QByteArray SameContent(2048, 's');

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// Places the files in the copy's downloads folder and waits for the index.
void share(RunningCopy &copy, const QMap<QString, QByteArray> &files)
{
    SharedIndex &index = copy.core().sharedIndex();
    const QString downloads = index.rootFolders().first();
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        writeFile(downloads + QLatin1Char('/') + file.key(), file.value());
    index.loadSharedFolders();
    QTRY_COMPARE(index.count(), qint64(files.size()));
}

QStringList column(SearchResultsModel &model, int column, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row, column).data(role).toString());
    return texts;
}

QStringList sharedNamesOf(RunningCopy &copy)
{
    const auto snapshot = copy.core().sharedIndex().snapshot();
    QStringList names;
    for (const SharedFile &file : snapshot->files)
        names.append(QString::fromUtf8(snapshot->sharedName(file)));
    return names;
}

// A peer that has named itself to `copy` and asked for the client role.
std::unique_ptr<FakePeer> fakePeerOf(RunningCopy &copy, const QByteArray &id)
{
    auto peer = std::make_unique<FakePeer>(id, TestCopy::nextLoopbackAddress());
    if (!peer->connectTo(copy.address(), Port))
        return nullptr;
    peer->sendRaw("uid:" + id + "!!!!");
    peer->sendFrames({"id/client", "nick:fake"}, copy.id());
    // The copy's identity line comes unframed, ahead of its frames.
    if (!QTest::qWaitFor([&peer] { return !peer->takeHandshakeLine().isEmpty(); }, 5000))
        return nullptr;
    return peer;
}

} // namespace

class SearchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchReachesEveryPeerAndListsTheirMatches();
    void servingSideAnswersByTheQueryRules();
    void resultsAreListedOnlyForTheCurrentQueryAndCategory();
    void browsingReachesThePeerWhateverTheLetterCase();
    void peerWithBlankAfterItsNicknameNeverAnswersABrowse();

private:
    std::unique_ptr<RunningCopy> m_alice;
    std::unique_ptr<RunningCopy> m_bob;
    std::unique_ptr<RunningCopy> m_carol;
};

void SearchTest::initTestCase()
{
    m_alice = std::make_unique<RunningCopy>("alice");
    m_bob = std::make_unique<RunningCopy>("bob");
    m_carol = std::make_unique<RunningCopy>("carol");
    QVERIFY(m_alice->started() && m_bob->started() && m_carol->started());

    QMap<QString, QByteArray> bobsFiles{
        {QStringLiteral("song.mp3"), "0123456789"},
        {QStringLiteral("mp3 collection/song.ogg"), "ogg"},
        {QStringLiteral("README"), "readme"},
        {QStringLiteral("Yesterday - BEATLES.wav"), "wav"},
        {QStringLiteral("help me.txt"), "help"},
        {QStringLiteral("abba.txt"), "abba"},
        {QStringLiteral("the end.txt"), "end"},
        {QStringLiteral("same.bin"), SameContent},
        {QStringLiteral("copy/same.bin"), SameContent},
        {QStringLiteral("longer.bin"), SameContent + 'x'},
        {QStringLiteral("different.bin"), QByteArray(2048, 'd')},
    };
    for (int i = 0; i < BulkFiles; ++i)
        bobsFiles.insert(QStringLiteral("bulk/f%1.dat").arg(i, 3, 10, QLatin1Char('0')), "b");
    share(*m_bob, bobsFiles);
    share(*m_carol, {{QStringLiteral("Help - beatles.mp3"), "mp3"}, {QStringLiteral("clip.avi"), "avi"}});

    m_alice->core().connections().connectTo(m_bob->address());
    m_alice->core().connections().connectTo(m_carol->address());
    QTRY_VERIFY(m_alice->linkedTo(*m_bob) && m_bob->linkedTo(*m_alice));
    QTRY_VERIFY(m_alice->linkedTo(*m_carol) && m_carol->linkedTo(*m_alice));
}

void SearchTest::searchReachesEveryPeerAndListsTheirMatches()
{
    SearchService &search = m_alice->core().search();
    QVERIFY(!search.searchButtonClicked({}, QStringLiteral("All File Types")));
    QVERIFY(search.searchButtonClicked("beatles help", QStringLiteral("All File Types")));
    QCOMPARE(search.statusCaption(), QStringLiteral("Search request submitted. Waiting for responses..."));
    QVERIFY(search.isSearchStatusVisible());

    SearchResultsModel &results = search.results();
    QTRY_COMPARE(results.rowCount(), 3);
    QMap<QString, QString> rows;
    for (int row = 0; row < 3; ++row) {
        const SearchResultsModel::Result result = results.result(row);
        rows.insert(QString::fromUtf8(result.sharedName),
                    QString::fromUtf8(result.nickname + ' ' + result.sizeText) + QLatin1Char(' ') + result.address);
    }
    QCOMPARE(rows, (QMap<QString, QString>{
                       {QStringLiteral("1:Yesterday - BEATLES.wav"), QStringLiteral("bob 3 Bytes ") + m_bob->address()},
                       {QStringLiteral("1:help me.txt"), QStringLiteral("bob 4 Bytes ") + m_bob->address()},
                       {QStringLiteral("1:Help - beatles.mp3"), QStringLiteral("carol 3 Bytes ") + m_carol->address()},
                   }));
    QCOMPARE(search.statusCaption(), QStringLiteral("Search Responses: 3"));
    QVERIFY(!search.isSearchStatusVisible());
}

void SearchTest::servingSideAnswersByTheQueryRules()
{
    auto peer = fakePeerOf(*m_bob, "5EA2C4");
    QVERIFY(peer);
    const QByteArray signature = FileSignature::computeFileSignature(
        m_bob->core().sharedIndex().rootFolders().first() + QLatin1String("/same.bin"));
    QCOMPARE(signature.size(), 32);

    QByteArray manyWords;
    for (int i = 0; i < 5000; ++i)
        manyWords += "word" + QByteArray::number(i) + ' ';
    const QStringList readme{QStringLiteral("1:README")};
    const QStringList sameFiles{QStringLiteral("1:copy\\same.bin"), QStringLiteral("1:same.bin")};
    // The last request is answered last: its answer closes the exchange.
    const QList<QPair<QByteArray, QStringList>> cases{
        {"ab", {}},
        {"THE", {}},
        {"the ab", {}},
        {"beatles HELP", {QStringLiteral("1:Yesterday - BEATLES.wav"), QStringLiteral("1:help me.txt")}},
        {"mp3", {QStringLiteral("1:mp3 collection\\song.ogg")}},
        {"a:b|c readme", readme},
        {manyWords + "readme", {}},
        {"readme " + manyWords, readme},
        {"quelmuserbrowse bobby", {}},
        {"quelmuserbrowse  BOB ", sharedNamesOf(*m_bob)},
        {"quelmfhsearch", {}},
        {"quelmfhsearch 2048", {}},
        {"quelmfhsearch 2048 ", {}},
        {"quelmfhsearch abc " + signature, {}},
        {"quelmfhsearch 02048 " + signature, {}},
        {"quelmfhsearch 6 -1", {}},
        {"QUELMFHSEARCH 2048 " + signature, sameFiles},
        {"readme", readme},
    };
    QList<QByteArray> requests;
    for (const auto &request : cases)
        requests.append("search:" + request.first);
    peer->sendFrames(requests, m_bob->id());

    QList<QByteArray> frames;
    QTRY_VERIFY_WITH_TIMEOUT((frames += peer->takeFrames(m_bob->id())).contains(
                                 "result:readme:1:README|6 Bytes|" + m_bob->address().toLatin1() + "|bob?"),
                             20000);
    std::map<QByteArray, QStringList> answered;
    for (const QByteArray &frame : frames) {
        if (!frame.startsWith("result:"))
            continue;
        // The longest query that the result echoes is the one it answers.
        QByteArray query;
        for (const auto &request : cases) {
            if (frame.startsWith("result:" + request.first + ':') && request.first.size() >= query.size())
                query = request.first;
        }
        const QByteArray name = frame.mid(7 + query.size() + 1).split('|').first();
        answered[query].append(QString::fromUtf8(name));
    }
    for (const auto &request : cases) {
        QStringList names = answered[request.first];
        if (!request.first.startsWith("quelmuserbrowse"))
            names.sort();
        QCOMPARE(names, request.second);
    }
}

void SearchTest::resultsAreListedOnlyForTheCurrentQueryAndCategory()
{
    // A copy of its own: no real peer answers beside the hand-driven one.
    RunningCopy erin("erin");
    auto peer = fakePeerOf(erin, "FE5017");
    QVERIFY(peer);
    const QString peerAddress = peer->socket().localAddress().toString();
    QTRY_VERIFY(erin.core().connections().findConnection(peerAddress) >= 0);
    SearchService &search = erin.core().search();
    SearchResultsModel &results = search.results();

    search.submitSearch("Clip Song", QStringLiteral("Audio"));
    peer->sendFrames({"result:clip song:1:clip.avi|3 Bytes|127.0.0.99|fake?",
                      "result:CLIP SONG:1:song.mp3|10 Bytes|127.0.0.99|fake?",
                      "result:other:1:other.mp3|1 Bytes|127.0.0.99|fake?",
                      "result:Clip Song:1:empty.mp3|1 Bytes||fake?",
                      "result:Clip Song:1:short.mp3|1 Bytes|127.0.0.99?",
                      "result:Clip Song:",
                      "result:",
                      "result::1:colon.mp3|1 Bytes|127.0.0.99|fake?",
                      "result:Clip Song:1:last.ogg|1 Bytes|127.0.0.99|fake?"},
                     erin.id());
    QTRY_COMPARE(column(results, SearchResultsModel::FilenameColumn).value(1), QStringLiteral("1:last.ogg"));
    QCOMPARE(column(results, SearchResultsModel::FilenameColumn), QStringList({"1:song.mp3", "1:last.ogg"}));
    QCOMPARE(column(results, SearchResultsModel::NicknameColumn), QStringList({"fake", "fake"}));
    QCOMPARE(column(results, 0, SearchResultsModel::AddressRole), QStringList({peerAddress, peerAddress}));

    // A late answer to the earlier search is dropped; the query is stripped by
    // its length, separators and all.
    search.submitSearch("a:b|c", QStringLiteral("All File Types"));
    QCOMPARE(results.rowCount(), 0);
    peer->sendFrames({"result:Clip Song:1:late.mp3|1 Bytes|127.0.0.99|fake?",
                      "result:A:B|C:1:clip.avi|3 Bytes|127.0.0.99|fake?"},
                     erin.id());
    QTRY_COMPARE(results.rowCount(), 1);
    QCOMPARE(results.result(0).sharedName, QByteArray("1:clip.avi"));
    QCOMPARE(results.result(0).sizeText, QByteArray("3 Bytes"));
}

void SearchTest::browsingReachesThePeerWhateverTheLetterCase()
{
    SearchService &search = m_alice->core().search();
    QSignalSpy carolAsked(&m_carol->core().dispatcher(), &Dispatcher::searchReceived);
    QSignalSpy tab(&search, &SearchService::searchTabRequested);
    search.submitSearch("help", QStringLiteral("Documents"));
    search.browseUser("Bob");
    const auto browsesOf = [](const QSignalSpy &asked) {
        int browses = 0;
        for (const QList<QVariant> &request : asked)
            browses += request.at(1).toByteArray().startsWith("quelmuserbrowse");
        return browses;
    };
    QCOMPARE(tab.count(), 1);
    QCOMPARE(tab.at(0).at(0).toByteArray(), QByteArray("quelmuserbrowse Bob"));
    QCOMPARE(search.currentFileType(), QStringLiteral("All File Types"));

    // Every file, in the peer's order, none hidden by the earlier category.
    SearchResultsModel &results = search.results();
    const QStringList expected = sharedNamesOf(*m_bob);
    QTRY_COMPARE(results.rowCount(), int(expected.size()));
    QCOMPARE(column(results, SearchResultsModel::FilenameColumn), expected);
    QCOMPARE(column(results, SearchResultsModel::NicknameColumn), QStringList(expected.size(), QStringLiteral("bob")));
    QCOMPARE(column(results, 0, SearchResultsModel::AddressRole), QStringList(expected.size(), m_bob->address()));
    QCOMPARE(browsesOf(carolAsked), 0);

    // "View Files" on a result browses its user again.
    search.browseResultUser(0);
    QCOMPARE(tab.count(), 2);
    QCOMPARE(tab.at(1).at(0).toByteArray(), QByteArray("quelmuserbrowse bob"));
}

void SearchTest::peerWithBlankAfterItsNicknameNeverAnswersABrowse()
{
    RunningCopy dave("dave ");
    share(dave, {{QStringLiteral("README"), "readme"}});
    m_alice->core().connections().connectTo(dave.address());
    QTRY_VERIFY(m_alice->linkedTo(dave) && dave.linkedTo(*m_alice));

    // The requesting side trims the nickname it compares; the serving side does not.
    QSignalSpy daveAsked(&dave.core().dispatcher(), &Dispatcher::searchReceived);
    m_alice->core().search().browseUser(" DAVE");
    QTRY_COMPARE(daveAsked.count(), 1);

    auto peer = fakePeerOf(dave, "B10B5");
    QVERIFY(peer);
    peer->sendFrames({"search:quelmuserbrowse dave", "search:quelmuserbrowse dave ", "search:readme"}, dave.id());
    QList<QByteArray> frames;
    QTRY_VERIFY((frames += peer->takeFrames(dave.id())).contains(
        "result:readme:1:README|6 Bytes|" + dave.address().toLatin1() + "|dave ?"));
    for (const QByteArray &frame : frames)
        QVERIFY2(!frame.startsWith("result:quelmuserbrowse"), frame.constData());
}

QTEST_GUILESS_MAIN(SearchTest)
#include "tst_search.moc"
