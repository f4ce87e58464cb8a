#include "notecommands.h"

#include "appcontext.h"
#include "catalogedits.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notehistory.h"
#include "notelistpane.h"
#include "pendingwork.h"
#include "programtext.h"
#include "storedpath.h"
#include "tagtreeview.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTreeWidget>

NoteCommands::NoteCommands(TMainForm &explorer)
    : m_explorer(explorer)
{
}

void NoteCommands::AddNoteActExecute()
{
    if (!m_explorer.createEditor)
        return;
    m_explorer.createEditor()->show();
}

void NoteCommands::AddNoteInTagActExecute()
{
    if (!m_explorer.createEditor)
        return;
    TagTreeItem *tag = m_explorer.TagTreeView_()->selectedTag();
    const QString path = tag ? tag->record.path : QString();
    TEditorForm *editor = m_explorer.createEditor();
    editor->show();
    editor->tagsEdit()->setText(path);
}

QPointer<TEditorForm> NoteCommands::OpenNoteForEditing()
{
    const NoteListRecord *note = m_explorer.notes().selectedNote();
    // A trashed note is only shown; it is edited once restored.
    if (!note || !m_explorer.createEditor || m_explorer.trashCommands().isTrashShown())
        return nullptr;
    const QString noteFile = StoredPath::resolve(m_explorer.context().dataFolder, note->filename);
    if (noteFile.isEmpty()) {
        // Saving would write outside the data folder.
        m_explorer.showMessage(m_explorer.context()
                                   .messages.shown(QStringLiteral("NoteFileOutside"))
                                   .arg(QDir::toNativeSeparators(note->filename)));
        return nullptr;
    }
    ExplorerState &state = m_explorer.state();
    state.CurrentNoteId = note->noteid;
    state.CurrentTagId = note->tagid;
    state.EditNoteFile = noteFile;
    state.EditNoteTitle = note->title;
    state.EditTagPath = m_explorer.notes().catalogPathOf(note->tagid);
    // Copies: the explorer's own fields may change while the editor loads.
    const int noteId = state.CurrentNoteId;
    const int tagId = state.CurrentTagId;
    const QString file = state.EditNoteFile;
    const QString title = state.EditNoteTitle;
    const QString catalog = state.EditTagPath;
    QPointer<TEditorForm> editor = m_explorer.createEditor();
    editor->show();
    if (editor)
        editor->LoadNote(noteId, file, tagId, title, catalog);
    return editor;
}

void NoteCommands::SavePageOfflineExecute()
{
    // In an editor, where the user sees what came and saves it, or not.
    QPointer<TEditorForm> editor = OpenNoteForEditing();
    if (editor && editor->content()->WaitWhileBusy() && editor)
        editor->SavePageOfflineClick();
}

void NoteCommands::DelNoteActExecute()
{
    if (m_explorer.trashCommands().isTrashShown()) {
        m_explorer.trashCommands().DeleteExecute();
        return;
    }
    QTreeWidget *list = m_explorer.noteList();
    QTreeWidgetItem *item = list->currentItem();
    const NoteListRecord *note = m_explorer.notes().selectedNote();
    if (!note)
        return;
    if (!m_explorer.askYesNo(programText("This operation will delete this note permanently, are you sure ?\r\rClick "
                                         "yes to continue, otherwise click no to cancel")))
        return;

    const int noteId = note->noteid;
    if (m_explorer.noteTrash().isAvailable()) {
        if (!m_explorer.trashCommands().moveToTrash(noteId)) {
            list->clearSelection();
            return;
        }
    } else if (!deleteForGood(noteId)) {
        list->clearSelection();
        return;
    }
    afterNoteLeft(item);
}

bool NoteCommands::deleteForGood(int noteId)
{
    TDBDataModule &database = m_explorer.database();
    const QString dataFolder = m_explorer.context().dataFolder;
    PendingWork pending(m_explorer.context().pendingFolder());
    try {
        // Recorded first: a run cut short after the rows are gone still removes the files at the next start.
        const QStringList files = noteFiles(database, noteId);
        pending.record({files, {}});
        deleteNote(database, noteId);
        // Files go only once the rows are gone for good, so a failure never leaves
        // a row without its file.
        for (const QString &file : files)
            QFile::remove(StoredPath::resolve(dataFolder, file));
        // Destroyed for good: its earlier versions go with it.
        forgetNoteHistory(dataFolder, noteId);
        pending.finish();
        m_explorer.fullTextSearch()->noteDeleted(noteId);
    } catch (const DbError &error) {
        pending.finish();
        if (const auto *loop = dynamic_cast<const CatalogLoopError *>(&error))
            m_explorer.reportCatalogLoop(*loop);
        return false;
    }
    return true;
}

void NoteCommands::afterNoteLeft(QTreeWidgetItem *item)
{
    QTreeWidget *list = m_explorer.noteList();
    delete item;
    // The captions of its node and the nodes above it follow the rows.
    m_explorer.refreshCatalog();
    if (list->topLevelItemCount() == 0) {
        // Nothing is shown: neither the note nor its attachments.
        m_explorer.attachList()->clear();
        m_explorer.notes().showBlank();
    } else {
        // Shown and selected, so that the note commands act on it at once.
        m_explorer.notes().setCurrentNoteQuietly(list->topLevelItem(0));
        list->scrollToItem(list->topLevelItem(0));
        m_explorer.notes().ShowNote();
    }
}

void NoteCommands::RenTitleMenuClick()
{
    QTreeWidgetItem *item = m_explorer.noteList()->currentItem();
    if (!m_explorer.notes().selectedNote())
        return;
    bool ok = false;
    const QString title = m_explorer.askTextStartingWith(
        NoteListPane::noteRecord(item)->title, programText("Change title?"), programText("Input the new title:"), &ok);
    if (!ok || title.isEmpty())
        return;
    auto *note = static_cast<NoteListItem *>(item);
    const QString stored = retitleNote(m_explorer.database(), note->record.noteid, title);
    note->record.title = stored;
    note->setText(0, stored);
    m_explorer.fullTextSearch()->noteChanged(note->record.noteid);
    // The node's title search count may change with the title.
    m_explorer.refreshCatalog();
}
