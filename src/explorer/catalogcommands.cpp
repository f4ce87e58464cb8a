#include "catalogcommands.h"

#include "appcontext.h"
#include "catalogediting.h"
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

    const QList<TagWalkStep> steps = AddTagPath(m_explorer.database(), selected ? &selected->record : nullptr, input);
    tree->setUpdatesEnabled(false);
    QTreeWidgetItem *parent = selected;
    for (const TagWalkStep &step : steps) {
        if (step.created) {
            auto *node = new TagTreeItem(step.record);
            if (parent)
                parent->addChild(node);
            else
                tree->addTopLevelItem(node);
            parent = node;
        } else if (TagTreeItem *existing = tree->findTag(step.record.tagid)) {
            parent = existing;
        }
    }
    tree->expandAll();
    tree->setUpdatesEnabled(true);
}

void CatalogCommands::SetIconMenuClick()
{
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    if (!tag)
        return;
    const int index = m_explorer.chooseIcon();
    if (index < 0)
        return;
    TDBDataModule &database = m_explorer.database();
    Transaction transaction(database);
    database.runStatement(QStringLiteral("update tags set icoid=? where tagid=?"), {index, tag->record.tagid});
    transaction.commit();
    tag->setIconIndex(index);
}

void CatalogCommands::qtreeEditChange(const QString &text)
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    TagTreeItem *found = tree->findCaptionContaining(text);
    if (!found)
        return;
    tree->setCurrentItem(found);
    tree->scrollToItem(found);
    m_explorer.notes().ShowTagNotes();
}

void CatalogCommands::RenameTagActExecute()
{
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    if (!tag)
        return;
    const MessageTexts &messages = m_explorer.context().messages;
    bool ok = false;
    const QString name = m_explorer.askText(messages.shown(QStringLiteral("RenameTagCaption")),
                                            messages.shown(QStringLiteral("RenameTagPrompt")), &ok);
    if (!ok || name.isEmpty())
        return;
    const QString oldName = tag->record.name;
    tag->record.name = name;
    tag->showCount(m_explorer.state().SearchText.isEmpty() ? tag->record.childcount : tag->record.count);
    const QString oldPath = tag->record.path;
    RenameTagPath(m_explorer.database(), tag, oldPath, renamedTagPath(oldPath, oldName, name));
    m_explorer.fullTextSearch()->catalogChangedBelow(tag->record.tagid);
}

void CatalogCommands::DeleteTagActExecute()
{
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    if (!tag)
        return;
    if (deleteTag(m_explorer.database(), tag) == DeleteTagOutcome::NotEmpty)
        m_explorer.showMessage(m_explorer.context().messages.shown(QStringLiteral("CannotDelTag")));
}

bool CatalogCommands::TagTreeViewDragOver(QObject *source, TagTreeItem *target) const
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    if (source == tree) {
        // A node never goes below itself.
        TagTreeItem *moved = tree->selectedTag();
        return moved && (!target || canMoveTag(moved, target));
    }
    return source && source->objectName() == QLatin1String("NoteListView");
}

void CatalogCommands::TagTreeViewDragDrop(QObject *source, TagTreeItem *target)
{
    if (!target || !TagTreeViewDragOver(source, target))
        return;
    TagTreeView *tree = m_explorer.TagTreeView_();
    TDBDataModule &database = m_explorer.database();
    try {
        if (source == tree) {
            TagTreeItem *moved = tree->selectedTag();
            moveTag(database, tree, moved, target);
            m_explorer.fullTextSearch()->catalogChangedBelow(moved->record.tagid);
        } else {
            const NoteListRecord *note = m_explorer.notes().selectedNote();
            if (!note)
                return;
            moveNote(database, tree, note->noteid, note->tagid, target);
            m_explorer.fullTextSearch()->noteChanged(note->noteid);
        }
    } catch (const DbError &) {
        // The rows were rolled back; the tree is read again so that it shows them.
        const int targetId = target->record.tagid;
        tree->loadFull(database);
        if (TagTreeItem *again = tree->findTag(targetId))
            tree->setCurrentItem(again);
        throw;
    }
    tree->setCurrentItem(target);
    m_explorer.notes().ShowTagNotes();
    tree->expandAll();
}
