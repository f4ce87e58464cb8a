#pragma once

#include "appcontext.h"
#include "dbdatamodule.h"
#include "mainform.h"
#include "savelog.h"

#include <QRandomGenerator>

#include <memory>
#include <optional>

class TEditorForm;

// Saves notes through real editors, over and over: new notes (some with
// attachments, some with a screen capture's picture, some with titles longer
// than their column), stored notes opened again, changed, retitled or refiled
// and saved, and notes deleted in the explorer. Each save and deletion is
// recorded in the log before it begins and once it returned success, and only
// then told on stdout ("saved N", "saved N again", "deleted N").
class SavingDriver
{
public:
    // killAt: the step at which the program kills itself in the first piece of
    // work of kind killIn from the second on that reaches it: a NoteFiling::Step
    // number in the save of a "new" note or of a stored note saved "again", a
    // NoteTrash::Step number in a "trash", "restore" or "empty"; -1 for none.
    SavingDriver(const QString &programFolder, const QString &logPath, quint32 seed, int killAt, QString killIn);

    void run(int saves);

private:
    TEditorForm *newEditor(bool savedAgain);
    void addPicture(TEditorForm *editor);
    NoteState stateAfterSave(TEditorForm *editor, const QString &title) const;
    QString nextWork();
    void begin(const BegunWork &work);
    bool saveNewNote();
    bool saveAgain();
    // Whether the note is gone (to the trash); nothing when no note was listed to delete.
    std::optional<bool> deleteNote();
    // Whether a trashed note is back; nothing when the trash is empty.
    std::optional<bool> restoreNote();
    // Whether the trash is empty now; nothing when it was empty already.
    std::optional<bool> emptyTrash();
    // Kills the program at the step of the kind of work it is asked to.
    void killAtStep(const QString &kind, int step);

    AppContext m_context;
    TDBDataModule m_database;
    TMainForm m_explorer{m_context, m_database};
    std::unique_ptr<SaveLog> m_log;
    QRandomGenerator m_random;
    int m_killAt;
    QString m_killIn;
    QString m_trashWork; // the kind of the trash's work under way, for its steps
    int m_save = 0;
    QString m_runName; // unique over all runs
    QStringList m_sources;
};
