#include "net/framereassembler.h"

#include <QRandomGenerator>
#include <QTest>

#include <iterator>

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

// Random bytes mixed with pieces of markers, so that the marker paths are hit.
QByteArray randomNoise(QRandomGenerator &random)
{
    constexpr const char *Pieces[] = {"|quelm|", "****", "*", "**", "|", "****|quelm|", "|qu"};
    QByteArray chunk;
    for (int parts = random.bounded(6); parts > 0; --parts) {
        if (random.bounded(2) == 0)
            chunk += Pieces[random.bounded(int(std::size(Pieces)))];
        else
            chunk += randomBody(random, 12);
    }
    return chunk;
}

} // namespace

class TestFrameReassembler final : public QObject
{
    Q_OBJECT

private slots:
    void wholeAndSplitFrames()
    {
        FrameReassembler reassembler;
        QCOMPARE(reassembler.feed(frame("one") + frame("") + frame("three")).bodies,
                 Bodies({"one", "", "three"}));
        QVERIFY(reassembler.buffer().isEmpty());

        const QByteArray whole = frame("a body that is split");
        QVERIFY(reassembler.feed(whole.left(12)).bodies.isEmpty());
        QCOMPARE(reassembler.buffer(), whole.left(12));
        QCOMPARE(reassembler.feed(whole.mid(12)).bodies, Bodies({"a body that is split"}));
        QVERIFY(reassembler.buffer().isEmpty());
    }

    void partialEndMarkerIsIncomplete()
    {
        for (int asterisks = 1; asterisks <= 3; ++asterisks) {
            FrameReassembler reassembler;
            QVERIFY(reassembler.feed("|quelm|abc" + QByteArray(asterisks, '*')).bodies.isEmpty());
            QCOMPARE(reassembler.feed(QByteArray(4 - asterisks, '*')).bodies, Bodies({"abc"}));
        }
    }

    void completedFramesLeaveAtOnce()
    {
        FrameReassembler reassembler;
        // On an idle connection whole frames come out at once; the tail waits.
        QCOMPARE(reassembler.feed(frame("first") + "|quelm|sec").bodies, Bodies({"first"}));
        // This chunk completes "second" and ends inside "third": only "third" waits.
        QCOMPARE(reassembler.feed("ond****|quelm|thi").bodies, Bodies({"second"}));
        QCOMPARE(reassembler.buffer(), QByteArray("|quelm|thi"));
        // A separator cut across two chunks still ends the frame before it.
        QVERIFY(reassembler.feed("rd**").bodies.isEmpty());
        QCOMPARE(reassembler.feed("**|quelm|fo").bodies, Bodies({"third"}));
        QCOMPARE(reassembler.buffer(), QByteArray("|quelm|fo"));
        QCOMPARE(reassembler.feed("ur****").bodies, Bodies({"four"}));
        QVERIFY(reassembler.buffer().isEmpty());

        // Garbage after a pending partial frame becomes part of its body.
        QVERIFY(reassembler.feed("|quelm|ab").bodies.isEmpty());
        QVERIFY(reassembler.feed("#garbage#").bodies.isEmpty());
        QCOMPARE(reassembler.feed("cd****").bodies, Bodies({"ab#garbage#cd"}));
    }

    void idleConnection()
    {
        FrameReassembler reassembler;
        for (const QByteArray &junk : {QByteArray("hello****"), QByteArray("x|quelm|abc****"),
                                       QByteArray("quelm|abc****")}) {
            QVERIFY(reassembler.feed(junk).bodies.isEmpty());
            QVERIFY(reassembler.buffer().isEmpty());
        }
        // A start marker cut by the chunk boundary is completed, not dropped.
        QVERIFY(reassembler.feed("|q").bodies.isEmpty());
        QVERIFY(reassembler.feed("uel").bodies.isEmpty());
        QCOMPARE(reassembler.feed("m|two****").bodies, Bodies({"two"}));
        // One that is not continued is dropped with what follows.
        QVERIFY(reassembler.feed("|qu").bodies.isEmpty());
        QVERIFY(reassembler.feed("ack****").bodies.isEmpty());
        QCOMPARE(reassembler.feed(frame("three")).bodies, Bodies({"three"}));

        reassembler.feed("|quelm|half");
        reassembler.clear();
        QVERIFY(reassembler.buffer().isEmpty());
        QVERIFY(reassembler.feed("****").bodies.isEmpty());
    }

    void capOverflowClearsAndRecovers()
    {
        FrameReassembler reassembler(64);
        // One partial frame larger than the cap.
        auto result = reassembler.feed("|quelm|" + QByteArray(100, 'x'));
        QVERIFY(result.overflow && result.bodies.isEmpty());
        QVERIFY(reassembler.buffer().isEmpty());
        QCOMPARE(reassembler.feed(frame("ok")).bodies, Bodies({"ok"}));

        // A pending frame that grows past the cap.
        QVERIFY(!reassembler.feed("|quelm|abc").overflow);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!reassembler.feed(QByteArray(10, 'y')).overflow);
        QVERIFY(reassembler.feed(QByteArray(10, 'y')).overflow);
        QVERIFY(reassembler.buffer().isEmpty());

        // Whole frames ahead of an oversized tail are not released either.
        result = reassembler.feed(frame("lost") + "|quelm|" + QByteArray(60, 'z'));
        QVERIFY(result.overflow && result.bodies.isEmpty());
        QCOMPARE(reassembler.feed(frame("again")).bodies, Bodies({"again"}));

        // Only what stays pending counts: these pass through whole.
        QCOMPARE(reassembler.feed(frame(QByteArray(40, 'a')) + frame(QByteArray(40, 'b'))).bodies.size(), 2);
        QVERIFY(!reassembler.feed("|quelm|" + QByteArray(50, 'c')).overflow);
        result = reassembler.feed(QByteArray(50, 'c') + "****");
        QVERIFY(!result.overflow);
        QCOMPARE(result.bodies, Bodies({QByteArray(100, 'c')}));
    }

    void fuzzNoiseKeepsInvariants()
    {
        QRandomGenerator random(20240611);
        constexpr qsizetype Cap = 256;
        FrameReassembler reassembler(Cap);
        int released = 0;
        int overflows = 0;
        for (int i = 0; i < 20000; ++i) {
            const auto result = reassembler.feed(randomNoise(random));
            released += result.bodies.size();
            overflows += result.overflow ? 1 : 0;
            const QByteArray &buffer = reassembler.buffer();
            QVERIFY(buffer.size() <= Cap);
            QVERIFY(buffer.isEmpty() || buffer.startsWith("|quelm|"));
            QVERIFY(!result.overflow || (buffer.isEmpty() && result.bodies.isEmpty()));
        }
        // The noise must reach the interesting paths, not only the drop path.
        QVERIFY(released > 100);
        QVERIFY(overflows > 0);
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
            for (qsizetype at = 0; at < stream.size(); ++chunksFed) {
                const int length = 1 + random.bounded(90);
                const auto result = split.feed(stream.mid(at, length));
                QVERIFY(!result.overflow);
                bodies += result.bodies;
                at += length;
            }
            QCOMPARE(bodies, expected);
            QVERIFY(split.buffer().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameReassembler)
#include "tst_framereassembler.moc"
