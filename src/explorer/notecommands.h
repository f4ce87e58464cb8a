#pragma once

#include <QPointer>

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
    // Deletes the selected note with its files, after asking.
    void DelNoteActExecute();
    // Asks for a new title of the selected note.
    void RenTitleMenuClick();

private:
    TMainForm &m_explorer;
};
