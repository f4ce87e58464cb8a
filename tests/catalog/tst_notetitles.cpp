#include "catalogedits.h"
#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "notefiling.h"
#include "notetitles.h"
#include "testprogramfolder.h"
#include "titlesearchcounts.h"

#include <QtTest>

namespace {

// Titles that fold in unusual ways, each filed under one of three nodes.
const QStringList TrickyTitles{
    QStringLiteral("Alpha report"),
    QStringLiteral("alpha plan"),
    QStringLiteral("Café crème"),
    QStringLiteral("CAFÉ"),
    QStringLiteral("Straße"),
    QStringLiteral("STRASSE"),
    QStringLiteral("ﬁnance ﬀ"),
    QStringLiteral("FInance"),
    QStringLiteral("Ǆemal ǅ ǆ"),
    QStringLiteral("ıstanbul"),
    QStringLiteral("İstanbul"),
    QStringLiteral("ΣΟΦΊΑ σοφίας"),
    QStringLiteral("ᾳ ᾼ ᾀ"),
    QStringLiteral("cafe\u0301 decomposed"),
    QStringLiteral("emoji 😀 smile"),
    QStringLiteral("日本語のノート"),
    QStringLiteral("100% sure"),
    QStringLiteral("under_score"),
    QStringLiteral("axb a_b"),
    QStringLiteral("back\\slash"),
    QStringLiteral("  spaces  "),
    QString(""),
    QStringLiteral("µ micro ÿ ſ long"),
    QStringLiteral("\u212A kelvin k"),
    QStringLiteral("ⓐ circled"),
    QStringLiteral("ა Georgian ᏸ Cherokee"),
    QStringLiteral("Ärzte äpfel"),
    QStringLiteral("ǰ ŉ ΐ"),
};

void insertNote(TDBDataModule &database, int noteid, int tagid, const QVariant &title)
{
    database.runStatement(
        QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
        {noteid, title, tagid, QStringLiteral("f%1.html").arg(noteid)});
}

// What the engine counts for the search text, node by node, with the program's condition.
QHash<int, int> engineCounts(TDBDataModule &database, const QString &searchText)
{
    QHash<int, int> counts;
    QSqlQuery &query = database.runQuery(QStringLiteral("select tagid, count(*) from note where ") +
                                             titleHoldsSearchText() + QStringLiteral(" group by tagid"),
                                         {titleSearchPattern(searchText)});
    while (query.next())
        counts.insert(query.value(0).toInt(), query.value(1).toInt());
    query.finish();
    return counts;
}

NoteTitles loadTitles(TDBDataModule &database)
{
    NoteTitles titles;
    QSqlQuery &query = database.runQuery(QStringLiteral("select noteid, tagid, title from note"));
    titles.load(query);
    query.finish();
    return titles;
}

void fillTrickyTitles(TDBDataModule &database)
{
    Transaction transaction(database);
    for (int i = 0; i < TrickyTitles.size(); ++i)
        insertNote(database, i + 1, 1 + i % 3, TrickyTitles[i]);
    insertNote(database, TrickyTitles.size() + 1, 2, QVariant(QMetaType(QMetaType::QString)));
    transaction.commit();
}

} // namespace

class NoteTitlesTest : public QObject
{
    Q_OBJECT

private slots:
    void foldIsTheEngineUpperOfEveryCharacter();
    void countsAreTheEngines_data();
    void countsAreTheEngines();
    void tooLongSearchIsLeftToTheEngine();
    void changedNotesAreCountedAsStored();
    void searchCountsFollowEachChange_data();
    void searchCountsFollowEachChange();
};

void NoteTitlesTest::foldIsTheEngineUpperOfEveryCharacter()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    constexpr char32_t Chunk = 2000;
    for (char32_t first = 1; first <= 0x10FFFF; first += Chunk) {
        std::u32string characters;
        for (char32_t c = first; c < first + Chunk && c <= 0x10FFFF; ++c) {
            if (c < 0xD800 || c > 0xDFFF)
                characters.push_back(c);
        }
        const QString text = QString::fromUcs4(characters.data(), qsizetype(characters.size()));
        QSqlQuery &query =
            database.runQuery(QStringLiteral("select UPPER(CAST(? AS VARCHAR(4000))) from rdb$database"), {text});
        QVERIFY(query.next());
        const QList<uint> engine = query.value(0).toString().toUcs4();
        query.finish();
        QCOMPARE(engine.size(), qsizetype(characters.size()));
        for (size_t i = 0; i < characters.size(); ++i) {
            const QString one = QString::fromUcs4(&characters[i], 1);
            if (foldTitle(one) != QString::fromUcs4(reinterpret_cast<const char32_t *>(&engine[i]), 1).toUtf8())
                QFAIL(qPrintable(QStringLiteral("U+%1 folds to U+%2 in the engine")
                                     .arg(uint(characters[i]), 4, 16, QLatin1Char('0'))
                                     .arg(engine[i], 4, 16, QLatin1Char('0'))));
        }
    }
}

void NoteTitlesTest::countsAreTheEngines_data()
{
    QTest::addColumn<QString>("searchText");
    const QStringList texts{
        QStringLiteral("alpha"),  QStringLiteral("ALPHA"), QStringLiteral("é"),       QStringLiteral("É"),
        QStringLiteral("café"),   QStringLiteral("ß"),     QStringLiteral("SS"),      QStringLiteral("ss"),
        QStringLiteral("ﬁ"),      QStringLiteral("fi"),    QStringLiteral("ǆ"),       QStringLiteral("ǅ"),
        QStringLiteral("ı"),      QStringLiteral("i"),     QStringLiteral("İ"),       QStringLiteral("ς"),
        QStringLiteral("σ"),      QStringLiteral("ᾳ"),     QStringLiteral("ᾀ"),       QStringLiteral("e\u0301"),
        QStringLiteral("😀"),      QStringLiteral("_"),     QStringLiteral("%"),       QStringLiteral("a_b"),
        QStringLiteral("a%b"),    QStringLiteral("100%"),  QStringLiteral("_😀"),      QStringLiteral("%%"),
        QStringLiteral("ノート"), QStringLiteral(" "),     QStringLiteral("\\"),      QStringLiteral("µ"),
        QStringLiteral("ſ"),      QStringLiteral("k"),     QStringLiteral("ა"),       QStringLiteral("ᏸ"),
        QStringLiteral("ä"),      QStringLiteral("ⓐ"),     QStringLiteral("ǰ"),       QStringLiteral("_____"),
        QStringLiteral("a__e"),   QStringLiteral("%e%e%"), QStringLiteral("r_p%t"),   QStringLiteral("Ä%E"),
        QStringLiteral("ÿ"),      QStringLiteral("  s"),   QStringLiteral("no such"), QStringLiteral("日本語のノート!"),
    };
    for (const QString &text : texts)
        QTest::newRow(qPrintable(text)) << text;
}

void NoteTitlesTest::countsAreTheEngines()
{
    QFETCH(QString, searchText);
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    fillTrickyTitles(database);
    const NoteTitles titles = loadTitles(database);
    QCOMPARE(titles.size(), TrickyTitles.size() + 1);
    const std::optional<QHash<int, int>> counted = titles.countMatching(searchText);
    QVERIFY(counted);
    QCOMPARE(*counted, engineCounts(database, searchText));
}

void NoteTitlesTest::tooLongSearchIsLeftToTheEngine()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    fillTrickyTitles(database);
    const NoteTitles titles = loadTitles(database);
    // Characters, not UTF-16 units: 2,000 emoji still fit the engine's cast.
    const QString longest = QString(NoteTitles::LongestSearchText / 2, QLatin1Char('x')) +
                            QString(QStringLiteral("😀")).repeated(NoteTitles::LongestSearchText / 2);
    QVERIFY(titles.countMatching(longest));
    QCOMPARE(*titles.countMatching(longest), engineCounts(database, longest));
    QVERIFY(!titles.countMatching(longest + QLatin1Char('x')));
}

void NoteTitlesTest::changedNotesAreCountedAsStored()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    fillTrickyTitles(database);
    NoteTitles titles = loadTitles(database);
    const QStringList searches{QStringLiteral("alpha"), QStringLiteral("é"),          QStringLiteral("a_b"),
                               QStringLiteral("%"),     QStringLiteral("long title"), QStringLiteral("")};
    auto compareAll = [&](const char *step) {
        for (const QString &text : searches) {
            if (titles.countMatching(text) != engineCounts(database, text))
                QFAIL(qPrintable(QStringLiteral("after %1, the search %2 counts otherwise").arg(step, text)));
        }
    };

    {
        Transaction transaction(database);
        insertNote(database, 100, 3, QStringLiteral("New alpha note"));
        database.runStatement(QStringLiteral("update note set title=? where noteid=?"), {QStringLiteral("Été"), 1});
        database.runStatement(QStringLiteral("update note set tagid=? where noteid=?"), {3, 3});
        database.runStatement(QStringLiteral("delete from note where noteid=?"), {2});
        transaction.commit();
    }
    titles.refresh(database, {100, 1, 3, 2, 555});
    compareAll("an insert, a retitle, a move and a delete");

    // Many retitles of long titles make the kept buffer compact itself.
    const QString filler(1000, QLatin1Char('x'));
    {
        Transaction transaction(database);
        for (int round = 0; round < 2000; ++round) {
            const int noteid = 4 + round % 10;
            const QString title = QStringLiteral("long title %1 ").arg(round) + filler;
            database.runStatement(QStringLiteral("update note set title=? where noteid=?"), {title, noteid});
            titles.set(noteid, 1 + (noteid - 1) % 3, title);
        }
        transaction.commit();
    }
    compareAll("many retitles");

    // The highest id deleted and taken again, as new ids are the maximum plus one.
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("delete from note where noteid=?"), {100});
        insertNote(database, 100, 2, QStringLiteral("alpha again"));
        transaction.commit();
    }
    titles.remove(100);
    titles.refresh(database, {100});
    compareAll("an id taken again");

    // A title taken away and one given where there was none: each title ends
    // where the next kept one begins, so both neighbours must stay whole.
    const int untitled = int(TrickyTitles.size()) + 1;
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("update note set title=? where noteid=?"),
                              {QVariant(QMetaType(QMetaType::QString)), 5});
        database.runStatement(QStringLiteral("update note set title=? where noteid=?"),
                              {QStringLiteral("alpha from nothing"), untitled});
        transaction.commit();
    }
    titles.refresh(database, {5, untitled});
    compareAll("a title taken away and one given");
}

namespace {

enum class NoteChange {
    NewNote,
    RefiledAndRetitled,
    RetitledOnly,
    MovedToAnotherNode,
    Deleted,
    FilingRolledBack,
    SeveralBeforeOneSearch,
};

int fileNote(TDBDataModule &database, const QString &title, const QString &catalog, int noteId = 0)
{
    NoteFilingRequest request;
    request.noteId = noteId;
    request.title = title;
    request.catalogText = catalog;
    request.relativeFile = QStringLiteral("notes/%1.html").arg(title.size());
    return NoteFiling(database).file(request).noteId;
}

int tagOf(TDBDataModule &database, int noteId)
{
    return database.queryInteger(QStringLiteral("select tagid from note where noteid=?"), {noteId});
}

} // namespace

Q_DECLARE_METATYPE(NoteChange)

// The counts of a search come from the titles in memory once the first search,
// or the read on a thread of its own at start, has read them; every kind of
// change to the notes must reach them, as the operations of the program make it.
void NoteTitlesTest::searchCountsFollowEachChange_data()
{
    QTest::addColumn<NoteChange>("change");
    QTest::addColumn<bool>("readAside");
    const QList<std::pair<const char *, NoteChange>> changes{
        {"a new note", NoteChange::NewNote},
        {"a save that refiles and retitles", NoteChange::RefiledAndRetitled},
        {"a retitle in the list", NoteChange::RetitledOnly},
        {"a note dropped on another node", NoteChange::MovedToAnotherNode},
        {"a deleted note", NoteChange::Deleted},
        {"a save rolled back", NoteChange::FilingRolledBack},
        {"several changes before the next search", NoteChange::SeveralBeforeOneSearch},
    };
    for (const auto &[name, change] : changes) {
        QTest::newRow(name) << change << false;
        QTest::addRow("%s, titles read aside", name) << change << true;
    }
}

void NoteTitlesTest::searchCountsFollowEachChange()
{
    QFETCH(NoteChange, change);
    QFETCH(bool, readAside);
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    const int alpha = fileNote(database, QStringLiteral("Alpha report"), QStringLiteral("Work,Reports"));
    const int cafe = fileNote(database, QStringLiteral("Café plan"), QStringLiteral("Work,Plans"));
    const int beta = fileNote(database, QStringLiteral("beta REPORT"), QStringLiteral("Home"));
    const QStringList searches{QStringLiteral("report"), QStringLiteral("CAFÉ"), QStringLiteral("a_p"),
                               QStringLiteral("plan"), QStringLiteral("e")};

    TitleSearchCounts counts(database);
    if (readAside) {
        // The changes come while the titles are read, or after.
        counts.readTitlesAside();
    } else {
        for (const QString &text : searches)
            QCOMPARE(counts.count(text), engineCounts(database, text));
        QVERIFY(counts.titlesInMemory());
    }

    switch (change) {
    case NoteChange::NewNote:
        fileNote(database, QStringLiteral("Another report"), QStringLiteral("Work,Plans"));
        break;
    case NoteChange::RefiledAndRetitled:
        fileNote(database, QStringLiteral("Plan of the café"), QStringLiteral("Home,Kitchen"), alpha);
        break;
    case NoteChange::RetitledOnly:
        retitleNote(database, beta, QStringLiteral("beta, no longer a r-e-p-o-r-t"));
        break;
    case NoteChange::MovedToAnotherNode:
        QVERIFY(moveNote(database, cafe, tagOf(database, beta)));
        break;
    case NoteChange::Deleted:
        deleteNote(database, alpha);
        break;
    case NoteChange::FilingRolledBack: {
        NoteFilingRequest request;
        request.noteId = beta;
        request.title = QStringLiteral("never stored");
        request.catalogText = QStringLiteral("Elsewhere");
        request.relativeFile = QStringLiteral("notes/beta.html");
        NoteFiling filing(database);
        filing.observer = [](NoteFiling::Step step) {
            if (step == NoteFiling::Step::Committing)
                throw DbError(QStringLiteral("stopped before the commit"));
        };
        QVERIFY_THROWS_EXCEPTION(DbError, filing.file(request));
        break;
    }
    case NoteChange::SeveralBeforeOneSearch:
        deleteNote(database, cafe);
        fileNote(database, QStringLiteral("Café report"), QStringLiteral("Work,Reports"));
        retitleNote(database, alpha, QStringLiteral("Plan A"));
        QVERIFY(moveNote(database, beta, tagOf(database, alpha)));
        break;
    }

    for (const QString &text : searches) {
        if (counts.count(text) != engineCounts(database, text))
            QFAIL(qPrintable(QStringLiteral("the search \"%1\" counts otherwise than the engine").arg(text)));
    }
    QVERIFY(counts.titlesInMemory());
}

CLIPNEST_TEST_MAIN(NoteTitlesTest)
#include "tst_notetitles.moc"
