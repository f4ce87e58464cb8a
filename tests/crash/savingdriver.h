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
    // killAt: the database step (a NoteFiling::Step number) at which the program
    // kills itself in the first save from the second on that reaches it, of a new
    // note or (killInSaveAgain) of a stored note saved again; -1 for none.
    SavingDriver(const QString &programFolder, const QString &logPath, quint32 seed, int killAt, bool killInSaveAgain);

    void run(int saves);

private:
    TEditorForm *newEditor(bool savedAgain);
    void addPicture(TEditorForm *editor);
    NoteState stateAfterSave(TEditorForm *editor, const QString &title) const;
    QString nextWork();
    void begin(const BegunWork &work);
    bool saveNewNote();
    bool saveAgain();
    // Whether the note is gone; nothing when no note was listed to delete.
    std::optional<bool> deleteNote();

    AppContext m_context;
    TDBDataModule m_database;
    TMainForm m_explorer{m_context, m_database};
    std::unique_ptr<SaveLog> m_log;
    QRandomGenerator m_random;
    int m_killAt;
    bool m_killInSaveAgain;
    int m_save = 0;
    QString m_runName; // unique over all runs
    QStringList m_sources;
};
