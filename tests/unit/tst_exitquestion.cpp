#include "shell/exitquestion.h"
#include "support/scriptedprompter.h"

#include <QtTest>

class ExitQuestionTest : public QObject
{
    Q_OBJECT

private slots:
    void asksOnlyWhileDownloadsRun_data()
    {
        QTest::addColumn<int>("downloads");
        QTest::addColumn<Prompter::Answer>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("ends");
        QTest::newRow("no download") << 0 << Prompter::Answer::No << false << true;
        QTest::newRow("one download, Yes") << 1 << Prompter::Answer::Yes << true << true;
        QTest::newRow("one download, No") << 1 << Prompter::Answer::No << true << false;
        QTest::newRow("three downloads, No") << 3 << Prompter::Answer::No << true << false;
    }
    void asksOnlyWhileDownloadsRun()
    {
        QFETCH(int, downloads);
        QFETCH(Prompter::Answer, answer);
        QFETCH(bool, asked);
        QFETCH(bool, ends);
        ScriptedPrompter person;
        person.answers = {answer};
        QCOMPARE(ExitQuestion::confirm(person, downloads), ends);
        QCOMPARE(person.boxes.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(person.boxes[0].text, QLatin1String(ExitQuestion::Text));
            QCOMPARE(person.boxes[0].buttons, Prompter::Buttons::YesNo);
            QCOMPARE(person.boxes[0].icon, Prompter::Icon::Exclamation);
        }
    }
};

QTEST_GUILESS_MAIN(ExitQuestionTest)
#include "tst_exitquestion.moc"
