#include "trashcommands.h"

#include "appcontext.h"
#include "catalogwalk.h"
#include "dberror.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notesourceline.h"
#include "notetrash.h"
#include "programtext.h"
#include "trashview.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int NoticeMilliseconds = 20000;

} // namespace

TrashCommands::TrashCommands(TMainForm &explorer)
    : m_explorer(explorer)
{
}

void TrashCommands::attach(TrashView *view)
{
    m_view = view;
    QObject::connect(view, &TrashView::opened, &m_explorer, [this] { ShowTrash(); });
    QObject::connect(view, &TrashView::noteChosen, &m_explorer, [this] { showChosenNote(); });
    QObject::connect(view, &TrashView::restoreRequested, &m_explorer, [this] { RestoreExecute(); });
    QObject::connect(view, &TrashView::deleteRequested, &m_explorer, [this] { DeleteExecute(); });
    QObject::connect(view, &TrashView::emptyRequested, &m_explorer, [this] { EmptyExecute(); });

    m_notice = new QLabel(&m_explorer);
    m_notice->setObjectName(QStringLiteral("TrashNotice"));
    m_notice->setTextFormat(Qt::RichText);
    m_notice->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(m_notice, &QLabel::linkActivated, &m_explorer, [this] { UndoTrashExecute(); });
    m_explorer.statusBar()->addWidget(m_notice);
    m_notice->hide();
    m_noticeTimer = new QTimer(&m_explorer);
    m_noticeTimer->setSingleShot(true);
    QObject::connect(m_noticeTimer, &QTimer::timeout, &m_explorer, [this] { hideNotice(); });

    // Ctrl+Z in the explorer undoes the move while the notice shows; a text
    // field with the focus keeps Ctrl+Z for its own text.
    m_undo = new QAction(&m_explorer);
    m_undo->setObjectName(QStringLiteral("UndoTrashAct"));
    m_undo->setShortcut(QKeySequence::Undo);
    m_undo->setEnabled(false);
    QObject::connect(m_undo, &QAction::triggered, &m_explorer, [this] { UndoTrashExecute(); });
    m_explorer.addAction(m_undo);
    refresh();
}

bool TrashCommands::moveToTrash(int noteId)
{
    try {
        if (!m_explorer.noteTrash().trash(noteId))
            return false;
    } catch (const DbError &error) {
        // Rolled back and the files put back: nothing changed.
        if (const auto *loop = dynamic_cast<const CatalogLoopError *>(&error))
            m_explorer.reportCatalogLoop(*loop);
        return false;
    } catch (const std::runtime_error &error) {
        m_explorer.showMessage(
            programText("The note could not be moved to the trash:\n%1").arg(QString::fromUtf8(error.what())));
        return false;
    }
    m_explorer.fullTextSearch()->noteDeleted(noteId);
    m_lastTrashed = noteId;
    m_notice->setText(
        QStringLiteral("%1 <a href=\"undo\">%2</a>")
            .arg(programText("Note moved to the trash.").toHtmlEscaped(), programText("Undo").toHtmlEscaped()));
    m_notice->show();
    m_undo->setEnabled(true);
    m_noticeTimer->start(NoticeMilliseconds);
    refresh();
    return true;
}

void TrashCommands::hideNotice()
{
    m_notice->hide();
    m_undo->setEnabled(false);
    m_lastTrashed = 0;
}

void TrashCommands::UndoTrashExecute()
{
    const int noteId = m_lastTrashed;
    hideNotice();
    if (noteId != 0)
        restore(noteId);
}

void TrashCommands::restore(int noteId)
{
    int tagId = 0;
    try {
        tagId = m_explorer.noteTrash().restore(noteId);
    } catch (const DbError &error) {
        if (const auto *loop = dynamic_cast<const CatalogLoopError *>(&error))
            m_explorer.reportCatalogLoop(*loop);
        return;
    } catch (const std::runtime_error &error) {
        m_explorer.showMessage(programText("The note could not be restored:\n%1").arg(QString::fromUtf8(error.what())));
        return;
    }
    refresh();
    if (tagId == 0)
        return;
    m_explorer.fullTextSearch()->noteChanged(noteId);
    // The nodes made again and the counts that grew show, and so does the note, where it went back.
    m_explorer.refreshCatalog();
    if (!isTrashShown())
        m_explorer.SelectTagAndNote(noteId, tagId);
}

bool TrashCommands::isTrashShown() const
{
    return m_explorer.noteListStack()->currentWidget() == m_view;
}

void TrashCommands::ShowTrash()
{
    refresh();
    m_explorer.noteListStack()->setCurrentWidget(m_view);
    m_view->node()->setCurrentItem(m_view->node()->topLevelItem(0));
    m_view->selectFirstIfNone();
    showChosenNote();
}

void TrashCommands::leaveTrash()
{
    if (!m_view || !isTrashShown())
        return;
    m_explorer.noteListStack()->setCurrentWidget(m_explorer.noteList());
    m_view->node()->clearSelection();
    m_explorer.attachList()->clear();
    if (m_explorer.notes().selectedNote())
        m_explorer.ShowNote();
    else
        m_explorer.notes().showBlank();
}

void TrashCommands::showChosenNote()
{
    if (!isTrashShown())
        return;
    m_explorer.attachList()->clear();
    m_explorer.noteSourceLine()->setAddress(QString());
    const TrashedNote *note = m_view->selectedNote();
    const QString file = note ? m_explorer.noteTrash().fileOf(*note) : QString();
    // Shown as the explorer shows every note: read only.
    m_explorer.content()->Navigate(note && QFileInfo::exists(file) ? file : QStringLiteral("about:blank"));
    m_explorer.content()->WaitWhileBusy();
}

void TrashCommands::RestoreExecute()
{
    if (const TrashedNote *note = m_view->selectedNote()) {
        restore(note->noteId);
        showChosenNote();
    }
}

void TrashCommands::DeleteExecute()
{
    const TrashedNote *note = m_view->selectedNote();
    if (!note)
        return;
    const int noteId = note->noteId;
    if (!m_explorer.askYesNo(programText("This note will be deleted permanently and cannot be restored, are you "
                                         "sure ?\r\rClick yes to continue, otherwise click no to cancel")))
        return;
    try {
        m_explorer.noteTrash().destroy(noteId);
    } catch (const DbError &) {
        return;
    }
    refresh();
    showChosenNote();
}

void TrashCommands::EmptyExecute()
{
    if (m_view->noteCount() == 0)
        return;
    if (!m_explorer.askYesNo(programText("Every note in the trash will be deleted permanently, are you sure ?\r\r"
                                         "Click yes to continue, otherwise click no to cancel")))
        return;
    try {
        m_explorer.noteTrash().empty();
    } catch (const DbError &) {
    }
    refresh();
    showChosenNote();
}

void TrashCommands::refresh()
{
    if (!m_view)
        return;
    NoteTrash &trash = m_explorer.noteTrash();
    m_view->node()->setVisible(trash.isAvailable());
    try {
        m_view->showNotes(trash.notes());
    } catch (const DbError &) {
        m_view->showNotes({});
    }
    if (isTrashShown())
        m_view->selectFirstIfNone();
}
