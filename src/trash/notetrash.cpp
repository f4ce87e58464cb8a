#include "notetrash.h"

#include "appcontext.h"
#include "catalogedits.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "notehistory.h"
#include "notepictures.h"
#include "pendingwork.h"
#include "tagpaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <stdexcept>

namespace {

const QString Untagged = QStringLiteral("untagged");

// The note row's columns that the trashed row keeps, with the source when the
// file has that column.
QString keptColumns(TDBDataModule &database)
{
    QString columns = QStringLiteral("noteid, title, tagid, createdate, filename");
    if (database.noteSourceLength() > 0)
        columns += QStringLiteral(", source");
    return columns;
}

QString marks(const QString &columns)
{
    QStringList marks;
    for (qsizetype i = 0; i <= columns.count(QLatin1Char(',')); ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

// Every file below the folder, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator walk(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext())
        files << QDir(folder).relativeFilePath(walk.next());
    files.sort();
    return files;
}

// The names from the top-level node down to the node, as typed: the stored path
// of a node may have been lower-cased when a note was filed under it.
QString namesPath(TDBDataModule &database, int tagid)
{
    QStringList names;
    for (const int id : ancestorChain(database, tagid)) {
        if (const std::optional<TagRecord> tag = readTagRow(database, id))
            names.prepend(tag->name);
    }
    return names.join(QLatin1Char(','));
}

void throwIfFailed(const QString &problem)
{
    if (!problem.isEmpty())
        throw std::runtime_error(problem.toStdString());
}

} // namespace

NoteTrash::NoteTrash(TDBDataModule &database, const AppContext &context)
    : m_database(database)
    , m_context(context)
{
}

bool NoteTrash::isAvailable() const
{
    return m_database.hasTrashTables();
}

void NoteTrash::passed(Step step)
{
    if (observer)
        observer(step);
}

QString NoteTrash::folderOf(int noteId) const
{
    return m_context.trashFolder() + QString::number(noteId) + QLatin1Char('/');
}

QString NoteTrash::fileOf(const TrashedNote &note) const
{
    return folderOf(note.noteId) + note.filename;
}

bool NoteTrash::trash(int noteId, const QDateTime &now)
{
    const QString dataFolder = m_context.dataFolder;
    const QString columns = keptColumns(m_database);
    QVariantList row;
    {
        QSqlQuery &query =
            m_database.runQuery(QStringLiteral("select %1 from note where noteid=?").arg(columns), {noteId});
        if (!query.next()) {
            query.finish();
            return false;
        }
        for (int i = 0; i <= int(columns.count(QLatin1Char(','))); ++i)
            row << query.value(i);
        query.finish();
    }
    const int tagid = row.at(2).toInt();
    const QString catalogPath = namesPath(m_database, tagid);

    TrashMove move;
    move.direction = TrashMove::Direction::IntoTrash;
    move.noteId = noteId;
    move.noteFolder = folderOf(noteId);
    move.files = noteFiles(m_database, noteId);
    const QString noteFile = row.at(4).toString().replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!move.files.isEmpty() && move.files.first() == noteFile) {
        // Pictures are copied: their names stay taken in the day folder, so that
        // no later picture takes one and shows in the note once it is back.
        move.shared = notePictures(dataFolder, move.files.first());
        move.files << move.shared;
    }
    PendingWork pending(m_context.pendingFolder());
    pending.record({{}, {}, move});
    const QString problem = carryTrashMove(move, dataFolder);
    if (!problem.isEmpty()) {
        pending.finish();
        throwIfFailed(problem);
    }
    passed(Step::FilesMoved);
    try {
        Transaction transaction(m_database);
        m_database.runStatement(QStringLiteral("insert into trashednote (%1, catalogpath, trashdate) values (%2,?,?)")
                                    .arg(columns, marks(columns)),
                                row + QVariantList{catalogPath, now});
        m_database.runStatement(QStringLiteral("insert into trashedattachment (attid, noteid, attname, path) "
                                               "select attid, noteid, attname, path from attachment where noteid=?"),
                                {noteId});
        shiftNoteCounts(m_database, tagid, -1);
        m_database.runStatement(QStringLiteral("delete from attachment where noteid=?"), {noteId});
        m_database.runStatement(QStringLiteral("delete from note where noteid=?"), {noteId});
        m_database.markNoteChanged(noteId);
        passed(Step::RowsWritten);
        transaction.commit();
    } catch (...) {
        undoTrashMove(move, dataFolder);
        pending.finish();
        throw;
    }
    passed(Step::Committed);
    pending.finish();
    return true;
}

int NoteTrash::restore(int noteId)
{
    const QString columns = keptColumns(m_database);
    QVariantList row;
    QString catalogPath;
    {
        QSqlQuery &query = m_database.runQuery(
            QStringLiteral("select %1, catalogpath from trashednote where noteid=?").arg(columns), {noteId});
        if (!query.next()) {
            query.finish();
            return 0;
        }
        const int kept = int(columns.count(QLatin1Char(','))) + 1;
        for (int i = 0; i < kept; ++i)
            row << query.value(i);
        catalogPath = query.value(kept).toString();
        query.finish();
    }
    TrashMove move;
    move.direction = TrashMove::Direction::OutOfTrash;
    move.noteId = noteId;
    move.noteFolder = folderOf(noteId);
    move.files = filesBelow(move.noteFolder);
    // A picture another note shows may be back in place already.
    for (const QString &file : std::as_const(move.files)) {
        if (file.contains(QLatin1String("/images/")))
            move.shared << file;
    }
    PendingWork pending(m_context.pendingFolder());
    pending.record({{}, {}, move});
    const QString problem = carryTrashMove(move, m_context.dataFolder);
    if (!problem.isEmpty()) {
        pending.finish();
        throwIfFailed(problem);
    }
    passed(Step::FilesMoved);
    int tagid = 0;
    try {
        Transaction transaction(m_database);
        // Back under its old path, made again where nodes are gone, as a save files it.
        tagid = fileUnderTagPath(m_database, catalogPath.trimmed().isEmpty() ? Untagged : catalogPath, 0, QString());
        if (tagid == 0)
            tagid = fileUnderTagPath(m_database, Untagged, 0, QString());
        row[2] = tagid;
        m_database.runStatement(QStringLiteral("insert into note (%1) values (%2)").arg(columns, marks(columns)), row);
        m_database.runStatement(
            QStringLiteral("insert into attachment (attid, noteid, attname, path) "
                           "select attid, noteid, attname, path from trashedattachment where noteid=?"),
            {noteId});
        m_database.runStatement(QStringLiteral("delete from trashedattachment where noteid=?"), {noteId});
        m_database.runStatement(QStringLiteral("delete from trashednote where noteid=?"), {noteId});
        m_database.markNoteChanged(noteId);
        m_database.markTagChanged(tagid);
        passed(Step::RowsWritten);
        transaction.commit();
    } catch (...) {
        undoTrashMove(move, m_context.dataFolder);
        pending.finish();
        throw;
    }
    passed(Step::Committed);
    QDir(move.noteFolder).removeRecursively(); // what is left are copies of pictures in place again
    pending.finish();
    return tagid;
}

bool NoteTrash::destroy(int noteId)
{
    Transaction transaction(m_database);
    const bool there =
        m_database.queryInteger(QStringLiteral("select count(*) from trashednote where noteid=?"), {noteId}) > 0;
    if (!there)
        return false; // a stored note's history is not the trash's to forget
    QSqlQuery &row = m_database.runQuery(QStringLiteral("select filename from trashednote where noteid=?"), {noteId});
    const QString noteFile =
        row.next() ? row.value(0).toString().replace(QLatin1Char('\\'), QLatin1Char('/')) : QString();
    row.finish();
    m_database.runStatement(QStringLiteral("delete from trashedattachment where noteid=?"), {noteId});
    m_database.runStatement(QStringLiteral("delete from trashednote where noteid=?"), {noteId});
    transaction.commit();
    passed(Step::Destroyed);
    // The rows go first: a removal cut short leaves files without a row, which
    // the next start's settling removes, never a row without its files.
    // Its pictures left in the day folder go too, unless another note shows them.
    QStringList pictures;
    for (const QString &file : filesBelow(folderOf(noteId))) {
        if (file.contains(QLatin1String("/images/")) && QFileInfo::exists(m_context.dataFolder + file))
            pictures << file;
    }
    const QStringList shown = picturesSharedWithOthers(m_context.dataFolder, noteFile, pictures);
    for (const QString &picture : std::as_const(pictures)) {
        if (!shown.contains(picture))
            QFile::remove(m_context.dataFolder + picture);
    }
    QDir(folderOf(noteId)).removeRecursively();
    forgetNoteHistory(m_context.dataFolder, noteId);
    return true;
}

int NoteTrash::empty()
{
    int destroyed = 0;
    for (const TrashedNote &note : notes())
        destroyed += destroy(note.noteId) ? 1 : 0;
    return destroyed;
}

int NoteTrash::settle(int trashDays, const QDateTime &now)
{
    if (!isAvailable())
        return 0;
    QSet<int> trashed;
    int destroyed = 0;
    for (const TrashedNote &note : notes()) {
        if (trashDays > 0 && note.trashed.addDays(trashDays) < now)
            destroyed += destroy(note.noteId) ? 1 : 0;
        else
            trashed.insert(note.noteId);
    }
    // Folders of notes that are no longer in the trash, unless unfinished work
    // still names them (its recovery failed and comes again).
    QSet<QString> named;
    for (const QString &entry : PendingWork::entriesIn(m_context.pendingFolder()))
        named.insert(PendingWork::read(entry).trash.noteFolder);
    const QStringList folders = QDir(m_context.trashFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &folder : folders) {
        bool number = false;
        const int noteId = folder.toInt(&number);
        if (!number || trashed.contains(noteId) || named.contains(folderOf(noteId)))
            continue;
        QDir(folderOf(noteId)).removeRecursively();
    }
    return destroyed;
}

QList<TrashedNote> NoteTrash::notes()
{
    QList<TrashedNote> notes;
    if (!isAvailable())
        return notes;
    QSqlQuery &query = m_database.runQuery(QStringLiteral(
        "select noteid, title, catalogpath, filename, createdate, trashdate from trashednote order by trashdate desc, "
        "noteid desc"));
    while (query.next()) {
        TrashedNote note;
        note.noteId = query.value(0).toInt();
        note.title = query.value(1).toString();
        note.catalogPath = query.value(2).toString();
        note.filename = query.value(3).toString().replace(QLatin1Char('\\'), QLatin1Char('/'));
        note.created = query.value(4).toDateTime();
        note.trashed = query.value(5).toDateTime();
        notes << note;
    }
    query.finish();
    return notes;
}

int NoteTrash::count()
{
    return isAvailable() ? m_database.queryInteger(QStringLiteral("select count(*) from trashednote")) : 0;
}
