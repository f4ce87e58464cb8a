#pragma once

#include <QString>

class QObject;
class TMainForm;
class TagTreeItem;

// The explorer's commands on the catalog: adding, renaming, deleting and
// decorating nodes, the drops on the tree and the quick node locator.
class CatalogCommands
{
public:
    explicit CatalogCommands(TMainForm &explorer);

    void AddTagActExecute();
    void RenameTagActExecute();
    void DeleteTagActExecute();
    void SetIconMenuClick();
    // Whether a drag from source may be dropped on target (null: anywhere on the tree).
    bool TagTreeViewDragOver(QObject *source, TagTreeItem *target) const;
    // A node or a note dropped on target.
    void TagTreeViewDragDrop(QObject *source, TagTreeItem *target);
    // The quick locator's text changed: select and list the first node whose caption holds it.
    void qtreeEditChange(const QString &text);

private:
    TMainForm &m_explorer;
};
