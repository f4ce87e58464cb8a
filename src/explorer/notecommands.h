#pragma once

#include <QPointer>

class QTreeWidgetItem;
class TEditorForm;
class TMainForm;

// The explorer's commands on notes: new notes, editing, deleting, retitling.
class NoteCommands
{
public:
    explicit NoteCommands(TMainForm &explorer);

    // Opens an empty editor; the second one with the selected node's path as its catalog.
    void AddNoteActExecute();
    void AddNoteInTagActExecute();
    // Opens the selected note in an editor; answers it, or null.
    QPointer<TEditorForm> OpenNoteForEditing();
    // Opens the selected note in an editor and saves the page it names offline there.
    void SavePageOfflineExecute();
    // Moves the selected note to the trash after asking (deletes it with its
    // files where the database has no trash); in the trash, deletes the
    // chosen trashed note for good.
    void DelNoteActExecute();
    // Asks for a new title of the selected note.
    void RenTitleMenuClick();

private:
    bool deleteForGood(int noteId);
    // The list and the tree after the note's row left the catalog.
    void afterNoteLeft(QTreeWidgetItem *item);

    TMainForm &m_explorer;
};
