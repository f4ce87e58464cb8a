#include "dbdatamodule.h"
#include "dberror.h"
#include "tagpaths.h"
#include "testprogramfolder.h"

#include <QHash>
#include <QtTest>

namespace {

// A tags row or a walk step as one line: tagid|name|deep|path|parentid|childcount|icoid.
QString describe(const TagRecord &record)
{
    QStringList fields{QString::number(record.tagid), record.name, QString::number(record.deep), record.path};
    fields << QString::number(record.parentid) << QString::number(record.childcount) << QString::number(record.icoid);
    return fields.join(QLatin1Char('|'));
}

QString describe(const TagWalkStep &step)
{
    return describe(step.record) + (step.created ? QStringLiteral(" created") : QStringLiteral(" found"));
}

// The whole tags table, read back through its own query, in id order.
QStringList tagsTable(TDBDataModule &database)
{
    QStringList rows;
    QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags order by tagid"));
    while (query.next()) {
        rows << describe(TagRecord{.tagid = fieldInt(query, "tagid"),
                                   .name = fieldText(query, "tagname"),
                                   .deep = fieldInt(query, "deep"),
                                   .path = fieldText(query, "path"),
                                   .parentid = fieldInt(query, "parentid"),
                                   .childcount = fieldInt(query, "childcount"),
                                   .icoid = fieldInt(query, "icoid")});
    }
    query.finish();
    return rows;
}

// One save of a note from the editor.
struct ResolveCall
{
    QString fieldText;
    int previousTagId = 0;
    QString openedPath;
    int expectedLeaf = 0;
};

// A name or a path longer than its column makes the engine refuse the row, as a
// pasted paragraph would.
const QString overlongName = QString(501, QLatin1Char('n'));
const QString pathOverflowingColumn = QStringList(9, QString(450, QLatin1Char('p'))).join(QLatin1Char(','));

} // namespace

Q_DECLARE_METATYPE(QList<ResolveCall>)

class TagPathsTest : public QObject
{
    Q_OBJECT

private slots:
    void splitTrimsOnlyCodesUpToBlank_data();
    void splitTrimsOnlyCodesUpToBlank();
    void addTagPathFindsOrCreates_data();
    void addTagPathFindsOrCreates();
    void addTagPathFailureLeavesNoRow_data();
    void addTagPathFailureLeavesNoRow();
    void resolveTagPathFilesNotes_data();
    void resolveTagPathFilesNotes();
    void resolveTagPathFailureLeavesNoRow_data();
    void resolveTagPathFailureLeavesNoRow();
};

void TagPathsTest::splitTrimsOnlyCodesUpToBlank_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("blanks around commas") << QStringLiteral("  Work ,  Projects ") << QStringList{"Work", "Projects"};
    QTest::newRow("control characters") << QStringLiteral("\tWork\x01,\x1f Alpha\r\n") << QStringList{"Work", "Alpha"};
    QTest::newRow("inner blanks kept") << QStringLiteral("My Work, Big  Plan") << QStringList{"My Work", "Big  Plan"};
    QTest::newRow("no-break space is part of the name")
        << QStringLiteral("\u00a0Work\u3000") << QStringList{QStringLiteral("\u00a0Work\u3000")};
    QTest::newRow("only control characters") << QStringLiteral("\t\r\n ") << QStringList{};
    QTest::newRow("empty middle, blank last") << QStringLiteral("A, ,\t") << QStringList{"A", ""};
}

void TagPathsTest::splitTrimsOnlyCodesUpToBlank()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QCOMPARE(splitTagPath(text), names);
}

void TagPathsTest::addTagPathFindsOrCreates_data()
{
    QTest::addColumn<QStringList>("existingPaths"); // added from the top beforehand
    QTest::addColumn<int>("parentTagId");           // the selected node, 0 for none
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("table");

    const QString work = QStringLiteral("1|Work|1|Work|0|0|0");

    QTest::newRow("first node of an empty table")
        << QStringList{} << 0 << QStringLiteral("Work") << QStringList{work + " created"} << QStringList{work};
    QTest::newRow("two levels below the selected node")
        << QStringList{"Work"} << 1 << QStringLiteral("Projects, Alpha")
        << QStringList{"2|Projects|2|Work,Projects|1|0|0 created", "3|Alpha|3|Work,Projects,Alpha|2|0|0 created"}
        << QStringList{work, "2|Projects|2|Work,Projects|1|0|0", "3|Alpha|3|Work,Projects,Alpha|2|0|0"};
    QTest::newRow("case ignored, stored name kept")
        << QStringList{"Work"} << 0 << QStringLiteral("work") << QStringList{work + " found"} << QStringList{work};
    QTest::newRow("accented name matches itself")
        << QStringList{"Café"} << 0 << QStringLiteral("café") << QStringList{"1|Café|1|Café|0|0|0 found"}
        << QStringList{"1|Café|1|Café|0|0|0"};
    QTest::newRow("trailing comma dropped")
        << QStringList{} << 0 << QStringLiteral("Work,") << QStringList{work + " created"} << QStringList{work};
    QTest::newRow("trailing comma and blanks dropped")
        << QStringList{} << 0 << QStringLiteral("Work, \t ") << QStringList{work + " created"} << QStringList{work};
    QTest::newRow("leading comma names an empty first-level node")
        << QStringList{} << 0 << QStringLiteral(",Work")
        << QStringList{"1||1||0|0|0 created", "2|Work|2|Work|1|0|0 created"}
        << QStringList{"1||1||0|0|0", "2|Work|2|Work|1|0|0"};
    QTest::newRow("empty middle name kept")
        << QStringList{} << 0 << QStringLiteral("A,,B")
        << QStringList{"1|A|1|A|0|0|0 created", "2||2|A,|1|0|0 created", "3|B|3|A,,B|2|0|0 created"}
        << QStringList{"1|A|1|A|0|0|0", "2||2|A,|1|0|0", "3|B|3|A,,B|2|0|0"};
    QTest::newRow("comma between blanks") << QStringList{} << 0 << QStringLiteral(" , ")
                                          << QStringList{"1||1||0|0|0 created"} << QStringList{"1||1||0|0|0"};
    QTest::newRow("same name under another parent")
        << QStringList{"A,X"} << 0 << QStringLiteral("B,X")
        << QStringList{"3|B|1|B|0|0|0 created", "4|X|2|B,X|3|0|0 created"}
        << QStringList{"1|A|1|A|0|0|0", "2|X|2|A,X|1|0|0", "3|B|1|B|0|0|0", "4|X|2|B,X|3|0|0"};
    QTest::newRow("same name on another level")
        << QStringList{"X"} << 1 << QStringLiteral("X") << QStringList{"2|X|2|X,X|1|0|0 created"}
        << QStringList{"1|X|1|X|0|0|0", "2|X|2|X,X|1|0|0"};
    // Existing rows are left as they are; the walk carries on with the names as typed.
    QTest::newRow("existing prefix located, rest created")
        << QStringList{"Work,Projects"} << 0 << QStringLiteral("WORK, projects, Alpha")
        << QStringList{work + " found", "2|Projects|2|Work,Projects|1|0|0 found",
                       "3|Alpha|3|WORK,projects,Alpha|2|0|0 created"}
        << QStringList{work, "2|Projects|2|Work,Projects|1|0|0", "3|Alpha|3|WORK,projects,Alpha|2|0|0"};
    QTest::newRow("apostrophes stored and matched")
        << QStringList{"Tom's notes"} << 0 << QStringLiteral("TOM'S NOTES, it's here")
        << QStringList{"1|Tom's notes|1|Tom's notes|0|0|0 found", "2|it's here|2|TOM'S NOTES,it's here|1|0|0 created"}
        << QStringList{"1|Tom's notes|1|Tom's notes|0|0|0", "2|it's here|2|TOM'S NOTES,it's here|1|0|0"};
    QTest::newRow("chinese stored and matched")
        << QStringList{"工作"} << 0 << QStringLiteral("工作,项目")
        << QStringList{"1|工作|1|工作|0|0|0 found", "2|项目|2|工作,项目|1|0|0 created"}
        << QStringList{"1|工作|1|工作|0|0|0", "2|项目|2|工作,项目|1|0|0"};
    QTest::newRow("blank input writes nothing")
        << QStringList{} << 0 << QStringLiteral(" \t ") << QStringList{} << QStringList{};
}

void TagPathsTest::addTagPathFindsOrCreates()
{
    QFETCH(QStringList, existingPaths);
    QFETCH(int, parentTagId);
    QFETCH(QString, input);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, table);

    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    QHash<int, TagRecord> known;
    for (const QString &path : std::as_const(existingPaths)) {
        for (const TagWalkStep &step : AddTagPath(database, nullptr, path))
            known.insert(step.record.tagid, step.record);
    }
    QVERIFY(parentTagId == 0 || known.contains(parentTagId));

    const TagRecord parent = known.value(parentTagId);
    const QList<TagWalkStep> walk = AddTagPath(database, parentTagId ? &parent : nullptr, input);
    QStringList described;
    for (const TagWalkStep &step : walk)
        described << describe(step);
    QCOMPARE(described, steps);
    QVERIFY(!database.inTransaction());
    QCOMPARE(tagsTable(database), table);
}

void TagPathsTest::addTagPathFailureLeavesNoRow_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("name too long") << QStringLiteral("Projects, Alpha, ") + overlongName;
    QTest::newRow("path too long") << QStringLiteral("Projects, ") + pathOverflowingColumn;
}

void TagPathsTest::addTagPathFailureLeavesNoRow()
{
    QFETCH(QString, input);
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    const TagRecord work = AddTagPath(database, nullptr, QStringLiteral("Work")).constFirst().record;
    const QStringList before = tagsTable(database);

    QVERIFY_THROWS_EXCEPTION(DbError, AddTagPath(database, &work, input));
    QVERIFY(!database.inTransaction());
    QCOMPARE(tagsTable(database), before);

    // The next pass starts clean and reuses the ids the failed one had taken.
    const QList<TagWalkStep> retry = AddTagPath(database, &work, QStringLiteral("Projects"));
    QCOMPARE(retry.size(), 1);
    QCOMPARE(describe(retry.constFirst()), QStringLiteral("2|Projects|2|Work,Projects|1|0|0 created"));
}

void TagPathsTest::resolveTagPathFilesNotes_data()
{
    QTest::addColumn<QList<ResolveCall>>("calls");
    QTest::addColumn<QStringList>("table");

    QTest::newRow("first note: leaf path is the field text lower-cased")
        << QList<ResolveCall>{{"Work, Projects", 0, "", 2}}
        << QStringList{"1|Work|1|Work|0|1|0", "2|Projects|2|work, projects|1|1|0"};
    QTest::newRow("second note on the same path")
        << QList<ResolveCall>{{"Work, Projects", 0, "", 2}, {"Work, Projects", 0, "", 2}}
        << QStringList{"1|Work|1|Work|0|2|0", "2|Projects|2|work, projects|1|2|0"};
    QTest::newRow("leaf path keeps the blanks around the field")
        << QList<ResolveCall>{{"  Work ,Projects\t", 0, "", 2}}
        << QStringList{"1|Work|1|Work|0|1|0", "2|Projects|2|  work ,projects\t|1|1|0"};
    QTest::newRow("existing nodes take the path as typed")
        << QList<ResolveCall>{{"Work,Projects", 0, "", 2}, {"WORK , PROJECTS, Alpha", 0, "", 3}}
        << QStringList{"1|Work|1|WORK|0|2|0", "2|Projects|2|WORK,PROJECTS|1|2|0",
                       "3|Alpha|3|work , projects, alpha|2|1|0"};
    QTest::newRow("re-filing from Work,Projects to Work,Other")
        << QList<ResolveCall>{{"Work,Projects", 0, "", 2}, {"Work,Other", 2, "Work,Projects", 3}}
        << QStringList{"1|Work|1|Work|0|1|0", "2|Projects|2|work,projects|1|0|0", "3|Other|2|work,other|1|1|0"};
    QTest::newRow("re-filing walks up the whole chain")
        << QList<ResolveCall>{{"A,B,C", 0, "", 3}, {"D", 3, "A,B,C", 4}}
        << QStringList{"1|A|1|A|0|0|0", "2|B|2|A,B|1|0|0", "3|C|3|a,b,c|2|0|0", "4|D|1|d|0|1|0"};
    QTest::newRow("previous node without an opened path is kept")
        << QList<ResolveCall>{{"Work", 0, "", 1}, {"Work", 1, "", 1}} << QStringList{"1|Work|1|work|0|2|0"};
    QTest::newRow("opened path without a previous node releases nothing")
        << QList<ResolveCall>{{"Work", 0, "", 1}, {"Work", 0, "Work", 1}} << QStringList{"1|Work|1|work|0|2|0"};
    QTest::newRow("trailing comma dropped, still in the leaf path")
        << QList<ResolveCall>{{"Work,", 0, "", 1}} << QStringList{"1|Work|1|work,|0|1|0"};
    QTest::newRow("empty after trimming gives no node") << QList<ResolveCall>{{" \t\r\n", 0, "", 0}} << QStringList{};
    QTest::newRow("comma between blanks gives one empty-named node")
        << QList<ResolveCall>{{" , ", 0, "", 1}} << QStringList{"1||1| , |0|1|0"};
    QTest::newRow("apostrophes and chinese stored and matched")
        << QList<ResolveCall>{{"Tom's, 工作", 0, "", 2}, {"TOM'S,工作", 0, "", 2}}
        << QStringList{"1|Tom's|1|TOM'S|0|2|0", "2|工作|2|tom's,工作|1|2|0"};
    QTest::newRow("accented name matches itself")
        << QList<ResolveCall>{{"Café", 0, "", 1}, {"café", 0, "", 1}} << QStringList{"1|Café|1|café|0|2|0"};
}

void TagPathsTest::resolveTagPathFilesNotes()
{
    QFETCH(QList<ResolveCall>, calls);
    QFETCH(QStringList, table);

    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    for (const ResolveCall &call : std::as_const(calls)) {
        QCOMPARE(ResolveTagPath(database, call.fieldText, call.previousTagId, call.openedPath), call.expectedLeaf);
        QVERIFY(!database.inTransaction());
    }
    QCOMPARE(tagsTable(database), table);
}

void TagPathsTest::resolveTagPathFailureLeavesNoRow_data()
{
    QTest::addColumn<QString>("fieldText");
    QTest::newRow("name too long") << QStringLiteral("Work, Other, ") + overlongName;
    QTest::newRow("path too long") << QStringLiteral("Work, ") + pathOverflowingColumn;
}

void TagPathsTest::resolveTagPathFailureLeavesNoRow()
{
    QFETCH(QString, fieldText);
    TestProgramFolder folder;
    TDBDataModule database(folder.databasePath());
    QCOMPARE(ResolveTagPath(database, QStringLiteral("Work,Projects"), 0, QString()), 2);
    const QStringList before = tagsTable(database);

    // Re-filing the note: the release of its old place must be undone with the rest.
    QCOMPARE(ResolveTagPath(database, fieldText, 2, QStringLiteral("Work,Projects")), 0);
    QVERIFY(!database.inTransaction());
    QCOMPARE(tagsTable(database), before);
}

QTEST_GUILESS_MAIN(TagPathsTest)
#include "tst_tagpaths.moc"
