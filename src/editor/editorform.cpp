#include "editorform.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "catalogwalk.h"
#include "clipcapture.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "exwebbrowser.h"
#include "fontfamilies.h"
#include "formattoolbar.h"
#include "insertdialogs.h"
#include "notefilereplace.h"
#include "notefilestore.h"
#include "notesavedreceiver.h"
#include "pictureclick.h"
#include "programtext.h"
#include "regiongrabber.h"
#include "rememberedfolder.h"
#include "tagpaths.h"
#include "webpictureimport.h"

#include <QAction>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSplitter>
#include <QStringListModel>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QList<QPointer<TEditorForm>> &registry()
{
    static QList<QPointer<TEditorForm>> editors;
    return editors;
}

} // namespace

TEditorForm::TEditorForm(AppContext &context, TDBDataModule &database, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_context(context)
    , m_database(database)
    , m_pendingFiles(database, context.pendingFolder(), context.dataFolder)
{
    setObjectName(QStringLiteral("EditorForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Note editor"));
    setFont(installedFont(QStringLiteral("Tahoma"), 13));
    resize(784, 500);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    registry().append(this);

    // Saves the note and keeps writing.
    auto *saveAction = new QAction(this);
    saveAction->setObjectName(QStringLiteral("SaveNoteAct"));
    saveAction->setShortcut(QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, [this] { SaveNote(); });
    addAction(saveAction);

    askYesNo = [this](const QString &question) {
        return QMessageBox::question(this, QLatin1String(ApplicationTitle), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    showMessage = [this](const QString &message) {
        QMessageBox::information(this, QLatin1String(ApplicationTitle), message);
    };
    chooseAttachment = [this] {
        const RememberedFolder lastFolder(m_context.programFolder, QStringLiteral("attach"));
        const QString file = QFileDialog::getOpenFileName(this, tr("Add Attached File"), lastFolder.folder());
        lastFolder.rememberFileIn(file);
        return file;
    };
    runImageDialog = [](TAddImageForm &dialog) { return dialog.exec() == QDialog::Accepted; };
    grabScreenRegion = [] { return RegionGrabber::grabRegion(); };
    runLinkDialog = [](TAddLinkForm &dialog) { return dialog.exec() == QDialog::Accepted; };

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Content = new TExWebBrowser(this);
    Content->setObjectName(QStringLiteral("Content"));
    new PictureClickSelector(Content);
    m_webPictures = new WebPictureImport(
        this, Content, m_context, [this] { return NoteFolder; }, [this] { return inEditMode(); },
        [this](const QString &message) { showMessage(message); });
    createToolBars();
    auto *topPanel = new QWidget(this);
    topPanel->setObjectName(QStringLiteral("TopPanel"));
    topPanel->setFixedHeight(81);
    auto *topLayout = new QVBoxLayout(topPanel);
    topLayout->setContentsMargins(2, 4, 2, 4);
    topLayout->setSpacing(5);
    topLayout->addWidget(firstBar);
    topLayout->addWidget(secondBar);
    layout->addWidget(topPanel);
    layout->addWidget(createSourcePanel());

    createBottomPanel();
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setHandleWidth(10);
    splitter->addWidget(Content);
    splitter->addWidget(AttachList);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({400, 94});
    layout->addWidget(splitter, 1);

    FormCreate();
}

TEditorForm::~TEditorForm()
{
    registry().removeAll(this);
    // What was never saved goes with the window: attachment copies of a note not
    // stored, a note file whose save failed.
    m_pendingFiles.discard();
}

QList<TEditorForm *> TEditorForm::openEditors()
{
    QList<TEditorForm *> editors;
    for (const QPointer<TEditorForm> &editor : registry()) {
        if (editor)
            editors << editor.data();
    }
    return editors;
}

void TEditorForm::createToolBars()
{
    firstBar = new QToolBar(this);
    firstBar->setObjectName(QStringLiteral("ToolBar1"));
    firstBar->setFixedHeight(34);
    firstBar->setIconSize(QSize(24, 24));
    showPressedToggles(firstBar);
    EditModeBtn = makeToolButton(firstBar, "EditModeBtn", tr("Edit mode"),
                                 QIcon::fromTheme(QStringLiteral("accessories-text-editor")));
    EditModeBtn->setCheckable(true);
    EditModeBtn->setChecked(true);
    connect(EditModeBtn, &QToolButton::clicked, this, &TEditorForm::EditModeBtnClick);
    TitleLabel = new QLabel(tr("Title:"), firstBar);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    firstBar->addWidget(TitleLabel);
    TitleEdit = new QLineEdit(firstBar);
    TitleEdit->setObjectName(QStringLiteral("TitleEdit"));
    TitleEdit->setFixedWidth(337);
    TitleEdit->setAcceptDrops(false); // drops anywhere go to the note
    firstBar->addWidget(TitleEdit);
    TagsLabel = new QLabel(tr("Catalog:"), firstBar);
    TagsLabel->setObjectName(QStringLiteral("TagsLabel"));
    firstBar->addWidget(TagsLabel);
    TagsEdit = new QLineEdit(firstBar);
    TagsEdit->setObjectName(QStringLiteral("TagsEdit"));
    TagsEdit->setFixedWidth(183);
    TagsEdit->setAcceptDrops(false);
    TagsEdit->setToolTip(tr("use commas to separate different tags into a tree structure"));
    firstBar->addWidget(TagsEdit);
    snap = makeToolButton(firstBar, "snap", tr("Screen capture"),
                          QIcon::fromTheme(QStringLiteral("applets-screenshooter")));
    connect(snap, &QToolButton::clicked, this, &TEditorForm::snapClick);
    StayOnTop = makeToolButton(firstBar, "StayOnTop", tr("Make this window stay on the top"),
                               QIcon::fromTheme(QStringLiteral("go-top")));
    StayOnTop->setCheckable(true);
    connect(StayOnTop, &QToolButton::toggled, this, &TEditorForm::StayOnTopClick);
    connect(TitleEdit, &QLineEdit::textChanged, this, [this] { TitleChanged = true; });
    connect(TagsEdit, &QLineEdit::textChanged, this, [this] { TagsChanged = true; });

    secondBar = new FormatToolBar(Content, this);
    connect(secondBar, &FormatToolBar::addImageClicked, this, &TEditorForm::AddImageClick);
    connect(secondBar, &FormatToolBar::addLinkClicked, this, &TEditorForm::AddLinkClick);
    connect(secondBar, &FormatToolBar::addAttachClicked, this, [this] {
        const QString file = chooseAttachment();
        if (!file.isEmpty())
            AddAttachment(file);
    });
    connect(secondBar, &FormatToolBar::highlighterClicked, this, &TEditorForm::SyntaxHighlighterClick);
    connect(secondBar, &FormatToolBar::pasteClicked, this, [this] { m_webPictures->paste(); });
    connect(secondBar, &FormatToolBar::propertiesClicked, this, &TEditorForm::PropertiesClick);
    connect(secondBar, &FormatToolBar::searchClicked, this, [this] { Content->ShowFindBar(); });
    connect(secondBar, &FormatToolBar::printClicked, this, [this] { Content->Print(TitleEdit->text()); });
    createEditActions();
    createHistoryAction();
}

QWidget *TEditorForm::createSourcePanel()
{
    // A slim line under the title, only for a note that came from a page.
    SourcePanel = new QWidget(this);
    SourcePanel->setObjectName(QStringLiteral("SourcePanel"));
    auto *row = new QHBoxLayout(SourcePanel);
    row->setContentsMargins(6, 0, 6, 4);
    row->setSpacing(6);
    SourceLabel = new QLabel(tr("Source:"), SourcePanel);
    SourceLabel->setObjectName(QStringLiteral("SourceLabel"));
    SourceEdit = new QLineEdit(SourcePanel);
    SourceEdit->setObjectName(QStringLiteral("SourceEdit"));
    SourceEdit->setReadOnly(true);
    SourceEdit->setFrame(false);
    SourceEdit->setAcceptDrops(false);
    SourceEdit->setBackgroundRole(QPalette::Window);
    row->addWidget(SourceLabel);
    row->addWidget(SourceEdit, 1);
    auto *offline = new QToolButton(SourcePanel);
    offline->setObjectName(QStringLiteral("SavePageOffline"));
    offline->setText(tr("Save the page offline"));
    offline->setAutoRaise(true);
    connect(offline, &QToolButton::clicked, this, &TEditorForm::SavePageOfflineClick);
    row->addWidget(offline);
    SourcePanel->hide();
    return SourcePanel;
}

void TEditorForm::showSource(const QString &source)
{
    NoteSource = source;
    SourceEdit->setText(source);
    SourceEdit->setCursorPosition(0); // the host, not the end of a long address
    SourcePanel->setVisible(!source.isEmpty());
    const QUrl address(source);
    SourcePanel->findChild<QToolButton *>(QStringLiteral("SavePageOffline"))
        ->setVisible(address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https"));
}

void TEditorForm::createBottomPanel()
{
    AttachList = new QTreeWidget(this);
    AttachList->setObjectName(QStringLiteral("AttachList"));
    AttachListItem::prepareList(AttachList);
    AttachList->setFont(installedFont(QStringLiteral("Trebuchet MS"), 13));
    AttachList->setMinimumHeight(40);
    AttachList->installEventFilter(this);
    connect(AttachList, &QTreeWidget::itemDoubleClicked, this, [this] { AttachListDblClick(); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *add = PopupMenu1->addAction(programText("Add Atachment File"));
    add->setObjectName(QStringLiteral("AddAtachmentFile1"));
    connect(add, &QAction::triggered, this, [this] {
        const QString file = chooseAttachment();
        if (!file.isEmpty())
            AddAttachment(file);
    });
    QAction *remove = PopupMenu1->addAction(programText("Del Attachment File"));
    remove->setObjectName(QStringLiteral("DelAttachFile1"));
    connect(remove, &QAction::triggered, this, &TEditorForm::DeleteSelectedAttachment);
    connect(AttachList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(AttachList->viewport()->mapToGlobal(pos)); });
}

void TEditorForm::FormCreate()
{
    // Drops anywhere over the window, the view included, come to the window.
    setAcceptDrops(true);
    Content->setAcceptDrops(false);
    Content->setContextMenuPolicy(Qt::NoContextMenu);

    const NoteLocation today = NewNoteLocation(m_context.dataFolder);
    // The note, its pictures and attachments stay beside the template shown.
    NoteFolder = today.dayFolder;
    const QString templateCopy = today.dayFolder + QStringLiteral("/template.html");
    if (QFileInfo::exists(templateCopy)) {
        Content->Navigate(templateCopy);
        Content->WaitWhileBusy();
        Content->SetDesignMode(true);
    } else {
        // Without its document the editor can hold nothing; the user is told
        // why once the window is up, and again by a save.
        m_documentProblem =
            today.problem.isEmpty() ? QStringLiteral("\"%1\" is missing.").arg(templateCopy) : today.problem;
        QTimer::singleShot(0, this, [this] {
            if (!m_documentProblem.isEmpty())
                showMessage(programText("The note could not be written:\n%1").arg(m_documentProblem));
        });
    }
    EditModeBtn->setChecked(true);
    NoteFileName.clear();
    OpenedCatalogText.clear();
    TitleChanged = false;
    TagsChanged = false;

    // Suggestions for the catalog field: the paths known when the editor opened.
    auto *completer = new QCompleter(new QStringListModel(m_context.catalogPaths, this), this);
    // Node names match whatever their letter case, so the suggestions do too.
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    TagsEdit->setCompleter(completer);
    TagsEdit->installEventFilter(this);
}

void TEditorForm::LoadNote(int noteId, const QString &filePath, int tagId, const QString &title,
                           const QString &catalogText)
{
    try {
        if (QFileInfo::exists(filePath)) {
            m_documentProblem.clear(); // the note is the document
            const QFileInfo file(filePath);
            NoteFileName = file.fileName();
            NoteFolder = file.absolutePath();
            // Known before the load waits, so that a close meanwhile saves this note
            // and does not store it as a new one.
            NoteId = noteId;
            TagId = tagId;
            TitleEdit->setText(title);
            TagsEdit->setText(catalogText);
            OpenedCatalogText = catalogText;
            try {
                showSource(m_database.noteSource(noteId));
            } catch (const DbError &) {
                showSource(QString()); // the note opens all the same; its row keeps the source
            }
            QPointer<TEditorForm> self(this);
            Content->Navigate(filePath);
            Content->WaitWhileBusy();
            if (!self)
                return;
            Content->SetDesignMode(inEditMode());
        }
        ListAttachments(noteId);
        updateHistoryAction();
    } catch (const std::exception &) {
        showMessage(m_context.messages.shown(QStringLiteral("LoadNoteFail")));
        NoteId = 0;
        TagId = 0;
    }
}

void TEditorForm::PrefillFromCapture(const QString &html, const QString &title, const QString &source)
{
    if (NoteId == 0 && NoteFileName.isEmpty())
        showSource(source);
    Content->WaitWhileBusy();
    Content->InsertAtEndOfBody(html);
    Content->WaitWhileBusy();
    TitleEdit->setText(title);
}

void TEditorForm::useNoteFolder(const QString &dayFolder)
{
    if (dayFolder.isEmpty() || dayFolder == NoteFolder || !NoteFileName.isEmpty())
        return;
    NoteFolder = dayFolder;
    Content->Navigate(dayFolder + QStringLiteral("/template.html"));
    Content->WaitWhileBusy();
    Content->SetDesignMode(inEditMode());
}

void TEditorForm::AppendToBody(const QString &html)
{
    Content->WaitWhileBusy();
    Content->InsertAtEndOfBody(html);
}

bool TEditorForm::SaveNote()
{
    // A save waits for the view; a close or Exit meanwhile must not start a second one.
    if (m_saving)
        return false;
    const QScopedValueRollback<bool> saving(m_saving, true);
    if (!m_documentProblem.isEmpty()) {
        // Without a document of its own nothing put into the view can be stored;
        // an editor left empty simply closes.
        if (Content->WaitWhileBusy() && (!Content->HasBody() || Content->BodyIsBlank()))
            return true;
        throw std::runtime_error(m_documentProblem.toStdString());
    }
    if (NoteFileName.isEmpty()) {
        // Beside its pictures and attachments, whatever day it is now.
        if (NoteFolder.isEmpty())
            NoteFolder = NewNoteLocation(m_context.dataFolder).dayFolder;
        NoteFileName = NewNoteFileName(NoteFolder);
    }
    const QString fullPath = NoteFolder + QLatin1Char('/') + NoteFileName;
    if (!Content->WaitWhileBusy())
        throw std::runtime_error(tr("The note view is still loading.").toStdString());
    if (!Content->HasBody())
        return true; // no document to save

    if (Content->BodyIsBlank()) {
        if (AttachList->topLevelItemCount() > 0)
            return askYesNo(programText("This note content is empty. Exit without save?"));
        return true;
    }

    // Only the note itself is written over its file, never a page the view
    // was moved to; there is no retry that could help, so the user decides.
    if (!Content->ShowsNavigatedDocument())
        throw std::runtime_error(
            tr("The note view no longer shows this note, so nothing was written to\n%1").arg(fullPath).toStdString());
    // Recorded before it is written: a run cut short before the note's row is
    // committed stores the file at the next start, instead of leaving it without a row.
    // A stored note's row follows its new text at the next start should the
    // run end between the two.
    m_pendingFiles.setSavingNoteFile(fullPath, NoteId == 0);
    m_pendingFiles.setSavingStoredNote(NoteId, TagsChanged || TagId == 0, TitleChanged);
    m_pendingFiles.update(AttachList, TitleEdit->text(), TagsEdit->text());
    try {
        // The earlier text of a stored note is kept as a version before it is replaced.
        const QByteArray text = RelativisedNoteText(Content->SavedText(fullPath), fullPath);
        m_pendingFiles.writingNoteText(text);
        const QString failure = replaceNoteFile(m_context.dataFolder, NoteId, fullPath, text, m_context.history);
        if (!failure.isEmpty())
            throw std::runtime_error(
                QStringLiteral("Cannot write the note file \"%1\": %2").arg(fullPath, failure).toStdString());
        m_pendingFiles.noteFileWritten();
    } catch (const std::exception &error) {
        showMessage(programText("The note could not be written:\n%1").arg(QString::fromUtf8(error.what())));
        return false;
    }

    if (TagsEdit->text().isEmpty())
        TagsEdit->setText(QStringLiteral("untagged"));
    if (!storeNote(fullPath))
        return false;
    auto *receiver = dynamic_cast<NoteSavedReceiver *>(ExplorerWindow.data());
    if (!receiver || !receiver->followsCatalogPaths())
        m_context.catalogPaths = m_database.loadCatalogPaths();
    if (receiver)
        receiver->NoteSaved(NoteId, TagId);
    return true;
}

// The database half of a save: the filing, the note row and the pending
// attachment rows in one transaction. On failure nothing of it is stored, a new
// note's file is removed again, and the editor keeps its state for another try.
bool TEditorForm::storeNote(const QString &fullPath)
{
    QString relativePath = fullPath;
    relativePath.remove(m_context.dataFolder, Qt::CaseInsensitive);
    QList<AttachListItem *> pending;
    NoteFilingRequest request;
    request.noteId = NoteId;
    request.title = TitleEdit->text();
    request.catalogText = TagsEdit->text();
    request.refile = TagsChanged || TagId == 0;
    request.retitle = TitleChanged;
    request.relativeFile = relativePath;
    request.source = NoteSource;
    for (int i = 0; i < AttachList->topLevelItemCount(); ++i) {
        auto *item = static_cast<AttachListItem *>(AttachList->topLevelItem(i));
        if (item->record.attid == 0) {
            pending << item;
            request.attachments << item->record;
        }
    }
    NoteFilingResult result;
    try {
        NoteFiling filing(m_database);
        filing.observer = filingObserver;
        result = filing.file(request);
    } catch (const DbError &error) {
        const auto *loop = dynamic_cast<const CatalogLoopError *>(&error);
        const QString reason =
            loop ? m_context.messages.shown(QStringLiteral("CatalogLoop")).arg(loop->tagid()) : error.message();
        if (NoteId == 0) {
            QFile::remove(fullPath); // written for this save only
            m_pendingFiles.setSavingNoteFile(QString(), false);
            m_pendingFiles.update(AttachList, TitleEdit->text(), TagsEdit->text());
            showMessage(m_context.messages.shown(QStringLiteral("SaveNotStored")).arg(reason));
        } else {
            showMessage(m_context.messages.shown(QStringLiteral("SaveRowNotStored")).arg(fullPath, reason));
        }
        return false;
    }
    for (qsizetype i = 0; i < pending.size(); ++i) {
        pending[i]->record.attid = result.attachmentIds.value(i);
        pending[i]->record.noteid = result.noteId;
    }
    NoteId = result.noteId;
    TagId = result.tagId;
    OpenedCatalogText = TagsEdit->text();
    TitleChanged = false;
    TagsChanged = false;
    m_pendingFiles.allStored(); // every file of the note has its row now
    updateHistoryAction();
    return true;
}

void TEditorForm::closeEvent(QCloseEvent *event)
{
    event->ignore();
    bool saved = false;
    try {
        saved = SaveNote();
    } catch (const std::exception &error) {
        // The window goes only when the user says so: nothing is lost unseen.
        saved = m_closingForExit ||
                askYesNo(programText("The note could not be saved:\n%1\n\nClose the window without saving?")
                             .arg(QString::fromUtf8(error.what())));
    }
    if (saved || (m_closingForExit && !m_saving))
        event->accept();
}

void TEditorForm::closeForExit()
{
    const QScopedValueRollback<bool> closing(m_closingForExit, true);
    close();
}

bool TEditorForm::inEditMode() const
{
    return EditModeBtn->isChecked();
}

void TEditorForm::setEditMode(bool on)
{
    if (EditModeBtn->isChecked() == on)
        return;
    EditModeBtn->setChecked(on);
    EditModeBtnClick();
}

void TEditorForm::EditModeBtnClick()
{
    const bool on = EditModeBtn->isChecked();
    Content->SetDesignMode(on);
    TitleEdit->setReadOnly(!on);
    TagsEdit->setReadOnly(!on);
    for (QWidget *control : secondBar->editingControls())
        control->setEnabled(on);
    UndoAct->setEnabled(on);
    RedoAct->setEnabled(on);
    QPointer<TEditorForm> self(this);
    if (!on)
        SaveNote();
    if (self) // the save waits, and the window may be closed meanwhile
        Content->update();
}

void TEditorForm::StayOnTopClick(bool down)
{
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, down);
    if (visible)
        show();
}

bool TEditorForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == AttachList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Backspace) {
        DeleteSelectedAttachment();
        return true;
    }
    if (watched == TagsEdit && event->type() == QEvent::KeyPress) {
        // Up and Down open the suggestions for what is typed so far.
        const int key = static_cast<QKeyEvent *>(event)->key();
        QCompleter *completer = TagsEdit->completer();
        if ((key == Qt::Key_Down || key == Qt::Key_Up) && completer && !TagsEdit->isReadOnly() &&
            !completer->popup()->isVisible()) {
            completer->setCompletionPrefix(TagsEdit->text());
            completer->complete();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
