#include "appcontext.h"
#include "catalogedits.h"
#include "catalogrowcheck.h"
#include "dbdatamodule.h"
#include "notefiling.h"
#include "notehistory.h"
#include "notetrash.h"
#include "pendingrecovery.h"
#include "pendingwork.h"
#include "testprogramfolder.h"
#include "trashmove.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString Day = QStringLiteral("03-12-2026/");

struct Collection
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};
    NoteTrash trash{database, context};

    QString data() const { return context.dataFolder; }

    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(data() + relative).absolutePath());
        QFile file(data() + relative);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // A note with a picture of its own, one it shares (when asked) and an attachment.
    int note(const QString &name, const QString &catalog, bool sharesPicture = false)
    {
        const QString file = Day + name + QStringLiteral(".html");
        QByteArray body = "<html><body><img src=\"images/" + name.toUtf8() + ".png\">";
        if (sharesPicture)
            body += "<img src=\"images/shared.png\">";
        write(file, body + "</body></html>\n");
        write(Day + QStringLiteral("images/") + name + QStringLiteral(".png"), "picture");
        write(Day + QStringLiteral("attaches/") + name + QStringLiteral(".txt"), "attached");
        NoteFilingRequest request;
        request.title = name;
        request.catalogText = catalog;
        request.relativeFile = file;
        request.attachments << AttachListRecord{0, name + QStringLiteral(".txt"), Day + QStringLiteral("attaches/"), 0};
        const int noteId = NoteFiling(database).file(request).noteId;
        NoteHistory(data(), noteId).keep("an earlier text", QDateTime::currentDateTime());
        return noteId;
    }

    int count(const QString &sql, const QVariantList &values = {}) { return database.queryInteger(sql, values); }

    QStringList problems() { return checkCatalogRows(database, data(), RowCheckOptions{false, context.programFolder}); }

    bool hasHistory(int noteId) { return notesWithHistory(data()).contains(noteId); }
};

} // namespace

class NoteTrashTest : public QObject
{
    Q_OBJECT

private slots:
    void trashAndRestore_data();
    void trashAndRestore();
    void destroyingForgetsEverything_data();
    void destroyingForgetsEverything();
    void startUpEmptiesOldNotes_data();
    void startUpEmptiesOldNotes();
    void newIdsGoPastTrashedOnes();
    void olderFilesGetTheTables();
    void recoveryEndsOnOneSide_data();
    void recoveryEndsOnOneSide();
};

void NoteTrashTest::trashAndRestore_data()
{
    QTest::addColumn<bool>("deleteNodeMeanwhile");
    QTest::addColumn<bool>("sharesPicture");
    QTest::newRow("node still there") << false << false;
    QTest::newRow("node deleted meanwhile") << true << false;
    QTest::newRow("picture shared with another note") << false << true;
}

void NoteTrashTest::trashAndRestore()
{
    QFETCH(bool, deleteNodeMeanwhile);
    QFETCH(bool, sharesPicture);
    Collection c;
    if (sharesPicture) {
        c.note(QStringLiteral("other"), QStringLiteral("Home"), true);
        c.write(Day + QStringLiteral("images/shared.png"), "shared");
    }
    const int noteId = c.note(QStringLiteral("n"), QStringLiteral("Work,Plans"), sharesPicture);
    const QStringList files{Day + QStringLiteral("n.html"), Day + QStringLiteral("attaches/n.txt")};
    QStringList pictures{Day + QStringLiteral("images/n.png")};
    if (sharesPicture)
        pictures << Day + QStringLiteral("images/shared.png");

    QVERIFY(c.trash.trash(noteId));
    QCOMPARE(c.count(QStringLiteral("select count(*) from note where noteid=?"), {noteId}), 0);
    QCOMPARE(c.count(QStringLiteral("select childcount from tags where path='Work'")), 0);
    QCOMPARE(c.trash.count(), 1);
    QCOMPARE(c.trash.notes().first().catalogPath, QStringLiteral("Work,Plans"));
    for (const QString &file : files) {
        QVERIFY2(!QFileInfo::exists(c.data() + file), qPrintable(file));
        QVERIFY2(QFileInfo::exists(c.trash.folderOf(noteId) + file), qPrintable(file));
    }
    // Pictures go with the note as copies: their names stay taken in the day folder.
    for (const QString &picture : std::as_const(pictures)) {
        QVERIFY2(QFileInfo::exists(c.data() + picture), qPrintable(picture));
        QVERIFY2(QFileInfo::exists(c.trash.folderOf(noteId) + picture), qPrintable(picture));
    }
    QVERIFY(c.hasHistory(noteId));
    QCOMPARE(c.problems(), QStringList());

    if (deleteNodeMeanwhile) {
        const int plans = c.count(QStringLiteral("select tagid from tags where tagname='Plans'"));
        QCOMPARE(deleteTag(c.database, plans), DeleteTagOutcome::Deleted);
    }
    const int tagId = c.trash.restore(noteId);
    QVERIFY(tagId > 0);
    QCOMPARE(c.count(QStringLiteral("select tagid from note where noteid=?"), {noteId}), tagId);
    QCOMPARE(c.count(QStringLiteral("select count(*) from tags where tagname='Plans' and tagid=?"), {tagId}), 1);
    QCOMPARE(c.count(QStringLiteral("select count(*) from attachment where noteid=?"), {noteId}), 1);
    QCOMPARE(c.trash.count(), 0);
    for (const QString &file : files + pictures)
        QVERIFY2(QFileInfo::exists(c.data() + file), qPrintable(file));
    QVERIFY(!QFileInfo::exists(c.trash.folderOf(noteId)));
    QVERIFY(c.hasHistory(noteId));
    QCOMPARE(c.problems(), QStringList());
}

void NoteTrashTest::destroyingForgetsEverything_data()
{
    QTest::addColumn<bool>("empty");
    QTest::newRow("delete one") << false;
    QTest::newRow("empty the trash") << true;
}

void NoteTrashTest::destroyingForgetsEverything()
{
    QFETCH(bool, empty);
    Collection c;
    c.write(Day + QStringLiteral("images/shared.png"), "shared");
    const int first = c.note(QStringLiteral("a"), QStringLiteral("Work"), true);
    const int second = c.note(QStringLiteral("b"), QStringLiteral("Work"));
    c.note(QStringLiteral("kept"), QStringLiteral("Home"), true);
    QVERIFY(c.trash.trash(first));
    QVERIFY(c.trash.trash(second));
    if (empty)
        QCOMPARE(c.trash.empty(), 2);
    else
        QVERIFY(c.trash.destroy(first));
    QCOMPARE(c.trash.count(), empty ? 0 : 1);
    QCOMPARE(c.count(QStringLiteral("select count(*) from trashedattachment")), empty ? 0 : 1);
    QVERIFY(!QFileInfo::exists(c.trash.folderOf(first)));
    // Its own picture goes from the day folder; one a stored note shows stays.
    QVERIFY(!QFileInfo::exists(c.data() + Day + QStringLiteral("images/a.png")));
    QVERIFY(QFileInfo::exists(c.data() + Day + QStringLiteral("images/shared.png")));
    QCOMPARE(QFileInfo::exists(c.data() + Day + QStringLiteral("images/b.png")), !empty);
    QVERIFY(!c.hasHistory(first));
    QCOMPARE(c.hasHistory(second), !empty);
    QCOMPARE(c.problems(), QStringList());
}

void NoteTrashTest::startUpEmptiesOldNotes_data()
{
    QTest::addColumn<int>("trashDays");
    QTest::addColumn<int>("daysAgo");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a day past the setting") << 30 << 31 << false;
    QTest::newRow("a day within it") << 30 << 29 << true;
    QTest::newRow("a setting of its own") << 7 << 8 << false;
    QTest::newRow("0 keeps for ever") << 0 << 400 << true;
}

void NoteTrashTest::startUpEmptiesOldNotes()
{
    QFETCH(int, trashDays);
    QFETCH(int, daysAgo);
    QFETCH(bool, kept);
    Collection c;
    const QDateTime now(QDate(2026, 12, 11), QTime(9, 0));
    const int noteId = c.note(QStringLiteral("n"), QStringLiteral("Work"));
    QVERIFY(c.trash.trash(noteId, now.addDays(-daysAgo)));
    // What a destruction cut short left: a folder without its row.
    QDir().mkpath(c.trash.folderOf(999) + Day);
    QCOMPARE(c.trash.settle(trashDays, now), kept ? 0 : 1);
    QCOMPARE(c.trash.count(), kept ? 1 : 0);
    QCOMPARE(c.hasHistory(noteId), kept);
    QVERIFY(!QFileInfo::exists(c.trash.folderOf(999)));
    QCOMPARE(c.problems(), QStringList());
}

void NoteTrashTest::newIdsGoPastTrashedOnes()
{
    Collection c;
    const int noteId = c.note(QStringLiteral("n"), QStringLiteral("Work"));
    const int attachmentId = c.count(QStringLiteral("select max(attid) from attachment"));
    QVERIFY(c.trash.trash(noteId));
    // Its history is kept by its id: no new note may take it.
    QCOMPARE(c.database.nextNoteId(), noteId + 1);
    QCOMPARE(c.database.nextAttachmentId(), attachmentId + 1);
}

void NoteTrashTest::olderFilesGetTheTables()
{
    TestProgramFolder folder;
    {
        TDBDataModule database(folder.databasePath());
        database.runStatement(QStringLiteral("drop table trashedattachment"));
        database.runStatement(QStringLiteral("drop table trashednote"));
        database.commit();
    }
    TDBDataModule reading(folder.databasePath(), TDBDataModule::Use::Reading);
    QVERIFY(!reading.hasTrashTables());
    TDBDataModule working(folder.databasePath());
    QVERIFY(working.hasTrashTables());
    QCOMPARE(working.queryInteger(QStringLiteral("select count(*) from trashednote")), 0);
}

void NoteTrashTest::recoveryEndsOnOneSide_data()
{
    QTest::addColumn<bool>("intoTrash");
    QTest::addColumn<bool>("committed");
    QTest::newRow("into the trash, rows not committed") << true << false;
    QTest::newRow("into the trash, committed") << true << true;
    QTest::newRow("out of the trash, rows not committed") << false << false;
    QTest::newRow("out of the trash, committed") << false << true;
}

// A run killed between the file moves and the end of the work: the next start
// leaves every file on the side its committed rows say.
void NoteTrashTest::recoveryEndsOnOneSide()
{
    QFETCH(bool, intoTrash);
    QFETCH(bool, committed);
    Collection c;
    const int noteId = c.note(QStringLiteral("n"), QStringLiteral("Work"));
    if (!intoTrash)
        QVERIFY(c.trash.trash(noteId));
    TrashMove move;
    if (!committed) {
        // Recorded and moved, as the work does before its rows.
        move.direction = intoTrash ? TrashMove::Direction::IntoTrash : TrashMove::Direction::OutOfTrash;
        move.noteId = noteId;
        move.noteFolder = c.trash.folderOf(noteId);
        move.files = {Day + QStringLiteral("n.html"), Day + QStringLiteral("images/n.png"),
                      Day + QStringLiteral("attaches/n.txt")};
        move.shared = {Day + QStringLiteral("images/n.png")};
        PendingWork pending(c.context.pendingFolder());
        pending.record({{}, {}, move});
        QCOMPARE(carryTrashMove(move, c.data()), QString());
    } else {
        if (intoTrash)
            QVERIFY(c.trash.trash(noteId));
        else
            QVERIFY(c.trash.restore(noteId) > 0);
        // The rows were committed but the entry outlived the run.
        move.direction = intoTrash ? TrashMove::Direction::IntoTrash : TrashMove::Direction::OutOfTrash;
        move.noteId = noteId;
        move.noteFolder = c.trash.folderOf(noteId);
        PendingWork(c.context.pendingFolder()).record({{}, {}, move});
        if (!intoTrash)
            QDir().mkpath(move.noteFolder + Day);
    }
    recoverPendingWork(c.database, c.context.pendingFolder(), c.data());
    c.trash.settle(30);
    const bool trashed = intoTrash == committed;
    QCOMPARE(c.trash.count(), trashed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(c.data() + Day + QStringLiteral("n.html")), !trashed);
    QCOMPARE(QFileInfo::exists(c.trash.folderOf(noteId)), trashed);
    QVERIFY(c.hasHistory(noteId));
    QCOMPARE(c.problems(), QStringList());
}

CLIPNEST_TEST_MAIN(NoteTrashTest)
#include "tst_notetrash.moc"
