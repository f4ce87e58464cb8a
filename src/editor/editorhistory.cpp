// The editor's way to the note's earlier versions: the History action with its
// toolbar button, and reading the note again after a version is restored.
#include "editorform.h"

#include "exwebbrowser.h"
#include "formattoolbar.h"
#include "historyform.h"
#include "notesavedreceiver.h"
#include "programtext.h"
#include "themeicons.h"

#include <QAction>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>

void TEditorForm::createHistoryAction()
{
    HistoryAct = new QAction(themeIcon({QStringLiteral("document-open-recent")}), programText("History..."), this);
    HistoryAct->setObjectName(QStringLiteral("HistoryAct"));
    HistoryAct->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    HistoryAct->setShortcutContext(Qt::WindowShortcut);
    addAction(HistoryAct);
    QToolButton *button = makeToolButton(firstBar, "HistoryBtn", programText("History..."), HistoryAct->icon());
    connect(button, &QToolButton::clicked, HistoryAct, &QAction::trigger);
    connect(HistoryAct, &QAction::enabledChanged, button, &QWidget::setEnabled);
    connect(HistoryAct, &QAction::triggered, this, &TEditorForm::HistoryClick);
    updateHistoryAction();
}

void TEditorForm::updateHistoryAction()
{
    // A note not stored yet has no earlier text.
    HistoryAct->setEnabled(NoteId > 0 && !NoteFileName.isEmpty());
}

void TEditorForm::HistoryClick()
{
    updateHistoryAction();
    if (!HistoryAct->isEnabled())
        return;
    // The versions are compared with the text on the disk, so what is written here is saved first.
    if (inEditMode()) {
        bool saved = false;
        try {
            saved = SaveNote();
        } catch (const std::exception &error) {
            showMessage(programText("The note could not be written:\n%1").arg(QString::fromUtf8(error.what())));
        }
        if (!saved)
            return;
    }
    THistoryForm *form = showNoteHistory(m_context, NoteId, notePath(), TitleEdit->text(), this);
    connect(form, &THistoryForm::versionRestored, this, [this] {
        reloadNote();
        if (auto *receiver = dynamic_cast<NoteSavedReceiver *>(ExplorerWindow.data()))
            receiver->NoteSaved(NoteId, TagId);
    });
}

QString TEditorForm::notePath() const
{
    return NoteFileName.isEmpty() ? QString() : NoteFolder + QLatin1Char('/') + NoteFileName;
}

void TEditorForm::reloadNote()
{
    if (NoteFileName.isEmpty())
        return;
    QPointer<TEditorForm> self(this);
    Content->Navigate(notePath());
    Content->WaitWhileBusy();
    if (self)
        Content->SetDesignMode(inEditMode());
}
