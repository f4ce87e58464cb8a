// Before Qt: Xapian uses names that Qt keywords would take.
#include <xapian.h>

#include "dbdatamodule.h"
#include "indexpass.h"
#include "noterows.h"
#include "notesearcher.h"
#include "notetext.h"
#include "searchindex.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

// A program folder with notes in the real database and files, and the index
// built over them by the real pass.
struct Fixture
{
    TestProgramFolder folder;
    QString dataFolder = folder.dataFolder();
    QString indexFolder = folder.path() + QStringLiteral("index");
    TDBDataModule database{folder.databasePath()};
    SearchIndex index{indexFolder};
    NoteSearcher searcher{indexFolder};

    Fixture()
    {
        tag(1, QStringLiteral("Kitchen"), 1, QStringLiteral("Kitchen"), 0);
        tag(2, QStringLiteral("Baking"), 2, QStringLiteral("Kitchen,Baking"), 1);
        tag(3, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0);
    }

    void tag(int id, const QString &name, int deep, const QString &path, int parent)
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,0,0)"),
                              {id, name, deep, path, parent});
        transaction.commit();
    }

    void note(int id, const QString &title, int tagId, const QString &body)
    {
        const QString file = QStringLiteral("01-02-2026/%1.html").arg(id);
        QDir().mkpath(dataFolder + QStringLiteral("01-02-2026"));
        QFile html(dataFolder + file);
        QVERIFY(html.open(QIODevice::WriteOnly));
        html.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>head words</title>"
                                  "<style>p { color: gainsboro }</style></head><body>%1</body></html>")
                       .arg(body)
                       .toUtf8());
        html.close();
        Transaction transaction(database);
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {id, title, tagId, file});
        transaction.commit();
    }

    void attachment(int id, int noteId, const QString &name)
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"),
                              {id, noteId, name, QStringLiteral("01-02-2026/attaches/")});
        transaction.commit();
    }

    void build()
    {
        index.open();
        IndexPass pass(index, folder.databasePath(), dataFolder);
        std::atomic_bool cancelled = false;
        pass.run({}, cancelled);
    }

    // The same as a save does: the row as it is now, indexed at once.
    void reindex(int noteId)
    {
        const std::optional<IndexedNote> note = readIndexedNote(database, dataFolder, noteId);
        QVERIFY(note);
        index.storeNote(*note, visibleTextOfFile(dataFolder + note->fileName));
    }

    QList<int> find(const QString &query)
    {
        if (!searcher.refresh())
            return {-1};
        QList<int> ids;
        for (const SearchHit &hit : searcher.search(query, 0))
            ids << hit.note.noteId;
        return ids;
    }

    void seedRecipes()
    {
        note(1, QStringLiteral("Sourdough"), 2,
             QStringLiteral("<p>Mix the <b>flour</b> and wa&shy;ter, then the brown fox captured the starter.</p>"
                            "<div data-secret=\"zebra\" class=\"walrus\"><img alt=\"pelican\" src=\"x.png\">"
                            "Na&iuml;ve bakers</div><script>var platypus = 1;</script>"
                            "<style>.narwhal { color: red }</style><!-- a comment about lemurs -->"));
        note(2, QStringLiteral("Apple pie"), 1,
             QStringLiteral("<p>\u6211\u559c\u6b22\u82f9\u679c\u6d3e\uff0c\u4e5f\u559c\u6b22\u5496\u5561\u3002</p>"
                            "<p>Caf\u00e9 au lait, fox and brown sugar.</p>"));
        note(3, QStringLiteral("Quarterly Report"), 3, QStringLiteral("<p>Numbers<br>grew; see the figures.</p>"));
        attachment(1, 3, QStringLiteral("minutes_2026-03.pdf"));
        build();
    }
};

} // namespace

class SearchIndexTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void visibleTextLeavesOutMarkup();
    void findsWhatAReaderSees_data();
    void findsWhatAReaderSees();
    void hitsCarryTheirNoteAndBestComesFirst();
    void snippetMarksTheMatchedWords();
    void savesDeletesAndRetitlesReachTheIndex();
    void renamedNodeGivesItsNotesTheNewPath();
    void catalogPathsAreFoundByTagid();
    void passRepairsWhatTheIndexMissed();
    void passFindsChangesAcrossSlices_data();
    void passFindsChangesAcrossSlices();
    void deletedOrOutdatedIndexIsRebuilt();
    void secondWriterIsRefusedButReadersWork();
    void damageFoundAnywhereRebuildsTheIndex_data();
    void damageFoundAnywhereRebuildsTheIndex();
    void indexGivesItsSpaceBackBeforeTheDiskIsFull();

private:
    // Shared by the rows of the read-only searches.
    std::unique_ptr<Fixture> m_recipes;
};

void SearchIndexTest::initTestCase()
{
    m_recipes = std::make_unique<Fixture>();
    m_recipes->seedRecipes();
}

void SearchIndexTest::cleanupTestCase()
{
    m_recipes.reset();
}

void SearchIndexTest::visibleTextLeavesOutMarkup()
{
    const QString text = visibleText("<html><head><title>T</title><script>s()</script></head><body>"
                                     "<p>one<b>two</b></p><p>three&amp;four</p>five<br>six"
                                     "<script>hidden()</script><style>p{}</style></body></html>");
    QCOMPARE(text.simplified(), QStringLiteral("onetwo three&four five six"));
}

void SearchIndexTest::findsWhatAReaderSees_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("word in a body") << "flour" << QList<int>{1};
    QTest::newRow("stemmed form") << "captures" << QList<int>{1};
    QTest::newRow("capitalised stemmed form") << "Captures" << QList<int>{1};
    QTest::newRow("upper case") << "FLOUR" << QList<int>{1};
    QTest::newRow("two words, both required") << "flour starter" << QList<int>{1};
    QTest::newRow("two words, one missing") << "flour numbers" << QList<int>{};
    QTest::newRow("phrase") << "\"brown fox\"" << QList<int>{1};
    QTest::newRow("phrase in the other order") << "\"fox brown\"" << QList<int>{};
    QTest::newRow("Chinese inside a longer run") << QStringLiteral("\u82f9\u679c") << QList<int>{2};
    QTest::newRow("Chinese, two characters elsewhere") << QStringLiteral("\u5496\u5561") << QList<int>{2};
    QTest::newRow("Chinese not in any note") << QStringLiteral("\u9999\u8549") << QList<int>{};
    QTest::newRow("accented") << QStringLiteral("caf\u00e9") << QList<int>{2};
    QTest::newRow("accented upper case") << QStringLiteral("CAF\u00c9") << QList<int>{2};
    QTest::newRow("entity decoded") << QStringLiteral("na\u00efve") << QList<int>{1};
    QTest::newRow("soft hyphen inside a word") << "water" << QList<int>{1};
    QTest::newRow("line break separates words") << "grew" << QList<int>{3};
    QTest::newRow("title") << "sourdough" << QList<int>{1};
    QTest::newRow("title field") << "title:report" << QList<int>{3};
    QTest::newRow("catalog path") << "baking" << QList<int>{1};
    QTest::newRow("catalog field") << "catalog:kitchen" << QList<int>{1, 2};
    QTest::newRow("attachment name") << "minutes" << QList<int>{3};
    QTest::newRow("attachment extension field") << "attachment:pdf" << QList<int>{3};
    QTest::newRow("prefix") << "numb*" << QList<int>{3};
    QTest::newRow("attribute value") << "zebra" << QList<int>{};
    QTest::newRow("class name") << "walrus" << QList<int>{};
    QTest::newRow("picture text") << "pelican" << QList<int>{};
    QTest::newRow("script") << "platypus" << QList<int>{};
    QTest::newRow("style") << "narwhal" << QList<int>{};
    QTest::newRow("style in the head") << "gainsboro" << QList<int>{};
    QTest::newRow("head title") << "head" << QList<int>{};
    QTest::newRow("comment") << "lemurs" << QList<int>{};
    QTest::newRow("tag name") << "div" << QList<int>{};
    QTest::newRow("unbalanced quote") << "\"brown fox" << QList<int>{1};
    QTest::newRow("only punctuation") << "?!" << QList<int>{};
}

void SearchIndexTest::findsWhatAReaderSees()
{
    QFETCH(QString, query);
    QFETCH(QList<int>, expected);
    QList<int> found = m_recipes->find(query);
    std::sort(found.begin(), found.end());
    QCOMPARE(found, expected);
}

void SearchIndexTest::hitsCarryTheirNoteAndBestComesFirst()
{
    Fixture f;
    f.seedRecipes();
    QVERIFY(f.searcher.refresh());
    QVERIFY(f.searcher.isComplete());
    // Note 2 has "brown" once in passing; note 1 has it beside "fox" too, but the
    // title weighs more: "fox" in a title beats "fox" in a body.
    f.note(4, QStringLiteral("Fox sightings"), 3, QStringLiteral("<p>None today.</p>"));
    f.reindex(4);
    QVERIFY(f.searcher.refresh());
    int total = 0;
    const QList<SearchHit> hits = f.searcher.search(QStringLiteral("fox"), 2, &total);
    QCOMPARE(total, 3);
    QCOMPARE(hits.size(), 2);
    QCOMPARE(hits[0].note.noteId, 4);
    QCOMPARE(hits[0].note.title, QStringLiteral("Fox sightings"));
    QCOMPARE(hits[0].note.catalogPath, QStringLiteral("Work"));
    QCOMPARE(hits[0].note.fileName, QStringLiteral("01-02-2026/4.html"));
    QVERIFY(hits[0].percent >= hits[1].percent);
}

void SearchIndexTest::snippetMarksTheMatchedWords()
{
    Fixture f;
    f.seedRecipes();
    QVERIFY(f.searcher.refresh());
    QCOMPARE(f.searcher.search(QStringLiteral("captures"), 0).size(), 1);
    const QString body = visibleTextOfFile(f.dataFolder + QStringLiteral("01-02-2026/1.html"));
    const QString snippet = f.searcher.snippet(body);
    QVERIFY2(snippet.contains(QStringLiteral("<b>captured</b>")), qPrintable(snippet));
    QCOMPARE(NoteSearcher::firstMarkedWord(snippet), QStringLiteral("captured"));

    QCOMPARE(f.searcher.search(QStringLiteral("\u82f9\u679c"), 0).size(), 1);
    const QString chinese = f.searcher.snippet(visibleTextOfFile(f.dataFolder + QStringLiteral("01-02-2026/2.html")));
    QCOMPARE(NoteSearcher::firstMarkedWord(chinese), QStringLiteral("\u82f9\u679c"));

    // Text that matches nowhere in the body: its beginning, unmarked.
    QCOMPARE(f.searcher.search(QStringLiteral("sourdough"), 0).size(), 1);
    const QString opening = f.searcher.snippet(body);
    QVERIFY2(opening.startsWith(QStringLiteral("Mix the")), qPrintable(opening));
    QVERIFY(NoteSearcher::firstMarkedWord(opening).isEmpty());
}

void SearchIndexTest::savesDeletesAndRetitlesReachTheIndex()
{
    Fixture f;
    f.seedRecipes();
    // A re-save with a new body.
    QFile html(f.dataFolder + QStringLiteral("01-02-2026/3.html"));
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write("<html><body><p>Revenue of the harbour office.</p></body></html>");
    html.close();
    f.reindex(3);
    QCOMPARE(f.find(QStringLiteral("harbour")), QList<int>{3});
    QCOMPARE(f.find(QStringLiteral("figures")), QList<int>{});

    // A new title.
    {
        Transaction transaction(f.database);
        f.database.runStatement(QStringLiteral("update note set title=? where noteid=?"),
                                {QStringLiteral("Harvest festival"), 1});
        transaction.commit();
    }
    f.reindex(1);
    QCOMPARE(f.find(QStringLiteral("festival")), QList<int>{1});
    QCOMPARE(f.find(QStringLiteral("sourdough")), QList<int>{});

    // A deleted note.
    f.index.removeNote(2);
    QCOMPARE(f.find(QStringLiteral("\u82f9\u679c")), QList<int>{});
    QCOMPARE(f.find(QStringLiteral("fox")), QList<int>{1});
}

void SearchIndexTest::renamedNodeGivesItsNotesTheNewPath()
{
    Fixture f;
    f.seedRecipes();
    {
        Transaction transaction(f.database);
        f.database.runStatement(QStringLiteral("update tags set tagname=?, path=? where tagid=1"),
                                {QStringLiteral("Pantry"), QStringLiteral("Pantry")});
        f.database.runStatement(QStringLiteral("update tags set path=? where tagid=2"),
                                {QStringLiteral("Pantry,Baking")});
        transaction.commit();
    }
    const QList<NoteCatalogPath> below = readNoteCatalogPathsBelow(f.database, 1);
    QCOMPARE(below.size(), 2);
    f.index.changeCatalogPaths(below);

    QCOMPARE(f.find(QStringLiteral("kitchen")), QList<int>{});
    QList<int> pantry = f.find(QStringLiteral("pantry"));
    std::sort(pantry.begin(), pantry.end());
    QCOMPARE(pantry, QList<int>({1, 2}));
    QVERIFY(f.searcher.refresh());
    const QList<SearchHit> hits = f.searcher.search(QStringLiteral("flour"), 0);
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].note.catalogPath, QStringLiteral("Pantry,Baking"));
    // The body's words are untouched, phrases included.
    QCOMPARE(f.find(QStringLiteral("\"brown fox\"")), QList<int>{1});
    QCOMPARE(f.find(QStringLiteral("sourdough")), QList<int>{1});
}

void SearchIndexTest::catalogPathsAreFoundByTagid()
{
    Fixture f;
    // Added after the fixture's, with lower and higher ids, other scripts and an empty path.
    f.tag(40, QStringLiteral("\u5496\u5561"), 2, QStringLiteral("Kitchen,\u5496\u5561"), 1);
    f.tag(0, QStringLiteral("Inbox"), 1, QStringLiteral(""), 0);
    f.tag(17, QStringLiteral("Caf\u00e9"), 3, QStringLiteral("Kitchen,\u5496\u5561,Caf\u00e9 \U0001F600"), 40);
    const CatalogPathTable table = readTagPaths(f.database);
    QCOMPARE(table.size(), 6);
    QSqlQuery &rows = f.database.runQuery(QStringLiteral("select tagid, path from tags"));
    while (rows.next())
        QCOMPARE(table.path(rows.value(0).toInt()), rows.value(1).toString());
    rows.finish();
    QVERIFY(table.path(0).isEmpty());
    QVERIFY(table.path(5).isNull());
    QVERIFY(table.path(41).isNull());
}

void SearchIndexTest::passRepairsWhatTheIndexMissed()
{
    Fixture f;
    f.seedRecipes();
    // Changes that never reached the index: a crash right after a save.
    f.note(5, QStringLiteral("Lighthouse"), 3, QStringLiteral("<p>Keeper's log.</p>"));
    {
        Transaction transaction(f.database);
        f.database.runStatement(QStringLiteral("delete from attachment where noteid=3"));
        f.database.runStatement(QStringLiteral("delete from note where noteid=3"));
        transaction.commit();
    }
    QFile html(f.dataFolder + QStringLiteral("01-02-2026/1.html"));
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write("<html><body><p>Rye and spelt.</p></body></html>");
    QVERIFY(html.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    html.close();

    IndexPass pass(f.index, f.folder.databasePath(), f.dataFolder);
    std::atomic_bool cancelled = false;
    QList<int> reports;
    pass.run([&](int done, int total) { reports << done << total; }, cancelled);
    QCOMPARE(pass.notesToIndex(), 2);
    QCOMPARE(reports.mid(reports.size() - 2), QList<int>({2, 2}));
    QCOMPARE(f.find(QStringLiteral("lighthouse")), QList<int>{5});
    QCOMPARE(f.find(QStringLiteral("minutes")), QList<int>{});
    QCOMPARE(f.find(QStringLiteral("spelt")), QList<int>{1});
    QCOMPARE(f.find(QStringLiteral("flour")), QList<int>{});

    // Nothing left to do the next time.
    IndexPass again(f.index, f.folder.databasePath(), f.dataFolder);
    again.run({}, cancelled);
    QCOMPARE(again.notesToIndex(), 0);
}

void SearchIndexTest::passFindsChangesAcrossSlices_data()
{
    QTest::addColumn<int>("sliceSize");
    QTest::newRow("one note a slice") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("three") << 3;
    QTest::newRow("all in one") << 1000;
}

void SearchIndexTest::passFindsChangesAcrossSlices()
{
    QFETCH(int, sliceSize);
    Fixture f;
    // Gaps in the ids, so that slices and id ranges part at different places.
    for (int id : {1, 2, 3, 5, 6, 8, 9, 10, 12})
        f.note(id, QStringLiteral("Plain"), 1, QStringLiteral("<p>Walnut</p>"));
    f.build();
    {
        Transaction transaction(f.database);
        f.database.runStatement(QStringLiteral("update note set title='Renamed' where noteid in (3, 5)"));
        // Gone between two slices, and after the last row.
        f.database.runStatement(QStringLiteral("delete from note where noteid in (6, 12)"));
        transaction.commit();
    }
    f.attachment(1, 9, QStringLiteral("ledger.xlsx"));
    f.note(11, QStringLiteral("Fresh"), 1, QStringLiteral("<p>Walnut</p>"));

    IndexPass pass(f.index, f.folder.databasePath(), f.dataFolder);
    pass.setSliceSize(sliceSize);
    std::atomic_bool cancelled = false;
    QList<int> reports;
    pass.run([&](int done, int total) { reports << done << total; }, cancelled);
    QCOMPARE(pass.notesToIndex(), 4);
    QCOMPARE(reports.mid(reports.size() - 2), QList<int>({4, 4}));
    QList<int> indexed = f.index.indexedNoteIdsExcept([](int) { return false; });
    std::sort(indexed.begin(), indexed.end());
    QCOMPARE(indexed, QList<int>({1, 2, 3, 5, 8, 9, 10, 11}));
    QList<int> renamed = f.find(QStringLiteral("renamed"));
    std::sort(renamed.begin(), renamed.end());
    QCOMPARE(renamed, QList<int>({3, 5}));
    QCOMPARE(f.find(QStringLiteral("ledger")), QList<int>{9});
    QCOMPARE(f.find(QStringLiteral("fresh")), QList<int>{11});

    IndexPass again(f.index, f.folder.databasePath(), f.dataFolder);
    again.setSliceSize(sliceSize);
    again.run({}, cancelled);
    QCOMPARE(again.notesToIndex(), 0);
}

void SearchIndexTest::deletedOrOutdatedIndexIsRebuilt()
{
    Fixture f;
    f.seedRecipes();
    f.index.close();
    QVERIFY(QDir(f.indexFolder).removeRecursively());
    QCOMPARE(f.find(QStringLiteral("flour")), QList<int>{-1});
    f.build();
    QCOMPARE(f.find(QStringLiteral("flour")), QList<int>{1});

    // An index written by another format is thrown away and built anew.
    f.index.close();
    {
        Xapian::WritableDatabase old(f.indexFolder.toStdString(), Xapian::DB_OPEN);
        old.set_metadata("clipnest.format", "0");
        old.commit();
    }
    QVERIFY(!NoteSearcher(f.indexFolder).refresh());
    f.index.open();
    QCOMPARE(f.index.noteCount(), 0);
    QVERIFY(!f.index.isComplete());
    IndexPass pass(f.index, f.folder.databasePath(), f.dataFolder);
    std::atomic_bool cancelled = false;
    pass.run({}, cancelled);
    QCOMPARE(pass.notesToIndex(), 3);
    QCOMPARE(f.find(QStringLiteral("flour")), QList<int>{1});

    // A folder that is no index at all.
    f.index.close();
    QVERIFY(QDir(f.indexFolder).removeRecursively());
    QVERIFY(QDir().mkpath(f.indexFolder));
    QFile junk(f.indexFolder + QStringLiteral("/iamglass.glass"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not an index");
    junk.close();
    f.index.open();
    QCOMPARE(f.index.noteCount(), 0);
}

void SearchIndexTest::secondWriterIsRefusedButReadersWork()
{
    Fixture f;
    f.seedRecipes();
    SearchIndex second(f.indexFolder);
    try {
        second.open();
        QFAIL("a second writer opened the index");
    } catch (const SearchIndexError &error) {
        QVERIFY2(error.locked(), qPrintable(error.message()));
    }
    NoteSearcher reader(f.indexFolder);
    QVERIFY(reader.refresh());
    QCOMPARE(reader.search(QStringLiteral("flour"), 0).size(), 1);
}

void SearchIndexTest::damageFoundAnywhereRebuildsTheIndex_data()
{
    QTest::addColumn<bool>("plainFile");
    QTest::newRow("a truncated posting list") << false;
    QTest::newRow("a plain file in the index's place") << true;
}

void SearchIndexTest::damageFoundAnywhereRebuildsTheIndex()
{
    QFETCH(bool, plainFile);
    Fixture f;
    f.seedRecipes();
    f.index.close();
    if (plainFile) {
        QVERIFY(QDir(f.indexFolder).removeRecursively());
        QFile file(f.indexFolder);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not an index") > 0);
    } else {
        QFile postings(f.indexFolder + QStringLiteral("/postlist.glass"));
        QVERIFY(postings.resize(0));
        // The reader finds the damage and marks the index.
        NoteSearcher reader(f.indexFolder);
        try {
            QVERIFY(!reader.refresh() || reader.search(QStringLiteral("flour"), 0).isEmpty());
        } catch (const SearchIndexError &error) {
            QCOMPARE(error.kind(), SearchIndexError::Damaged);
        }
        QVERIFY(SearchIndex::isMarkedForRebuild(f.indexFolder));
    }
    // The next open starts from an empty index, which the pass fills.
    f.build();
    QVERIFY(!SearchIndex::isMarkedForRebuild(f.indexFolder));
    QCOMPARE(f.find(QStringLiteral("flour")), QList<int>{1});
}

void SearchIndexTest::indexGivesItsSpaceBackBeforeTheDiskIsFull()
{
    // The program folder on a small disk with little room left; the notes elsewhere.
    SmallDisk disk(40 * 1024);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    Fixture f;
    for (int id = 1; id <= 600; ++id) {
        QString body;
        for (int word = 0; word < 400; ++word)
            body += QStringLiteral("w%1x%2 ").arg(id).arg(word);
        f.note(id, QStringLiteral("Note %1").arg(id), 1, body);
    }
    const QString indexFolder = disk.path() + QStringLiteral("index");
    {
        QFile filler(disk.path() + QStringLiteral("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        QVERIFY(filler.write(QByteArray(38 * 1024 * 1024, 'f')) > 0);
    }
    SearchIndex index(indexFolder);
    index.open();
    IndexPass pass(index, f.folder.databasePath(), f.dataFolder);
    std::atomic_bool cancelled = false;
    try {
        pass.run({}, cancelled);
        QFAIL("the index filled the disk");
    } catch (const SearchIndexError &error) {
        QCOMPARE(error.kind(), SearchIndexError::NoRoom);
    }
    // Its space is given back, and the next open builds it anew.
    QVERIFY(!QFileInfo::exists(indexFolder));
    QVERIFY(SearchIndex::isMarkedForRebuild(indexFolder));
    QVERIFY(!index.isOpen());
}

QTEST_GUILESS_MAIN(SearchIndexTest)
#include "tst_searchindex.moc"
