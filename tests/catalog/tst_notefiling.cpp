#include "catalogrowcheck.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "notefiling.h"
#include "notehistory.h"
#include "pendingrecovery.h"
#include "pendingwork.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

struct Store
{
    TestProgramFolder folder;
    TDBDataModule database{folder.databasePath()};

    QString data() const { return folder.dataFolder(); }
    QString pending() const { return folder.path() + QStringLiteral("pending/"); }

    void write(const QString &relative, const QByteArray &bytes = "<html><body>n</body></html>\n")
    {
        QDir().mkpath(QFileInfo(data() + relative).absolutePath());
        QFile file(data() + relative);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    int count(const QString &sql, const QVariantList &values = {}) { return database.queryInteger(sql, values); }

    QString text(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery &query = database.runQuery(sql, values);
        const QString value = query.next() ? query.value(0).toString() : QString();
        query.finish();
        return value;
    }

    NoteFilingResult file(const QString &title, const QString &catalog, const QString &relativeFile,
                          const QList<AttachListRecord> &attachments = {})
    {
        NoteFilingRequest request;
        request.title = title;
        request.catalogText = catalog;
        request.relativeFile = relativeFile;
        request.attachments = attachments;
        return NoteFiling(database).file(request);
    }
};

} // namespace

class NoteFilingTest : public QObject
{
    Q_OBJECT

private slots:
    void aSaveIsOneTransaction_data();
    void aSaveIsOneTransaction();
    void stepsAreToldInOrder();
    void refilingLeavesTheNodeTheRowNames();
    void aStoredNoteWhoseRowIsGoneIsStoredAgain();
    void titlesAreCutToTheColumn_data();
    void titlesAreCutToTheColumn();
    void sourcesAreStoredWholeOrNotAtAll_data();
    void sourcesAreStoredWholeOrNotAtAll();
    void recoveryFinishesInterruptedWork();
    void recoveryNeverTouchesFilesWithRows();
    void recoveryFilesAStoredNoteAsItsWrittenTextWasSaved_data();
    void recoveryFilesAStoredNoteAsItsWrittenTextWasSaved();
};

void NoteFilingTest::aSaveIsOneTransaction_data()
{
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<QString>("attachmentName");
    QTest::newRow("the node is refused") << QStringLiteral("Work,") + QString(600, QLatin1Char('n'))
                                         << QStringLiteral("a.txt");
    QTest::newRow("an attachment row is refused") << QStringLiteral("Work,Projects") << QString(1200, QLatin1Char('a'));
}

void NoteFilingTest::aSaveIsOneTransaction()
{
    QFETCH(QString, catalog);
    QFETCH(QString, attachmentName);
    Store s;
    try {
        s.file(QStringLiteral("Title"), catalog, QStringLiteral("d/n.html"),
               {AttachListRecord{0, attachmentName, QStringLiteral("d/attaches/"), 0}});
        QFAIL("the save was stored");
    } catch (const DbError &) {
    }
    QCOMPARE(s.count(QStringLiteral("select count(*) from tags")), 0);
    QCOMPARE(s.count(QStringLiteral("select count(*) from note")), 0);
    QCOMPARE(s.count(QStringLiteral("select count(*) from attachment")), 0);
    QVERIFY(s.database.takeChangedTags().isEmpty()); // rolled back: nothing to show
}

void NoteFilingTest::stepsAreToldInOrder()
{
    Store s;
    NoteFiling filing(s.database);
    QList<NoteFiling::Step> steps;
    filing.observer = [&](NoteFiling::Step step) { steps << step; };
    NoteFilingRequest request;
    request.title = QStringLiteral("With a file");
    request.catalogText = QStringLiteral("Work");
    request.relativeFile = QStringLiteral("d/n.html");
    request.attachments = {AttachListRecord{0, QStringLiteral("a.txt"), QStringLiteral("d/attaches/"), 0}};
    const NoteFilingResult result = filing.file(request);
    using Step = NoteFiling::Step;
    QCOMPARE(steps, QList<Step>({Step::Begun, Step::PreviousFilingReleased, Step::CatalogResolved, Step::NoteRowWritten,
                                 Step::AttachmentRowsWritten, Step::Committing, Step::Committed}));
    QCOMPARE(result.noteId, 1);
    QCOMPARE(result.attachmentIds, QList<int>({1}));
    QCOMPARE(s.count(QStringLiteral("select noteid from attachment where attid=1")), 1);
}

void NoteFilingTest::refilingLeavesTheNodeTheRowNames()
{
    Store s;
    s.file(QStringLiteral("Moving"), QStringLiteral("Work"), QStringLiteral("d/n.html"));
    // The explorer moved the note while an editor had it open with the old catalog.
    {
        Transaction transaction(s.database);
        s.database.runStatement(QStringLiteral("insert into tags values (9,'Home',1,'Home',0,1,0)"));
        s.database.runStatement(QStringLiteral("update tags set childcount=0 where tagid=1"));
        s.database.runStatement(QStringLiteral("update note set tagid=9 where noteid=1"));
        transaction.commit();
    }
    NoteFilingRequest request;
    request.noteId = 1;
    request.title = QStringLiteral("Moving");
    request.catalogText = QStringLiteral("Work,Later");
    request.relativeFile = QStringLiteral("d/n.html");
    const NoteFilingResult result = NoteFiling(s.database).file(request);
    QCOMPARE(result.noteId, 1);
    QCOMPARE(s.count(QStringLiteral("select childcount from tags where tagid=9")), 0);
    QCOMPARE(s.count(QStringLiteral("select childcount from tags where tagid=1")), 1);
    QCOMPARE(s.count(QStringLiteral("select tagid from note where noteid=1")), result.tagId);
    QCOMPARE(checkCatalogRows(s.database, s.data()).filter(QStringLiteral("stores")), QStringList());
}

void NoteFilingTest::aStoredNoteWhoseRowIsGoneIsStoredAgain()
{
    Store s;
    NoteFilingRequest request;
    request.noteId = 7; // deleted in the explorer while an editor still had it open
    request.title = QStringLiteral("Back");
    request.catalogText = QStringLiteral("Work");
    request.refile = false;
    request.relativeFile = QStringLiteral("d/n.html");
    const NoteFilingResult result = NoteFiling(s.database).file(request);
    QCOMPARE(result.noteId, 1);
    QCOMPARE(s.text(QStringLiteral("select filename from note where noteid=1")), QStringLiteral("d/n.html"));
    QCOMPARE(s.count(QStringLiteral("select childcount from tags where tagid=?"), {result.tagId}), 1);
}

void NoteFilingTest::titlesAreCutToTheColumn_data()
{
    QTest::addColumn<bool>("storedNote");
    QTest::newRow("a new note") << false;
    QTest::newRow("a stored note") << true;
}

void NoteFilingTest::titlesAreCutToTheColumn()
{
    QFETCH(bool, storedNote);
    Store s;
    QCOMPARE(s.database.noteTitleLength(), 2000);
    const QString title = QString(2100, QLatin1Char('t'));
    NoteFilingResult result =
        s.file(storedNote ? QStringLiteral("short") : title, QStringLiteral("Work"), QStringLiteral("d/n.html"));
    if (storedNote) {
        NoteFilingRequest request;
        request.noteId = result.noteId;
        request.title = title;
        request.refile = false;
        request.relativeFile = QStringLiteral("d/n.html");
        result = NoteFiling(s.database).file(request);
    }
    QCOMPARE(s.text(QStringLiteral("select title from note where noteid=?"), {result.noteId}), title.left(2000));
}

void NoteFilingTest::sourcesAreStoredWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("stored");
    const QString page = QStringLiteral("https://example.org/caf\u00e9?q=");
    QTest::newRow("an address") << page + QStringLiteral("1") << true;
    QTest::newRow("none") << QString() << false;
    QTest::newRow("as long as the column") << page + QString(4000 - page.size(), QLatin1Char('q')) << true;
    QTest::newRow("longer than the column") << page + QString(4001 - page.size(), QLatin1Char('q')) << false;
}

void NoteFilingTest::sourcesAreStoredWholeOrNotAtAll()
{
    QFETCH(QString, source);
    QFETCH(bool, stored);
    Store s;
    NoteFilingRequest request;
    request.title = QStringLiteral("Captured");
    request.catalogText = QStringLiteral("Web");
    request.relativeFile = QStringLiteral("d/n.html");
    request.source = source;
    const NoteFilingResult result = NoteFiling(s.database).file(request);
    const QString nullCount = QStringLiteral("select count(*) from note where source is null");
    QCOMPARE(s.database.noteSource(result.noteId), stored ? source : QString());
    QCOMPARE(s.count(nullCount), stored ? 0 : 1);

    // Saving the stored note again, refiled and retitled, keeps its source.
    request.noteId = result.noteId;
    request.title = QStringLiteral("Renamed");
    request.catalogText = QStringLiteral("Elsewhere");
    request.source.clear();
    NoteFiling(s.database).file(request);
    QCOMPARE(s.database.noteSource(result.noteId), stored ? source : QString());
}

void NoteFilingTest::recoveryFinishesInterruptedWork()
{
    Store s;
    // A save cut short after its note file and attachment copy were written.
    s.write(QStringLiteral("d/n.html"));
    s.write(QStringLiteral("d/attaches/a.txt"), "abc");
    s.write(QStringLiteral("d/n.html.saving"));
    PendingWork save(s.pending());
    save.record({{QStringLiteral("d/n.html.saving")},
                 {QStringLiteral("d/n.html"),
                  QStringLiteral("Interrupted"),
                  QStringLiteral("Work,Later"),
                  {QStringLiteral("d/attaches/a.txt")}}});
    // An editor that only had an attachment copy when the run ended.
    s.write(QStringLiteral("d/attaches/never.txt"), "x");
    PendingWork draft(s.pending());
    draft.record({{}, {QString(), QString(), QString(), {QStringLiteral("d/attaches/never.txt")}}});
    // A deletion cut short after its rows were gone.
    s.write(QStringLiteral("d/deleted.html"));
    PendingWork deletion(s.pending());
    deletion.record({{QStringLiteral("d/deleted.html")}, {}});

    const RecoveryReport report = recoverPendingWork(s.database, s.pending(), s.data());
    QCOMPARE(report.entries, 3);
    QCOMPARE(report.adoptedNotes, 1);
    QCOMPARE(report.removedFiles, 3);
    QVERIFY(report.problems.isEmpty());
    QCOMPARE(s.text(QStringLiteral("select title from note where filename='d/n.html'")), QStringLiteral("Interrupted"));
    QCOMPARE(s.text(QStringLiteral("select attname from attachment")), QStringLiteral("a.txt"));
    QCOMPARE(s.count(QStringLiteral("select childcount from tags where tagname='Later'")), 1);
    QVERIFY(!QFile::exists(s.data() + QStringLiteral("d/attaches/never.txt")));
    QVERIFY(!QFile::exists(s.data() + QStringLiteral("d/deleted.html")));
    QVERIFY(!QFile::exists(s.data() + QStringLiteral("d/n.html.saving")));
    QVERIFY(QDir(s.pending()).isEmpty());
    QCOMPARE(checkCatalogRows(s.database, s.data()), QStringList());
}

void NoteFilingTest::recoveryNeverTouchesFilesWithRows()
{
    Store s;
    s.write(QStringLiteral("d/kept.html"));
    s.write(QStringLiteral("d/attaches/kept.txt"), "k");
    s.file(QStringLiteral("Kept"), QStringLiteral("Work"), QStringLiteral("d/kept.html"),
           {AttachListRecord{0, QStringLiteral("kept.txt"), QStringLiteral("d/attaches/"), 0}});
    // The save committed but the run ended before its record was removed.
    PendingWork save(s.pending());
    save.record({{},
                 {QStringLiteral("d/kept.html"),
                  QStringLiteral("Kept"),
                  QStringLiteral("Work"),
                  {QStringLiteral("d/attaches/kept.txt")}}});
    const RecoveryReport report = recoverPendingWork(s.database, s.pending(), s.data());
    QCOMPARE(report.adoptedNotes, 0);
    QCOMPARE(report.removedFiles, 0);
    QCOMPARE(s.count(QStringLiteral("select count(*) from note")), 1);
    QVERIFY(QFile::exists(s.data() + QStringLiteral("d/kept.html")));
    QVERIFY(QFile::exists(s.data() + QStringLiteral("d/attaches/kept.txt")));
    QVERIFY(QDir(s.pending()).isEmpty());
}

void NoteFilingTest::recoveryFilesAStoredNoteAsItsWrittenTextWasSaved_data()
{
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("hashed");
    QTest::addColumn<bool>("refiled");
    QTest::newRow("cut short after its text was written") << true << false << true;
    QTest::newRow("cut short before") << false << false << false;
    // Between the file's replacement and the record of it.
    QTest::newRow("cut short before the write was recorded") << false << true << true;
}

void NoteFilingTest::recoveryFilesAStoredNoteAsItsWrittenTextWasSaved()
{
    QFETCH(bool, written);
    QFETCH(bool, hashed);
    QFETCH(bool, refiled);
    Store s;
    s.write(QStringLiteral("d/n.html"));
    const NoteFilingResult stored =
        s.file(QStringLiteral("Before"), QStringLiteral("Work"), QStringLiteral("d/n.html"));
    // The save again was cut short: its record, and the copy a whole-file
    // write links beside the file before its rename.
    s.write(QStringLiteral("d/n.html.Xy12Zq"));
    PendingEntry entry{{QStringLiteral("d/n.html.saving")},
                       {QStringLiteral("d/n.html"), QStringLiteral("After"), QStringLiteral("Home"), {}}};
    entry.note.noteId = stored.noteId;
    entry.note.refile = true;
    entry.note.retitle = true;
    entry.note.written = written;
    QFile text(s.data() + QStringLiteral("d/n.html"));
    QVERIFY(text.open(QIODevice::ReadOnly));
    // Without the record of the write, the file's text tells: the text recorded
    // for the save, or one it does not have.
    entry.note.textHash = versionHash(hashed ? text.readAll() : QByteArray("another text"));
    PendingWork save(s.pending());
    save.record(entry);

    const RecoveryReport report = recoverPendingWork(s.database, s.pending(), s.data());
    QCOMPARE(report.refiledNotes, refiled ? 1 : 0);
    QCOMPARE(s.text(QStringLiteral("select title from note")),
             refiled ? QStringLiteral("After") : QStringLiteral("Before"));
    QCOMPARE(s.count(QStringLiteral("select count(*) from note")), 1);
    QVERIFY(!QFile::exists(s.data() + QStringLiteral("d/n.html.Xy12Zq")));
    QVERIFY(QFile::exists(s.data() + QStringLiteral("d/n.html")));
    QVERIFY(QDir(s.pending()).isEmpty());
    QCOMPARE(checkCatalogRows(s.database, s.data()), QStringList());
}

QTEST_GUILESS_MAIN(NoteFilingTest)
#include "tst_notefiling.moc"
