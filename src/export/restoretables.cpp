#include "restorecheck.h"

#include "archiveformat.h"
#include "dbdatamodule.h"
#include "dberror.h"

#include <QSqlQuery>

using namespace ArchiveFormat;

namespace {

// The columns of the program's tables, in table order (tags and attachment
// rows are inserted without a column list), and the columns that files made by
// older copies lack at the end: the program adds them when it opens the file.
struct ProgramTable
{
    QString name;
    QStringList columns;
    QStringList addedLater;
};

const QList<ProgramTable> &programTables()
{
    static const QList<ProgramTable> tables{
        {QStringLiteral("TAGS"),
         {QStringLiteral("TAGID"), QStringLiteral("TAGNAME"), QStringLiteral("DEEP"), QStringLiteral("PATH"),
          QStringLiteral("PARENTID"), QStringLiteral("CHILDCOUNT"), QStringLiteral("ICOID")},
         {}},
        {QStringLiteral("NOTE"),
         {QStringLiteral("NOTEID"), QStringLiteral("TITLE"), QStringLiteral("TAGID"), QStringLiteral("CREATEDATE"),
          QStringLiteral("FILENAME")},
         {QStringLiteral("SOURCE")}},
        {QStringLiteral("ATTACHMENT"),
         {QStringLiteral("ATTID"), QStringLiteral("NOTEID"), QStringLiteral("ATTNAME"), QStringLiteral("PATH")},
         {}},
    };
    return tables;
}

void checkTables(TDBDataModule &database)
{
    for (const ProgramTable &table : programTables()) {
        QStringList columns;
        QSqlQuery &query =
            database.runQuery(QStringLiteral("select trim(rdb$field_name) from rdb$relation_fields where "
                                             "rdb$relation_name = ? order by rdb$field_position"),
                              {table.name});
        while (query.next())
            columns << query.value(0).toString();
        query.finish();
        const QStringList current = table.columns + table.addedLater;
        if (columns != table.columns && columns != current)
            fail(QStringLiteral("The backup's database is not one this Clipnest can use: its table %1 has the "
                                "columns (%2) instead of (%3).")
                     .arg(table.name.toLower(), columns.join(QLatin1String(", ")).toLower(),
                          current.join(QLatin1String(", ")).toLower()));
    }
}

} // namespace

QList<RestoreCheck::FileRow> RestoreCheck::checkDatabase(const QString &databasePath, const BackupSummary &summary)
{
    QList<FileRow> rows;
    try {
        TDBDataModule database(databasePath, TDBDataModule::Use::Reading);
        checkTables(database);
        const int nodes = database.queryInteger(QStringLiteral("select count(*) from tags"));
        const int notes = database.queryInteger(QStringLiteral("select count(*) from note"));
        const int attachments = database.queryInteger(QStringLiteral("select count(*) from attachment"));
        if (nodes != summary.nodes || notes != summary.notes || attachments != summary.attachments)
            fail(QStringLiteral("The restored database does not hold what the backup says (%1 nodes, %2 notes, "
                                "%3 attachments instead of %4, %5 and %6).")
                     .arg(nodes)
                     .arg(notes)
                     .arg(attachments)
                     .arg(summary.nodes)
                     .arg(summary.notes)
                     .arg(summary.attachments));
        QSqlQuery &noteRows = database.runQuery(QStringLiteral("select noteid, filename from note"));
        while (noteRows.next())
            rows.append({FileRow::Note, noteRows.value(0).toInt(), QString(), noteRows.value(1).toString()});
        noteRows.finish();
        QSqlQuery &attachmentRows = database.runQuery(QStringLiteral("select attid, path, attname from attachment"));
        while (attachmentRows.next())
            rows.append({FileRow::Attachment, attachmentRows.value(0).toInt(), attachmentRows.value(1).toString(),
                         attachmentRows.value(2).toString()});
        attachmentRows.finish();
    } catch (const DbError &error) {
        fail(QStringLiteral("The backup's database cannot be read: %1").arg(error.message()));
    }
    return rows;
}
