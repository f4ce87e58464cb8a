#pragma once

#include "notesavedreceiver.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <QTreeWidgetItem>
#include <functional>

struct AppContext;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeWidget;
class ExportCommands;
class TDBDataModule;
class TEditorForm;
class TExWebBrowser;
class TagTreeItem;
class TagTreeView;

// The record of each note list item.
struct NoteListRecord
{
    int noteid = 0;
    int tagid = 0;
    QString title;
    QDateTime createdate;
    QString filename; // relative to the data folder
};

// A note list item; it owns its record.
class NoteListItem : public QTreeWidgetItem
{
public:
    explicit NoteListItem(NoteListRecord noteRecord)
        : record(std::move(noteRecord))
    {
    }

    NoteListRecord record;
};

// The notes explorer: the catalog tree, the notes of the selected node, the
// selected note and its attachments.
class TMainForm : public QMainWindow, public NoteSavedReceiver
{
    Q_OBJECT

public:
    TMainForm(AppContext &context, TDBDataModule &database, QWidget *parent = nullptr);
    ~TMainForm() override;

    void setDropBoxWindow(QWidget *dropBox) { DropBoxWindow = dropBox; }

    // With an empty text rebuilds the tree; otherwise recounts it for the search.
    void LoadTagTree(const QString &searchText);

    // An editor saved a note: reload the tree, then select the note.
    void NoteSaved(int noteId, int tagId) override;
    void SelectTagAndNote(int noteId, int tagId);

    // Empties the view, the tree and both lists before the program ends.
    void ClearExplorer();

    // Shows the notes of the selected node.
    void ShowTagNotes();
    // Shows the selected note and lists its attachments.
    void ShowNote();

    // Note commands.
    void AddNoteActExecute();
    void AddNoteInTagActExecute();
    void OpenNoteForEditing();
    void DelNoteActExecute();
    void RenTitleMenuClick();

    // Explorer commands.
    void AddTagActExecute();
    void RenameTagActExecute();
    void DeleteTagActExecute();
    bool TagTreeViewDragOver(QObject *source, TagTreeItem *target) const;
    void TagTreeViewDragDrop(QObject *source, TagTreeItem *target);
    void SetIconMenuClick();
    void AttachListDblClick();
    void Locatenotefileindisk1Click();
    void Locatenotefileindisk2Click();
    void Locateattachfileindisk1Click();
    void Findtext1Click();
    void ContentShowContextMenu(const QPoint &globalPos);

    // Shows a file selected in the file manager, or opens its folder where no
    // file manager answers.
    static void showInFileManager(const QString &filePath);

    const QString &searchText() const { return SearchText; }
    int currentTagId() const { return CurrentTagId; }
    int currentNoteId() const { return CurrentNoteId; }
    const QString &editNoteTitle() const { return EditNoteTitle; }
    QLineEdit *titleFilterEdit() const { return TitleFilterEdit; }
    QLineEdit *quickLocator() const { return qtreeEdit; }

    // A new editor with the interface language applied, knowing the explorer
    // and the drop box; the explorer shows it.
    std::function<TEditorForm *()> createEditor;
    // Switch the interface language, show the About box, end the program.
    std::function<void(const QString &languageFile)> switchLanguage;
    std::function<void()> showAbout;
    std::function<void()> exitProgram;

    // Asks the user a yes/no question; replaced by tests.
    std::function<bool(const QString &question)> askYesNo;
    // Asks the user for a line of text; replaced by tests.
    std::function<QString(const QString &caption, const QString &prompt, bool *ok)> askText;
    // Shows the icon picker and answers the chosen index or -1; replaced by tests.
    std::function<int()> chooseIcon;
    // Shows a plain message; replaced by tests.
    std::function<void(const QString &message)> showMessage;

    TagTreeView *TagTreeView_() const { return m_tagTree; }
    QTreeWidget *noteList() const { return NoteListView; }
    QTreeWidget *attachList() const { return AttachList; }
    ExportCommands *exportCommands() const { return m_exportCommands; }
    TExWebBrowser *content() const { return Content; }
    static const NoteListRecord *noteRecord(const QTreeWidgetItem *item);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanes();
    QAction *makeAction(const char *name, const QString &caption, const QString &hint, const char *iconName,
                        const QKeySequence &shortcut);
    void showBlank();
    void qtreeEditChange(const QString &text);

    AppContext &m_context;
    TDBDataModule &m_database;

    // Window state.
    QPointer<QWidget> DropBoxWindow;
    int CurrentTagId = -1;
    QString CurrentTagPath;
    int CurrentNoteId = -1;
    QString SearchText;
    QString EditNoteFile;
    QString EditNoteTitle;
    QString EditTagPath;

    // Actions.
    QAction *AddNoteAct = nullptr;
    QAction *AddNoteInTagAct = nullptr;
    QAction *DelNoteAct = nullptr;
    QAction *EditNoteAct = nullptr;
    QAction *PrintNoteAct = nullptr;
    QAction *CopySelectionAct = nullptr;
    QAction *RenameTagAct = nullptr;
    QAction *DeleteTagAct = nullptr;
    QAction *AddTagAct = nullptr;
    QAction *AboutAct = nullptr;
    QAction *EnglishAct = nullptr;
    QAction *ChineseAct = nullptr;
    QAction *ExitAct = nullptr;

    // Controls.
    QToolBar *topBar = nullptr;
    QLineEdit *TitleFilterEdit = nullptr;
    QLabel *TagTreeLabel = nullptr;
    QLineEdit *qtreeEdit = nullptr;
    TagTreeView *m_tagTree = nullptr;
    QSplitter *BottomSplitter = nullptr;
    QTreeWidget *NoteListView = nullptr;
    QLabel *NoteContentLabel = nullptr;
    TExWebBrowser *Content = nullptr;
    QTreeWidget *AttachList = nullptr;
    QMenu *NotePopupMenu = nullptr;
    QMenu *AttachPopupMenu = nullptr;
    QMenu *contentPopupMenu = nullptr;
    QMenu *TreePopupMenu = nullptr;
    QAction *SetIconMenu = nullptr;
    QAction *RenTitleMenu = nullptr;
    QAction *Findtext1 = nullptr;
    bool m_listing = false; // the note list is being filled
    ExportCommands *m_exportCommands = nullptr;
};
