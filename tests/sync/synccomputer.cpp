#include "synccomputer.h"

#include "catalogedits.h"
#include "catalogrowcheck.h"
#include "notefiling.h"
#include "notefilestore.h"
#include "notepictures.h"
#include "notetrash.h"
#include "tagpaths.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

QByteArray noteBody(const QString &words, const QString &picture)
{
    QByteArray body = "<html><body><p>" + words.toUtf8() + "</p>";
    if (!picture.isEmpty())
        body += "<img src=\"images/" + picture.toUtf8() + "\">";
    return body + "</body></html>\n";
}

SyncComputer::SyncComputer(QString computerName)
    : name(std::move(computerName))
{
}

int SyncComputer::addNote(const QString &title, const QString &catalog, const QByteArray &body, const QString &picture,
                          const QString &attachment)
{
    const NoteLocation location = NewNoteLocation(context.dataFolder);
    const QString day = location.dayFolder + QLatin1Char('/');
    if (!picture.isEmpty())
        writeWholeFile(day + QStringLiteral("images/") + picture, "picture " + picture.toUtf8());
    NoteFilingRequest request;
    request.title = title;
    request.catalogText = catalog;
    request.relativeFile = day.mid(context.dataFolder.size()) + location.fileName;
    if (!attachment.isEmpty()) {
        writeWholeFile(day + QStringLiteral("attaches/") + attachment, "attached " + attachment.toUtf8());
        request.attachments << AttachListRecord{0, attachment, day.mid(context.dataFolder.size()) + QStringLiteral("attaches/"), 0};
    }
    writeWholeFile(day + location.fileName, body);
    return NoteFiling(database).file(request).noteId;
}

void SyncComputer::editNote(int noteId, const QByteArray &body)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select filename from note where noteid=?"), {noteId});
    const QString path = query.next() ? context.dataFolder + query.value(0).toString() : QString();
    query.finish();
    writeWholeFile(path, body);
}

int SyncComputer::addNode(const QString &path)
{
    const QList<TagWalkStep> steps = AddTagPath(database, nullptr, path);
    return steps.isEmpty() ? 0 : steps.last().record.tagid;
}

int SyncComputer::tagOf(const QString &path)
{
    const QStringList wanted = path.split(QLatin1Char('/'));
    for (const int tagid : tagIds()) {
        QStringList names;
        for (int at = tagid; at != 0;) {
            QSqlQuery &query = database.runQuery(QStringLiteral("select tagname, parentid from tags where tagid=?"), {at});
            at = 0;
            if (query.next()) {
                names.prepend(query.value(0).toString());
                at = query.value(1).toInt();
            }
            query.finish();
        }
        if (names == wanted)
            return tagid;
    }
    return 0;
}

void SyncComputer::trashNote(int noteId)
{
    NoteTrash(database, context).trash(noteId);
}

QByteArray SyncComputer::html(int noteId)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select filename from note where noteid=?"), {noteId});
    const QString path = query.next() ? context.dataFolder + query.value(0).toString() : QString();
    query.finish();
    return path.isEmpty() ? QByteArray() : readAll(path);
}

QList<int> SyncComputer::noteIds()
{
    QList<int> ids;
    QSqlQuery &query = database.runQuery(QStringLiteral("select noteid from note order by noteid"));
    while (query.next())
        ids << query.value(0).toInt();
    query.finish();
    return ids;
}

QList<int> SyncComputer::tagIds()
{
    QList<int> ids;
    QSqlQuery &query = database.runQuery(QStringLiteral("select tagid from tags order by tagid"));
    while (query.next())
        ids << query.value(0).toInt();
    query.finish();
    return ids;
}

int SyncComputer::noteByTitle(const QString &title)
{
    return database.queryInteger(QStringLiteral("select min(noteid) from note where title=?"), {title});
}

SyncOutcome SyncComputer::sync(SyncTarget &target, bool allowMassDelete)
{
    SyncRun run(database, context, target, QStringLiteral("test-target"));
    run.computerName = name;
    run.allowMassDelete = allowMassDelete;
    run.noteIsOpen = [this](int noteId) { return openNotes.contains(noteId); };
    return run.run();
}

QStringList SyncComputer::catalog()
{
    QHash<int, std::pair<QString, int>> rows;
    QSqlQuery &query = database.runQuery(QStringLiteral("select tagid, tagname, parentid from tags"));
    while (query.next())
        rows.insert(query.value(0).toInt(), {query.value(1).toString(), query.value(2).toInt()});
    query.finish();
    QStringList paths;
    for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
        QStringList names;
        for (int at = row.key(), steps = 0; at != 0 && rows.contains(at) && steps < 100; ++steps) {
            names.prepend(rows.value(at).first);
            at = rows.value(at).second;
        }
        paths << names.join(QLatin1Char('/'));
    }
    paths.sort();
    return paths;
}

QStringList SyncComputer::notes()
{
    struct Row
    {
        int noteid, tagid;
        QString title, file;
    };
    QList<Row> rows;
    QSqlQuery &query = database.runQuery(QStringLiteral("select noteid, tagid, title, filename from note"));
    while (query.next())
        rows.append({query.value(0).toInt(), query.value(1).toInt(), query.value(2).toString(), query.value(3).toString()});
    query.finish();
    QHash<int, QString> paths;
    for (const int tagid : tagIds()) {
        QStringList names;
        for (int at = tagid; at != 0;) {
            QSqlQuery &up = database.runQuery(QStringLiteral("select tagname, parentid from tags where tagid=?"), {at});
            at = 0;
            if (up.next()) {
                names.prepend(up.value(0).toString());
                at = up.value(1).toInt();
            }
            up.finish();
        }
        paths.insert(tagid, names.join(QLatin1Char('/')));
    }
    QStringList lines;
    for (const Row &row : std::as_const(rows)) {
        QStringList parts{paths.value(row.tagid), row.title, QString::fromUtf8(readAll(context.dataFolder + row.file))};
        for (const QString &picture : notePictures(context.dataFolder, row.file))
            parts << QFileInfo(picture).fileName() + QLatin1Char('=') +
                         QString::fromUtf8(readAll(context.dataFolder + picture));
        QStringList attachments;
        QSqlQuery &query = database.runQuery(QStringLiteral("select attname, path from attachment where noteid=?"), {row.noteid});
        while (query.next())
            attachments << query.value(0).toString() + QLatin1Char('=') +
                               QString::fromUtf8(readAll(context.dataFolder + query.value(1).toString() + query.value(0).toString()));
        query.finish();
        attachments.sort();
        lines << (parts + attachments).join(QLatin1Char('|'));
    }
    lines.sort();
    return lines;
}

QStringList SyncComputer::problems()
{
    return checkCatalogRows(database, context.dataFolder, RowCheckOptions{false, context.programFolder});
}
