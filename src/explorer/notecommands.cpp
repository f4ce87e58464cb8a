#include "notecommands.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "editorform.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notelistpane.h"
#include "tagtreeview.h"

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

void NoteCommands::OpenNoteForEditing()
{
    const NoteListRecord *note = m_explorer.notes().selectedNote();
    if (!note || !m_explorer.createEditor)
        return;
    ExplorerState &state = m_explorer.state();
    state.CurrentNoteId = note->noteid;
    state.CurrentTagId = note->tagid;
    state.EditNoteFile = m_explorer.context().dataFolder + note->filename;
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
}

void NoteCommands::DelNoteActExecute()
{
    QTreeWidget *list = m_explorer.noteList();
    QTreeWidgetItem *item = list->currentItem();
    const NoteListRecord *note = m_explorer.notes().selectedNote();
    if (!note)
        return;
    if (!m_explorer.askYesNo(TMainForm::tr("This operation will delete this note permanently, are you sure ?\r\rClick "
                                           "yes to continue, otherwise click no to cancel")))
        return;

    TDBDataModule &database = m_explorer.database();
    const QString dataFolder = m_explorer.context().dataFolder;
    const int noteId = note->noteid;
    try {
        Transaction transaction(database);
        // The note leaves its node and every node above it.
        for (int tagId = note->tagid; tagId != 0;) {
            QSqlQuery &row = database.runQuery(QStringLiteral("select * from tags where tagid=?"), {tagId});
            if (!row.next())
                break;
            const int childcount = fieldInt(row, "childcount");
            const int parentId = fieldInt(row, "parentid");
            row.finish();
            database.runStatement(QStringLiteral("update tags set childcount=? where tagid=?"),
                                  {childcount - 1, tagId});
            tagId = parentId;
        }
        QStringList files;
        QSqlQuery &attachments = database.runQuery(QStringLiteral("select * from attachment where noteid=?"), {noteId});
        while (attachments.next())
            files << dataFolder + fieldPath(attachments, "path") + fieldText(attachments, "attname");
        attachments.finish();
        database.runStatement(QStringLiteral("delete from attachment where noteid=?"), {noteId});
        database.runStatement(QStringLiteral("delete from note where noteid=?"), {noteId});
        database.markNoteChanged(noteId);
        transaction.commit();
        // Files go only once the rows are gone for good, so a failure never leaves
        // a row without its file.
        for (const QString &file : std::as_const(files))
            QFile::remove(file);
        QFile::remove(dataFolder + note->filename);
        m_explorer.fullTextSearch()->noteDeleted(noteId);
    } catch (const DbError &) {
        list->clearSelection();
        return;
    }

    const bool searching = !m_explorer.state().SearchText.isEmpty();
    // The note's own node: a full-text hit may lie outside the selected one.
    for (QTreeWidgetItem *node = m_explorer.TagTreeView_()->findTag(note->tagid); node; node = node->parent()) {
        auto *tag = static_cast<TagTreeItem *>(node);
        --tag->record.childcount;
        if (searching)
            --tag->record.count;
        tag->showCount(searching ? tag->record.count : tag->record.childcount);
    }
    delete item;
    if (list->topLevelItemCount() == 0) {
        m_explorer.notes().showBlank();
    } else {
        m_explorer.notes().setCurrentNoteQuietly(list->topLevelItem(0));
        list->scrollToItem(list->topLevelItem(0));
        m_explorer.notes().ShowNote();
    }
    try {
        m_explorer.context().catalogPaths = database.loadCatalogPaths();
    } catch (const DbError &) {
        // The note is gone all the same; the suggestions are refreshed at the next save.
    }
    list->clearSelection();
}

void NoteCommands::RenTitleMenuClick()
{
    QTreeWidgetItem *item = m_explorer.noteList()->currentItem();
    if (!m_explorer.notes().selectedNote())
        return;
    bool ok = false;
    const QString title =
        m_explorer.askText(TMainForm::tr("Change title?"), TMainForm::tr("Input the new title:"), &ok);
    if (!ok || title.isEmpty())
        return;
    auto *note = static_cast<NoteListItem *>(item);
    TDBDataModule &database = m_explorer.database();
    Transaction transaction(database);
    database.runStatement(QStringLiteral("update note set title=? where noteid=?"), {title, note->record.noteid});
    database.markNoteChanged(note->record.noteid);
    transaction.commit();
    note->record.title = title;
    note->setText(0, title);
    m_explorer.fullTextSearch()->noteChanged(note->record.noteid);
}
