#pragma once

#include "catalogcommands.h"
#include "emptycataloghint.h"
#include "explorerstate.h"
#include "filecommands.h"
#include "notecommands.h"
#include "notelistpane.h"
#include "notesavedreceiver.h"
#include "notetrash.h"
#include "tagtreeview.h"
#include "trashcommands.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

struct AppContext;
class QAction;
class QIcon;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QTreeWidget;
class ExportCommands;
class SyncCommands;
class ImportCommands;
class FullTextSearch;
class TDBDataModule;
class CatalogLoopError;
class TEditorForm;
class TExWebBrowser;
class NoteSourceLine;
class NoteViewHolder;
class TrashView;

// The notes explorer: the catalog tree, the notes of the selected node, the
// selected note and its attachments. The window builds and wires its controls;
// the note list, the note, catalog and file commands are parts of their own.
class TMainForm : public QMainWindow, public NoteSavedReceiver
{
    Q_OBJECT

public:
    TMainForm(AppContext &context, TDBDataModule &database, QWidget *parent = nullptr);
    ~TMainForm() override;

    void setDropBoxWindow(QWidget *dropBox) { DropBoxWindow = dropBox; }

    // With an empty text rebuilds the tree; otherwise recounts it for the search.
    void LoadTagTree(const QString &searchText);
    // Rebuilds the tree from every tags row read already, as an empty text does.
    void LoadTagTree(const QList<TagRecord> &rows);
    // The title search box's Enter: recounts the tree for the text, or with an
    // empty text shows the catalog without a search as a rebuild would, reading
    // only the rows changed since the tree was loaded; the listed node's notes
    // are listed again for the new text.
    void SearchTitles(const QString &searchText);

    // An editor saved a note: reload the tree, then select the note.
    void NoteSaved(int noteId, int tagId) override;
    // The tree keeps every row's path current, and each refresh hands them on.
    bool followsCatalogPaths() const override { return true; }
    void SelectTagAndNote(int noteId, int tagId) { m_notes.SelectTagAndNote(noteId, tagId); }

    // Empties the view, the tree and both lists before the program ends.
    void ClearExplorer();

    // Shows in the tree what the rows now hold, for the nodes the database module
    // marked changed and the given ones (see TagTreeView::refreshRows); then lists
    // the selected node if it is not the listed one.
    void refreshCatalog(const QSet<int> &alsoRefresh = {}, TagTreeView::NewRows newRows = TagTreeView::NewRows::Show);
    // Runs a change of the tree's nodes or selection that must not list anything
    // by itself (the caller lists what it wants afterwards).
    void changeTreeQuietly(const std::function<void()> &change);
    // Selects a node without listing it.
    void selectTagQuietly(TagTreeItem *tag);
    // Lists the selected node's notes when the list holds another node's.
    void syncListToSelection();
    // Tells the user that the catalog's parent links run in a circle.
    void reportCatalogLoop(const CatalogLoopError &error);

    // Shows the notes of the selected node, in place of the trash if it is shown.
    void ShowTagNotes()
    {
        m_trashCommands.leaveTrash();
        m_notes.ShowTagNotes();
    }
    // Shows the selected note and lists its attachments.
    void ShowNote() { m_notes.ShowNote(); }

    // Trash commands.
    void ShowTrash() { m_trashCommands.ShowTrash(); }
    void UndoTrashExecute() { m_trashCommands.UndoTrashExecute(); }

    // Note commands.
    void AddNoteActExecute() { m_noteCommands.AddNoteActExecute(); }
    void AddNoteInTagActExecute() { m_noteCommands.AddNoteInTagActExecute(); }
    void OpenNoteForEditing() { m_noteCommands.OpenNoteForEditing(); }
    void DelNoteActExecute() { m_noteCommands.DelNoteActExecute(); }
    void RenTitleMenuClick() { m_noteCommands.RenTitleMenuClick(); }

    // Catalog commands.
    void AddTagActExecute()
    {
        m_catalogCommands.AddTagActExecute();
        m_emptyHint->refresh();
    }
    void RenameTagActExecute() { m_catalogCommands.RenameTagActExecute(); }
    void DeleteTagActExecute()
    {
        m_catalogCommands.DeleteTagActExecute();
        m_emptyHint->refresh();
    }
    bool TagTreeViewDragOver(QObject *source, TagTreeItem *target) const
    {
        return m_catalogCommands.TagTreeViewDragOver(source, target);
    }
    void TagTreeViewDragDrop(QObject *source, TagTreeItem *target)
    {
        m_catalogCommands.TagTreeViewDragDrop(source, target);
    }
    void SetIconMenuClick() { m_catalogCommands.SetIconMenuClick(); }

    // File commands.
    void AttachListDblClick() { m_fileCommands.AttachListDblClick(); }
    void Locatenotefileindisk1Click() { m_fileCommands.Locatenotefileindisk1Click(); }
    void Locatenotefileindisk2Click() { m_fileCommands.Locatenotefileindisk2Click(); }
    void Locateattachfileindisk1Click() { m_fileCommands.Locateattachfileindisk1Click(); }

    void Findtext1Click();
    void ContentShowContextMenu(const QPoint &globalPos);
    // Marks the language of that file in the Language menu.
    void showLanguage(const QString &languageFile);

    const QString &searchText() const { return m_state.SearchText; }
    int currentTagId() const { return m_state.CurrentTagId; }
    int currentNoteId() const { return m_state.CurrentNoteId; }
    const QString &editNoteTitle() const { return m_state.EditNoteTitle; }
    QLineEdit *titleFilterEdit() const { return TitleFilterEdit; }
    QLineEdit *quickLocator() const { return qtreeEdit; }
    FullTextSearch *fullTextSearch() const { return m_fullText; }

    // A new editor with the interface language applied, knowing the explorer
    // and the drop box; the explorer shows it.
    std::function<TEditorForm *()> createEditor;
    // Switch the interface language, show the About box, end the program.
    std::function<void(const QString &languageFile)> switchLanguage;
    std::function<void()> showAbout;
    std::function<void()> exitProgram;
    // Brings back the drop box, which may have been hidden.
    std::function<void()> showDropBox;

    // Asks the user a yes/no question; replaced by tests.
    std::function<bool(const QString &question)> askYesNo;
    // Asks the user for a line of text; replaced by tests.
    std::function<QString(const QString &caption, const QString &prompt, bool *ok)> askText;
    // askText with the field filled in, for renaming.
    QString askTextStartingWith(const QString &current, const QString &caption, const QString &prompt, bool *ok);
    // Shows the icon picker and answers the chosen index or -1; replaced by tests.
    std::function<int()> chooseIcon;
    // Shows a plain message; replaced by tests.
    std::function<void(const QString &message)> showMessage;

    // The parts of the window, for its commands.
    AppContext &context() { return m_context; }
    TDBDataModule &database() { return m_database; }
    ExplorerState &state() { return m_state; }
    NoteListPane &notes() { return m_notes; }
    TagTreeView *TagTreeView_() const { return m_tagTree; }
    QTreeWidget *noteList() const { return NoteListView; }
    QTreeWidget *attachList() const { return AttachList; }
    ExportCommands *exportCommands() const { return m_exportCommands; }
    SyncCommands *syncCommands() const { return m_syncCommands; }
    ImportCommands *importCommands() const { return m_importCommands; }
    NoteSourceLine *noteSourceLine() const { return m_sourceLine; }
    NoteTrash &noteTrash() { return m_trash; }
    TrashCommands &trashCommands() { return m_trashCommands; }
    TrashView *trashView() const { return m_trashView; }
    // The note list, or the trash in its place.
    QStackedWidget *noteListStack() const { return m_noteListStack; }
    // The note view, made at its first use (see NoteViewHolder).
    TExWebBrowser *content() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadTreeInFull(const std::function<void()> &load);
    void selectListedTag();
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanes();
    void connectPanes();
    void addContextShortcuts();
    void connectTreeSelection();
    QAction *makeAction(const char *name, const QString &caption, const QString &hint, const QIcon &icon,
                        const QKeySequence &shortcut);

    AppContext &m_context;
    TDBDataModule &m_database;
    QPointer<QWidget> DropBoxWindow;
    ExplorerState m_state;
    int m_quietTreeChanges = 0; // the tree changes under the program's hands: nothing is listed
    int m_selectedAtPress = -1; // the node selected when a mouse button went down on the tree

    NoteListPane m_notes{*this};
    NoteCommands m_noteCommands{*this};
    CatalogCommands m_catalogCommands{*this};
    FileCommands m_fileCommands{*this};
    NoteTrash m_trash{m_database, m_context};
    TrashCommands m_trashCommands{*this};

    // Actions.
    QAction *AddNoteAct = nullptr;
    QAction *AddNoteInTagAct = nullptr;
    QAction *DelNoteAct = nullptr;
    QAction *EditNoteAct = nullptr;
    QAction *HistoryAct = nullptr;
    QAction *PrintNoteAct = nullptr;
    QAction *CopySelectionAct = nullptr;
    QAction *RenameTagAct = nullptr;
    QAction *DeleteTagAct = nullptr;
    QAction *AddTagAct = nullptr;
    QAction *AboutAct = nullptr;
    QAction *EnglishAct = nullptr;
    QAction *ChineseAct = nullptr;
    QAction *ExitAct = nullptr;
    QAction *ShowDropBoxAct = nullptr;

    // Controls.
    QToolBar *topBar = nullptr;
    QLineEdit *TitleFilterEdit = nullptr;
    QLabel *TagTreeLabel = nullptr;
    QLineEdit *qtreeEdit = nullptr;
    TagTreeView *m_tagTree = nullptr;
    QSplitter *BottomSplitter = nullptr;
    QTreeWidget *NoteListView = nullptr;
    QStackedWidget *m_noteListStack = nullptr;
    TrashView *m_trashView = nullptr;
    QLabel *NoteContentLabel = nullptr;
    NoteSourceLine *m_sourceLine = nullptr;
    NoteViewHolder *m_noteView = nullptr;
    QTreeWidget *AttachList = nullptr;
    QMenu *NotePopupMenu = nullptr;
    QMenu *AttachPopupMenu = nullptr;
    QMenu *contentPopupMenu = nullptr;
    QMenu *TreePopupMenu = nullptr;
    QAction *SetIconMenu = nullptr;
    QAction *RenTitleMenu = nullptr;
    QAction *Findtext1 = nullptr;
    EmptyCatalogHint *m_emptyHint = nullptr;
    QString m_suggestedText; // what the next question for a text starts with
    ExportCommands *m_exportCommands = nullptr;
    SyncCommands *m_syncCommands = nullptr;
    ImportCommands *m_importCommands = nullptr;
    FullTextSearch *m_fullText = nullptr;
};
