#include "net/substitutiontable.h"
#include "net/wirecodec.h"

#include <QSet>
#include <QTest>

#include <cstdlib>

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

uchar at(const QByteArray &bytes, qsizetype i)
{
    return static_cast<uchar>(bytes[i]);
}

QByteArray bodyOf(const QByteArray &frame)
{
    return frame.mid(WireCodec::StartMarkerLength,
                     frame.size() - WireCodec::StartMarkerLength - WireCodec::EndMarkerLength);
}

} // namespace

class TestWireCodec final : public QObject
{
    Q_OBJECT

private slots:
    void substitutionTableIsOneToOneOverLettersAndDigits()
    {
        QSet<QByteArray> seen;
        for (int c = 32; c <= 126; ++c) {
            const QByteArrayView code = SubstitutionTable::codeFor(static_cast<uchar>(c));
            QCOMPARE(code.size(), 2);
            for (const char ch : code)
                QVERIFY(QByteArrayView("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz").contains(ch));
            QVERIFY2(code[1] != '0', "a code ending in 0 would clash with the escape form");
            QCOMPARE(SubstitutionTable::charFor(code[0], code[1]), c);
            seen.insert(code.toByteArray());
        }
        QCOMPARE(seen.size(), 95);
        QVERIFY(SubstitutionTable::codeFor(31).isEmpty() && SubstitutionTable::codeFor(127).isEmpty());
        QCOMPARE(SubstitutionTable::charFor('|', 'x'), -1);
        QCOMPARE(SubstitutionTable::frameKeyConstant().size(), 6);
        QVERIFY(SubstitutionTable::frameKeyConstant().endsWith('-'));
    }

    void codeTextEncoding()
    {
        const QByteArray text = allBytes() + "Hello, world! |quelm| ****";
        const QByteArray encoded = WireCodec::codeText(text, 0);
        QCOMPARE(encoded.size(), 2 * text.size());
        QCOMPARE(WireCodec::codeText(encoded, 1), text);

        // Pinned from the table: other copies must agree on it.
        QCOMPARE(WireCodec::codeText("Hi", 0), QByteArray("3sBN"));
        // Characters outside the table travel as themselves plus "0".
        QCOMPARE(WireCodec::codeText(bytesOf({1, 127, 255, 0}), 0),
                 bytesOf({1, '0', 127, '0', 255, '0', 0, '0'}));
        const QByteArray printable = WireCodec::codeText(allBytes().mid(32, 95), 0);
        QVERIFY(!printable.contains('|') && !printable.contains(':') && !printable.contains('*'));

        QCOMPARE(WireCodec::codeText("abc", 2), QByteArray());
        QCOMPARE(WireCodec::codeText("abc", -1), QByteArray());
    }

    void codeTextDecoding_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("decoded");
        QTest::newRow("codes") << QByteArray("3sBN") << QByteArray("Hi");
        QTest::newRow("odd length drops the last character") << QByteArray("3sB") << QByteArray("H");
        QTest::newRow("single character") << QByteArray("3") << QByteArray();
        QTest::newRow("escape form of a table character") << QByteArray("A0") << QByteArray("A");
        QTest::newRow("case matters") << QByteArray("3SBN") << QByteArray("i");
        QTest::newRow("neither code nor escape") << QByteArray("zz!!3s") << QByteArray("H");
    }

    void codeTextDecoding()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, decoded);
        QCOMPARE(WireCodec::codeText(text, 1), decoded);
    }

    void wrap_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("wrapped");
        QTest::newRow("0 stays") << qint64(0) << 0;
        QTest::newRow("255 stays") << qint64(255) << 255;
        QTest::newRow("256") << qint64(256) << 1;
        QTest::newRow("510") << qint64(510) << 255;
        QTest::newRow("-1") << qint64(-1) << 254;
        QTest::newRow("-255") << qint64(-255) << 0;
        QTest::newRow("far above") << qint64(255) * 1000000000 + 7 << 7;
        QTest::newRow("far below") << qint64(-255) * 1000000000 - 7 << 248;
    }

    void wrap()
    {
        QFETCH(qint64, value);
        QFETCH(int, wrapped);
        QCOMPARE(WireCodec::wrap(value), wrapped);
    }

    void curveAndKeyValue()
    {
        // ln 2 * cos 2 * 137 = -39.52 and ln 3 * cos 3 * 137 = -149.004
        // floor to -40 and -150, not truncate to -39 and -149.
        QCOMPARE(WireCodec::curve(2), -40);
        QCOMPARE(WireCodec::curve(3), -150);
        QCOMPARE(WireCodec::curve(6), 235); // 235.69
        QCOMPARE(WireCodec::curve(1), 0);
        QCOMPARE(WireCodec::curve(0), 0);
        QCOMPARE(WireCodec::curve(-5), 0);

        // Worked from the curve values above.
        QCOMPARE(WireCodec::keyValue({}), 0);
        QCOMPARE(WireCodec::keyValue(bytesOf({2})), 1);     // -40 / -40
        QCOMPARE(WireCodec::keyValue(bytesOf({3})), 3);     // -150 / -40 = 3.75
        QCOMPARE(WireCodec::keyValue(bytesOf({6})), -6);    // 235 / -40 = -5.875
        QCOMPARE(WireCodec::keyValue(bytesOf({3, 3})), -2); // 235 / -150 = -1.57
        QCOMPARE(WireCodec::keyValue(bytesOf({1, 1})), -40); // sum = length: curve(2)
        QCOMPARE(WireCodec::keyValue(bytesOf({0})), 0);      // sum < length: curve(0)
    }

    void shiftEncodeKnownAnswers()
    {
        // Empty key, so k = 0 and byte i is shifted by -curve(2 + i % 29).
        const QByteArray encoded = WireCodec::shiftEncode({}, QByteArray(30, 'A'));
        QCOMPARE(encoded.size(), 30);
        QCOMPARE(at(encoded, 0), uchar(65 + 40));
        QCOMPARE(at(encoded, 1), uchar(65 + 150));
        QCOMPARE(at(encoded, 4), uchar(65 - 235 + 255));
        QCOMPARE(encoded[29], encoded[0]);
        QCOMPARE(at(WireCodec::shiftEncode(bytesOf({2}), "A"), 0), uchar(65 + 1 + 40));

        // Key 19: curve(19) = 398 (398.8), 398 / -40 floors to -10. At
        // position 8, curve(10) = -265 (-264.7), so the shift is exactly 255:
        // zero becomes 255, and 255 wraps round to 255 as well.
        const QByteArray key19 = bytesOf({19});
        QCOMPARE(at(WireCodec::shiftEncode(key19, QByteArray(9, '\0')), 8), uchar(255));
        QCOMPARE(at(WireCodec::shiftEncode(key19, QByteArray(8, '\0') + '\xff'), 8), uchar(255));
    }

    void shiftMatchesDefinitionForLargeKeys()
    {
        // 29 copies of the 256 byte values meet every byte with every step;
        // the keys reach values well beyond one turn of 255.
        const QByteArray text = allBytes().repeated(29);
        int largeKeys = 0;
        for (const int code : {1, 2, 7, 9, 19, 50, 128, 200, 255}) {
            for (int length = 1; length <= 40; ++length) {
                const QByteArray key(length, static_cast<char>(code));
                const qint64 k = WireCodec::keyValue(key);
                largeKeys += std::abs(k) > 255 ? 1 : 0;
                const QByteArray encoded = WireCodec::shiftEncode(key, text);
                const QByteArray decoded = WireCodec::shiftDecode(key, text);
                for (qsizetype i = 0; i < text.size(); ++i) {
                    const qint64 c = at(text, i);
                    const qint64 curve = WireCodec::curve(2 + i % 29);
                    QCOMPARE(at(encoded, i), uchar(WireCodec::wrap(c + k - curve)));
                    QCOMPARE(at(decoded, i), uchar(WireCodec::wrap(c - k + curve)));
                }
            }
        }
        QVERIFY(largeKeys > 0);
    }

    void shiftRoundTripLosesOnlyZeroAnd255()
    {
        const QByteArray text = allBytes().repeated(2);
        const QByteArray back = WireCodec::shiftDecode("k3y", WireCodec::shiftEncode("k3y", text));
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (at(text, i) == 0 || at(text, i) == 255)
                QVERIFY(at(back, i) == 0 || at(back, i) == 255);
            else
                QCOMPARE(at(back, i), at(text, i));
        }
        // 0 and 255 are one value modulo 255: with the empty key, 255 at
        // position 0 (+40 -> 40, back -40 -> 0) and 0 at position 4
        // (-235 -> 20, back +235 -> 255) trade places.
        QCOMPARE(WireCodec::shiftDecode({}, WireCodec::shiftEncode({}, bytesOf({255, 1, 1, 1, 0}))),
                 bytesOf({0, 1, 1, 1, 255}));
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
        QCOMPARE(WireCodec::frameKey(a, b), QByteArray(SubstitutionTable::frameKeyConstant() + a + '-' + b));

        const QByteArray frame = WireCodec::frameMessage(message, a, b);
        QVERIFY(frame.startsWith("|quelm|") && frame.endsWith("****"));
        QCOMPARE(frame.size(), 7 + 2 * message.size() + 4);
        QCOMPARE(WireCodec::unframeMessage(bodyOf(frame), b, a), message);
        QCOMPARE(WireCodec::unframeMessage(bodyOf(WireCodec::frameMessage(message, b, a)), a, b), message);
    }

    void frameWithWrongIdsDoesNotDecode()
    {
        const QByteArray message = "search:holiday photos";
        const QByteArray body = bodyOf(WireCodec::frameMessage(message, "AB12", "CD34"));
        QVERIFY(WireCodec::unframeMessage(body, "CD34", "AB13") != message);
        QVERIFY(WireCodec::unframeMessage(body, "CD35", "AB12") != message);
    }
};

QTEST_GUILESS_MAIN(TestWireCodec)
#include "tst_wirecodec.moc"
