#include "catalogedits.h"
#include "catalogrowcheck.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "notefiling.h"
#include "tagpaths.h"
#include "testprogramfolder.h"

#include <QtTest>

namespace {

struct Catalog
{
    TestProgramFolder folder;
    TDBDataModule database{folder.databasePath()};

    void tag(int id, const QString &name, int deep, const QString &path, int parent, int childcount)
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,0)"),
                              {id, name, deep, path, parent, childcount});
        transaction.commit();
    }

    void note(int id, int tagId)
    {
        Transaction transaction(database);
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {id, QStringLiteral("Note %1").arg(id), tagId, QStringLiteral("x/%1.html").arg(id)});
        transaction.commit();
    }

    void run(const QString &sql)
    {
        Transaction transaction(database);
        database.runStatement(sql);
        transaction.commit();
    }

    int count(const QString &sql) { return database.queryInteger(sql); }

    QString path(int tagId)
    {
        QSqlQuery &query = database.runQuery(QStringLiteral("select path from tags where tagid=?"), {tagId});
        const QString text = query.next() ? query.value(0).toString() : QStringLiteral("(none)");
        query.finish();
        return text;
    }

    // The counts, levels, parents and paths agree; files are not looked at here.
    QStringList catalogProblems()
    {
        QStringList problems = checkCatalogRows(database, folder.dataFolder());
        problems.removeIf([](const QString &problem) { return problem.startsWith(QLatin1String("the file of")); });
        return problems;
    }

    // Work(2) > Projects(2) > Alpha(1), one note in Projects and one in Alpha; Home(0).
    void seed()
    {
        tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 2);
        tag(2, QStringLiteral("Projects"), 2, QStringLiteral("Work,Projects"), 1, 2);
        tag(3, QStringLiteral("Alpha"), 3, QStringLiteral("Work,Projects,Alpha"), 2, 1);
        tag(4, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0);
        note(1, 2);
        note(2, 3);
    }
};

} // namespace

class CatalogEditsTest : public QObject
{
    Q_OBJECT

private slots:
    void walksStopAtLoops_data();
    void walksStopAtLoops();
    void countsMoveRelativeToTheRows();
    void deletingANodeIsDecidedFromTheRows();
    void pathsMatchWithoutLetterCase_data();
    void pathsMatchWithoutLetterCase();
    void renameIsOneTransaction();
    void moveRefusesToGoBelowItself();
    void noteFilesNeverLeaveTheDataFolder_data();
    void noteFilesNeverLeaveTheDataFolder();
};

void CatalogEditsTest::walksStopAtLoops_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("refiling a note") << QStringLiteral("refile");
    QTest::newRow("moving a note") << QStringLiteral("move note");
    QTest::newRow("deleting a note") << QStringLiteral("delete note");
    QTest::newRow("moving a node") << QStringLiteral("move node");
    QTest::newRow("resolving a path") << QStringLiteral("resolve");
}

void CatalogEditsTest::walksStopAtLoops()
{
    QFETCH(QString, operation);
    Catalog c;
    // Two rows that are each other's parent, a note filed under one of them.
    c.tag(1, QStringLiteral("A"), 2, QStringLiteral("B,A"), 2, 1);
    c.tag(2, QStringLiteral("B"), 2, QStringLiteral("A,B"), 1, 1);
    c.tag(3, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0);
    c.note(1, 1);
    const QString rowsBefore = c.path(1) + c.path(2);
    QElapsedTimer clock;
    clock.start();
    try {
        if (operation == QLatin1String("refile")) {
            NoteFilingRequest request;
            request.noteId = 1;
            request.title = QStringLiteral("Note 1");
            request.catalogText = QStringLiteral("Home");
            request.relativeFile = QStringLiteral("x/1.html");
            NoteFiling(c.database).file(request);
        } else if (operation == QLatin1String("move note")) {
            moveNote(c.database, 1, 3);
        } else if (operation == QLatin1String("delete note")) {
            deleteNote(c.database, 1);
        } else if (operation == QLatin1String("move node")) {
            moveTag(c.database, 3, 1);
        } else {
            QCOMPARE(ResolveTagPath(c.database, QStringLiteral("Home"), 1, QStringLiteral("B,A")), 0);
            Transaction transaction(c.database);
            fileUnderTagPath(c.database, QStringLiteral("Home"), 1, QStringLiteral("B,A"));
        }
        QFAIL("the loop was not reported");
    } catch (const CatalogLoopError &error) {
        QVERIFY(error.tagid() == 1 || error.tagid() == 2);
        QVERIFY(!error.message().isEmpty());
    }
    QVERIFY(clock.elapsed() < 5000);
    // Nothing of the operation is stored.
    QCOMPARE(c.count(QStringLiteral("select tagid from note where noteid=1")), 1);
    QCOMPARE(c.count(QStringLiteral("select sum(childcount) from tags")), 2);
    QCOMPARE(c.path(1) + c.path(2), rowsBefore);
    QCOMPARE(c.count(QStringLiteral("select count(*) from tags")), 3);
}

void CatalogEditsTest::countsMoveRelativeToTheRows()
{
    Catalog c;
    c.seed();
    // Another save counted a note meanwhile; what the caller read earlier is stale.
    c.note(3, 3);
    c.run(QStringLiteral("update tags set childcount=childcount+1 where tagid in (1,2,3)"));
    QVERIFY(moveTag(c.database, 3, 4)); // Alpha, now with 2 notes, goes below Home
    QVERIFY(moveNote(c.database, 1, 4));
    QVERIFY(!moveNote(c.database, 1, 4)); // already there: nothing moves
    deleteNote(c.database, 2);
    QCOMPARE(c.catalogProblems(), QStringList());
    QCOMPARE(c.count(QStringLiteral("select childcount from tags where tagid=4")), 2);
    QCOMPARE(c.count(QStringLiteral("select childcount from tags where tagid=1")), 0);
    const QSet<int> marked = c.database.takeChangedTags();
    QVERIFY(marked.contains(1) && marked.contains(2) && marked.contains(3) && marked.contains(4));
}

void CatalogEditsTest::deletingANodeIsDecidedFromTheRows()
{
    Catalog c;
    c.seed();
    // Drifted counts: Home claims notes it does not hold, Alpha claims none but holds one.
    c.run(QStringLiteral("update tags set childcount=5 where tagid=4"));
    c.run(QStringLiteral("update tags set childcount=0 where tagid=3"));
    QCOMPARE(deleteTag(c.database, 3), DeleteTagOutcome::NotEmpty);
    QCOMPARE(deleteTag(c.database, 2), DeleteTagOutcome::NotEmpty); // a node below it
    QCOMPARE(deleteTag(c.database, 4), DeleteTagOutcome::Deleted);
    QCOMPARE(deleteTag(c.database, 4), DeleteTagOutcome::Missing);
    c.tag(5, QStringLiteral("UNTAGGED"), 1, QStringLiteral("untagged"), 0, 0);
    QCOMPARE(deleteTag(c.database, 5), DeleteTagOutcome::Protected);
    QCOMPARE(c.count(QStringLiteral("select count(*) from note n where not exists "
                                    "(select 1 from tags t where t.tagid = n.tagid)")),
             0);
}

void CatalogEditsTest::pathsMatchWithoutLetterCase_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("workPath");
    QTest::addColumn<QString>("projectsPath");
    QTest::addColumn<QString>("alphaPath");
    // The resolver wrote the leaves' paths as typed, lower-cased.
    QTest::newRow("rename the top") << QStringLiteral("rename 1 Plans") << QStringLiteral("Plans")
                                    << QStringLiteral("Plans,projects") << QStringLiteral("Plans,projects,alpha");
    QTest::newRow("rename a lower-cased leaf") << QStringLiteral("rename 2 Ideas") << QStringLiteral("Work")
                                               << QStringLiteral("work,Ideas") << QStringLiteral("work,Ideas,alpha");
    QTest::newRow("move below another") << QStringLiteral("move 2 4") << QStringLiteral("Work")
                                        << QStringLiteral("Home,projects") << QStringLiteral("Home,projects,alpha");
    QTest::newRow("move a top node") << QStringLiteral("move 1 4") << QStringLiteral("Home,Work")
                                     << QStringLiteral("Home,work,projects")
                                     << QStringLiteral("Home,work,projects,alpha");
}

void CatalogEditsTest::pathsMatchWithoutLetterCase()
{
    QFETCH(QString, operation);
    QFETCH(QString, workPath);
    QFETCH(QString, projectsPath);
    QFETCH(QString, alphaPath);
    Catalog c;
    c.seed();
    c.run(QStringLiteral("update tags set path='work,projects' where tagid=2"));
    c.run(QStringLiteral("update tags set path='work,projects,alpha' where tagid=3"));
    const QStringList words = operation.split(QLatin1Char(' '));
    if (words[0] == QLatin1String("rename"))
        renameTag(c.database, words[1].toInt(), words[2]);
    else
        QVERIFY(moveTag(c.database, words[1].toInt(), words[2].toInt()));
    QCOMPARE(c.path(1), workPath);
    QCOMPARE(c.path(2), projectsPath);
    QCOMPARE(c.path(3), alphaPath);
    QCOMPARE(c.catalogProblems(), QStringList());
}

void CatalogEditsTest::renameIsOneTransaction()
{
    Catalog c;
    // Eight levels of long names and a short one below: the deepest path nearly fills its column.
    QString path;
    for (int level = 1; level <= 9; ++level) {
        const QString name = level < 9 ? QString(495, QLatin1Char('a')) : QString(30, QLatin1Char('z'));
        path = path.isEmpty() ? name : path + QLatin1Char(',') + name;
        c.tag(10 + level, name, level, path, level == 1 ? 0 : 9 + level, 0);
    }
    const QString deepest = c.path(19);
    // A longer top name makes the deepest path overflow: the rename fails as a whole.
    try {
        renameTag(c.database, 11, QString(499, QLatin1Char('b')));
        QFAIL("the overlong path was stored");
    } catch (const DbError &) {
    }
    QCOMPARE(c.path(11), QString(495, QLatin1Char('a')));
    QCOMPARE(c.path(19), deepest);
    QCOMPARE(c.count(QStringLiteral("select count(*) from tags where tagname starting with 'b'")), 0);
}

void CatalogEditsTest::moveRefusesToGoBelowItself()
{
    Catalog c;
    c.seed();
    QVERIFY(!moveTag(c.database, 1, 3));
    QVERIFY(!moveTag(c.database, 2, 2));
    QVERIFY(!moveTag(c.database, 9, 1));
    QCOMPARE(c.path(3), QStringLiteral("Work,Projects,Alpha"));
    QCOMPARE(c.catalogProblems(), QStringList());
}

void CatalogEditsTest::noteFilesNeverLeaveTheDataFolder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("attachmentFolder");
    QTest::addColumn<QString>("attachmentName");
    QTest::addColumn<QStringList>("removable");
    QTest::newRow("inside") << QStringLiteral("12-01-2026\\1.html") << QStringLiteral("12-01-2026\\attaches\\")
                            << QStringLiteral("a.pdf")
                            << QStringList{QStringLiteral("12-01-2026/1.html"),
                                           QStringLiteral("12-01-2026/attaches/a.pdf")};
    QTest::newRow("climbing out") << QStringLiteral("../../../victim/precious.txt")
                                  << QStringLiteral("../../../victim/") << QStringLiteral("precious.txt")
                                  << QStringList();
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << QStringLiteral("/etc/") << QStringLiteral("passwd")
                              << QStringList();
    QTest::newRow("name climbing out") << QStringLiteral("a/../../x.html") << QStringLiteral("a/")
                                       << QStringLiteral("../../x") << QStringList();
    QTest::newRow("the data folder itself")
        << QStringLiteral("./") << QStringLiteral("./") << QStringLiteral(".") << QStringList();
}

void CatalogEditsTest::noteFilesNeverLeaveTheDataFolder()
{
    QFETCH(QString, file);
    QFETCH(QString, attachmentFolder);
    QFETCH(QString, attachmentName);
    QFETCH(QStringList, removable);
    Catalog c;
    c.seed();
    Transaction transaction(c.database);
    c.database.runStatement(QStringLiteral("update note set filename=? where noteid=1"), {file});
    c.database.runStatement(QStringLiteral("insert into attachment values (1, 1, ?, ?)"),
                            {attachmentName, attachmentFolder});
    transaction.commit();
    QCOMPARE(noteFiles(c.database, 1), removable);
}

QTEST_GUILESS_MAIN(CatalogEditsTest)
#include "tst_catalogedits.moc"
