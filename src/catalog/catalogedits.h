#pragma once

#include <QString>
#include <QStringList>

class TDBDataModule;

// Editing the catalog and its notes, row by row. Each operation is one
// transaction that decides from the rows, changes stored note counts only
// relative to the rows (childcount = childcount + n), and marks every node it
// changed (TDBDataModule::markTagChanged). On a database error it rolls back and
// throws DbError; a loop in the parent links throws CatalogLoopError.

// Renames a node: its name as typed, the last name of its path, and the
// beginning of the path of every node below it.
void renameTag(TDBDataModule &database, int tagid, const QString &newName);

enum class DeleteTagOutcome {
    Deleted,
    Protected, // "untagged" is never deleted
    NotEmpty,  // notes are filed in it, or nodes below it
    Missing,   // no such row
};

// Deletes a node that holds no note and has no node below it.
DeleteTagOutcome deleteTag(TDBDataModule &database, int tagid);

// Moves a node with everything below it under target: the notes it counts leave
// its old parent and every node above it and join target and every node above
// it; its path and level and those of the nodes below it follow. Answers false,
// changing nothing, for a move onto the node itself or below it, or of a node
// that is gone.
bool moveTag(TDBDataModule &database, int movedId, int targetId);

// Files a note under target: its node and every node above it lose it, target and
// every node above it gain it. Answers false, changing nothing, when the note is
// there already or is gone.
bool moveNote(TDBDataModule &database, int noteId, int targetId);

// The files of a note, relative to the data folder: its own file and the copies
// of its attachments.
QStringList noteFiles(TDBDataModule &database, int noteId);
// Deletes a note's row and its attachments' rows; its node and every node above
// it lose it. The files are the caller's, once this has committed.
void deleteNote(TDBDataModule &database, int noteId);

// Stores a note's title, cut to the column's length; answers what was stored.
QString retitleNote(TDBDataModule &database, int noteId, const QString &title);

// Stores a node's icon index.
void setTagIcon(TDBDataModule &database, int tagid, int icon);
