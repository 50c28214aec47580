#include "net/substitutiontable.h"
#include "net/wirecodec.h"

#include <QSet>
#include <QTest>

#include <cstdlib>
#include <utility>

namespace {

QByteArray bytesOf(std::initializer_list<int> codes)
{
    QByteArray bytes;
    for (const int c : codes)
        bytes.append(static_cast<char>(c));
    return bytes;
}

QByteArray allBytes()
{
    QByteArray bytes(256, Qt::Uninitialized);
    for (int c = 0; c < 256; ++c)
        bytes[c] = static_cast<char>(c);
    return bytes;
}

} // namespace

class TestWireCodec final : public QObject
{
    Q_OBJECT

private slots:
    // Every copy decodes with the same table, so its shape is pinned here.
    void substitutionTable()
    {
        const QByteArrayView alphabet("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        QSet<QByteArray> seen;
        for (int c = 32; c <= 126; ++c) {
            const QByteArray code = SubstitutionTable::codeFor(static_cast<uchar>(c)).toByteArray();
            // A code ending in "0" would read as the escape form of its first character.
            QVERIFY2(code.size() == 2 && alphabet.contains(code[0]) && alphabet.contains(code[1]) && code[1] != '0',
                     code.constData());
            seen.insert(code);
        }
        QCOMPARE(seen.size(), 95);
        QVERIFY(SubstitutionTable::codeFor(31).isEmpty() && SubstitutionTable::codeFor(127).isEmpty());
        const QByteArray constant = SubstitutionTable::frameKeyConstant();
        QVERIFY(constant.size() == 6 && constant.endsWith('-'));
        QCOMPARE(WireCodec::frameKey("A", "B"), constant + "A-B");
    }

    void codeText_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("coded");
        QTest::newRow("all 256 bytes round trip") << 1 << WireCodec::codeText(allBytes(), 0) << allBytes();
        QTest::newRow("table codes") << 0 << QByteArray("Hi") << QByteArray("3sBN");
        QTest::newRow("bytes outside the table travel as themselves and 0")
            << 0 << bytesOf({1, 127, 255, 0}) << bytesOf({1, '0', 127, '0', 255, '0', 0, '0'});
        QTest::newRow("odd length drops the last character") << 1 << QByteArray("3sB") << QByteArray("H");
        QTest::newRow("escape form of a table character") << 1 << QByteArray("A0") << QByteArray("A");
        QTest::newRow("letter case matters") << 1 << QByteArray("3SBN") << QByteArray("i");
        QTest::newRow("neither code nor escape") << 1 << QByteArray("zz!!3s") << QByteArray("H");
        QTest::newRow("unknown mode") << 2 << QByteArray("abc") << QByteArray();
    }

    void codeText()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, coded);
        QCOMPARE(WireCodec::codeText(text, mode), coded);
    }

    // Worked by hand; each answer is paired with its input so a failure names it.
    void knownAnswers()
    {
        const QList<std::pair<qint64, int>> wraps{{0, 0}, {255, 255}, {256, 1}, {510, 255}, {-1, 254}, {-255, 0},
                                                  {255LL * 1000000000 + 7, 7}, {-255LL * 1000000000 - 7, 248}};
        for (const auto &[value, wrapped] : wraps)
            QCOMPARE(std::pair(value, WireCodec::wrap(value)), std::pair(value, wrapped));

        // ln 2 * cos 2 * 137 = -39.52 and ln 3 * cos 3 * 137 = -149.004 floor to
        // -40 and -150; truncation would give -39 and -149. curve(6) = 235.69.
        const QList<std::pair<qint64, int>> curves{{2, -40}, {3, -150}, {6, 235}, {1, 0}, {0, 0}, {-5, 0}};
        for (const auto &[n, value] : curves)
            QCOMPARE(std::pair(n, WireCodec::curve(n)), std::pair(n, value));

        // curve(sum) / curve(length + 1), floored: -40 / -40, -150 / -40 = 3.75, 235 / -40 = -5.875 and
        // 235 / -150 = -1.57; curve(sum) alone when sum <= length.
        const QList<std::pair<QByteArray, int>> keys{{{}, 0},           {bytesOf({2}), 1},      {bytesOf({3}), 3},
                                                     {bytesOf({6}), -6}, {bytesOf({3, 3}), -2}, {bytesOf({1, 1}), -40},
                                                     {bytesOf({0}), 0}};
        for (const auto &[key, value] : keys)
            QCOMPARE(std::pair(key, WireCodec::keyValue(key)), std::pair(key, value));

        // Empty key, so k = 0 and byte i moves by -curve(2 + i % 29): +40, +150,
        // +125 (curve(4) = -124.14), -62 (62.55) and -235, wrapping to +20.
        QCOMPARE(WireCodec::shiftEncode({}, "AAAAA"), bytesOf({105, 215, 190, 3, 85}));
        QCOMPARE(WireCodec::shiftEncode(bytesOf({2}), "A"), bytesOf({65 + 1 + 40}));
    }

    // The shift reduces its offsets ahead of time; it must agree with the plain
    // per-byte rule for every byte at every step, also for keys beyond 255.
    void shiftMatchesDefinitionForLargeKeys()
    {
        const QByteArray text = allBytes().repeated(29);
        int largeKeys = 0;
        for (const int code : {1, 2, 7, 9, 19, 50, 128, 200, 255}) {
            for (int length = 1; length <= 40; ++length) {
                const QByteArray key(length, static_cast<char>(code));
                const qint64 k = WireCodec::keyValue(key);
                largeKeys += std::abs(k) > 255 ? 1 : 0;
                QByteArray encoded = text;
                QByteArray decoded = text;
                for (qsizetype i = 0; i < text.size(); ++i) {
                    const qint64 c = static_cast<uchar>(text[i]);
                    encoded[i] = static_cast<char>(WireCodec::wrap(c + k - WireCodec::curve(2 + i % 29)));
                    decoded[i] = static_cast<char>(WireCodec::wrap(c - k + WireCodec::curve(2 + i % 29)));
                }
                QCOMPARE(WireCodec::shiftEncode(key, text), encoded);
                QCOMPARE(WireCodec::shiftDecode(key, text), decoded);
            }
        }
        QVERIFY(largeKeys > 0);
    }

    void frameRoundTripBetweenTwoPeers_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("chat") << QByteArray("chat:Nick|Hello there: *all* of you!");
        QTest::newRow("bytes 1..254") << allBytes().mid(1, 254);
        QTest::newRow("longer than one key cycle") << QByteArray(1000, 'z');
    }

    void frameRoundTripBetweenTwoPeers()
    {
        QFETCH(QByteArray, message);
        const QByteArray a = "1A2B3C4D0F0E";
        const QByteArray b = "CBF43926";
        const QByteArray body = WireCodec::shiftEncode(WireCodec::frameKey(a, b), WireCodec::codeText(message, 0));
        QCOMPARE(WireCodec::frameMessage(message, a, b), "|quelm|" + body + "****");
        QCOMPARE(WireCodec::unframeMessage(body, b, a), message);
        QCOMPARE(WireCodec::unframeMessage(WireCodec::frameMessage(message, b, a).mid(7).chopped(4), a, b), message);
        // Wrong identifiers on either side do not decode.
        QVERIFY(message.isEmpty() || WireCodec::unframeMessage(body, b, "1A2B3C4D0F0F") != message);
        QVERIFY(message.isEmpty() || WireCodec::unframeMessage(body, "CBF43927", a) != message);
    }
};

QTEST_GUILESS_MAIN(TestWireCodec)
#include "tst_wirecodec.moc"
