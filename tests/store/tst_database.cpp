#include "dbdatamodule.h"
#include "dberror.h"
#include "pagecache.h"
#include "testprogramfolder.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class DatabaseTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyTablesGiveFirstIdOne();
    void deletingTheHighestIdLetsItBeReused();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void failedOperationRollsBack();
    void catalogPathsHoldOneEntryPerRow();
    void missingFileReportsTheEngineMessage();
    void idMaximumIsReadFromAnIndex_data();
    void idMaximumIsReadFromAnIndex();
    void olderFilesGetTheIdIndexes();
    void readOnlyFileOpensWithoutThem();
    void olderFilesGetTheSourceColumn();
    void pageCacheIsSizedWithoutChangingTheFile();
};

namespace {

const QStringList IdIndexes{QStringLiteral("TAGS_TAGID_DESC"), QStringLiteral("NOTE_NOTEID_DESC"),
                            QStringLiteral("ATTACHMENT_ATTID_DESC")};

QStringList presentIdIndexes(TDBDataModule &database)
{
    QStringList present;
    for (const QString &name : IdIndexes) {
        if (database.queryInteger(QStringLiteral("select count(*) from rdb$indices where rdb$index_name=?"), {name}))
            present << name;
    }
    return present;
}

// A file as an older copy of the program made it: without the id indexes.
void dropIdIndexes(const QString &databasePath)
{
    TDBDataModule database(databasePath);
    for (const QString &name : IdIndexes) {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("drop index ") + name);
        transaction.commit();
    }
}

// A file as an older copy of the program made it: notes without their source.
void dropSourceColumn(const QString &databasePath)
{
    TDBDataModule database(databasePath, TDBDataModule::Use::Reading);
    Transaction transaction(database);
    database.runStatement(QStringLiteral("alter table note drop source"));
    transaction.commit();
}

QStringList noteColumns(TDBDataModule &database)
{
    QStringList columns;
    QSqlQuery &query = database.runQuery(QStringLiteral("select trim(rdb$field_name) from rdb$relation_fields where "
                                                        "rdb$relation_name = 'NOTE' order by rdb$field_position"));
    while (query.next())
        columns << query.value(0).toString();
    query.finish();
    return columns;
}

// Runs a Firebird command-line tool on the file and answers its output.
QString runTool(const QString &tool, const QStringList &arguments, const QByteArray &input = {})
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return QStringLiteral("%1 is not installed").arg(tool);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAll());
}

} // namespace

void DatabaseTest::emptyTablesGiveFirstIdOne()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    QCOMPARE(database.nextTagId(), 1);
    QCOMPARE(database.nextNoteId(), 1);
    QCOMPARE(database.nextAttachmentId(), 1);
}

void DatabaseTest::deletingTheHighestIdLetsItBeReused()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    {
        Transaction transaction(database);
        for (int i = 0; i < 3; ++i)
            database.runStatement(
                QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
                {database.nextNoteId(), QStringLiteral("n"), 1, QStringLiteral("f")});
        transaction.commit();
    }
    QCOMPARE(database.nextNoteId(), 4);
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("delete from note where noteid=?"), {3});
        transaction.commit();
    }
    QCOMPARE(database.nextNoteId(), 3);
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("delete from note where noteid=?"), {1});
        transaction.commit();
    }
    // Only the maximum counts: a gap lower down is not filled.
    QCOMPARE(database.nextNoteId(), 3);
}

void DatabaseTest::textsRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("apostrophe") << QStringLiteral("Tom's notes");
    QTest::newRow("quotes and percent") << QStringLiteral("'';-- 100% \"x\"");
    QTest::newRow("chinese") << QStringLiteral("工作笔记，项目");
    QTest::newRow("mixed") << QStringLiteral("Ünïcode 日本語 'é'");
}

void DatabaseTest::textsRoundTrip()
{
    QFETCH(QString, text);
    TestProgramFolder folder;
    {
        TDBDataModule database(folder.databasePath());
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                              {database.nextTagId(), text, 1, text, 0, 1, 0});
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {database.nextNoteId(), text, 1, text + QStringLiteral("/x.html")});
        transaction.commit();
    }
    // Read back through a fresh connection, so nothing comes from a cache.
    TDBDataModule database(folder.databasePath());
    QSqlQuery &tags = database.runQuery(QStringLiteral("select * from tags where upper(tagname)=upper(?)"), {text});
    QVERIFY(tags.next());
    QCOMPARE(fieldText(tags, "tagname"), text);
    QCOMPARE(fieldText(tags, "path"), text);
    QSqlQuery &notes = database.runQuery(QStringLiteral("select * from note where UPPER(title) like ?"),
                                         {QStringLiteral("%") + text.toUpper() + QStringLiteral("%")});
    QVERIFY(notes.next());
    QCOMPARE(fieldText(notes, "title"), text);
    QVERIFY(notes.value(QStringLiteral("createdate")).toDateTime().isValid());
}

void DatabaseTest::failedOperationRollsBack()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    try {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                              {1, QStringLiteral("A"), 1, QStringLiteral("A"), 0, 0, 0});
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                              {1, QStringLiteral("Duplicate"), 1, QStringLiteral("B"), 0, 0, 0});
        transaction.commit();
        QFAIL("a duplicate key was accepted");
    } catch (const DbError &error) {
        QVERIFY(!error.message().isEmpty());
    }
    QVERIFY(!database.inTransaction());
    QCOMPARE(database.queryInteger(QStringLiteral("select count(*) from tags")), 0);
}

void DatabaseTest::catalogPathsHoldOneEntryPerRow()
{
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    QVERIFY(database.loadCatalogPaths().isEmpty());
    Transaction transaction(database);
    const QString insert = QStringLiteral("insert into tags values (?,?,?,?,?,?,?)");
    database.runStatement(insert, {1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 0, 0});
    database.runStatement(insert, {2, QStringLiteral("Alpha"), 2, QStringLiteral("Work,Alpha"), 1, 0, 0});
    database.runStatement(insert, {3, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 0, 0});
    transaction.commit();
    QCOMPARE(database.loadCatalogPaths(),
             QStringList({QStringLiteral("Work"), QStringLiteral("Work,Alpha"), QStringLiteral("Work")}));
}

void DatabaseTest::missingFileReportsTheEngineMessage()
{
    TestProgramFolder folder;
    const QString missing = folder.path() + QStringLiteral("nowhere.fdb");
    try {
        TDBDataModule database(missing);
        QFAIL("a missing database file was opened");
    } catch (const DbError &error) {
        QVERIFY2(error.message().contains(missing), qPrintable(error.message()));
    }
    // A file that is not a database is refused too.
    QFile junk(folder.path() + QStringLiteral("junk.fdb"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    QVERIFY_THROWS_EXCEPTION(DbError, TDBDataModule(junk.fileName()));
}

void DatabaseTest::idMaximumIsReadFromAnIndex_data()
{
    QTest::addColumn<QString>("maximum");
    QTest::addColumn<QString>("plan");
    QTest::newRow("tags") << QStringLiteral("select max(tagid) as tid from tags;")
                          << QStringLiteral("PLAN (TAGS ORDER TAGS_TAGID_DESC)");
    QTest::newRow("note") << QStringLiteral("select max(noteid) as nid from note;")
                          << QStringLiteral("PLAN (NOTE ORDER NOTE_NOTEID_DESC)");
    QTest::newRow("attachment") << QStringLiteral("select max(attid) as aid from attachment;")
                                << QStringLiteral("PLAN (ATTACHMENT ORDER ATTACHMENT_ATTID_DESC)");
}

void DatabaseTest::idMaximumIsReadFromAnIndex()
{
    QFETCH(QString, maximum);
    QFETCH(QString, plan);
    TestProgramFolder folder;
    // The engine's own plan: the maximum comes from the end of the index, not from every row.
    const QString output =
        runTool(QStringLiteral("isql-fb"),
                {QStringLiteral("-user"), QStringLiteral("admin"), QStringLiteral("-q"), folder.databasePath()},
                "set plan on;\n" + maximum.toUtf8() + "\n");
    QVERIFY2(output.contains(plan), qPrintable(output));
}

void DatabaseTest::olderFilesGetTheIdIndexes()
{
    TestProgramFolder folder;
    dropIdIndexes(folder.databasePath());
    {
        TDBDataModule database(folder.databasePath(), TDBDataModule::Use::Reading);
        QVERIFY(presentIdIndexes(database).isEmpty());
    }
    for (int open = 0; open < 2; ++open) {
        TDBDataModule database(folder.databasePath());
        QCOMPARE(presentIdIndexes(database), IdIndexes);
        Transaction transaction(database);
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {database.nextNoteId(), QStringLiteral("n"), 1, QStringLiteral("f")});
        transaction.commit();
        QCOMPARE(database.nextNoteId(), open + 2);
    }
}

void DatabaseTest::readOnlyFileOpensWithoutThem()
{
    TestProgramFolder folder;
    {
        TDBDataModule database(folder.databasePath());
        Transaction transaction(database);
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {7, QStringLiteral("n"), 1, QStringLiteral("f")});
        transaction.commit();
    }
    dropIdIndexes(folder.databasePath());
    dropSourceColumn(folder.databasePath());
    const QString gfix =
        runTool(QStringLiteral("gfix"), {QStringLiteral("-user"), QStringLiteral("admin"), QStringLiteral("-mode"),
                                         QStringLiteral("read_only"), folder.databasePath()});
    QVERIFY2(gfix.trimmed().isEmpty(), qPrintable(gfix));
    TDBDataModule database(folder.databasePath());
    QVERIFY(presentIdIndexes(database).isEmpty());
    QCOMPARE(database.noteSourceLength(), 0);
    QCOMPARE(database.noteSource(7), QString());
    QCOMPARE(database.nextNoteId(), 8);
    QCOMPARE(database.nextTagId(), 1);
}

void DatabaseTest::olderFilesGetTheSourceColumn()
{
    TestProgramFolder folder;
    dropSourceColumn(folder.databasePath());
    {
        // The older program's own insert, without a column list.
        TDBDataModule database(folder.databasePath(), TDBDataModule::Use::Reading);
        QCOMPARE(database.noteSourceLength(), 0);
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into note values (?,?,?,'now',?)"),
                              {3, QStringLiteral("Old note"), 1, QStringLiteral("01-02-2020/a.html")});
        transaction.commit();
    }
    TDBDataModule database(folder.databasePath());
    QCOMPARE(database.noteSourceLength(), 4000);
    QCOMPARE(noteColumns(database).constLast(), QStringLiteral("SOURCE"));
    QSqlQuery &row = database.runQuery(QStringLiteral("select noteid, title, tagid, filename, source from note"));
    QVERIFY(row.next());
    QCOMPARE(fieldInt(row, "noteid"), 3);
    QCOMPARE(fieldText(row, "title"), QStringLiteral("Old note"));
    QCOMPARE(fieldInt(row, "tagid"), 1);
    QCOMPARE(fieldText(row, "filename"), QStringLiteral("01-02-2020/a.html"));
    QVERIFY(row.value(4).isNull());
    QVERIFY(!row.next());
    row.finish();
}

void DatabaseTest::pageCacheIsSizedWithoutChangingTheFile()
{
    TestProgramFolder folder;
    const QString cacheSize = QStringLiteral("select mon$page_buffers from mon$database");
    for (int open = 0; open < 2; ++open) {
        TDBDataModule database(folder.databasePath());
        QCOMPARE(database.queryInteger(cacheSize), PageCacheSizer::CachePages);
        // A second connection shares the cache the first one opened.
        TDBDataModule reading(folder.databasePath(), TDBDataModule::Use::Reading);
        QCOMPARE(reading.queryInteger(cacheSize), PageCacheSizer::CachePages);
    }
    // The size is the program's, not the file's: another program gets the engine's default.
    const QString output =
        runTool(QStringLiteral("isql-fb"),
                {QStringLiteral("-user"), QStringLiteral("admin"), QStringLiteral("-q"), folder.databasePath()},
                cacheSize.toUtf8() + ";\n");
    QVERIFY2(output.contains(QStringLiteral("2048")), qPrintable(output));
}

QTEST_GUILESS_MAIN(DatabaseTest)
#include "tst_database.moc"
