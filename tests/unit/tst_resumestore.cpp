#include "transfer/resumestore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeFile(const QString &path, qint64 length)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(static_cast<int>(length), 'p'));
    return path;
}

} // namespace

class ResumeStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void init()
    {
        ResumeStore(m_home.path()).clearResumeStore();
    }

    void twoPartsOfOneFileLeaveTwoRecordsAndTheLongerIsChosen()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 100), 1000, "abcdef"));
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("b"), 300), 1000, "abcdef"));
        QVERIFY(!QFile::exists(m_home.filePath("a")) && !QFile::exists(m_home.filePath("b")));
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files), QStringList({"1%1000#abcdef", "1000#abcdef"}));
        QCOMPARE(store.findResumeFile(1000, "abcdef"), QDir(store.folder()).filePath("1%1000#abcdef"));
    }

    void matchingIgnoresCaseAndBlanksButNotSize()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 10), 1000, "AbCdEf"));
        QVERIFY(!store.findResumeFile(1000, "  abcdef ").isEmpty());
        QVERIFY(store.findResumeFile(1001, "abcdef").isEmpty());
        QVERIFY(store.findResumeFile(1000, "abcdeg").isEmpty());
    }

    void aWholeFileRecordIsNeverUsed()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 1000), 1000, "sig"));
        QVERIFY(store.findResumeFile(1000, "sig").isEmpty());
    }

    void emptyPartsAreDeletedAndUnsafeKeysStayPut()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("empty"), 0), 10, "sig"));
        QVERIFY(!QFile::exists(m_home.filePath("empty")));
        // A signature from the network never becomes a path outside the store.
        QVERIFY(!store.parkPartialFile(writeFile(m_home.filePath("c"), 5), 10, "../../evil"));
        QVERIFY(QFile::exists(m_home.filePath("c")));
    }

    void clearingEmptiesTheStore()
    {
        ResumeStore store(m_home.path());
        store.parkPartialFile(writeFile(m_home.filePath("a"), 10), 100, "sig");
        store.clearResumeStore();
        QVERIFY(!QDir(store.folder()).exists());
        QVERIFY(store.findResumeFile(100, "sig").isEmpty());
    }
};

QTEST_GUILESS_MAIN(ResumeStoreTest)
#include "tst_resumestore.moc"
