#pragma once

#include "attachlistrecord.h"
#include "dropdata.h"
#include "editorpendingfiles.h"
#include "notefiling.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>

struct AppContext;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class QToolButton;
class QTreeWidget;
class TDBDataModule;
class TAddImageForm;
class TAddLinkForm;
class TExWebBrowser;
class FormatToolBar;
class WebPictureImport;

// The note editor: one note written or changed in its own window. Any number
// may be open; each frees itself when closed.
class TEditorForm : public QWidget
{
    Q_OBJECT

public:
    TEditorForm(AppContext &context, TDBDataModule &database, QWidget *parent = nullptr);
    ~TEditorForm() override;

    // Every editor still open, for shutdown.
    static QList<TEditorForm *> openEditors();

    // Shows a stored note; filePath is the full path of its HTML file.
    void LoadNote(int noteId, const QString &filePath, int tagId, const QString &title, const QString &catalogText);
    // Appends captured HTML at the end of the note and sets the title; source is
    // the address the capture came from, stored with the new note.
    void PrefillFromCapture(const QString &html, const QString &title, const QString &source = QString());
    // A new note goes to the day folder its capture began in (where its pictures
    // are), even when the editor opened on a later day.
    void useNoteFolder(const QString &dayFolder);
    // Writes the note to its file and the database. Answers true when the window
    // may close; false, without writing, while another save of this window waits.
    bool SaveNote();
    bool isSaving() const { return m_saving; }
    // Closes as the user's close does (it saves), but asks nothing: when the
    // program must end now (a signal, a logout) a save that fails lets the
    // window go, its note file as it was before that save.
    void closeForExit();

    // Attachments.
    void AddAttachment(const QString &sourcePath);
    void ListAttachments(int noteId);
    void DeleteSelectedAttachment();
    void AttachListDblClick();

    // Pictures and links.
    void AddImageClick();
    void AddLinkClick();
    void PropertiesClick();

    // A picture of a screen region appended to the note; the selection wrapped
    // as a block of code.
    void snapClick();
    void SyntaxHighlighterClick();

    // Appends HTML at the end of the note body once the view is ready.
    void AppendToBody(const QString &html);
    // Reads the page the note names (its source, else its first web link) and
    // appends it below the note, styled and with its pictures, to read offline.
    void SavePageOfflineClick();

    void setExplorerWindow(QWidget *explorer) { ExplorerWindow = explorer; }
    void setDropBoxWindow(QWidget *dropBox) { DropBoxWindow = dropBox; }
    void setNoteId(int noteId) { NoteId = noteId; }
    bool inEditMode() const;
    void setEditMode(bool on);
    // Opens the note's earlier versions, after saving what is written; a
    // version restored there is read into the editor.
    void HistoryClick();
    // Shows the note's file again as it is on the disk.
    void reloadNote();
    // The full path of the note's file; empty while it has none.
    QString notePath() const;

    int noteId() const { return NoteId; }
    int tagId() const { return TagId; }
    QString noteFileName() const { return NoteFileName; }
    QString noteFolder() const { return NoteFolder; }
    QString noteSource() const { return NoteSource; }
    bool titleChanged() const { return TitleChanged; }
    bool tagsChanged() const { return TagsChanged; }

    QLineEdit *titleEdit() const { return TitleEdit; }
    QLineEdit *tagsEdit() const { return TagsEdit; }
    QLineEdit *sourceEdit() const { return SourceEdit; }
    TExWebBrowser *content() const { return Content; }
    QTreeWidget *attachList() const { return AttachList; }
    QToolButton *editModeButton() const { return EditModeBtn; }
    QAction *historyAction() const { return HistoryAct; }

    // Questions and messages go through these, so that tests can answer them.
    std::function<bool(const QString &question)> askYesNo;
    std::function<void(const QString &message)> showMessage;
    std::function<QString()> chooseAttachment;
    std::function<bool(TAddImageForm &dialog)> runImageDialog;
    std::function<bool(TAddLinkForm &dialog)> runLinkDialog;
    std::function<QImage()> grabScreenRegion;
    // Told of each database step of a save (the crash test stops the program there).
    std::function<void(NoteFiling::Step)> filingObserver;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void createToolBars();
    void createBottomPanel();
    // Undo and Redo through the engine's editing history, with their shortcuts
    // and buttons on the second toolbar.
    void createEditActions();
    // History..., enabled once the note is stored.
    void createHistoryAction();
    void updateHistoryAction();
    QWidget *createSourcePanel();
    void showSource(const QString &source);
    QString offlinePageAddress();
    bool storeNote(const QString &fullPath);
    void takeDrop(const QList<DroppedItem> &items);
    void EditModeBtnClick();
    void StayOnTopClick(bool down);
    void storeAttachmentNow(AttachListRecord &record);
    // Whether a trashed note's attachment copy holds the name in that attaches folder.
    bool heldByTrash(const QString &attaches, const QString &name);

    AppContext &m_context;
    TDBDataModule &m_database;

    // Note state.
    QString NoteFileName;
    QString NoteFolder;
    QString NoteSource; // the address the note was captured from, or empty
    int NoteId = 0;
    int TagId = 0;
    QPointer<QWidget> ExplorerWindow;
    QPointer<QWidget> DropBoxWindow;
    bool TitleChanged = false;
    bool TagsChanged = false;
    QString OpenedCatalogText;
    EditorPendingFiles m_pendingFiles;
    bool m_saving = false; // a save is running (it waits for the view)
    bool m_closingForExit = false;
    QString m_documentProblem; // why the editor has no document, when the template could not be had

    // Controls.
    QToolBar *firstBar = nullptr;
    FormatToolBar *secondBar = nullptr;
    QToolButton *EditModeBtn = nullptr;
    QAction *UndoAct = nullptr;
    QAction *RedoAct = nullptr;
    QAction *HistoryAct = nullptr;
    QLabel *TitleLabel = nullptr;
    QLineEdit *TitleEdit = nullptr;
    QLabel *TagsLabel = nullptr;
    QLineEdit *TagsEdit = nullptr;
    QWidget *SourcePanel = nullptr;
    QLabel *SourceLabel = nullptr;
    QLineEdit *SourceEdit = nullptr;
    QToolButton *snap = nullptr;
    QToolButton *StayOnTop = nullptr;
    TExWebBrowser *Content = nullptr;
    QTreeWidget *AttachList = nullptr;
    QMenu *PopupMenu1 = nullptr;
    WebPictureImport *m_webPictures = nullptr;
};
