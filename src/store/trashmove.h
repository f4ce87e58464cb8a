#pragma once

#include <QString>
#include <QStringList>

class TDBDataModule;

// The files of one note on their way into the trash or back out of it. Each
// file keeps its path relative to the data folder inside the note's own trash
// folder, so that it goes back exactly where it came from.
struct TrashMove
{
    enum class Direction { None, IntoTrash, OutOfTrash };
    Direction direction = Direction::None;
    int noteId = 0;
    QString noteFolder; // the note's folder in the trash, ending with "/"
    QStringList files;  // relative to the data folder
    QStringList shared; // of them, pictures other notes show too: copied, never taken away
};

// Moves the files the way the move goes. Into the trash a shared file is
// copied; out of it a file already in place stays as it is when it is shared,
// and stops the move otherwise. Answers an empty text, or what failed after
// putting back what had been moved.
QString carryTrashMove(const TrashMove &move, const QString &dataFolder);

// Puts back the files of a move whose rows were never committed: each file
// goes back to the side it came from, copies left behind go, and so do the
// folders the move emptied.
void undoTrashMove(const TrashMove &move, const QString &dataFolder);

// Finishes or undoes a move that an earlier run left unfinished, by the rows:
// a move into the trash stands once the note's trashed row is committed, one
// out of it once its note row is (the trash folder then goes).
void settleTrashMove(TDBDataModule &database, const TrashMove &move, const QString &dataFolder);

// Removes the folder and every folder inside it that holds no file.
void removeEmptyFolders(const QString &folder);
