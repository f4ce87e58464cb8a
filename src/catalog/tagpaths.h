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

// Stored paths are compared the way typed paths are read: cut at each comma, each
// name trimmed like a typed name, the letters a to z folded. A node at level deep
// has deep names; one more, empty, is the comma the user typed at the end
// (the resolver keeps the typed text as the last node's path).

// Whether a stored path names the nodes of names, from the top down.
bool pathNamesMatch(const QString &path, const QStringList &names);

// Where the rest of a path begins when its first prefixNames names are those of
// prefix and more names follow: the index of the comma after them; -1 otherwise.
qsizetype pathPrefixEnd(const QString &path, const QString &prefix, int prefixNames);

// The path of a renamed node at level deep: its own (last) name replaced when the
// path ends with the old name, otherwise unchanged.
QString renamedTagPath(const QString &oldPath, int deep, const QString &oldName, const QString &newName);

// Files one note under the path typed in the editor's catalog field and answers
// the id of the path's last node, creating missing nodes. When the editor opened
// a stored note (openedPath not empty, previousTagId not 0), the note first
// leaves its previous node and every node above it. Every node on the new path
// counts one more note and takes the path as typed this time; the last node's
// path is the field text itself with A to Z lower-cased. Answers 0 when the
// field holds no name, and 0 after rolling everything back on a database error.
int ResolveTagPath(TDBDataModule &database, const QString &fieldText, int previousTagId, const QString &openedPath);

// The same inside the caller's open transaction, without catching: answers the
// leaf's tagid (0 when the field holds no name) and throws DbError, or
// CatalogLoopError when the previous node's parent links run in a circle. Every
// node whose count changed or that was made is marked changed.
int fileUnderTagPath(TDBDataModule &database, const QString &fieldText, int previousTagId, const QString &openedPath);
