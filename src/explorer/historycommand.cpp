#include "historycommand.h"

#include "appcontext.h"
#include "editorform.h"
#include "historyform.h"
#include "mainform.h"
#include "notelistpane.h"
#include "storedpath.h"

#include <QDir>
#include <QPointer>

#include <stdexcept>

void showSelectedNoteHistory(TMainForm &explorer)
{
    const NoteListRecord *selected = explorer.notes().selectedNote();
    if (!selected)
        return;
    // A copy: a save below lists the notes again.
    const NoteListRecord note = *selected;
    const QString path = StoredPath::resolve(explorer.context().dataFolder, note.filename);
    if (path.isEmpty()) {
        explorer.showMessage(explorer.context()
                                 .messages.shown(QStringLiteral("NoteFileOutside"))
                                 .arg(QDir::toNativeSeparators(note.filename)));
        return;
    }
    QList<QPointer<TEditorForm>> editors;
    for (TEditorForm *editor : TEditorForm::openEditors()) {
        if (editor->noteId() != note.noteid)
            continue;
        bool saved = !editor->inEditMode();
        try {
            saved = saved || editor->SaveNote();
        } catch (const std::exception &error) {
            explorer.showMessage(QString::fromUtf8(error.what()));
        }
        // A restore would replace what that editor could not save.
        if (!saved)
            return;
        editors << editor;
    }
    THistoryForm *form = showNoteHistory(explorer.context(), note.noteid, path, note.title, &explorer);
    QObject::connect(form, &THistoryForm::versionRestored, &explorer, [&explorer, note, editors] {
        for (const QPointer<TEditorForm> &editor : editors) {
            if (editor)
                editor->reloadNote();
        }
        explorer.NoteSaved(note.noteid, note.tagid);
    });
}
