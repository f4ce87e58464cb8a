#include "mainform.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "emptycataloghint.h"
#include "exportcommands.h"
#include "exwebbrowser.h"
#include "fontfamilies.h"
#include "fulltextsearch.h"
#include "menuentry.h"
#include "notelistwidget.h"
#include "noteviewholder.h"
#include "seticonform.h"
#include "tagtreeview.h"
#include "themeicons.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
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
    createMenus();
    createToolBar();
    createPanes();
    m_fullText = new FullTextSearch(this, context, database);

    askYesNo = [this](const QString &question) {
        return QMessageBox::question(this, QLatin1String(ApplicationTitle), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
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

QAction *TMainForm::makeAction(const char *name, const QString &caption, const QString &hint, const QIcon &icon,
                               const QKeySequence &shortcut)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    action->setIcon(icon);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

void TMainForm::createActions()
{
    auto icon = [](const char *name) { return QIcon::fromTheme(QLatin1String(name)); };
    AddNoteAct = makeAction("AddNoteAct", tr("Add new note"), tr("Add new note"), icon("document-new"),
                            QKeySequence(Qt::CTRL | Qt::Key_N));
    AddNoteInTagAct =
        makeAction("AddNoteInTagAct", tr("Add note under current node"), tr("Add new note under current tag"),
                   icon("list-add"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N));
    DelNoteAct = makeAction("DelNoteAct", tr("Delete current note"), tr("Delete current note"), icon("edit-delete"),
                            QKeySequence(Qt::CTRL | Qt::Key_D));
    EditNoteAct = makeAction("EditNoteAct", tr("Edit current note"), tr("Edit current note"),
                             icon("accessories-text-editor"), QKeySequence(Qt::CTRL | Qt::Key_T));
    PrintNoteAct = makeAction("PrintNoteAct", tr("Print current note"), tr("Print current note"),
                              icon("document-print"), QKeySequence(Qt::CTRL | Qt::Key_P));
    CopySelectionAct =
        makeAction("CopySelectionAct", tr("Copy Selection to clipboard"), tr("Copy Selection to clipboard"),
                   icon("edit-copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    // A pencil, not a magnifier: renaming finds nothing.
    RenameTagAct = makeAction("RenameTagAct", tr("Rename node"), tr("Rename tag"),
                              glyphIcon({QStringLiteral("edit-rename"), QStringLiteral("document-edit-symbolic")}),
                              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    DeleteTagAct = makeAction("DeleteTagAct", tr("Delete node"), tr("Delete tag"), icon("list-remove"),
                              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
    AddTagAct = makeAction("AddTagAct", tr("Add node"), tr("Add tag"), icon("folder-new"),
                           QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
    // Desktops take Ctrl+Alt+T (a terminal) and Ctrl+Alt+D (the desktop): these work there too.
    AddTagAct->setShortcuts({AddTagAct->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T)});
    DeleteTagAct->setShortcuts({DeleteTagAct->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)});
    AboutAct = makeAction("AboutAct", tr("About"), tr("About"),
                          glyphIcon({QStringLiteral("help-about-symbolic"), QStringLiteral("dialog-information")}), {});
    EnglishAct = makeAction("EnglishAct", tr("English"), tr("English"), QIcon(), {});
    ChineseAct = makeAction("ChineseAct", tr("Chinese"), tr("Chinese"), QIcon(), {});
    ExitAct =
        makeAction("ExitAct", tr("Exit"), tr("Exit"), icon("application-exit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The Language menu marks the language in use.
    auto *languages = new QActionGroup(this);
    languages->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction *language : {EnglishAct, ChineseAct}) {
        language->setCheckable(true);
        languages->addAction(language);
    }
    // Without a tray icon this is the way back to a hidden drop box.
    ShowDropBoxAct =
        makeAction("ShowDropBoxAct", literalCaption(tr("Show drag&drop box")), tr("Show drag&drop box"), QIcon(), {});

    connect(AddNoteAct, &QAction::triggered, this, [this] { AddNoteActExecute(); });
    connect(AddNoteInTagAct, &QAction::triggered, this, [this] { AddNoteInTagActExecute(); });
    connect(EditNoteAct, &QAction::triggered, this, [this] { OpenNoteForEditing(); });
    connect(DelNoteAct, &QAction::triggered, this, [this] { DelNoteActExecute(); });
    connect(AddTagAct, &QAction::triggered, this, [this] { AddTagActExecute(); });
    connect(RenameTagAct, &QAction::triggered, this, [this] { RenameTagActExecute(); });
    connect(DeleteTagAct, &QAction::triggered, this, [this] { DeleteTagActExecute(); });
    connect(PrintNoteAct, &QAction::triggered, this, [this] { content()->Print(m_state.EditNoteTitle); });
    connect(CopySelectionAct, &QAction::triggered, this, [this] { content()->ExecCommand(QStringLiteral("Copy"), 0); });
    connect(EnglishAct, &QAction::triggered, this, [this] {
        if (switchLanguage)
            switchLanguage(QStringLiteral("en.ini"));
    });
    connect(ChineseAct, &QAction::triggered, this, [this] {
        if (switchLanguage)
            switchLanguage(QStringLiteral("cn.ini"));
    });
    connect(AboutAct, &QAction::triggered, this, [this] {
        if (showAbout)
            showAbout();
    });
    connect(ExitAct, &QAction::triggered, this, [this] {
        if (exitProgram)
            exitProgram();
    });
    connect(ShowDropBoxAct, &QAction::triggered, this, [this] {
        if (showDropBox)
            showDropBox();
    });
}

void TMainForm::createMenus()
{
    auto addMenu = [this](const char *name, const QString &title) {
        QMenu *menu = menuBar()->addMenu(title);
        menu->setObjectName(QLatin1String(name));
        menu->menuAction()->setObjectName(QLatin1String(name));
        return menu;
    };
    auto entry = [this](QMenu *menu, QAction *action, const char *name) {
        menu->addAction(menuEntryFor(action, QLatin1String(name), menu));
    };
    auto separator = [](QMenu *menu, const char *name) { menu->addAction(namedSeparator(QLatin1String(name), menu)); };

    QMenu *file = addMenu("FileMenu", tr("File"));
    entry(file, AddNoteAct, "addnewnote1");
    entry(file, AddNoteInTagAct, "Addnewnoteincurrenttag1");
    entry(file, DelNoteAct, "deletenote1");
    entry(file, EditNoteAct, "Editnote1");
    separator(file, "N1");
    entry(file, PrintNoteAct, "Printnote1");
    m_exportCommands->addFileMenuEntries(file);
    separator(file, "N2");
    entry(file, ExitAct, "Exit1");

    QMenu *node = addMenu("TagMenu", tr("Node"));
    entry(node, AddTagAct, "Addtag1");
    entry(node, DeleteTagAct, "Deletetag1");
    entry(node, RenameTagAct, "Renametag1");

    QMenu *edit = addMenu("EditMenu", tr("Edit"));
    entry(edit, CopySelectionAct, "Copyselectiontoclipboard1");

    QMenu *view = addMenu("ViewMenu", tr("View"));
    entry(view, ShowDropBoxAct, "ShowDropBox1");

    QMenu *language = addMenu("LanguageMenu", tr("Language"));
    entry(language, EnglishAct, "English1");
    entry(language, ChineseAct, "Chinese1");

    QMenu *about = addMenu("AboutMenu", tr("About"));
    entry(about, AboutAct, "About2");

    NotePopupMenu = new QMenu(this);
    NotePopupMenu->setObjectName(QStringLiteral("NotePopupMenu"));
    entry(NotePopupMenu, AddNoteAct, "AddNoteMenu1");
    entry(NotePopupMenu, AddNoteInTagAct, "AddNewNoteInTagMenu1");
    entry(NotePopupMenu, EditNoteAct, "Editcurrentnote1");
    entry(NotePopupMenu, DelNoteAct, "DelNoteMenu1");
    RenTitleMenu = NotePopupMenu->addAction(tr("Change note title"));
    RenTitleMenu->setObjectName(QStringLiteral("RenTitleMenu"));
    connect(RenTitleMenu, &QAction::triggered, this, [this] { RenTitleMenuClick(); });
    QAction *locateNote = NotePopupMenu->addAction(tr("Locate note file in disk"));
    locateNote->setObjectName(QStringLiteral("Locatenotefileindisk1"));
    connect(locateNote, &QAction::triggered, this, [this] { Locatenotefileindisk1Click(); });
    m_exportCommands->addNoteMenuEntries(NotePopupMenu);

    AttachPopupMenu = new QMenu(this);
    AttachPopupMenu->setObjectName(QStringLiteral("AttachPopupMenu"));
    QAction *locateAttachment = AttachPopupMenu->addAction(tr("Locate attach file in disk"));
    locateAttachment->setObjectName(QStringLiteral("Locateattachfileindisk1"));
    connect(locateAttachment, &QAction::triggered, this, [this] { Locateattachfileindisk1Click(); });

    contentPopupMenu = new QMenu(this);
    contentPopupMenu->setObjectName(QStringLiteral("contentPopupMenu"));
    entry(contentPopupMenu, CopySelectionAct, "Copyselection1");
    entry(contentPopupMenu, PrintNoteAct, "Print1");
    Findtext1 = contentPopupMenu->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), tr("Find text"));
    Findtext1->setObjectName(QStringLiteral("Findtext1"));
    connect(Findtext1, &QAction::triggered, this, &TMainForm::Findtext1Click);
    entry(contentPopupMenu, EditNoteAct, "Switchtoeditmode1");
    QAction *locateShown = contentPopupMenu->addAction(tr("Locate note file in disk"));
    locateShown->setObjectName(QStringLiteral("Locatenotefileindisk2"));
    connect(locateShown, &QAction::triggered, this, [this] { Locatenotefileindisk2Click(); });

    TreePopupMenu = new QMenu(this);
    TreePopupMenu->setObjectName(QStringLiteral("TreePopupMenu"));
    entry(TreePopupMenu, AddNoteInTagAct, "AddNewNoteInTagRMenu");
    entry(TreePopupMenu, AddNoteAct, "AddNewNoteMenu");
    separator(TreePopupMenu, "N3");
    entry(TreePopupMenu, AddTagAct, "AddChildNodeMenu");
    entry(TreePopupMenu, DeleteTagAct, "DelNodeMenu");
    entry(TreePopupMenu, RenameTagAct, "RenameNodeMenu");
    separator(TreePopupMenu, "N4");
    SetIconMenu = TreePopupMenu->addAction(tr("Set icon"));
    SetIconMenu->setObjectName(QStringLiteral("SetIconMenu"));
    connect(SetIconMenu, &QAction::triggered, this, [this] { SetIconMenuClick(); });
    m_exportCommands->addTreeMenuEntries(TreePopupMenu);
}

void TMainForm::createToolBar()
{
    topBar = new QToolBar(this);
    topBar->setObjectName(QStringLiteral("topBar"));
    topBar->setMovable(false);
    topBar->setIconSize(QSize(24, 24));
    topBar->setFixedHeight(34);
    addToolBar(Qt::TopToolBarArea, topBar);

    const std::pair<const char *, QAction *> buttons[] = {
        {"addNote", AddNoteAct},     {"AddNoteInTag", AddNoteInTagAct}, {"delNote", DelNoteAct},
        {"EditNote", EditNoteAct},   {"PrintNote", PrintNoteAct},       {"AddTagBtn", AddTagAct},
        {"DelTagBtn", DeleteTagAct}, {"RenTagBtn", RenameTagAct},       {"CopySelection", CopySelectionAct},
        {"About", AboutAct},
    };
    for (const auto &[name, action] : buttons) {
        auto *button = new QToolButton(topBar);
        button->setObjectName(QLatin1String(name));
        button->setDefaultAction(action);
        button->setFixedSize(28, 28);
        button->setAutoRaise(true);
        topBar->addWidget(button);
    }

    TitleFilterEdit = new QLineEdit(topBar);
    TitleFilterEdit->setObjectName(QStringLiteral("TitleFilterEdit"));
    TitleFilterEdit->setPlaceholderText(tr("Type Text And Press Enter To Search Note Title"));
    TitleFilterEdit->setFixedWidth(397);
    TitleFilterEdit->setClearButtonEnabled(true);
    topBar->addSeparator();
    topBar->addWidget(TitleFilterEdit);
    connect(TitleFilterEdit, &QLineEdit::returnPressed, this, [this] { SearchTitles(TitleFilterEdit->text()); });
    // The box's clear button ends the search as Enter on an empty box does.
    if (auto *clear = TitleFilterEdit->findChild<QAction *>(QStringLiteral("_q_qlineeditclearaction")))
        connect(clear, &QAction::triggered, this, [this] { SearchTitles(QString()); });
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
    NoteContentLabel = new QLabel(tr("Note Content:"), contentPane);
    NoteContentLabel->setObjectName(QStringLiteral("NoteContentLabel"));
    m_noteView = new NoteViewHolder(contentPane);
    m_noteView->setUpView = [this](TExWebBrowser *view) {
        view->OnShowContextMenu = [this](const QPoint &globalPos) { ContentShowContextMenu(globalPos); };
    };
    contentLayout->addWidget(NoteContentLabel);
    contentLayout->addWidget(m_noteView, 1);
    m_emptyHint = new EmptyCatalogHint(m_tagTree, m_noteView);

    AttachList = new QTreeWidget(this);
    AttachList->setObjectName(QStringLiteral("AttachList"));
    AttachListItem::prepareList(AttachList);
    AttachList->setMinimumHeight(40);

    auto *rightSide = new QSplitter(Qt::Vertical, this);
    rightSide->setObjectName(QStringLiteral("RightSplitter"));
    rightSide->setHandleWidth(3);
    rightSide->addWidget(NoteListView);
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
        return;
    }
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
