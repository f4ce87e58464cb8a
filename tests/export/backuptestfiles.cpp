#include "backuptestfiles.h"

#include "dbdatamodule.h"
#include "firebirdservice.h"
#include "testprogramfolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>

#include <archive.h>
#include <archive_entry.h>

// An absolute name outside the program folder, unique to this run so that no
// file left by another run can stand in for one a restore wrote.
QString escapedAbsolutePath()
{
    return QDir::temp().filePath(QStringLiteral("clipnest-escaped-%1.txt").arg(QCoreApplication::applicationPid()));
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Every row of every table, each column as text, in key order.
QStringList allRows(const QString &databasePath)
{
    TDBDataModule database(databasePath);
    QStringList rows;
    for (const char *table : {"tags order by tagid", "note order by noteid", "attachment order by attid"}) {
        QSqlQuery &query = database.runQuery(QStringLiteral("select * from ") + QLatin1String(table));
        while (query.next()) {
            QStringList columns{QString::fromLatin1(table).section(QLatin1Char(' '), 0, 0)};
            for (int column = 0; column < query.record().count(); ++column) {
                const QVariant value = query.value(column);
                columns << (value.typeId() == QMetaType::QDateTime ? value.toDateTime().toString(Qt::ISODateWithMs)
                                                                   : value.toString());
            }
            rows << columns.join(QLatin1Char('|'));
        }
        query.finish();
    }
    return rows;
}

// Every file of the program folder that is the user's, by path, with its bytes.
QMap<QString, QByteArray> userFiles(const QString &programFolder)
{
    QMap<QString, QByteArray> files;
    QFile settings(programFolder + QStringLiteral("tavlo.ini"));
    if (settings.open(QIODevice::ReadOnly))
        files.insert(QStringLiteral("tavlo.ini"), settings.readAll());
    for (const QString &folder : {QStringLiteral("data"), QStringLiteral("trash")}) {
        QDirIterator walk(programFolder + folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            const QString path = walk.next();
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                files.insert(path.mid(programFolder.size()), file.readAll());
        }
    }
    return files;
}

// A tar archive holding the given entries, in order.
bool writeTar(const QString &path, const ArchiveEntries &entries)
{
    archive *writer = archive_write_new();
    archive_write_set_format_pax_restricted(writer);
    bool ok = archive_write_open_filename(writer, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const auto &[name, content] : entries) {
        archive_entry *entry = archive_entry_new();
        // A name ending with "/" is a folder.
        const bool folder = name.endsWith(QLatin1Char('/'));
        archive_entry_set_pathname(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, folder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, folder ? 0 : content.size());
        ok = ok && archive_write_header(writer, entry) == ARCHIVE_OK &&
             archive_write_data(writer, content.constData(), content.size()) == content.size();
        archive_entry_free(entry);
    }
    ok = ok && archive_write_close(writer) == ARCHIVE_OK;
    archive_write_free(writer);
    return ok;
}

// The engine's backup of a database made from the empty one by the statements.
QByteArray databaseBackup(const QStringList &statements)
{
    TestProgramFolder folder;
    {
        TDBDataModule database(folder.databasePath());
        for (const QString &statement : statements) {
            Transaction transaction(database);
            database.runStatement(statement);
            transaction.commit();
        }
    }
    const QString backup = folder.path() + QStringLiteral("notes.fbk");
    FirebirdService::backupDatabase(folder.databasePath(), backup);
    QFile file(backup);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray summaryOf(int nodes, int notes, int attachments)
{
    return QStringLiteral(R"({"format":1,"made":"2026-12-09T18:00:00","nodes":%1,"notes":%2,"attachments":%3})")
        .arg(nodes)
        .arg(notes)
        .arg(attachments)
        .toUtf8();
}
