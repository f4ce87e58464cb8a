#include "catalogediting.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "tagtreeview.h"

namespace {

// Changes the stored note count of a node and each node above it.
void shiftCounts(TDBDataModule &database, TagTreeItem *from, int delta)
{
    for (QTreeWidgetItem *node = from; node; node = node->parent()) {
        auto *tag = static_cast<TagTreeItem *>(node);
        const int count = tag->record.childcount + delta;
        database.runStatement(QStringLiteral("update tags set childcount=? where tagid=?"), {count, tag->record.tagid});
        tag->record.childcount = count;
        tag->showCount(count);
    }
}

void movePaths(TDBDataModule &database, TagTreeItem *node, const QString &oldPrefix, int level,
               const QString &newPrefix)
{
    QString path = node->record.path;
    if (oldPrefix.isEmpty())
        path = newPrefix + QLatin1Char(',') + path; // a top-level node gains the whole new prefix
    else if (path.startsWith(oldPrefix + QLatin1Char(',')))
        path = newPrefix + path.mid(oldPrefix.size());
    database.runStatement(QStringLiteral("update tags set path=?,deep=? where tagid=?"),
                          {path, level, node->record.tagid});
    node->record.path = path;
    node->record.deep = level;
    for (int i = 0; i < node->childCount(); ++i)
        movePaths(database, static_cast<TagTreeItem *>(node->child(i)), oldPrefix, level + 1, newPrefix);
}

} // namespace

QString renamedTagPath(const QString &oldPath, const QString &oldName, const QString &newName)
{
    if (oldPath == oldName)
        return newName;
    const QString tail = QLatin1Char(',') + oldName;
    if (oldPath.endsWith(tail))
        return oldPath.left(oldPath.size() - oldName.size()) + newName;
    return oldPath;
}

void RenameTagPath(TDBDataModule &database, TagTreeItem *node, const QString &oldPath, const QString &newPath)
{
    QString path = node->record.path;
    Transaction transaction(database);
    if (path == oldPath) {
        path = newPath;
        database.runStatement(QStringLiteral("update tags set path=?,tagname=? where tagid=?"),
                              {path, node->record.name, node->record.tagid});
    } else {
        if (path.startsWith(oldPath + QLatin1Char(',')))
            path = newPath + path.mid(oldPath.size());
        database.runStatement(QStringLiteral("update tags set path=? where tagid=?"), {path, node->record.tagid});
    }
    transaction.commit();
    node->record.path = path;
    for (int i = 0; i < node->childCount(); ++i)
        RenameTagPath(database, static_cast<TagTreeItem *>(node->child(i)), oldPath, newPath);
}

DeleteTagOutcome deleteTag(TDBDataModule &database, TagTreeItem *node)
{
    if (lowerAsciiLetters(node->record.name) == QLatin1String("untagged"))
        return DeleteTagOutcome::Protected;
    try {
        Transaction transaction(database);
        QSqlQuery &row = database.runQuery(QStringLiteral("select * from tags where tagid=?"), {node->record.tagid});
        const int childcount = row.next() ? fieldInt(row, "childcount") : 0;
        row.finish();
        if (childcount != 0 || node->childCount() > 0)
            return DeleteTagOutcome::NotEmpty;
        database.runStatement(QStringLiteral("delete from tags where tagid=?"), {node->record.tagid});
        transaction.commit();
    } catch (const DbError &) {
        return DeleteTagOutcome::Failed;
    }
    delete node;
    return DeleteTagOutcome::Deleted;
}

bool canMoveTag(const TagTreeItem *moved, const TagTreeItem *target)
{
    for (const QTreeWidgetItem *node = target; node; node = node->parent()) {
        if (node == moved)
            return false;
    }
    return true;
}

void moveTag(TDBDataModule &database, TagTreeView *tree, TagTreeItem *moved, TagTreeItem *target)
{
    Transaction transaction(database);
    const int notes = moved->record.childcount;
    auto *oldParent = static_cast<TagTreeItem *>(moved->parent());
    const QString oldPrefix = oldParent ? oldParent->record.path : QString();
    shiftCounts(database, oldParent, -notes);
    shiftCounts(database, target, notes);
    movePaths(database, moved, oldPrefix, target->record.deep + 1, target->record.path);
    moved->record.parentid = target->record.tagid;
    database.runStatement(QStringLiteral("update tags set parentid=? where tagid=?"),
                          {target->record.tagid, moved->record.tagid});
    transaction.commit();

    if (oldParent)
        oldParent->removeChild(moved);
    else
        tree->takeTopLevelItem(tree->indexOfTopLevelItem(moved));
    target->addChild(moved);
}

void moveNote(TDBDataModule &database, TagTreeView *tree, int noteId, int noteTagId, TagTreeItem *target)
{
    Transaction transaction(database);
    shiftCounts(database, tree->findTag(noteTagId), -1);
    shiftCounts(database, target, 1);
    database.runStatement(QStringLiteral("update note set tagid=? where noteid=?"), {target->record.tagid, noteId});
    database.markNoteChanged(noteId);
    transaction.commit();
}
