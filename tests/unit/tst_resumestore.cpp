#include "share/filesignature.h"
#include "transfer/incompletesweep.h"
#include "transfer/parkeddownloadsfile.h"
#include "transfer/partialfiletag.h"
#include "transfer/resumestore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeFile(const QString &path, qint64 length, char fill = 'p')
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(static_cast<int>(length), fill));
    return path;
}

// The signature of a file of `total` bytes all of `fill`.
QByteArray signatureOf(qint64 total, char fill = 'p')
{
    return FileSignature::md5Text(QByteArray(static_cast<int>(FileSignature::signatureLength(total)), fill));
}

void age(const QString &path, int days)
{
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(QDateTime::currentDateTime().addDays(-days), QFileDevice::FileModificationTime);
}

} // namespace

class ResumeStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    const QByteArray m_sig = signatureOf(1000);

private slots:
    void init()
    {
        ResumeStore(m_home.path()).clearResumeStore();
    }

    void twoPartsOfOneFileLeaveTwoRecordsAndTheLongerIsChosen()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 100), 1000, m_sig));
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("b"), 300), 1000, m_sig, "127.0.0.9"));
        QVERIFY(!QFile::exists(m_home.filePath("a")) && !QFile::exists(m_home.filePath("b")));
        const QString key = QString::fromLatin1("1000#" + m_sig);
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files), QStringList({"1%" + key, key}));
        const QString found = store.findResumeFile(1000, m_sig);
        QCOMPARE(found, QDir(store.folder()).filePath("1%" + key));
        QCOMPARE(store.sourceOf(found), QStringLiteral("127.0.0.9"));
    }

    void matchingIgnoresCaseAndBlanksButNotSize()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 10), 1000, m_sig.toUpper()));
        QVERIFY(!store.findResumeFile(1000, "  " + m_sig + ' ').isEmpty());
        QVERIFY(store.findResumeFile(1001, m_sig).isEmpty());
        QVERIFY(store.findResumeFile(1000, signatureOf(1000, 'q')).isEmpty());
    }

    // The folder listing is kept while the folder stays as it was; a record
    // that another hand adds or removes is seen by the next lookup.
    void recordsChangedBehindTheStoresBackAreSeen()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 10), 1000, m_sig));
        const QString parked = store.findResumeFile(1000, m_sig);
        QVERIFY(!parked.isEmpty());
        // A listing is kept only once the folder has been still for a moment.
        QTest::qWait(1100);
        QCOMPARE(store.findResumeFile(1000, m_sig), parked);
        const QString longer = writeFile(QDir(store.folder()).filePath(QString::fromLatin1("1%1000#" + m_sig)), 300);
        QCOMPARE(store.findResumeFile(1000, m_sig), longer);
        QVERIFY(QFile::remove(longer));
        QCOMPARE(store.findResumeFile(1000, m_sig), parked);
    }

    void aWholeFileRecordIsNeverUsed()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 1000), 1000, m_sig));
        QVERIFY(store.findResumeFile(1000, m_sig).isEmpty());
    }

    // A part whose first bytes are not the file's is deleted, not resumed
    // from; one too short to be checked is left alone.
    void onlyPartsWithTheSignaturesBytesAreUsed()
    {
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("a"), 500, 'q'), 1000, m_sig));
        QVERIFY(store.findResumeFile(1000, m_sig).isEmpty());
        QVERIFY(QDir(store.folder()).entryList(QDir::Files).isEmpty());
        const QByteArray longSig = signatureOf(10240);
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("b"), 5), 10240, longSig));
        QVERIFY(store.findResumeFile(10240, longSig).isEmpty());
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files).size(), 1);
    }

    // Failure signatures and texts that could not be part of a file name
    // never key a record: such a part is deleted, and nothing is looked up.
    void emptyPartsAndPartsWithoutAKeyAreDeleted_data()
    {
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("failure") << QByteArray("-1");
        QTest::newRow("no signature") << QByteArray();
        QTest::newRow("a path") << QByteArray("../../evil");
        QTest::newRow("a slash") << QByteArray("ab/cd");
    }

    void emptyPartsAndPartsWithoutAKeyAreDeleted()
    {
        QFETCH(QByteArray, signature);
        ResumeStore store(m_home.path());
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("empty"), 0), 10, m_sig));
        QVERIFY(!QFile::exists(m_home.filePath("empty")));
        QVERIFY(store.parkPartialFile(writeFile(m_home.filePath("c"), 5), 510, signature));
        QVERIFY(!QFile::exists(m_home.filePath("c")));
        QVERIFY(QDir(store.folder()).entryList(QDir::Files).isEmpty());
        if (signature.contains('/'))
            return;
        // A record planted under a failure signature is not looked up either.
        QDir().mkpath(store.folder());
        writeFile(QDir(store.folder()).filePath("510#" + QString::fromLatin1(signature)), 5);
        QVERIFY(store.findResumeFile(510, signature).isEmpty());
    }

    void clearingEmptiesTheStore()
    {
        ResumeStore store(m_home.path());
        store.parkPartialFile(writeFile(m_home.filePath("a"), 10), 1000, m_sig);
        store.clearResumeStore();
        QVERIFY(!QDir(store.folder()).exists());
        QVERIFY(store.findResumeFile(1000, m_sig).isEmpty());
    }

    // What a crash left in the incomplete folder: tagged parts with the
    // file's first bytes are parked, whole files stay, and parts that
    // cannot be keyed go once they are a day old.
    void leftOverPartsAreParkedOrDeletedAtStart()
    {
        QTemporaryDir incomplete;
        ResumeStore store(m_home.path());
        const QString good = writeFile(incomplete.filePath("good"), 300);
        const QString lying = writeFile(incomplete.filePath("lying"), 300, 'q');
        const QString whole = writeFile(incomplete.filePath("whole"), 1000, 'q');
        const QString untagged = writeFile(incomplete.filePath("untagged"), 300);
        const QString fresh = writeFile(incomplete.filePath("fresh"), 300);
        for (const QString &path : {good, lying, whole})
            QVERIFY2(PartialFileTag::write(path, 1000, m_sig), "the file system keeps no extended attributes");
        for (const QString &path : {lying, whole, untagged})
            age(path, 2);
        const IncompleteSweep::Counts counts =
            IncompleteSweep::sweep(incomplete.path(), store, QDateTime::currentDateTime());
        QCOMPARE(counts.parked, 1);
        QCOMPARE(counts.deleted, 2);
        QCOMPARE(QDir(incomplete.path()).entryList(QDir::Files), QStringList({"fresh", "whole"}));
        const QString record = store.findResumeFile(1000, m_sig);
        QCOMPARE(QFileInfo(record).size(), qint64(300));
        QVERIFY(store.sourceOf(record).isEmpty());
    }

    // The list of downloads parked at the end of the program gives back only
    // entries that can be searched for again, and nothing from a damaged or
    // oversized file.
    void parkedDownloadsComeBackOnlyWhenUsable()
    {
        const ParkedDownloadsFile file(m_home.path());
        const ParkedDownloadsFile::Entry good{"song.mp3", "1:music\\song.mp3", "127.0.0.2", "bob", 300000, m_sig};
        QVERIFY(file.write({good,
                            {"../up", "1:up", "127.0.0.2", "bob", 10, m_sig},
                            {"unsigned", "1:unsigned", "127.0.0.2", "bob", 10, "-1"},
                            {"nowhere", "1:nowhere", "somewhere", "bob", 10, m_sig}}));
        std::vector<ParkedDownloadsFile::Entry> read = file.read();
        QCOMPARE(read.size(), size_t(1));
        QCOMPARE(read[0].fileName, good.fileName);
        QCOMPARE(read[0].sharedName, good.sharedName);
        QCOMPARE(read[0].size, good.size);
        QCOMPARE(read[0].signature, good.signature);

        QFile raw(file.path());
        QVERIFY(raw.open(QIODevice::Append));
        raw.write(QByteArray(ParkedDownloadsFile::MaxFileBytes, ' '));
        raw.close();
        QVERIFY(file.read().empty());
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write("[{\"name\": \"song.mp3\", \"size\": ");
        raw.close();
        QVERIFY(file.read().empty());
        QVERIFY(file.write({}));
        QVERIFY(!QFile::exists(file.path()));
    }
};

QTEST_GUILESS_MAIN(ResumeStoreTest)
#include "tst_resumestore.moc"
