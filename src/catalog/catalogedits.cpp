#include "catalogedits.h"

#include "catalogrows.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "storedpath.h"
#include "tagpaths.h"

#include <optional>

namespace {

// The node and its tagid when they are filed somewhere; nullopt for a gone note.
std::optional<int> noteTagId(TDBDataModule &database, int noteId)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select tagid from note where noteid=?"), {noteId});
    std::optional<int> tagid;
    if (query.next())
        tagid = query.value(0).toInt();
    query.finish();
    return tagid;
}

} // namespace

void renameTag(TDBDataModule &database, int tagid, const QString &newName)
{
    Transaction transaction(database);
    const std::optional<TagRecord> row = readTagRow(database, tagid);
    if (!row)
        return;
    const QString newPath = renamedTagPath(row->path, row->deep, row->name, newName);
    database.runStatement(QStringLiteral("update tags set path=?,tagname=? where tagid=?"), {newPath, newName, tagid});
    database.markTagChanged(tagid);
    for (const SubtreeRow &below : rowsBelow(database, tagid)) {
        const qsizetype rest = pathPrefixEnd(below.record.path, row->path, row->deep);
        if (rest < 0)
            continue;
        database.runStatement(QStringLiteral("update tags set path=? where tagid=?"),
                              {newPath + below.record.path.mid(rest), below.record.tagid});
        database.markTagChanged(below.record.tagid);
    }
    transaction.commit();
}

DeleteTagOutcome deleteTag(TDBDataModule &database, int tagid)
{
    Transaction transaction(database);
    const std::optional<TagRecord> row = readTagRow(database, tagid);
    if (!row)
        return DeleteTagOutcome::Missing;
    if (lowerAsciiLetters(row->name) == QLatin1String("untagged"))
        return DeleteTagOutcome::Protected;
    // Decided from the rows, not from a count that might have drifted: with no node
    // below it, the notes below it are its own.
    if (database.queryInteger(QStringLiteral("select count(*) from tags where parentid=?"), {tagid}) > 0 ||
        database.queryInteger(QStringLiteral("select count(*) from note where tagid=?"), {tagid}) > 0)
        return DeleteTagOutcome::NotEmpty;
    database.runStatement(QStringLiteral("delete from tags where tagid=?"), {tagid});
    database.markTagChanged(tagid);
    transaction.commit();
    return DeleteTagOutcome::Deleted;
}

bool moveTag(TDBDataModule &database, int movedId, int targetId)
{
    Transaction transaction(database);
    const std::optional<TagRecord> moved = readTagRow(database, movedId);
    const std::optional<TagRecord> target = readTagRow(database, targetId);
    if (!moved || !target || ancestorChain(database, targetId).contains(movedId))
        return false;
    std::optional<TagRecord> oldParent;
    if (moved->parentid != 0)
        oldParent = readTagRow(database, moved->parentid);

    if (oldParent)
        shiftNoteCounts(database, oldParent->tagid, -moved->childcount);
    shiftNoteCounts(database, targetId, moved->childcount);

    const int oldPrefixNames = oldParent ? moved->deep - 1 : 0;
    const QString oldPrefix = oldParent ? oldParent->path : QString();
    auto movedPath = [&](const QString &path) {
        if (!oldParent)
            return target->path + QLatin1Char(',') + path; // a top-level node gains the whole new beginning
        const qsizetype rest = pathPrefixEnd(path, oldPrefix, oldPrefixNames);
        return rest < 0 ? path : target->path + path.mid(rest);
    };
    database.runStatement(QStringLiteral("update tags set path=?,deep=?,parentid=? where tagid=?"),
                          {movedPath(moved->path), target->deep + 1, targetId, movedId});
    database.markTagChanged(movedId);
    for (const SubtreeRow &below : rowsBelow(database, movedId)) {
        database.runStatement(QStringLiteral("update tags set path=?,deep=? where tagid=?"),
                              {movedPath(below.record.path), target->deep + 1 + below.depthBelow, below.record.tagid});
        database.markTagChanged(below.record.tagid);
    }
    transaction.commit();
    return true;
}

bool moveNote(TDBDataModule &database, int noteId, int targetId)
{
    Transaction transaction(database);
    const std::optional<int> from = noteTagId(database, noteId);
    if (!from || *from == targetId || !readTagRow(database, targetId))
        return false;
    shiftNoteCounts(database, *from, -1);
    shiftNoteCounts(database, targetId, 1);
    database.runStatement(QStringLiteral("update note set tagid=? where noteid=?"), {targetId, noteId});
    database.markNoteChanged(noteId);
    transaction.commit();
    return true;
}

QStringList noteFiles(TDBDataModule &database, int noteId)
{
    QStringList files;
    QSqlQuery &note = database.runQuery(QStringLiteral("select filename from note where noteid=?"), {noteId});
    // Only files inside the data folder are the note's to remove, whatever a
    // damaged or foreign row says.
    if (note.next() && StoredPath::isInside(fieldPath(note, "filename")))
        files << fieldPath(note, "filename");
    note.finish();
    QSqlQuery &attachments = database.runQuery(QStringLiteral("select * from attachment where noteid=?"), {noteId});
    while (attachments.next()) {
        const QString folder = fieldPath(attachments, "path");
        const QString name = fieldText(attachments, "attname");
        if (StoredPath::isInsideAttachment(folder, name))
            files << folder + name;
    }
    attachments.finish();
    return files;
}

void deleteNote(TDBDataModule &database, int noteId)
{
    Transaction transaction(database);
    const std::optional<int> tagid = noteTagId(database, noteId);
    if (!tagid)
        return;
    shiftNoteCounts(database, *tagid, -1);
    database.runStatement(QStringLiteral("delete from attachment where noteid=?"), {noteId});
    database.runStatement(QStringLiteral("delete from note where noteid=?"), {noteId});
    database.markNoteChanged(noteId);
    transaction.commit();
}

QString retitleNote(TDBDataModule &database, int noteId, const QString &title)
{
    const QString stored = cutToCharacters(title, database.noteTitleLength());
    Transaction transaction(database);
    database.runStatement(QStringLiteral("update note set title=? where noteid=?"), {stored, noteId});
    database.markNoteChanged(noteId);
    // The title search counts of its node may change with it.
    if (const std::optional<int> tagid = noteTagId(database, noteId))
        database.markTagChanged(*tagid);
    transaction.commit();
    return stored;
}

void setTagIcon(TDBDataModule &database, int tagid, int icon)
{
    Transaction transaction(database);
    database.runStatement(QStringLiteral("update tags set icoid=? where tagid=?"), {icon, tagid});
    database.markTagChanged(tagid);
    transaction.commit();
}
