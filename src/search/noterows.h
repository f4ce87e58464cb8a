#pragma once

#include "catalogpathtable.h"
#include "indexednote.h"

#include <QList>
#include <optional>

class TDBDataModule;

// Reading what the index needs about notes from the database and the data
// folder (dataFolder ends with "/"). Database failures throw DbError.

// One note; nothing when its row is gone.
std::optional<IndexedNote> readIndexedNote(TDBDataModule &database, const QString &dataFolder, int noteId);

// The catalog path of every node by its tagid, for the readers of many notes below.
CatalogPathTable readTagPaths(TDBDataModule &database);

// At most count notes with ids above afterNoteId, in noteid order, without the
// file stamps (stampNoteFile).
QList<IndexedNote> readIndexedNotesAfter(TDBDataModule &database, const CatalogPathTable &tagPaths, int afterNoteId,
                                         int count);

// The notes of the given ids (a few hundred at most) whose rows are there, in
// noteid order, without the file stamps.
QList<IndexedNote> readIndexedNotes(TDBDataModule &database, const CatalogPathTable &tagPaths,
                                    const QList<int> &noteIds);

struct NoteCatalogPath
{
    int noteId = 0;
    QString catalogPath;
};

// The notes filed in a node and in every node below it, with their current
// catalog paths.
QList<NoteCatalogPath> readNoteCatalogPathsBelow(TDBDataModule &database, int tagId);

// Fills in the size and time of the note's file as they are now.
void stampNoteFile(IndexedNote &note, const QString &dataFolder);
