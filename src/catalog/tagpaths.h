#pragma once

#include "tagrecord.h"

#include <QList>
#include <QString>
#include <QStringList>

class TDBDataModule;

// One node met on the walk down a catalog path: its row as found, or as inserted.
struct TagWalkStep
{
    TagRecord record;
    bool created = false;
};

// Cuts a typed catalog path into node names from the left, at each comma. Each
// name loses its leading and trailing characters of code 32 and below. Empty
// names in the middle stay (",Work" is an empty-named node with Work below it);
// an empty last name is dropped ("Work," is just Work).
QStringList splitTagPath(const QString &text);

// The database half of the explorer's add-node command. Walks the typed path
// below parent (from the top when parent is null), locating each node that
// exists and inserting each one that does not, with no note in it, all in one
// transaction. Answers one step per name, in order; an input without a name
// writes nothing. On a database error the pass is rolled back and DbError thrown.
QList<TagWalkStep> AddTagPath(TDBDataModule &database, const TagRecord *parent, const QString &input);

// Files one note under the path typed in the editor's catalog field and answers
// the id of the path's last node, creating missing nodes. When the editor opened
// a stored note (openedPath not empty, previousTagId not 0), the note first
// leaves its previous node and every node above it. Every node on the new path
// counts one more note and takes the path as typed this time; the last node's
// path is the field text itself with A to Z lower-cased. Answers 0 when the
// field holds no name, and 0 after rolling everything back on a database error.
int ResolveTagPath(TDBDataModule &database, const QString &fieldText, int previousTagId, const QString &openedPath);
