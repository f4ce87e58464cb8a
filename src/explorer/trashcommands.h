#pragma once

class QAction;
class QLabel;
class QTimer;
class TMainForm;
class TrashView;

// The explorer's commands on the trash: moving the selected note there (with
// the status bar's "Note moved to the trash. Undo"), showing the trash in
// place of the note list, restoring a note under its old path, and
// destroying one, or all, for good after asking.
class TrashCommands
{
public:
    explicit TrashCommands(TMainForm &explorer);

    // Connects the view and the status bar's notice; once the window's panes exist.
    void attach(TrashView *view);

    // Moves the note to the trash and offers to undo that. Answers false when
    // the trash cannot take it (the user was told) or the note is gone.
    bool moveToTrash(int noteId);
    // Brings back the note trashed last while the notice shows.
    void UndoTrashExecute();

    // Shows the trash in place of the note list, and the chosen trashed note.
    void ShowTrash();
    // Goes back to the note list of the selected node.
    void leaveTrash();
    bool isTrashShown() const;

    void RestoreExecute();
    void DeleteExecute(); // for good, after asking
    void EmptyExecute();  // likewise
    // Reads the trashed notes again.
    void refresh();

    QLabel *notice() const { return m_notice; }
    QAction *undoAction() const { return m_undo; }

private:
    void showChosenNote();
    void restore(int noteId);
    void hideNotice();

    TMainForm &m_explorer;
    TrashView *m_view = nullptr;
    QLabel *m_notice = nullptr;
    QAction *m_undo = nullptr;
    QTimer *m_noticeTimer = nullptr;
    int m_lastTrashed = 0;
};
