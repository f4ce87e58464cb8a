#include "pendingrecovery.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "notefiling.h"
#include "notehistory.h"
#include "pendingwork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>

namespace {

// The hash versions are named by, of a file's text; empty when it cannot be read.
QString fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return versionHash(file.readAll());
}

QString withBackslashes(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// The note file a row names, relative to the data folder; empty without the row.
QString rowFileOf(TDBDataModule &database, int noteId)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select filename from note where noteid=?"), {noteId});
    const QString file = query.next() ? fieldPath(query, "filename") : QString();
    query.finish();
    return file;
}

} // namespace

// A whole-file write over an existing file links its new content beside it as
// "<name>.XXXXXX" before the rename; a run cut short between the two leaves
// that copy. Those of the files an entry names go, unless a row holds one.
int removeCutShortCopies(TDBDataModule &database, const QString &dataFolder, const QString &file)
{
    const QFileInfo named(dataFolder + file);
    const QString folder = QFileInfo(file).path() == QLatin1String(".") ? QString() : QFileInfo(file).path() + '/';
    int removed = 0;
    for (const QString &copy :
         QDir(named.absolutePath())
             .entryList({named.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden)) {
        if (!fileHasRow(database, folder + copy) && QFile::remove(named.absolutePath() + QLatin1Char('/') + copy))
            ++removed;
    }
    return removed;
}

bool fileHasRow(TDBDataModule &database, const QString &relativePath)
{
    // Older copies stored the separators as backslashes.
    if (database.queryInteger(QStringLiteral("select count(*) from note where filename=? or filename=?"),
                              {relativePath, withBackslashes(relativePath)}) > 0)
        return true;
    const qsizetype slash = relativePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = relativePath.left(slash + 1);
    const QString name = relativePath.mid(slash + 1);
    return database.queryInteger(
               QStringLiteral("select count(*) from attachment where attname=? and (path=? or path=?)"),
               {name, folder, withBackslashes(folder)}) > 0;
}

RecoveryReport recoverPendingWork(TDBDataModule &database, const QString &pendingFolder, const QString &dataFolder)
{
    RecoveryReport report;
    for (const QString &entryPath : PendingWork::entriesIn(pendingFolder)) {
        ++report.entries;
        const PendingEntry entry = PendingWork::read(entryPath);
        const PendingNote &note = entry.note;
        try {
            if (entry.trash.direction != TrashMove::Direction::None && !entry.trash.noteFolder.isEmpty()) {
                settleTrashMove(database, entry.trash, dataFolder);
                QFile::remove(entryPath);
                continue;
            }
            const bool adopt = note.noteId == 0 && !note.file.isEmpty() && QFileInfo::exists(dataFolder + note.file) &&
                               !fileHasRow(database, note.file);
            // A stored note's new text was written, its row not yet: the row follows.
            // Its file may hold the new text though the run ended before that was recorded.
            const bool written = note.written || (!note.textHash.isEmpty() && fileHash(dataFolder + note.file) == note.textHash);
            const bool refile = note.noteId > 0 && written && rowFileOf(database, note.noteId) == note.file;
            if (adopt || refile) {
                NoteFilingRequest request;
                request.noteId = note.noteId;
                request.title = note.title;
                request.catalogText = note.catalogText.isEmpty() ? QStringLiteral("untagged") : note.catalogText;
                request.refile = adopt || note.refile;
                request.retitle = adopt || note.retitle;
                request.relativeFile = note.file;
                for (const QString &copy : note.attachments) {
                    if (!QFileInfo::exists(dataFolder + copy) || fileHasRow(database, copy))
                        continue;
                    const qsizetype slash = copy.lastIndexOf(QLatin1Char('/'));
                    request.attachments << AttachListRecord{0, copy.mid(slash + 1), copy.left(slash + 1), 0};
                }
                NoteFiling(database).file(request);
                ++(adopt ? report.adoptedNotes : report.refiledNotes);
            }
            QStringList files = entry.files;
            if (!note.file.isEmpty())
                files << note.file;
            files << note.attachments;
            for (const QString &file : std::as_const(files)) {
                if (QFileInfo::exists(dataFolder + file) && !fileHasRow(database, file) &&
                    QFile::remove(dataFolder + file))
                    ++report.removedFiles;
                report.removedFiles += removeCutShortCopies(database, dataFolder, file);
            }
            QFile::remove(entryPath);
        } catch (const DbError &error) {
            report.problems << QStringLiteral("%1: %2").arg(entryPath, error.message());
        }
    }
    // Note numbers are used again, so the earlier versions of a note whose
    // deletion was cut short must not become another note's.
    try {
        const QList<int> withHistory = notesWithHistory(dataFolder);
        if (!withHistory.isEmpty()) {
            QSet<int> stored;
            QSqlQuery &notes = database.runQuery(QStringLiteral("select noteid from note"));
            while (notes.next())
                stored.insert(notes.value(0).toInt());
            notes.finish();
            // A trashed note keeps its history until it is destroyed for good.
            if (database.hasTrashTables()) {
                QSqlQuery &trashed = database.runQuery(QStringLiteral("select noteid from trashednote"));
                while (trashed.next())
                    stored.insert(trashed.value(0).toInt());
                trashed.finish();
            }
            for (const int noteId : withHistory) {
                if (!stored.contains(noteId) && forgetNoteHistory(dataFolder, noteId))
                    ++report.forgottenHistories;
            }
        }
    } catch (const DbError &error) {
        report.problems << error.message();
    }
    return report;
}
