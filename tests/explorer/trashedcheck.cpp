#include "trashedcheck.h"

#include "dbdatamodule.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notelistpane.h"
#include "notesearcher.h"
#include "notetrash.h"
#include "trashview.h"

#include <QTreeWidget>

QString checkTrashedNotesAreGone(TMainForm &explorer, TDBDataModule &database, NoteSearcher &searcher,
                                 const QHash<int, QString> &markerOf)
{
    QList<int> trashed;
    for (const TrashedNote &note : explorer.noteTrash().notes())
        trashed << note.noteId;
    if (explorer.trashView()->noteCount() != trashed.size())
        return QStringLiteral("the trash shows %1 notes of %2")
            .arg(explorer.trashView()->noteCount())
            .arg(trashed.size());
    for (int i = 0; i < explorer.noteList()->topLevelItemCount(); ++i) {
        const int listed = NoteListPane::noteRecord(explorer.noteList()->topLevelItem(i))->noteid;
        if (trashed.contains(listed))
            return QStringLiteral("trashed note %1 is listed").arg(listed);
    }
    if (trashed.isEmpty())
        return QString();
    database.rollback(); // the index reads the rows on its own connection
    explorer.fullTextSearch()->waitForUpdates();
    searcher.refresh();
    database.startTransaction();
    auto found = [&](int noteId) {
        for (const SearchHit &hit : searcher.search(markerOf.value(noteId), 0)) {
            if (hit.note.noteId == noteId)
                return true;
        }
        return false;
    };
    for (const int noteId : std::as_const(trashed)) {
        if (found(noteId))
            return QStringLiteral("trashed note %1 is found by \"%2\"").arg(noteId).arg(markerOf.value(noteId));
    }
    // The search itself works: the latest stored note is found by its word.
    const int latest = database.queryInteger(QStringLiteral("select max(noteid) from note"));
    if (markerOf.contains(latest) && !found(latest))
        return QStringLiteral("stored note %1 is not found by \"%2\"").arg(latest).arg(markerOf.value(latest));
    return QString();
}
