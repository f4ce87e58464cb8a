#pragma once

#include <QHash>
#include <QString>

class NoteSearcher;
class TDBDataModule;
class TMainForm;

// No trashed note is listed or found by the full-text search (by the word only
// its text holds, markerOf), and the trash shows each of them once; the latest
// stored note is found, so that an empty index cannot pass. Run inside an open
// read transaction, which it ends and opens again around the index's wait.
QString checkTrashedNotesAreGone(TMainForm &explorer, TDBDataModule &database, NoteSearcher &searcher,
                                 const QHash<int, QString> &markerOf);
