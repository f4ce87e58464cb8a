#include "survivalcheck.h"

#include "dbdatamodule.h"
#include "notehistory.h"
#include "savelog.h"
#include "tagpaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>

namespace {

const QString ByCheck = QStringLiteral("check");

QString named(const NoteState &note)
{
    return QStringLiteral("note %1 \"%2\"").arg(note.noteId).arg(note.title.left(60));
}

bool sameCatalog(const QString &stored, const QString &typed)
{
    return pathNamesMatch(stored, splitTagPath(typed));
}

bool sameRow(const NoteState &found, const QString &title, const QString &catalog)
{
    return found.title == title && sameCatalog(found.catalog, catalog);
}

// A whole note file that holds the marker: what a save that carried it wrote.
bool holdsMarker(const QString &path, const QString &marker)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    return text.trimmed().toLower().endsWith("</html>") && text.contains(marker.toUtf8());
}

// How the note's attachments and pictures differ from what was acknowledged;
// extraAttachments allows attachments added by a save cut short.
QStringList filesDiffer(const NoteState &found, const NoteState &expected, bool extraAttachments)
{
    QStringList differences;
    for (const NoteState::Attachment &wanted : expected.attachments) {
        const auto have = std::find_if(found.attachments.cbegin(), found.attachments.cend(),
                                       [&wanted](const NoteState::Attachment &a) { return a.id == wanted.id; });
        if (have == found.attachments.cend())
            differences << QStringLiteral("attachment %1 (%2) has no row").arg(wanted.id).arg(wanted.file);
        else if (have->file != wanted.file)
            differences << QStringLiteral("attachment %1 names %2, acknowledged %3")
                               .arg(wanted.id)
                               .arg(have->file, wanted.file);
        else if (have->size != wanted.size || have->hash != wanted.hash)
            differences << QStringLiteral("the copy %1 holds %2 bytes other than the %3 acknowledged")
                               .arg(wanted.file)
                               .arg(have->size)
                               .arg(wanted.size);
    }
    for (const NoteState::Attachment &have : found.attachments) {
        const bool known = std::any_of(expected.attachments.cbegin(), expected.attachments.cend(),
                                       [&have](const NoteState::Attachment &a) { return a.id == have.id; });
        if (!known && !extraAttachments)
            differences << QStringLiteral("attachment %1 (%2) was never acknowledged").arg(have.id).arg(have.file);
    }
    for (auto it = expected.pictures.cbegin(); it != expected.pictures.cend(); ++it) {
        if (found.pictures.value(it.key()) != it.value())
            differences << QStringLiteral("the picture %1 is not the one acknowledged").arg(it.key());
    }
    return differences;
}

QStringList differences(const NoteState &found, const NoteState &expected)
{
    QStringList differences;
    if (found.title != expected.title)
        differences << QStringLiteral("its title is \"%1\", acknowledged \"%2\"")
                           .arg(found.title.left(60), expected.title.left(60));
    if (!sameCatalog(found.catalog, expected.catalog))
        differences
            << QStringLiteral("it is filed under \"%1\", acknowledged \"%2\"").arg(found.catalog, expected.catalog);
    if (found.file != expected.file)
        differences << QStringLiteral("its row names %1, acknowledged %2").arg(found.file, expected.file);
    else if (found.hash.isEmpty())
        differences << QStringLiteral("its file %1 is missing").arg(found.file);
    else if (found.hash != expected.hash)
        differences << QStringLiteral("its file %1 is not what was acknowledged").arg(found.file);
    return differences + filesDiffer(found, expected, false);
}

// The files of a note that is gone and that no other row holds, still there.
QStringList filesLeft(const NoteState &gone, const StoredNotes &stored, const QString &dataFolder)
{
    QStringList files{gone.file};
    for (const NoteState::Attachment &attachment : gone.attachments)
        files << attachment.file;
    QStringList left;
    for (const QString &file : std::as_const(files)) {
        if (!file.isEmpty() && !stored.holdsFile(file) && QFileInfo::exists(dataFolder + file))
            left << file;
    }
    return left;
}

// Whether the note's earlier versions hold the text of that hash, whole.
bool keepsVersion(const QString &dataFolder, int noteId, const QString &hash)
{
    const NoteHistory history(dataFolder, noteId);
    for (const NoteVersion &version : history.versions()) {
        if (version.hash == hash)
            return QFileInfo::exists(history.copyPath(hash));
    }
    return false;
}

// Every version an index names has its whole copy, and only stored and trashed notes have versions.
QStringList historyProblems(const StoredNotes &stored, const QSet<int> &trashed, const QString &dataFolder)
{
    QStringList problems;
    const QList<int> ids = stored.ids();
    for (const int noteId : notesWithHistory(dataFolder)) {
        if (!ids.contains(noteId) && !trashed.contains(noteId))
            problems << QStringLiteral("note %1 has no row but earlier versions").arg(noteId);
        const NoteHistory history(dataFolder, noteId);
        for (const NoteVersion &version : history.versions()) {
            try {
                history.text(version);
            } catch (const std::runtime_error &error) {
                problems << QStringLiteral("an earlier version of note %1: %2")
                                .arg(noteId)
                                .arg(QString::fromUtf8(error.what()));
            }
        }
    }
    return problems;
}

} // namespace

SurvivalReport checkSurvival(TDBDataModule &database, const QString &dataFolder, SaveLog *log)
{
    SurvivalReport report;
    const StoredNotes stored(database, dataFolder);
    QSet<int> trashed;
    if (database.hasTrashTables()) {
        QSqlQuery &query = database.runQuery(QStringLiteral("select noteid from trashednote"));
        while (query.next())
            trashed.insert(query.value(0).toInt());
        query.finish();
    }
    QMap<int, NoteState> found;
    for (int id : stored.ids()) {
        const NoteState note = *stored.note(id);
        for (auto it = note.pictures.cbegin(); it != note.pictures.cend(); ++it) {
            if (it.value().isEmpty())
                report.problems
                    << QStringLiteral("%1 shows the picture %2, which is missing").arg(named(note), it.key());
        }
        found.insert(id, note);
    }
    for (int id : stored.strayAttachments())
        report.problems << QStringLiteral("attachment %1 belongs to no note").arg(id);
    report.problems += historyProblems(stored, trashed, dataFolder);
    if (!log)
        return report;

    const SaveLog::Contents record = log->read();
    const std::optional<BegunWork> &work = record.unfinished;
    const int workNote = work && work->kind != BegunWork::New ? work->noteId : 0;
    QSet<int> unknown; // rows no acknowledged save made
    for (int id : found.keys()) {
        if (!record.notes.contains(id))
            unknown.insert(id);
    }

    // The work cut short: before or after, never between.
    if (work && work->kind == BegunWork::New) {
        QList<int> made;
        for (int id : std::as_const(unknown)) {
            if (sameRow(found.value(id), work->title, work->catalog) &&
                holdsMarker(dataFolder + found.value(id).file, work->marker))
                made << id;
        }
        if (made.size() > 1)
            report.problems << QStringLiteral("one new note's save cut short stored %1 notes").arg(made.size());
        if (made.isEmpty()) {
            report.unfinished = QStringLiteral("new: not stored");
            log->undone(work->work);
        } else {
            report.unfinished = QStringLiteral("new: stored");
            for (int id : std::as_const(made)) {
                unknown.remove(id);
                log->saved(work->work, found.value(id));
            }
        }
    } else if (work && work->kind == BegunWork::Again) {
        const NoteState earlier = record.notes.value(work->noteId);
        if (!found.contains(work->noteId)) {
            report.problems << QStringLiteral("%1 is gone after a save of it was cut short").arg(named(earlier));
            log->deleted(work->work, work->noteId);
        } else {
            const NoteState &now = found[work->noteId];
            const bool rowBefore = sameRow(now, earlier.title, earlier.catalog);
            const bool rowAfter = sameRow(now, work->title, work->catalog);
            const bool textBefore = now.file == earlier.file && now.hash == earlier.hash;
            const bool textAfter = now.file == earlier.file && holdsMarker(dataFolder + now.file, work->marker);
            if (!rowBefore && !rowAfter)
                report.problems << QStringLiteral("%1, saved again under \"%2\" \"%3\" when cut short, has neither "
                                                  "its earlier nor its new title and catalog (\"%4\")")
                                       .arg(named(earlier), work->title.left(60), work->catalog, now.catalog);
            if (!textBefore && !textAfter)
                report.problems << QStringLiteral("the file of %1, saved again when cut short, holds neither its "
                                                  "earlier nor its new text")
                                       .arg(named(earlier));
            if (textAfter && !textBefore && !keepsVersion(dataFolder, work->noteId, earlier.hash))
                report.problems << QStringLiteral("%1 holds the text of its save cut short but kept no version of "
                                                  "its earlier text")
                                       .arg(named(earlier));
            if (rowAfter && !rowBefore && !textAfter)
                report.problems
                    << QStringLiteral("%1 has the row of its save cut short but its earlier text").arg(named(earlier));
            for (const QString &difference : filesDiffer(now, earlier, true))
                report.problems << QStringLiteral("%1, saved again when cut short: %2").arg(named(earlier), difference);
            if (textAfter && !textBefore && rowBefore && !rowAfter)
                report.problems << QStringLiteral("%1, saved again when cut short, has its new text under its "
                                                  "earlier title and catalog")
                                       .arg(named(earlier));
            report.unfinished =
                rowAfter && !rowBefore ? QStringLiteral("again: stored") : QStringLiteral("again: earlier");
            log->saved(work->work, now);
        }
    } else if (work && work->kind == BegunWork::Delete) {
        const NoteState earlier = record.notes.value(work->noteId);
        if (found.contains(work->noteId)) {
            const QStringList changed = differences(found[work->noteId], earlier);
            for (const QString &difference : changed)
                report.problems << QStringLiteral("%1, whose deletion was cut short, is still there but %2")
                                       .arg(named(earlier), difference);
            report.unfinished = QStringLiteral("delete: still there");
            if (changed.isEmpty())
                log->undone(work->work);
            else
                log->saved(work->work, found[work->noteId]);
        } else {
            for (const QString &file : filesLeft(earlier, stored, dataFolder))
                report.problems << QStringLiteral("%1, whose deletion was cut short, has no row but left %2")
                                       .arg(named(earlier), file);
            if (database.hasTrashTables() && !trashed.contains(work->noteId))
                report.problems
                    << QStringLiteral("%1, whose deletion was cut short, is not in the trash").arg(named(earlier));
            report.unfinished = QStringLiteral("delete: done");
            log->deleted(work->work, work->noteId);
        }
    } else if (work && work->kind == BegunWork::Restore) {
        // Back as it was when it was trashed, or still in the trash.
        const NoteState earlier = record.deletedNotes.value(work->noteId);
        if (found.contains(work->noteId)) {
            unknown.remove(work->noteId);
            for (const QString &difference : differences(found[work->noteId], earlier))
                report.problems << QStringLiteral("%1, whose restore was cut short, is back but %2")
                                       .arg(named(earlier), difference);
            if (trashed.contains(work->noteId))
                report.problems << QStringLiteral("%1 is both back and in the trash").arg(named(earlier));
            report.unfinished = QStringLiteral("restore: done");
            log->saved(work->work, found[work->noteId]);
        } else {
            if (!trashed.contains(work->noteId))
                report.problems << QStringLiteral("%1, whose restore was cut short, is neither back nor in the trash")
                                       .arg(named(earlier));
            report.unfinished = QStringLiteral("restore: still trashed");
            log->undone(work->work);
        }
    } else if (work && work->kind == BegunWork::Empty) {
        // Each trashed note is gone for good or still whole in the trash (the rows' check).
        report.unfinished = trashed.isEmpty() ? QStringLiteral("empty: done") : QStringLiteral("empty: partly");
        log->undone(work->work);
    }

    // What acknowledged work left. A problem is recorded as found, to be told once.
    for (auto it = record.notes.cbegin(); it != record.notes.cend(); ++it) {
        if (it.key() == workNote)
            continue;
        if (!found.contains(it.key())) {
            report.problems << QStringLiteral("the acknowledged %1 is gone").arg(named(it.value()));
            log->deleted(ByCheck, it.key());
            continue;
        }
        const QStringList changed = differences(found[it.key()], it.value());
        for (const QString &difference : changed)
            report.problems << QStringLiteral("the acknowledged %1: %2").arg(named(it.value()), difference);
        if (changed.isEmpty())
            ++report.notes;
        else
            log->saved(ByCheck, found[it.key()]);
    }
    for (auto it = record.deletedNotes.cbegin(); it != record.deletedNotes.cend(); ++it) {
        if (it.key() == workNote || record.notes.contains(it.key()))
            continue;
        const QStringList left = filesLeft(it.value(), stored, dataFolder);
        if (unknown.contains(it.key()))
            report.problems << QStringLiteral("the deleted %1 has a row again").arg(named(it.value()));
        for (const QString &file : left)
            report.problems << QStringLiteral("the deleted %1 left %2").arg(named(it.value()), file);
        if (left.isEmpty() && !unknown.contains(it.key()))
            ++report.deletions;
    }
    for (int id : std::as_const(unknown)) {
        report.problems << QStringLiteral("%1 was never saved").arg(named(found.value(id)));
        log->saved(ByCheck, found.value(id));
    }
    return report;
}

QStringList checkLeftovers(const QString &programFolder)
{
    QStringList problems;
    const QString dataFolder = programFolder + QStringLiteral("data/");
    QDirIterator walk(dataFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        if (walk.fileName().startsWith(QLatin1Char('.')))
            problems << QStringLiteral("a hidden file is left in the data folder: %1")
                            .arg(walk.filePath().mid(dataFolder.size()));
    }
    const QStringList patterns{QStringLiteral(".backup-*"), QStringLiteral(".restore-*"), QStringLiteral("*.part")};
    for (const QString &name : QDir(programFolder).entryList(patterns, QDir::AllEntries | QDir::Hidden | QDir::System))
        problems << QStringLiteral("a backup's or restore's working file is left in the program folder: %1").arg(name);
    return problems;
}

QStringList setAsideStrays(TDBDataModule &database, const QString &programFolder, const QString &setAside)
{
    const QString dataFolder = programFolder + QStringLiteral("data/");
    const StoredNotes stored(database, dataFolder);
    QStringList strays;
    QDirIterator walk(dataFolder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        const QString file = walk.filePath().mid(dataFolder.size());
        const QStringList parts = file.split(QLatin1Char('/'));
        const bool noteOrCopy = (parts.size() == 2 && parts.at(1) != QLatin1String("template.html")) ||
                                (parts.size() == 3 && parts.at(1) == QLatin1String("attaches"));
        const bool hidden = file.startsWith(QLatin1Char('.')) || file.contains(QLatin1String("/."));
        if (hidden || (noteOrCopy && !stored.holdsFile(file)))
            strays << QStringLiteral("data/") + file;
    }
    const QDir pending(programFolder + QStringLiteral("pending"));
    for (const QString &name : pending.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.endsWith(QLatin1String(".pending")))
            strays << QStringLiteral("pending/") + name;
    }
    QStringList moved;
    for (const QString &stray : std::as_const(strays)) {
        const QString target = setAside + stray;
        if (QDir().mkpath(QFileInfo(target).absolutePath()) && QFile::rename(programFolder + stray, target))
            moved << stray;
    }
    return moved;
}
