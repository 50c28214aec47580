#include "transfer/downloadprogress.h"
#include "transfer/filenaming.h"
#include "transfer/transfermessages.h"
#include "transfer/transferstreamparser.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Parsed {
    QStringList messages;
    QByteArray data;
};

Parsed parseInPieces(const QList<QByteArray> &pieces)
{
    TransferStreamParser parser;
    Parsed parsed;
    for (const QByteArray &piece : pieces) {
        for (const TransferStreamParser::Event &event : parser.feed(piece)) {
            if (event.kind == TransferStreamParser::Event::Data)
                parsed.data += event.text;
            else
                parsed.messages << QString::number(event.kind) + QLatin1Char('=') + QString::fromLatin1(event.text);
        }
    }
    return parsed;
}

} // namespace

class TransferStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void everySplitOfTheStreamGivesTheSameMessagesAndData()
    {
        const QByteArray info = TransferMessages::fileInfo(10, "bob", "abc");
        const QByteArray data = "0123456789";
        const QByteArray stream = info + "wait:3|GOFILE|" + data;
        const QString infoBody = QString::fromLatin1(info.mid(9).chopped(1));
        const QStringList expected{"0=" + infoBody, QStringLiteral("1=3")};
        for (int cut = 0; cut <= stream.size(); ++cut) {
            const Parsed parsed = parseInPieces({stream.left(cut), stream.mid(cut)});
            QCOMPARE(parsed.messages, expected);
            QCOMPARE(parsed.data, data);
        }
        // Byte by byte, the hardest case for a reader that takes reads as messages.
        QList<QByteArray> bytes;
        for (char c : stream)
            bytes << QByteArray(1, c);
        const Parsed single = parseInPieces(bytes);
        QCOMPARE(single.messages, expected);
        QCOMPARE(single.data, data);
    }

    void dataThatLooksLikeMessagesStaysData()
    {
        // After the marker every byte is data, even "wait:" and "fileinfo:".
        const Parsed parsed = parseInPieces({"GOFILE|wait:1|fileinfo:x|"});
        QVERIFY(parsed.messages.isEmpty());
        QCOMPARE(parsed.data, QByteArray("wait:1|fileinfo:x|"));
        // A second file information is the start of bare data.
        const Parsed second = parseInPieces({"fileinfo:a|fileinfo:b|"});
        QCOMPARE(second.messages, QStringList{"0=a"});
        QCOMPARE(second.data, QByteArray("fileinfo:b|"));
    }

    void anEndlessMessageIsCutOff()
    {
        TransferStreamParser parser;
        QList<TransferStreamParser::Event> events = parser.feed("wait:" + QByteArray(TransferStreamParser::MaxMessageLength, '7'));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().kind, TransferStreamParser::Event::Malformed);
        QVERIFY(parser.feed("|GOFILE|x").isEmpty());
    }

    void messagesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("sharedName");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("fresh") << QByteArray("3:music\\song.mp3") << qint64(0);
        QTest::newRow("resumed") << QByteArray("1:a b.txt") << qint64(5368709120);
    }

    void messagesRoundTrip()
    {
        QFETCH(QByteArray, sharedName);
        QFETCH(qint64, offset);
        const QByteArray request = TransferMessages::fileRequest(sharedName, offset);
        QVERIFY(request.startsWith("getfile:") && request.endsWith('|'));
        QCOMPARE(request.count('|'), 1);
        const auto parsed = TransferMessages::parseFileRequest(request.mid(8).chopped(1));
        QVERIFY(parsed);
        QCOMPARE(parsed->sharedName, sharedName);
        QCOMPARE(parsed->offset, offset);

        const QByteArray info = TransferMessages::fileInfo(5368709121, "bob", "0123abcd");
        const auto fileInfo = TransferMessages::parseFileInfo(info.mid(9).chopped(1));
        QVERIFY(fileInfo);
        QCOMPARE(fileInfo->size, qint64(5368709121));
        QCOMPARE(fileInfo->nickname, QByteArray("bob"));
        QCOMPARE(fileInfo->signature, QByteArray("0123abcd"));
    }

    void badFieldsAreRefusedOrReadAsZero()
    {
        const auto encode = [](const QByteArray &text) { return TransferMessages::encodeTwice(text); };
        QVERIFY(!TransferMessages::parseFileInfo(encode("-5|bob|sig")));
        QVERIFY(!TransferMessages::parseFileInfo(encode("12x|bob|sig")));
        QVERIFY(!TransferMessages::parseFileInfo(encode("12|bob")));
        QVERIFY(!TransferMessages::parseFileRequest(encode("|")));
        QCOMPARE(TransferMessages::parseFileRequest(encode("1:a|-40|"))->offset, qint64(0));
        QCOMPARE(TransferMessages::parseFileRequest(encode("1:a|ten|"))->offset, qint64(0));
        QCOMPARE(TransferMessages::parseFileRequest(encode("1:a"))->offset, qint64(0));
    }

    void percentIsCutToOneDecimal_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("expected");
        QTest::newRow("third") << qint64(1000) << qint64(3000) << "33.3%";
        QTest::newRow("two thirds cut, not rounded") << qint64(2000) << qint64(3000) << "66.6%";
        QTest::newRow("half") << qint64(1500) << qint64(3000) << "50%";
        QTest::newRow("whole") << qint64(3000) << qint64(3000) << "100%";
        QTest::newRow("5 GiB, nearly done") << qint64(5368709119) << qint64(5368709120) << "99.9%";
        QTest::newRow("5 GiB, a fifth") << qint64(1073741824) << qint64(5368709120) << "20%";
    }

    void percentIsCutToOneDecimal()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(QString, expected);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(DownloadProgress::percentText(received, total), expected);
        QLocale::setDefault(QLocale(QLocale::German));
        expected.replace(QLatin1Char('.'), QLatin1Char(','));
        QCOMPARE(DownloadProgress::percentText(received, total), expected);
        QLocale::setDefault(QLocale::c());
    }

    void localNamesComeFromTheLastComponent()
    {
        QCOMPARE(FileNaming::nameFromSharedName("3:music\\song.mp3"), QStringLiteral("song.mp3"));
        QCOMPARE(FileNaming::nameFromSharedName("3:song.mp3"), QStringLiteral("song.mp3"));
        QCOMPARE(FileNaming::nameFromSharedName("3:music\\.."), QString());
        QCOMPARE(FileNaming::nameFromSharedName("3:a/b"), QString());

        QTemporaryDir dir;
        QCOMPARE(FileNaming::numberedName(dir.path(), QStringLiteral("song.mp3")), dir.filePath("song.mp3"));
        QFile(dir.filePath("song.mp3")).open(QIODevice::WriteOnly);
        QFile(dir.filePath("(1) song.mp3")).open(QIODevice::WriteOnly);
        int number = 0;
        QCOMPARE(FileNaming::numberedName(dir.path(), QStringLiteral("song.mp3"), &number),
                 dir.filePath("(2) song.mp3"));
        QCOMPARE(number, 2);
        // A link to nothing takes its name too: writing through it would create its target.
        QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("(2) song.mp3")));
        QCOMPARE(FileNaming::numberedName(dir.path(), QStringLiteral("song.mp3")), dir.filePath("(3) song.mp3"));
    }
};

QTEST_GUILESS_MAIN(TransferStreamTest)
#include "tst_transferstream.moc"
