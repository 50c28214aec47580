#include "net/framereassembler.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Bodies = QList<QByteArray>;

QByteArray frame(const QByteArray &body)
{
    return "|quelm|" + body + "****";
}

QByteArray randomBody(QRandomGenerator &random, int maxLength)
{
    QByteArray body(random.bounded(maxLength + 1), Qt::Uninitialized);
    for (char &c : body) {
        do
            c = static_cast<char>(random.bounded(256));
        while (c == '*');
    }
    return body;
}

} // namespace

class TestFrameReassembler final : public QObject
{
    Q_OBJECT

private slots:
    // The chunks as they arrive, and what each chunk releases: its bodies
    // joined by ",", or "OVERFLOW".
    void chunks_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("released");
        QTest::addColumn<int>("cap");
        const auto row = [](const char *name, const QByteArrayList &chunks, const QByteArrayList &released,
                            int cap = int(FrameReassembler::DefaultCapBytes)) {
            QTest::newRow(name) << chunks << released << cap;
        };
        row("three frames in one chunk", {frame("one") + frame("") + frame("three")}, {"one,,three"});
        row("split frame", {"|quelm|a bo", "dy****"}, {"", "a body"});
        row("chunk ends in *", {"|quelm|abc*", "***"}, {"", "abc"});
        row("chunk ends in **", {"|quelm|abc**", "**"}, {"", "abc"});
        row("chunk ends in ***", {"|quelm|abc***", "*"}, {"", "abc"});
        // Whole frames leave at once and only the tail waits, also behind a separator cut in two.
        row("early release", {frame("first") + "|quelm|sec", "ond****|quelm|thi", "rd**", "**|quelm|fo", "ur****"},
            {"first", "second", "", "third", "four"});
        row("garbage after a pending frame is body", {"|quelm|ab", "#garbage#", "cd****"}, {"", "", "ab#garbage#cd"});
        row("no start marker", {"hello****", "x|quelm|abc****", "quelm|abc****", frame("ok")}, {"", "", "", "ok"});
        row("start marker cut by chunks", {"|q", "uel", "m|two****"}, {"", "", "two"});
        row("cut start marker not continued", {"|qu", "ack****", frame("three")}, {"", "", "three"});

        row("partial frame over the cap", {"|quelm|" + QByteArray(100, 'x'), frame("ok")}, {"OVERFLOW", "ok"}, 64);
        const QByteArray y10(10, 'y');
        row("pending frame grows past the cap", {"|quelm|abc", y10, y10, y10, y10, y10, y10, frame("ok")},
            {"", "", "", "", "", "", "OVERFLOW", "ok"}, 64);
        row("whole frames ahead of an oversized tail are lost",
            {frame("lost") + "|quelm|" + QByteArray(60, 'z'), frame("again")}, {"OVERFLOW", "again"}, 64);
        row("the cap bounds each frame, not each chunk",
            {frame(QByteArray(40, 'a')) + frame(QByteArray(40, 'b')), "|quelm|" + QByteArray(25, 'c'),
             QByteArray(25, 'c') + "****"},
            {QByteArray(40, 'a') + ',' + QByteArray(40, 'b'), "", QByteArray(50, 'c')}, 64);

        // A frame over the cap is refused the same way whether it waits for
        // its end or arrives whole; the cap counts the start marker and body.
        row("whole frame at the cap", {frame(QByteArray(57, 'e'))}, {QByteArray(57, 'e')}, 64);
        row("whole frame one byte over the cap", {frame(QByteArray(58, 'e')), frame("ok")}, {"OVERFLOW", "ok"}, 64);
        row("oversized frame between sound ones", {frame("a") + frame(QByteArray(100, 'x')) + frame("b"), frame("ok")},
            {"OVERFLOW", "ok"}, 64);
        row("pending frame completed past the cap", {"|quelm|abc", QByteArray(100, 'y') + "****", frame("ok")},
            {"", "OVERFLOW", "ok"}, 64);
        // The frame that follows the oversized one is lost with it; the next
        // start marker begins afresh.
        row("pending frame completed past the cap by a separator",
            {"|quelm|abc", QByteArray(100, 'y') + "****|quelm|ne", "xt****", frame("ok")}, {"", "OVERFLOW", "", "ok"},
            64);
    }

    void chunks()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArrayList, released);
        QFETCH(int, cap);
        FrameReassembler reassembler(cap);
        QByteArrayList bodies;
        for (const QByteArray &chunk : chunks) {
            const FrameReassembler::Feed feed = reassembler.feed(chunk);
            bodies << QByteArray(feed.overflow ? "OVERFLOW" : "") + feed.bodies.join(',');
        }
        QCOMPARE(bodies, released);
        QVERIFY(reassembler.buffer().isEmpty());
    }

    // An untrusted connection holds little while it waits for a frame's end,
    // yet whole frames up to the frame cap pass in one read.
    void pendingCapBoundsOnlyWhatWaits()
    {
        FrameReassembler reassembler(64);
        reassembler.setPendingCapBytes(16);
        QCOMPARE(reassembler.feed(frame(QByteArray(40, 'a'))).bodies, Bodies{QByteArray(40, 'a')});
        QVERIFY(reassembler.feed("|quelm|" + QByteArray(10, 'b')).overflow);
        QVERIFY(reassembler.buffer().isEmpty());
        QVERIFY(reassembler.feed("|quelm|12345").bodies.isEmpty());
        QCOMPARE(reassembler.feed("6789****").bodies, Bodies{"123456789"});
        QVERIFY(reassembler.feed(frame(QByteArray(58, 'c'))).overflow);

        // Raising the pending cap never lifts it above the frame cap.
        reassembler.setPendingCapBytes(1000);
        QVERIFY(reassembler.feed("|quelm|" + QByteArray(50, 'd')).bodies.isEmpty());
        QVERIFY(reassembler.feed(QByteArray(10, 'd')).overflow);
    }

    // Seeded, so every run feeds the same bytes.
    void fuzzNoiseKeepsInvariants()
    {
        // Random bytes mixed with pieces of markers, so that the marker paths are hit.
        constexpr const char *Pieces[7] = {"|quelm|", "****", "*", "**", "|", "****|quelm|", "|qu"};
        constexpr qsizetype Cap = 256;
        QRandomGenerator random(20240611);
        FrameReassembler reassembler(Cap);
        int released = 0;
        int overflows = 0;
        for (int i = 0; i < 20000; ++i) {
            QByteArray noise;
            for (int parts = random.bounded(6); parts > 0; --parts)
                noise += random.bounded(2) ? randomBody(random, 12) : QByteArray(Pieces[random.bounded(7)]);
            const auto result = reassembler.feed(noise);
            released += result.bodies.size();
            for (const QByteArray &body : result.bodies)
                QVERIFY(body.size() <= Cap - 7);
            overflows += result.overflow ? 1 : 0;
            const QByteArray &buffer = reassembler.buffer();
            QVERIFY(buffer.size() <= Cap && (buffer.isEmpty() || buffer.startsWith("|quelm|")));
            QVERIFY(!result.overflow || (buffer.isEmpty() && result.bodies.isEmpty()));
        }
        // The noise must reach the release and overflow paths, not only the drop path.
        QVERIFY(released > 100 && overflows > 0);
    }

    void fuzzSplitStreamsGiveTheSameBodies()
    {
        QRandomGenerator random(7);
        for (int chunksFed = 0; chunksFed < 20000;) {
            Bodies expected;
            QByteArray stream;
            for (int frames = 1 + random.bounded(60); frames > 0; --frames) {
                expected.append(randomBody(random, 40));
                stream += frame(expected.last());
            }
            QCOMPARE(FrameReassembler().feed(stream).bodies, expected);

            FrameReassembler split(stream.size());
            Bodies bodies;
            for (qsizetype at = 0, length = 0; at < stream.size(); at += length, ++chunksFed) {
                length = 1 + random.bounded(90);
                const auto result = split.feed(stream.mid(at, length));
                QVERIFY(!result.overflow);
                bodies += result.bodies;
            }
            QCOMPARE(bodies, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameReassembler)
#include "tst_framereassembler.moc"
