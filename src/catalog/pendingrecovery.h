#pragma once

#include <QString>
#include <QStringList>

class TDBDataModule;

struct RecoveryReport
{
    int entries = 0;            // unfinished pieces of work found
    int adoptedNotes = 0;       // notes whose save was interrupted, stored now
    int refiledNotes = 0;       // stored notes saved again whose rows were cut short, filed now
    int removedFiles = 0;       // files left without a row, removed
    int forgottenHistories = 0; // earlier versions of notes without a row, removed
    QStringList problems;       // what could not be finished; the entry stays for the next start
};

// Finishes what an earlier run left unfinished (PendingWork entries): a note file
// written by a save that never committed is stored now, under the title and
// catalog the save was given, with its attachments; a stored note whose new
// text was written takes the title and catalog it was saved with; every other
// file an entry names is removed unless a row holds it, and so are the
// temporary copies a whole-file write cut short leaves beside them. Only files
// named by an entry, and their temporaries, are ever touched, and the earlier
// versions of notes that have no row (a deletion cut short). A note's files on
// their way into the trash or out of it end on the side its committed rows
// say. Run at start-up, before any editor opens.
RecoveryReport recoverPendingWork(TDBDataModule &database, const QString &pendingFolder, const QString &dataFolder);

// Removes the copies a cut-short whole-file write left beside the file
// (relative to the data folder) that no row holds; answers how many.
int removeCutShortCopies(TDBDataModule &database, const QString &dataFolder, const QString &file);

// Whether a note row or an attachment row holds the file (relative to the data folder).
bool fileHasRow(TDBDataModule &database, const QString &relativePath);
