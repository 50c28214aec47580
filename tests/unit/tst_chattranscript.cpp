#include "chat/chat.h"
#include "chat/chattranscript.h"
#include "chat/conversation.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

class ChatTranscriptTest : public QObject
{
    Q_OBJECT

private slots:
    void receivedTextIsShownAsPlainVisibleText_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QByteArray("hello") << QStringLiteral("Ann: hello");
        QTest::newRow("tab kept") << QByteArray("a\tb") << QStringLiteral("Ann: a\tb");
        QTest::newRow("line breaks") << QByteArray("a\r\nb") << QStringLiteral("Ann: a\u240d\u240ab");
        QTest::newRow("nul, escape, delete") << QByteArray("a\0b\x1b[2J\x7f", 8)
                                             << QStringLiteral("Ann: a\u2400b\u241b[2J\u2421");
        QTest::newRow("C1 control") << QByteArray("a\xc2\x85z") << QStringLiteral("Ann: a\ufffdz");
        QTest::newRow("separators") << QByteArray("a\xe2\x80\xa8z\xe2\x80\xa9") << QStringLiteral("Ann: a\u2424z\u2424");
        QTest::newRow("markup stays text") << QByteArray("<i>x</i> &amp; http://x")
                                           << QStringLiteral("Ann: <i>x</i> &amp; http://x");
        QTest::newRow("UTF-8 and broken bytes") << QByteArray("\xc3\xa9\xf0\x9f\x98\x80\xff")
                                                << QStringLiteral("Ann: \u00e9\U0001F600\ufffd");
    }

    void receivedTextIsShownAsPlainVisibleText()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, shown);
        QCOMPARE(ChatTranscript::lineText("Ann", wire), shown);
    }

    void linesEndWithCarriageReturnAndLineFeed()
    {
        ChatTranscript transcript;
        transcript.appendMessage("Ann", "hello");
        transcript.appendMessage("", "");
        QCOMPARE(transcript.text(), QStringLiteral("Ann: hello\r\n: \r\n"));
        QCOMPARE(transcript.rowCount(), 2);
        QCOMPARE(transcript.index(0).data().toString(), QStringLiteral("Ann: hello"));
    }

    void oldestLinesGoPastEitherCap()
    {
        ChatTranscript transcript;
        QSignalSpy removed(&transcript, &QAbstractItemModel::rowsRemoved);
        for (int i = 0; i < ChatTranscript::MaxLines + 3; ++i)
            transcript.appendLine(QString::number(i));
        QCOMPARE(transcript.lineCount(), ChatTranscript::MaxLines);
        QCOMPARE(transcript.line(0), QStringLiteral("3"));
        QCOMPARE(transcript.lastLine(), QString::number(ChatTranscript::MaxLines + 2));
        QCOMPARE(removed.count(), 3);

        // Huge lines: the characters held stay under the cap, the newest line always kept.
        ChatTranscript huge;
        const qsizetype half = ChatTranscript::MaxCharacters / 2;
        huge.appendLine(QStringLiteral("small"));
        for (int i = 0; i < 3; ++i)
            huge.appendLine(QString(half, QLatin1Char('a' + i)));
        QCOMPARE(huge.lineCount(), 2);
        QCOMPARE(huge.line(0).front(), QLatin1Char('b'));
        QCOMPARE(huge.characterCount(), 2 * half);
        huge.appendLine(QString(ChatTranscript::MaxCharacters, QLatin1Char('z')));
        QCOMPARE(huge.lineCount(), 1);
        QCOMPARE(huge.characterCount(), ChatTranscript::MaxCharacters);
    }

    void chatLineIsCutWithoutSplittingACharacter()
    {
        const QString paste = QString(350, QLatin1Char('a')) + QString(50, QLatin1Char('b'));
        QCOMPARE(Chat::cutChatLine(paste), paste.left(350));
        const QString emoji = QString(349, QLatin1Char('a')) + QStringLiteral("\U0001F600") + QLatin1Char('b');
        QCOMPARE(Chat::cutChatLine(emoji), emoji.left(349));
        QCOMPARE(Chat::cutChatLine(QStringLiteral("short")), QStringLiteral("short"));
    }

    void timeAndDateFollowTheLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d [AP]M on \\d{1,2}/\\d{1,2}/\\d\\d$");
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany)
                               << QStringLiteral("^\\d\\d:\\d\\d:\\d\\d on \\d\\d\\.\\d\\d\\.\\d\\d$");
    }

    void timeAndDateFollowTheLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, pattern);
        const QLocale previous;
        QLocale::setDefault(locale);
        const QString text = Conversation::timeAndDate();
        QLocale::setDefault(previous);
        QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(ChatTranscriptTest)
#include "tst_chattranscript.moc"
