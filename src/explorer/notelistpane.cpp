#include "notelistpane.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "catalogrows.h"
#include "dbdatamodule.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notelistwidget.h"
#include "notesourceline.h"
#include "storedpath.h"
#include "tagtreeview.h"

#include <QStackedWidget>
#include <QFileInfo>
#include <QIcon>
#include <QTreeWidget>

NoteListPane::NoteListPane(TMainForm &explorer)
    : m_explorer(explorer)
{
}

const NoteListRecord *NoteListPane::noteRecord(const QTreeWidgetItem *item)
{
    if (!item)
        return nullptr;
    return &static_cast<const NoteListItem *>(item)->record;
}

const NoteListRecord *NoteListPane::selectedNote() const
{
    // While the trash is shown in its place, the note commands have no note to act on.
    if (const QStackedWidget *stack = m_explorer.noteListStack(); stack && stack->currentWidget() != m_explorer.noteList())
        return nullptr;
    QTreeWidgetItem *item = m_explorer.noteList()->currentItem();
    return item && item->isSelected() ? noteRecord(item) : nullptr;
}

void NoteListPane::setCurrentNoteQuietly(QTreeWidgetItem *item)
{
    m_listing = true;
    m_explorer.noteList()->setCurrentItem(item);
    m_listing = false;
}

void NoteListPane::forgetListing()
{
    ++m_listRequest;
    m_listedTagId = -1;
    m_listedFilter.clear();
}

void NoteListPane::clearListing()
{
    forgetListing();
    m_listing = true;
    m_explorer.noteList()->clear();
    m_explorer.attachList()->clear();
    m_listing = false;
    showBlank();
}

void NoteListPane::showBlank()
{
    m_explorer.noteSourceLine()->setAddress(QString());
    m_explorer.content()->Navigate(QStringLiteral("about:blank"));
    m_explorer.content()->WaitWhileBusy();
}

void NoteListPane::ShowTagNotes()
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    QTreeWidget *list = m_explorer.noteList();
    ExplorerState &state = m_explorer.state();
    TagTreeItem *tag = tree->selectedTag();
    if (!tag)
        return;
    const int tagId = tag->record.tagid;
    const QString tagPath = tag->record.path;
    if (FullTextSearch *fullText = m_explorer.fullTextSearch())
        fullText->nodeListed();
    const int request = ++m_listRequest;
    m_listedTagId = tagId;
    m_listedFilter = state.SearchText;
    m_listing = true;
    list->clear();
    m_explorer.attachList()->clear();
    m_listing = false;
    showBlank();
    // A later request (another node, or this one again) came while the view emptied:
    // that one fills the list, so that it never holds a node's notes twice.
    if (request != m_listRequest)
        return;
    TagTreeItem *still = tree->selectedTag();
    if (!still || still->record.tagid != tagId)
        return;
    state.CurrentTagId = tagId;
    state.CurrentTagPath = tagPath;

    TDBDataModule &database = m_explorer.database();
    QSqlQuery &query =
        state.SearchText.trimmed().isEmpty()
            ? database.runQuery(QStringLiteral("select * from note where tagid=?"), {state.CurrentTagId})
            : database.runQuery(QStringLiteral("select * from note where tagid=? and ") + titleHoldsSearchText(),
                                {state.CurrentTagId, titleSearchPattern(state.SearchText)});
    const QIcon noteIcon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    QList<QTreeWidgetItem *> items;
    while (query.next()) {
        auto *item =
            new NoteListItem({fieldInt(query, "noteid"), fieldInt(query, "tagid"), fieldText(query, "title"),
                              query.value(QStringLiteral("createdate")).toDateTime(), fieldPath(query, "filename")});
        item->setText(0, item->record.title);
        item->setText(1, formatCreateDate(item->record.createdate));
        item->setIcon(0, noteIcon);
        items.append(item);
    }
    query.finish();
    m_listing = true;
    list->addTopLevelItems(items);
    if (!items.isEmpty())
        list->setCurrentItem(items.first());
    m_listing = false;
}

void NoteListPane::SelectTagAndNote(int noteId, int tagId)
{
    TagTreeView *tree = m_explorer.TagTreeView_();
    QTreeWidget *list = m_explorer.noteList();
    if (TagTreeItem *tag = tree->findTag(tagId))
        m_explorer.selectTagQuietly(tag);
    ShowTagNotes();
    // Looked up again after each wait: the tree or the list may have been rebuilt.
    if (TagTreeItem *tag = tree->findTag(tagId))
        tree->scrollToItem(tag);
    auto findNote = [list, noteId]() -> QTreeWidgetItem * {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (noteRecord(list->topLevelItem(i))->noteid == noteId)
                return list->topLevelItem(i);
        }
        return nullptr;
    };
    if (QTreeWidgetItem *found = findNote()) {
        setCurrentNoteQuietly(found);
        list->scrollToItem(found);
    }
    // The page follows once the caller is done: a long note takes the view longer
    // to load than the save that called here takes. It shows the note current then.
    QMetaObject::invokeMethod(
        list, [this] { ShowNote(); }, Qt::QueuedConnection);
}

QString NoteListPane::catalogPathOf(int tagId) const
{
    // Full-text hits come from any node, not only the one whose notes are listed.
    const TagTreeItem *tag = m_explorer.TagTreeView_()->findTag(tagId);
    return tag ? tag->record.path : m_explorer.state().CurrentTagPath;
}

void NoteListPane::ShowNote()
{
    QTreeWidget *list = m_explorer.noteList();
    const NoteListRecord *selected = selectedNote();
    if (!selected)
        return;
    // A copy: the list may be rebuilt while the view loads.
    const NoteListRecord note = *selected;
    // Empty for a row that names a file outside the data folder: nothing is shown.
    const QString fullPath = StoredPath::resolve(m_explorer.context().dataFolder, note.filename);
    if (!fullPath.isEmpty() && QFileInfo::exists(fullPath))
        m_explorer.content()->Navigate(fullPath);
    m_explorer.content()->WaitWhileBusy();
    // Another note may have been chosen while this one loaded; that one is shown.
    const NoteListRecord *now = noteRecord(list->currentItem());
    if (!now || now->noteid != note.noteid)
        return;
    ExplorerState &state = m_explorer.state();
    state.CurrentNoteId = note.noteid;
    state.CurrentTagId = note.tagid;
    state.EditNoteFile = fullPath;
    state.EditNoteTitle = note.title;
    state.EditTagPath = catalogPathOf(note.tagid);
    m_explorer.noteSourceLine()->setAddress(m_explorer.database().noteSource(note.noteid));

    m_explorer.attachList()->clear();
    AttachListItem::listStored(m_explorer.database(), note.noteid, m_explorer.context().dataFolder,
                               m_explorer.attachList());
}
