#include "catalogcommands.h"

#include "appcontext.h"
#include "catalogedits.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notelistpane.h"
#include "tagpaths.h"
#include "tagtreeview.h"

#include <QTreeWidget>

CatalogCommands::CatalogCommands(TMainForm &explorer)
    : m_explorer(explorer)
{
}

void CatalogCommands::AddTagActExecute()
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    const MessageTexts &messages = m_explorer.context().messages;
    TagTreeItem *selected = tree->selectedTag();
    const QString prompt = messages.shown(QStringLiteral("AddTagPrompt")) +
                           (selected ? selected->record.path : QStringLiteral("Root")) + QLatin1Char('"');
    bool ok = false;
    const QString input = m_explorer.askText(messages.shown(QStringLiteral("AddTagCaption")), prompt, &ok);
    if (!ok || input.isEmpty())
        return;

    // The new nodes come into the tree as their parents' last children.
    AddTagPath(m_explorer.database(), selected ? &selected->record : nullptr, input);
    m_explorer.refreshCatalog();
    m_explorer.changeTreeQuietly([tree] { tree->expandAll(); });
}

void CatalogCommands::SetIconMenuClick()
{
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    if (!tag)
        return;
    const int tagId = tag->record.tagid;
    const int index = m_explorer.chooseIcon();
    if (index < 0)
        return;
    setTagIcon(m_explorer.database(), tagId, index);
    m_explorer.refreshCatalog();
}

void CatalogCommands::qtreeEditChange(const QString &text)
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    TagTreeItem *found = tree->findNameContaining(text);
    if (!found)
        return;
    m_explorer.selectTagQuietly(found);
    tree->scrollToItem(found);
    m_explorer.notes().ShowTagNotes();
}

void CatalogCommands::RenameTagActExecute()
{
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    if (!tag)
        return;
    const int tagId = tag->record.tagid;
    const MessageTexts &messages = m_explorer.context().messages;
    bool ok = false;
    const QString name =
        m_explorer.askTextStartingWith(tag->record.name, messages.shown(QStringLiteral("RenameTagCaption")),
                                       messages.shown(QStringLiteral("RenameTagPrompt")), &ok);
    if (!ok || name.isEmpty())
        return;
    // One transaction: the node and the paths below it are renamed together or not at all.
    renameTag(m_explorer.database(), tagId, name);
    m_explorer.fullTextSearch()->catalogChangedBelow(tagId);
    m_explorer.refreshCatalog();
}

void CatalogCommands::DeleteTagActExecute()
{
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    if (!tag)
        return;
    DeleteTagOutcome outcome = DeleteTagOutcome::Missing;
    try {
        outcome = deleteTag(m_explorer.database(), tag->record.tagid);
    } catch (const DbError &) {
        return; // rolled back; nothing to tell
    }
    if (outcome == DeleteTagOutcome::NotEmpty)
        m_explorer.showMessage(m_explorer.context().messages.shown(QStringLiteral("CannotDelTag")));
    // The node leaves the tree; the node Qt selects in its place is listed.
    m_explorer.refreshCatalog();
}

namespace {

// Whether target is moved or lies below it.
bool isAtOrBelow(const QTreeWidgetItem *target, const QTreeWidgetItem *moved)
{
    for (const QTreeWidgetItem *node = target; node; node = node->parent()) {
        if (node == moved)
            return true;
    }
    return false;
}

} // namespace

bool CatalogCommands::TagTreeViewDragOver(QObject *source, TagTreeItem *target) const
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    if (source == tree) {
        // A node never goes below itself.
        TagTreeItem *moved = tree->selectedTag();
        return moved && (!target || !isAtOrBelow(target, moved));
    }
    return source && source->objectName() == QLatin1String("NoteListView");
}

void CatalogCommands::TagTreeViewDragDrop(QObject *source, TagTreeItem *target)
{
    if (!target || !TagTreeViewDragOver(source, target))
        return;
    TagTreeView *tree = m_explorer.TagTreeView_();
    TDBDataModule &database = m_explorer.database();
    const int targetId = target->record.tagid;
    try {
        if (source == tree) {
            TagTreeItem *moved = tree->selectedTag();
            if (moveTag(database, moved->record.tagid, targetId)) {
                m_explorer.changeTreeQuietly([tree, moved, target] { tree->moveUnder(moved, target); });
                m_explorer.fullTextSearch()->catalogChangedBelow(moved->record.tagid);
            }
        } else {
            const NoteListRecord *note = m_explorer.notes().selectedNote();
            if (!note)
                return;
            if (moveNote(database, note->noteid, targetId))
                m_explorer.fullTextSearch()->noteChanged(note->noteid);
        }
    } catch (const CatalogLoopError &error) {
        m_explorer.reportCatalogLoop(error);
        return;
    }
    m_explorer.refreshCatalog();
    if (TagTreeItem *shown = tree->findTag(targetId))
        m_explorer.selectTagQuietly(shown);
    m_explorer.notes().ShowTagNotes();
    m_explorer.changeTreeQuietly([tree] { tree->expandAll(); });
}
