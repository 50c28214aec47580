#include "share/filesignature.h"
#include "support/clientpeer.h"
#include "support/sharedfiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

const QByteArray SameContent(2048, 's');

// Each listed result as "name|size|nickname|address".
QStringList rowsOf(const SearchResultsModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const SearchResultsModel::Result r = model.result(row);
        rows << QString::fromUtf8(r.sharedName + '|' + r.sizeText + '|' + r.nickname + '|') + r.address;
    }
    return rows;
}

QStringList sharedNamesOf(RunningCopy &copy)
{
    const auto snapshot = copy.core().sharing().sharedIndex().snapshot();
    QStringList names;
    for (const SharedFile &file : snapshot->files)
        names.append(QString::fromUtf8(snapshot->sharedName(file)));
    return names;
}

} // namespace

class SearchTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<RunningCopy> m_alice;
    std::unique_ptr<RunningCopy> m_bob;
    std::unique_ptr<RunningCopy> m_carol;

private slots:
    void initTestCase()
    {
        m_alice = std::make_unique<RunningCopy>("alice");
        m_bob = std::make_unique<RunningCopy>("bob");
        m_carol = std::make_unique<RunningCopy>("carol");
        QVERIFY(m_alice->started() && m_bob->started() && m_carol->started());
        QMap<QString, QByteArray> bobsFiles{
            {"song.mp3", "0123456789"}, {"mp3 collection/song.ogg", "ogg"}, {"README", "readme"},
            {"Yesterday - BEATLES.wav", "wav"}, {"help me.txt", "help"}, {"abba.txt", "abba"}, {"the end.txt", "end"},
            {"same.bin", SameContent}, {"copy/same.bin", SameContent}, {"longer.bin", SameContent + 'x'},
            {"different.bin", QByteArray(2048, 'd')}};
        // Enough files that a browse is answered over several slices.
        for (int i = 0; i < 250; ++i)
            bobsFiles.insert(QStringLiteral("bulk/f%1.dat").arg(i, 3, 10, QLatin1Char('0')), "b");
        QVERIFY(shareFiles(*m_bob, bobsFiles));
        QVERIFY(shareFiles(*m_carol, {{"Help - beatles.mp3", "mp3"}, {"clip.avi", "avi"}}));

        m_alice->core().network().connections().connectTo(m_bob->address());
        m_alice->core().network().connections().connectTo(m_carol->address());
        QTRY_VERIFY(m_alice->linkedTo(*m_bob) && m_bob->linkedTo(*m_alice));
        QTRY_VERIFY(m_alice->linkedTo(*m_carol) && m_carol->linkedTo(*m_alice));
    }

    void searchReachesEveryPeerAndListsTheirMatches()
    {
        SearchService &search = m_alice->core().sharing().search();
        QVERIFY(!search.startSearch({}, QStringLiteral("All File Types")));
        QVERIFY(search.startSearch("beatles help", QStringLiteral("All File Types")));
        QCOMPARE(search.statusCaption(), QStringLiteral("Search request submitted. Waiting for responses..."));
        QVERIFY(search.isSearchStatusVisible());

        QTRY_COMPARE(search.results().rowCount(), 3);
        QStringList rows = rowsOf(search.results());
        rows.sort();
        QCOMPARE(rows, QStringList({"1:Help - beatles.mp3|3 Bytes|carol|" + m_carol->address(),
                                    "1:Yesterday - BEATLES.wav|3 Bytes|bob|" + m_bob->address(),
                                    "1:help me.txt|4 Bytes|bob|" + m_bob->address()}));
        QCOMPARE(search.statusCaption(), QStringLiteral("Search Responses: 3"));
        QVERIFY(!search.isSearchStatusVisible());
    }

    // Answers to one link come request after request, each in index order.
    void servingSideAnswersByTheQueryRules()
    {
        auto peer = connectClientPeer(*m_bob, "5EA2C4");
        QVERIFY(peer);
        const QByteArray signature = FileSignature::computeFileSignature(
            m_bob->core().sharing().sharedIndex().rootFolders().first() + QLatin1String("/same.bin"));
        QCOMPARE(signature.size(), 32);
        QByteArray manyWords;
        for (int i = 0; i < 5000; ++i)
            manyWords += "word" + QByteArray::number(i) + ' ';
        const QStringList readme{"1:README"};
        // The last request is answered last: its answer closes the exchange.
        const QList<QPair<QByteArray, QStringList>> cases{
            {"ab", {}}, {"THE", {}}, {"the ab", {}},
            {"beatles HELP", {"1:help me.txt", "1:Yesterday - BEATLES.wav"}},
            {"mp3", {"1:mp3 collection\\song.ogg"}}, {"a:b|c readme", readme},
            {manyWords + "readme", {}}, {"readme " + manyWords, readme},
            {"quelmuserbrowse bobby", {}}, {"quelmuserbrowse  BOB ", sharedNamesOf(*m_bob)},
            {"quelmfhsearch", {}}, {"quelmfhsearch 2048", {}}, {"quelmfhsearch 2048 ", {}},
            {"quelmfhsearch abc " + signature, {}}, {"quelmfhsearch 02048 " + signature, {}},
            {"quelmfhsearch 6 -1", {}}, {"QUELMFHSEARCH 2048 " + signature, {"1:copy\\same.bin", "1:same.bin"}},
            {"readme", readme}};
        QList<QByteArray> requests;
        QByteArrayList expected;
        for (const auto &[query, names] : cases) {
            requests.append("search:" + query);
            for (const QString &name : names)
                expected.append("result:" + query + ':' + name.toUtf8());
        }
        peer->sendFrames(requests, m_bob->id());

        QList<QByteArray> frames;
        QTRY_VERIFY_WITH_TIMEOUT((frames += peer->takeFrames(m_bob->id())).contains(
                                     "result:readme:1:README|6 Bytes|" + m_bob->address().toLatin1() + "|bob?"),
                                 20000);
        QByteArrayList answered;
        for (QByteArray frame : std::as_const(frames)) {
            // Without the size, address and nickname fields.
            for (int field = 0; field < 3; ++field)
                frame.truncate(frame.lastIndexOf('|'));
            if (frame.startsWith("result:"))
                answered.append(frame);
        }
        QCOMPARE(answered, expected);
    }

    void resultsAreListedOnlyForTheCurrentQueryAndCategory()
    {
        // A copy of its own: no real peer answers beside the hand-driven one.
        RunningCopy erin("erin");
        auto peer = connectClientPeer(erin, "FE5017");
        QVERIFY(peer);
        const QString from = "|fake|" + peer->socket().localAddress().toString();
        SearchService &search = erin.core().sharing().search();

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
        QTRY_COMPARE(rowsOf(search.results()),
                     QStringList({"1:song.mp3|10 Bytes" + from, "1:last.ogg|1 Bytes" + from}));

        // A late answer to the earlier search is dropped; the query is stripped by
        // its length, separators and all.
        search.submitSearch("a:b|c", QStringLiteral("All File Types"));
        QCOMPARE(search.results().rowCount(), 0);
        peer->sendFrames({"result:Clip Song:1:late.mp3|1 Bytes|127.0.0.99|fake?",
                          "result:A:B|C:1:clip.avi|3 Bytes|127.0.0.99|fake?"},
                         erin.id());
        QTRY_COMPARE(rowsOf(search.results()), QStringList({"1:clip.avi|3 Bytes" + from}));
    }

    void browsingReachesThePeerWhateverTheLetterCase()
    {
        SearchService &search = m_alice->core().sharing().search();
        QSignalSpy carolAsked(&m_carol->core().network().dispatcher(), &Dispatcher::searchReceived);
        QSignalSpy tab(&search, &SearchService::searchTabRequested);
        search.submitSearch("help", QStringLiteral("Documents"));
        search.browseUser("Bob");
        QCOMPARE(tab.count(), 1);
        QCOMPARE(tab.at(0).at(0).toByteArray(), QByteArray("quelmuserbrowse Bob"));
        QCOMPARE(search.currentFileType(), QStringLiteral("All File Types"));
        QCOMPARE(search.statusNote(), QStringLiteral("Files shared by Bob"));

        // Every file, in the peer's order, none hidden by the earlier category.
        const QStringList expected = sharedNamesOf(*m_bob);
        QTRY_COMPARE(search.results().rowCount(), int(expected.size()));
        QStringList names;
        for (const QString &row : rowsOf(search.results())) {
            QVERIFY2(row.endsWith("|bob|" + m_bob->address()), qPrintable(row));
            names << row.section(QLatin1Char('|'), 0, 0);
        }
        QCOMPARE(names, expected);
        for (const QList<QVariant> &request : std::as_const(carolAsked))
            QVERIFY(!request.at(1).toByteArray().startsWith("quelmuserbrowse"));

        // "View Files" on a result browses its user again.
        search.browseResultUser(0);
        QCOMPARE(tab.count(), 2);
        QCOMPARE(tab.at(1).at(0).toByteArray(), QByteArray("quelmuserbrowse bob"));
    }

    void aSearchWithoutAnswersSaysSoAndGoesOnListening()
    {
        SearchService &search = m_alice->core().sharing().search();
        QTimer &timer = search.noAnswerTimer();
        const auto fireTimer = [&timer] { return QMetaObject::invokeMethod(&timer, "timeout"); };
        search.submitSearch("nothingmatcheshere", QStringLiteral("All File Types"));
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), SearchService::NoAnswerMs);
        QVERIFY(search.statusNote().isEmpty());
        QVERIFY(fireTimer());
        QCOMPARE(search.statusNote(), QStringLiteral("No answers from 2 peers"));
        QCOMPARE(search.statusCaption(), QStringLiteral("Search request submitted. Waiting for responses..."));
        QVERIFY(search.isSearchStatusVisible());

        // Answers stop the timer and the note.
        search.submitSearch("beatles", QStringLiteral("All File Types"));
        QTRY_VERIFY(search.results().rowCount() > 0);
        QVERIFY(!timer.isActive());
        QVERIFY(fireTimer());
        QVERIFY(search.statusNote().isEmpty());
    }

    void peerWithBlankAfterItsNicknameNeverAnswersABrowse()
    {
        RunningCopy dave("dave ");
        QVERIFY(shareFiles(dave, {{"README", "readme"}}));
        m_alice->core().network().connections().connectTo(dave.address());
        QTRY_VERIFY(m_alice->linkedTo(dave) && dave.linkedTo(*m_alice));

        // The requesting side trims the nickname it compares; the serving side does not.
        QSignalSpy daveAsked(&dave.core().network().dispatcher(), &Dispatcher::searchReceived);
        m_alice->core().sharing().search().browseUser(" DAVE");
        QTRY_COMPARE(daveAsked.count(), 1);

        auto peer = connectClientPeer(dave, "B10B5");
        QVERIFY(peer);
        peer->sendFrames({"search:quelmuserbrowse dave", "search:quelmuserbrowse dave ", "search:readme"}, dave.id());
        QList<QByteArray> frames;
        QTRY_VERIFY((frames += peer->takeFrames(dave.id())).contains(
            "result:readme:1:README|6 Bytes|" + dave.address().toLatin1() + "|dave ?"));
        for (const QByteArray &frame : std::as_const(frames))
            QVERIFY2(!frame.startsWith("result:quelmuserbrowse"), frame.constData());
    }
};

QTEST_GUILESS_MAIN(SearchTest)
#include "tst_search.moc"
