#pragma once

#include "indexednote.h"

#include <QList>
#include <optional>

class TDBDataModule;

// Reading what the index needs about notes from the database and the data
// folder (dataFolder ends with "/"). Database failures throw DbError.

// One note; nothing when its row is gone.
std::optional<IndexedNote> readIndexedNote(TDBDataModule &database, const QString &dataFolder, int noteId);

// Every note, in noteid order, without the file stamps (stampNoteFile).
QList<IndexedNote> readAllIndexedNotes(TDBDataModule &database);

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
