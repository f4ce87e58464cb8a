#include "mainform.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "deletequestion.h"
#include "emptycataloghint.h"
#include "exportcommands.h"
#include "synccommands.h"
#include "importcommands.h"
#include "exwebbrowser.h"
#include "fontfamilies.h"
#include "fulltextsearch.h"
#include "notelistwidget.h"
#include "notesourceline.h"
#include "noteviewholder.h"
#include "seticonform.h"
#include "tagtreeview.h"
#include "trashview.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

TMainForm::TMainForm(AppContext &context, TDBDataModule &database, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_database(database)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Clipnest"));
    setFont(installedFont(QStringLiteral("Trebuchet MS"), 13));
    // Its own task-bar entry, with no owner, although the drop box is the main window.
    setWindowFlag(Qt::Window);
    resize(1100, 720);

    createActions();
    m_exportCommands = new ExportCommands(*this, m_context, m_database);
    m_syncCommands = new SyncCommands(*this, m_context);
    m_importCommands = new ImportCommands(*this, m_context, m_database);
    createMenus();
    createToolBar();
    createPanes();
    m_fullText = new FullTextSearch(this, context, database);

    // Every question of the explorer comes before a deletion.
    askYesNo = [this](const QString &question) { return askYesNoDefaultNo(this, question); };
    m_trashCommands.attach(m_trashView);
    showMessage = [this](const QString &message) {
        QMessageBox::information(this, QLatin1String(ApplicationTitle), message);
    };
    askText = [this](const QString &caption, const QString &prompt, bool *ok) {
        QInputDialog dialog(this);
        dialog.setWindowTitle(caption);
        dialog.setLabelText(prompt);
        dialog.setTextValue(m_suggestedText);
        // Wide enough for the whole caption in the title bar, beside its buttons; the
        // dialog takes the width of its field.
        if (auto *field = dialog.findChild<QLineEdit *>())
            field->setMinimumWidth(std::max(340, dialog.fontMetrics().horizontalAdvance(caption) * 3 / 2 + 140));
        const bool accepted = dialog.exec() == QDialog::Accepted;
        if (ok)
            *ok = accepted;
        return accepted ? dialog.textValue() : QString();
    };
    chooseIcon = [this] {
        TSetIconForm picker(this);
        if (picker.exec() != QDialog::Accepted)
            return -1;
        return picker.selectedIndex();
    };
}

TMainForm::~TMainForm() = default;

TExWebBrowser *TMainForm::content() const
{
    return m_noteView->view();
}

QString TMainForm::askTextStartingWith(const QString &current, const QString &caption, const QString &prompt, bool *ok)
{
    m_suggestedText = current;
    const QString answer = askText(caption, prompt, ok);
    m_suggestedText.clear();
    return answer;
}

void TMainForm::showLanguage(const QString &languageFile)
{
    EnglishAct->setChecked(languageFile.compare(QLatin1String("en.ini"), Qt::CaseInsensitive) == 0);
    ChineseAct->setChecked(languageFile.compare(QLatin1String("cn.ini"), Qt::CaseInsensitive) == 0);
}

void TMainForm::createPanes()
{
    auto *leftPane = new QWidget(this);
    leftPane->setObjectName(QStringLiteral("LeftPane"));
    auto *leftLayout = new QVBoxLayout(leftPane);
    leftLayout->setContentsMargins(2, 2, 0, 2);
    leftLayout->setSpacing(3);
    TagTreeLabel = new QLabel(tr("Note catalog"), leftPane);
    TagTreeLabel->setObjectName(QStringLiteral("TagTreeLabel"));
    qtreeEdit = new QLineEdit(leftPane);
    qtreeEdit->setObjectName(QStringLiteral("qtreeEdit"));
    qtreeEdit->setPlaceholderText(tr("Quick node locator"));
    m_tagTree = new TagTreeView(leftPane);
    leftLayout->addWidget(TagTreeLabel);
    leftLayout->addWidget(qtreeEdit);
    leftLayout->addWidget(m_tagTree, 1);
    m_trashView = new TrashView(leftPane, this);
    leftLayout->addWidget(m_trashView->node());

    NoteListView = new NoteListWidget(this);
    NoteListView->setObjectName(QStringLiteral("NoteListView"));
    NoteListView->setColumnCount(2);
    NoteListView->setHeaderLabels({tr("Note title"), tr("Create date")});
    NoteListView->header()->resizeSection(0, 600);
    NoteListView->header()->resizeSection(1, 150);
    NoteListView->setRootIsDecorated(false);
    NoteListView->setUniformRowHeights(true);
    NoteListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NoteListView->setSelectionMode(QAbstractItemView::SingleSelection);
    NoteListView->setDragEnabled(true);
    NoteListView->setDragDropMode(QAbstractItemView::DragOnly);
    NoteListView->setContextMenuPolicy(Qt::CustomContextMenu);
    NoteListView->setIconSize(QSize(16, 16));
    NoteListView->setMinimumHeight(60);
    NoteListView->setProperty("languageColumns", true);

    auto *contentPane = new QWidget(this);
    auto *contentLayout = new QVBoxLayout(contentPane);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(2);
    auto *contentHeader = new QWidget(contentPane);
    auto *headerRow = new QHBoxLayout(contentHeader);
    headerRow->setContentsMargins(0, 0, 4, 0);
    headerRow->setSpacing(16);
    NoteContentLabel = new QLabel(tr("Note Content:"), contentHeader);
    NoteContentLabel->setObjectName(QStringLiteral("NoteContentLabel"));
    m_sourceLine = new NoteSourceLine(contentHeader);
    headerRow->addWidget(NoteContentLabel);
    headerRow->addWidget(m_sourceLine, 1);
    m_noteView = new NoteViewHolder(contentPane);
    m_noteView->setUpView = [this](TExWebBrowser *view) {
        view->OnShowContextMenu = [this](const QPoint &globalPos) { ContentShowContextMenu(globalPos); };
    };
    contentLayout->addWidget(contentHeader);
    contentLayout->addWidget(m_noteView, 1);
    m_emptyHint = new EmptyCatalogHint(m_tagTree, m_noteView);

    AttachList = new QTreeWidget(this);
    AttachList->setObjectName(QStringLiteral("AttachList"));
    AttachListItem::prepareList(AttachList);
    AttachList->setMinimumHeight(40);

    auto *rightSide = new QSplitter(Qt::Vertical, this);
    rightSide->setObjectName(QStringLiteral("RightSplitter"));
    rightSide->setHandleWidth(3);
    m_noteListStack = new QStackedWidget(this);
    m_noteListStack->addWidget(NoteListView);
    m_noteListStack->addWidget(m_trashView);
    rightSide->addWidget(m_noteListStack);
    rightSide->addWidget(contentPane);
    rightSide->addWidget(AttachList);
    rightSide->setStretchFactor(0, 0);
    rightSide->setStretchFactor(1, 1);
    rightSide->setStretchFactor(2, 0);
    rightSide->setSizes({162, 400, 81});

    BottomSplitter = new QSplitter(Qt::Horizontal, this);
    BottomSplitter->setObjectName(QStringLiteral("BottomSplitter"));
    BottomSplitter->addWidget(leftPane);
    BottomSplitter->addWidget(rightSide);
    BottomSplitter->setStretchFactor(0, 0);
    BottomSplitter->setStretchFactor(1, 1);
    BottomSplitter->setSizes({185, 900});
    leftPane->setMinimumWidth(5);
    setCentralWidget(BottomSplitter);

    connectPanes();
    addContextShortcuts();
}

void TMainForm::addContextShortcuts()
{
    // F2 renames and Delete deletes what has the focus: a node in the tree, a note in the list.
    auto shortcut = [this](QWidget *widget, const char *name, const QKeySequence &keys, std::function<void()> run) {
        auto *action = new QAction(widget);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, std::move(run));
        widget->addAction(action);
    };
    shortcut(m_tagTree, "RenameNodeKey", Qt::Key_F2, [this] { RenameTagActExecute(); });
    shortcut(m_tagTree, "DeleteNodeKey", QKeySequence::Delete, [this] { DeleteTagActExecute(); });
    shortcut(NoteListView, "RenameNoteKey", Qt::Key_F2, [this] { RenTitleMenuClick(); });
    shortcut(NoteListView, "DeleteNoteKey", QKeySequence::Delete, [this] { DelNoteActExecute(); });
}

void TMainForm::connectPanes()
{
    connectTreeSelection();
    // A node chosen in the catalog brings its note list back in place of the trash.
    connect(m_tagTree, &QTreeWidget::itemPressed, this, [this] { m_trashCommands.leaveTrash(); });
    connect(m_tagTree, &QTreeWidget::currentItemChanged, this, [this] { m_trashCommands.leaveTrash(); });
    connect(m_tagTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { TreePopupMenu->popup(m_tagTree->viewport()->mapToGlobal(pos)); });
    connect(NoteListView, &QTreeWidget::itemClicked, this, [this] { m_notes.ShowNote(); });
    connect(NoteListView, &QTreeWidget::itemDoubleClicked, this, [this] { OpenNoteForEditing(); });
    connect(NoteListView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        // Moving through the list with the keyboard shows each note too.
        if (!m_notes.listing() && current && NoteListView->hasFocus())
            m_notes.ShowNote();
    });
    connect(NoteListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { NotePopupMenu->popup(NoteListView->viewport()->mapToGlobal(pos)); });
    connect(AttachList, &QTreeWidget::itemDoubleClicked, this, [this] { AttachListDblClick(); });
    connect(AttachList, &QTreeWidget::itemActivated, this, [this] { AttachListDblClick(); });
    connect(AttachList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { AttachPopupMenu->popup(AttachList->viewport()->mapToGlobal(pos)); });
    m_tagTree->acceptsDrop = [this](QObject *source, TagTreeItem *target) {
        return TagTreeViewDragOver(source, target);
    };
    m_tagTree->dropped = [this](QObject *source, TagTreeItem *target) { TagTreeViewDragDrop(source, target); };
    connect(qtreeEdit, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_catalogCommands.qtreeEditChange(text); });
    qtreeEdit->installEventFilter(this);
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // Closing only hides the explorer; the drop box brings it back.
    event->ignore();
    hide();
}

void TMainForm::ClearExplorer()
{
    m_syncCommands->stop();
    if (m_noteView->hasView())
        content()->Navigate(QStringLiteral("about:blank"));
    changeTreeQuietly([this] { m_tagTree->clear(); });
    NoteListView->clear();
    AttachList->clear();
}

void TMainForm::LoadTagTree(const QString &searchText)
{
    m_state.SearchText = searchText;
    if (searchText.isEmpty()) {
        loadTreeInFull([this] { m_tagTree->loadFull(m_database); });
    } else {
        // Rows changed since are shown first, so that the recount counts the tree they make.
        refreshCatalog({}, TagTreeView::NewRows::Hold);
        m_tagTree->recount(m_database, searchText);
    }
    m_emptyHint->refresh();
}

void TMainForm::LoadTagTree(const QList<TagRecord> &rows)
{
    m_state.SearchText.clear();
    loadTreeInFull([&] { m_tagTree->loadFull(rows); });
    m_emptyHint->refresh();
}

void TMainForm::loadTreeInFull(const std::function<void()> &load)
{
    changeTreeQuietly([&] {
        // A full load reads every row: nothing marked changed is left to show.
        m_database.takeChangedTags();
        load();
        m_context.catalogPaths = m_tagTree->catalogPaths();
        selectListedTag();
    });
}

void TMainForm::selectListedTag()
{
    // The listed node stays selected, so that the tree and the list agree.
    if (TagTreeItem *listed = m_tagTree->findTag(m_notes.listedTagId()))
        m_tagTree->setCurrentItem(listed);
}

void TMainForm::SearchTitles(const QString &searchText)
{
    if (!searchText.isEmpty() || !m_tagTree->isLoaded()) {
        LoadTagTree(searchText);
    } else {
        // The tree follows every change made since its load, so only those rows,
        // and the ones a search held back, are read again: at tens of thousands of
        // nodes a rebuild costs far more than the counts it would change.
        m_state.SearchText.clear();
        refreshCatalog(m_tagTree->takeHeldRows(), TagTreeView::NewRows::Show);
        changeTreeQuietly([this] {
            m_tagTree->showStoredCounts();
            selectListedTag();
        });
        m_emptyHint->refresh();
    }
    // The list follows the search at once, not at the next click on a node.
    TagTreeItem *selected = m_tagTree->selectedTag();
    if (selected && selected->record.tagid == m_notes.listedTagId() && m_notes.listedFilter() != m_state.SearchText)
        m_notes.ShowTagNotes();
}

void TMainForm::refreshCatalog(const QSet<int> &alsoRefresh, TagTreeView::NewRows newRows)
{
    const QSet<int> changed = m_database.takeChangedTags() | alsoRefresh;
    changeTreeQuietly([&] { m_tagTree->refreshRows(m_database, changed, m_state.SearchText, newRows); });
    m_context.catalogPaths = m_tagTree->catalogPaths();
    syncListToSelection();
}

void TMainForm::changeTreeQuietly(const std::function<void()> &change)
{
    ++m_quietTreeChanges;
    try {
        change();
    } catch (...) {
        --m_quietTreeChanges;
        throw;
    }
    --m_quietTreeChanges;
}

void TMainForm::selectTagQuietly(TagTreeItem *tag)
{
    changeTreeQuietly([this, tag] { m_tagTree->setCurrentItem(tag); });
}

void TMainForm::syncListToSelection()
{
    if (m_quietTreeChanges > 0)
        return;
    TagTreeItem *selected = m_tagTree->selectedTag();
    if (selected) {
        if (selected->record.tagid != m_notes.listedTagId())
            m_notes.ShowTagNotes();
    } else if (m_notes.listedTagId() >= 0 && !m_tagTree->findTag(m_notes.listedTagId())) {
        m_notes.clearListing();
    }
}

void TMainForm::reportCatalogLoop(const CatalogLoopError &error)
{
    showMessage(m_context.messages.shown(QStringLiteral("CatalogLoop")).arg(error.tagid()));
}

void TMainForm::connectTreeSelection()
{
    // However a node gets selected (mouse, keys, a right-click, the start of a drag,
    // the locator, or Qt after a delete), its notes are the ones listed.
    connect(m_tagTree, &QTreeWidget::itemSelectionChanged, this, [this] { syncListToSelection(); });
    // A click on the node already selected lists it again (say, after a new search).
    m_tagTree->viewport()->installEventFilter(this);
    connect(m_tagTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        if (static_cast<TagTreeItem *>(item)->record.tagid == m_selectedAtPress)
            m_notes.ShowTagNotes();
    });
}

void TMainForm::NoteSaved(int noteId, int tagId)
{
    m_fullText->noteChanged(noteId);
    m_syncCommands->noteSaved();
    // Only the rows the save changed are read again. While no search is active the
    // tree then looks as a full reload shows it (new nodes, siblings in id order);
    // during a search it is only recounted, and new nodes wait for the next full load.
    const bool searching = !m_state.SearchText.isEmpty();
    refreshCatalog({tagId}, searching ? TagTreeView::NewRows::Hold : TagTreeView::NewRows::Show);
    changeTreeQuietly([&] {
        if (!searching)
            m_tagTree->restoreLoadOrder();
        m_tagTree->expandClosedNodes();
    });
    SelectTagAndNote(noteId, tagId);
}

void TMainForm::Findtext1Click()
{
    content()->ShowFindBar();
}

void TMainForm::ContentShowContextMenu(const QPoint &globalPos)
{
    contentPopupMenu->popup(globalPos);
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tagTree->viewport() && event->type() == QEvent::MouseButtonPress) {
        TagTreeItem *selected = m_tagTree->selectedTag();
        m_selectedAtPress = selected ? selected->record.tagid : -1;
    }
    // Entering the locator or clicking in it selects its text, so typing replaces it.
    if (watched == qtreeEdit && (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonRelease)) {
        QMetaObject::invokeMethod(qtreeEdit, &QLineEdit::selectAll, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}
