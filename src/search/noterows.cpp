#include "noterows.h"

#include "dbdatamodule.h"
#include "storedpath.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <sys/stat.h>

namespace {

IndexedNote noteFromRow(const QSqlQuery &query, const CatalogPathTable &tagPaths)
{
    IndexedNote note;
    note.noteId = fieldInt(query, "noteid");
    note.title = fieldText(query, "title");
    note.catalogPath = tagPaths.path(fieldInt(query, "tagid"));
    note.fileName = fieldPath(query, "filename");
    return note;
}

// Attachment names of the given notes, from the attachment rows that the
// condition picks.
void addAttachmentNames(TDBDataModule &database, QList<IndexedNote> &notes, const QString &condition,
                        const QVariantList &values)
{
    QHash<int, qsizetype> position;
    for (qsizetype i = 0; i < notes.size(); ++i)
        position.insert(notes[i].noteId, i);
    QSqlQuery &query = database.runQuery(
        QStringLiteral("select noteid, attname from attachment where %1 order by attid").arg(condition), values);
    while (query.next()) {
        const auto found = position.constFind(fieldInt(query, "noteid"));
        if (found != position.constEnd())
            notes[*found].attachmentNames << fieldText(query, "attname");
    }
    query.finish();
}

void addAttachmentNamesBetween(TDBDataModule &database, QList<IndexedNote> &notes, int firstId, int lastId)
{
    addAttachmentNames(database, notes, QStringLiteral("noteid between ? and ?"), {firstId, lastId});
}

} // namespace

void stampNoteFile(IndexedNote &note, const QString &dataFolder)
{
    // The time straight from the file system, as QFileInfo gives it: its local
    // time looks up the time zone for every file, more than doubling the cost.
    // A file name that leads outside the data folder names no note file.
    struct stat file;
    if (StoredPath::isInside(note.fileName) &&
        ::stat(QFile::encodeName(dataFolder + note.fileName).constData(), &file) == 0 && S_ISREG(file.st_mode)) {
        note.fileSize = qint64(file.st_size);
        note.fileModified = qint64(file.st_mtim.tv_sec) * 1000 + file.st_mtim.tv_nsec / 1000000;
    } else {
        note.fileSize = -1;
        note.fileModified = -1;
    }
}

std::optional<IndexedNote> readIndexedNote(TDBDataModule &database, const QString &dataFolder, int noteId)
{
    QSqlQuery &query =
        database.runQuery(QStringLiteral("select n.noteid, n.title, n.tagid, n.filename, t.path from note n "
                                         "left join tags t on t.tagid = n.tagid where n.noteid=?"),
                          {noteId});
    if (!query.next()) {
        query.finish();
        return std::nullopt;
    }
    IndexedNote note;
    note.noteId = fieldInt(query, "noteid");
    note.title = fieldText(query, "title");
    note.catalogPath = fieldText(query, "path");
    note.fileName = fieldPath(query, "filename");
    query.finish();
    QList<IndexedNote> one{note};
    addAttachmentNamesBetween(database, one, noteId, noteId);
    stampNoteFile(one.first(), dataFolder);
    return one.first();
}

CatalogPathTable readTagPaths(TDBDataModule &database)
{
    CatalogPathTable paths;
    QSqlQuery &query = database.runQuery(QStringLiteral("select tagid, path from tags"));
    while (query.next())
        paths.add(fieldInt(query, "tagid"), fieldText(query, "path"));
    query.finish();
    paths.sort();
    return paths;
}

QList<IndexedNote> readIndexedNotesAfter(TDBDataModule &database, const CatalogPathTable &tagPaths, int afterNoteId,
                                         int count)
{
    QList<IndexedNote> notes;
    QSqlQuery &query = database.runQuery(
        QStringLiteral("select noteid, title, tagid, filename from note where noteid > ? order by noteid rows ?"),
        {afterNoteId, count});
    while (query.next())
        notes << noteFromRow(query, tagPaths);
    query.finish();
    if (!notes.isEmpty())
        addAttachmentNamesBetween(database, notes, notes.first().noteId, notes.last().noteId);
    return notes;
}

QList<IndexedNote> readIndexedNotes(TDBDataModule &database, const CatalogPathTable &tagPaths,
                                    const QList<int> &noteIds)
{
    QList<IndexedNote> notes;
    if (noteIds.isEmpty())
        return notes;
    // By their keys: the ids may lie far apart among the other rows.
    QStringList marks(noteIds.size(), QStringLiteral("?"));
    const QString condition = QStringLiteral("noteid in (%1)").arg(marks.join(QLatin1Char(',')));
    QVariantList values;
    values.reserve(noteIds.size());
    for (int noteId : noteIds)
        values << noteId;
    QSqlQuery &query = database.runQuery(
        QStringLiteral("select noteid, title, tagid, filename from note where %1 order by noteid").arg(condition),
        values);
    while (query.next())
        notes << noteFromRow(query, tagPaths);
    query.finish();
    if (!notes.isEmpty())
        addAttachmentNames(database, notes, condition, values);
    return notes;
}

QList<NoteCatalogPath> readNoteCatalogPathsBelow(TDBDataModule &database, int tagId)
{
    // The subtree from the parent links: the catalog is small next to the notes.
    QHash<int, QList<int>> children;
    QHash<int, QString> tagPaths;
    QSqlQuery &tags = database.runQuery(QStringLiteral("select tagid, parentid, path from tags"));
    while (tags.next()) {
        children[fieldInt(tags, "parentid")] << fieldInt(tags, "tagid");
        tagPaths.insert(fieldInt(tags, "tagid"), fieldText(tags, "path"));
    }
    tags.finish();
    QList<int> subtree{tagId};
    QSet<int> seen{tagId};
    for (qsizetype i = 0; i < subtree.size(); ++i) {
        for (int child : children.value(subtree[i])) {
            if (!seen.contains(child)) {
                seen.insert(child);
                subtree << child;
            }
        }
    }

    QList<NoteCatalogPath> notes;
    for (int id : std::as_const(subtree)) {
        QSqlQuery &query = database.runQuery(QStringLiteral("select noteid from note where tagid=?"), {id});
        while (query.next())
            notes.append({fieldInt(query, "noteid"), tagPaths.value(id)});
        query.finish();
    }
    return notes;
}
