#pragma once

#include <QString>

class TDBDataModule;
class TagTreeItem;
class TagTreeView;

// Editing the catalog in place: every change is written to the rows and mirrored
// at once in the tree's records and captions.

// The path of a renamed node: its last name replaced when the path ends with the
// old name, otherwise unchanged.
QString renamedTagPath(const QString &oldPath, const QString &oldName, const QString &newName);

// Gives the renamed node its new path and name, and every node below it the new
// beginning of its path, one committed statement per node. A database error
// stops the walk and is thrown; nodes done by then keep their new paths.
void RenameTagPath(TDBDataModule &database, TagTreeItem *node, const QString &oldPath, const QString &newPath);

enum class DeleteTagOutcome {
    Deleted,
    Protected, // "untagged" is never deleted
    NotEmpty,  // the node has child nodes or notes
    Failed,    // the database refused; nothing changed
};

// Deletes an empty node: its row and its tree node.
DeleteTagOutcome deleteTag(TDBDataModule &database, TagTreeItem *node);

// Whether a node may be dropped onto a target: never onto itself or below itself.
bool canMoveTag(const TagTreeItem *moved, const TagTreeItem *target);

// Moves a node with everything below it to be the last child of target: counts
// of the old and new ancestors, paths and levels below, the parent link; one
// transaction. On a database error the transaction is rolled back and DbError
// thrown (the caller reloads the tree).
void moveTag(TDBDataModule &database, TagTreeView *tree, TagTreeItem *moved, TagTreeItem *target);

// Files a note under target: the old node and its ancestors lose it, target and
// its ancestors gain it; one transaction, DbError on failure.
void moveNote(TDBDataModule &database, TagTreeView *tree, int noteId, int noteTagId, TagTreeItem *target);
