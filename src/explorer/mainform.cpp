#include "mainform.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "catalogediting.h"
#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "editorform.h"
#include "exportcommands.h"
#include "exwebbrowser.h"
#include "menuentry.h"
#include "seticonform.h"
#include "tagpaths.h"
#include "tagtreeview.h"

#include <QAction>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QFont explorerFont()
{
    QFont font(QStringLiteral("Trebuchet MS"));
    font.setPixelSize(13);
    return font;
}

QString formatCreateDate(const QDateTime &created)
{
    const QLocale locale = QLocale::system();
    QString text = locale.toString(created.date(), QLocale::ShortFormat);
    if (created.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(created.time(), QLocale::LongFormat);
    return text;
}

} // namespace

TMainForm::TMainForm(AppContext &context, TDBDataModule &database, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_database(database)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Clipnest"));
    setFont(explorerFont());
    // Its own task-bar entry, with no owner, although the drop box is the main window.
    setWindowFlag(Qt::Window);
    resize(1100, 720);

    createActions();
    m_exportCommands = new ExportCommands(*this, m_context, m_database);
    createMenus();
    createToolBar();
    createPanes();

    askYesNo = [this](const QString &question) {
        return QMessageBox::question(this, QLatin1String(ApplicationTitle), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    showMessage = [this](const QString &message) {
        QMessageBox::information(this, QLatin1String(ApplicationTitle), message);
    };
    askText = [this](const QString &caption, const QString &prompt, bool *ok) {
        return QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, QString(), ok);
    };
    chooseIcon = [this] {
        TSetIconForm picker(this);
        if (picker.exec() != QDialog::Accepted)
            return -1;
        return picker.selectedIndex();
    };

    // FormCreate: an empty page to start with.
    showBlank();
}

TMainForm::~TMainForm() = default;

QAction *TMainForm::makeAction(const char *name, const QString &caption, const QString &hint, const char *iconName,
                               const QKeySequence &shortcut)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (iconName)
        action->setIcon(QIcon::fromTheme(QLatin1String(iconName)));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

void TMainForm::createActions()
{
    AddNoteAct = makeAction("AddNoteAct", tr("Add new note"), tr("Add new note"), "document-new",
                            QKeySequence(Qt::CTRL | Qt::Key_N));
    AddNoteInTagAct =
        makeAction("AddNoteInTagAct", tr("Add note under current node"), tr("Add new note under current tag"),
                   "list-add", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N));
    DelNoteAct = makeAction("DelNoteAct", tr("Delete current note"), tr("Delete current note"), "edit-delete",
                            QKeySequence(Qt::CTRL | Qt::Key_D));
    EditNoteAct = makeAction("EditNoteAct", tr("Edit current note"), tr("Edit current note"), "accessories-text-editor",
                             QKeySequence(Qt::CTRL | Qt::Key_T));
    PrintNoteAct = makeAction("PrintNoteAct", tr("Print current note"), tr("Print current note"), "document-print",
                              QKeySequence(Qt::CTRL | Qt::Key_P));
    CopySelectionAct = makeAction("CopySelectionAct", tr("Copy Selection to clipboard"),
                                  tr("Copy Selection to clipboard"), "edit-copy", QKeySequence(Qt::CTRL | Qt::Key_C));
    RenameTagAct = makeAction("RenameTagAct", tr("Rename node"), tr("Rename tag"), "edit-find-replace",
                              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    DeleteTagAct = makeAction("DeleteTagAct", tr("Delete node"), tr("Delete tag"), "list-remove",
                              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
    AddTagAct = makeAction("AddTagAct", tr("Add node"), tr("Add tag"), "folder-new",
                           QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
    AboutAct = makeAction("AboutAct", tr("About"), tr("About"), "help-about", {});
    EnglishAct = makeAction("EnglishAct", tr("English"), tr("English"), nullptr, {});
    ChineseAct = makeAction("ChineseAct", tr("Chinese"), tr("Chinese"), nullptr, {});
    ExitAct = makeAction("ExitAct", tr("Exit"), tr("Exit"), nullptr, {});

    connect(AddNoteAct, &QAction::triggered, this, &TMainForm::AddNoteActExecute);
    connect(AddNoteInTagAct, &QAction::triggered, this, &TMainForm::AddNoteInTagActExecute);
    connect(EditNoteAct, &QAction::triggered, this, &TMainForm::OpenNoteForEditing);
    connect(DelNoteAct, &QAction::triggered, this, &TMainForm::DelNoteActExecute);
    connect(AddTagAct, &QAction::triggered, this, &TMainForm::AddTagActExecute);
    connect(RenameTagAct, &QAction::triggered, this, &TMainForm::RenameTagActExecute);
    connect(DeleteTagAct, &QAction::triggered, this, &TMainForm::DeleteTagActExecute);
    connect(PrintNoteAct, &QAction::triggered, this, [this] { Content->Print(EditNoteTitle); });
    connect(CopySelectionAct, &QAction::triggered, this, [this] { Content->ExecCommand(QStringLiteral("Copy"), 0); });
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
    connect(RenTitleMenu, &QAction::triggered, this, &TMainForm::RenTitleMenuClick);
    QAction *locateNote = NotePopupMenu->addAction(tr("Locate note file in disk"));
    locateNote->setObjectName(QStringLiteral("Locatenotefileindisk1"));
    connect(locateNote, &QAction::triggered, this, &TMainForm::Locatenotefileindisk1Click);
    m_exportCommands->addNoteMenuEntries(NotePopupMenu);

    AttachPopupMenu = new QMenu(this);
    AttachPopupMenu->setObjectName(QStringLiteral("AttachPopupMenu"));
    QAction *locateAttachment = AttachPopupMenu->addAction(tr("Locate attach file in disk"));
    locateAttachment->setObjectName(QStringLiteral("Locateattachfileindisk1"));
    connect(locateAttachment, &QAction::triggered, this, &TMainForm::Locateattachfileindisk1Click);

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
    connect(locateShown, &QAction::triggered, this, &TMainForm::Locatenotefileindisk2Click);

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
    connect(SetIconMenu, &QAction::triggered, this, &TMainForm::SetIconMenuClick);
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
    connect(TitleFilterEdit, &QLineEdit::returnPressed, this, [this] { LoadTagTree(TitleFilterEdit->text()); });
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

    NoteListView = new QTreeWidget(this);
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
    // Rows 0, 2, ... grey, rows 1, 3, ... near white.
    NoteListView->setAlternatingRowColors(true);
    QPalette rows = NoteListView->palette();
    rows.setColor(QPalette::Base, QColor(238, 238, 238));
    rows.setColor(QPalette::AlternateBase, QColor(254, 254, 254));
    NoteListView->setPalette(rows);
    NoteListView->setMinimumHeight(60);
    NoteListView->setProperty("languageColumns", true);

    auto *contentPane = new QWidget(this);
    auto *contentLayout = new QVBoxLayout(contentPane);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(2);
    NoteContentLabel = new QLabel(tr("Note Content:"), contentPane);
    NoteContentLabel->setObjectName(QStringLiteral("NoteContentLabel"));
    Content = new TExWebBrowser(contentPane);
    Content->setObjectName(QStringLiteral("Content"));
    contentLayout->addWidget(NoteContentLabel);
    contentLayout->addWidget(Content, 1);

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

    connect(m_tagTree, &QTreeWidget::itemClicked, this, [this] { ShowTagNotes(); });
    connect(m_tagTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { TreePopupMenu->popup(m_tagTree->viewport()->mapToGlobal(pos)); });
    connect(NoteListView, &QTreeWidget::itemClicked, this, [this] { ShowNote(); });
    connect(NoteListView, &QTreeWidget::itemDoubleClicked, this, [this] { OpenNoteForEditing(); });
    connect(NoteListView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        // Moving through the list with the keyboard shows each note too.
        if (!m_listing && current && NoteListView->hasFocus())
            ShowNote();
    });
    connect(NoteListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { NotePopupMenu->popup(NoteListView->viewport()->mapToGlobal(pos)); });
    connect(AttachList, &QTreeWidget::itemDoubleClicked, this, [this] { AttachListDblClick(); });
    connect(AttachList, &QTreeWidget::itemActivated, this, [this] { AttachListDblClick(); });
    connect(AttachList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { AttachPopupMenu->popup(AttachList->viewport()->mapToGlobal(pos)); });
    Content->OnShowContextMenu = [this](const QPoint &globalPos) { ContentShowContextMenu(globalPos); };
    m_tagTree->acceptsDrop = [this](QObject *source, TagTreeItem *target) {
        return TagTreeViewDragOver(source, target);
    };
    m_tagTree->dropped = [this](QObject *source, TagTreeItem *target) { TagTreeViewDragDrop(source, target); };
    connect(qtreeEdit, &QLineEdit::textChanged, this, &TMainForm::qtreeEditChange);
    qtreeEdit->installEventFilter(this);
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // Closing only hides the explorer; the drop box brings it back.
    event->ignore();
    hide();
}

void TMainForm::showBlank()
{
    Content->Navigate(QStringLiteral("about:blank"));
    Content->WaitWhileBusy();
}

void TMainForm::ClearExplorer()
{
    Content->Navigate(QStringLiteral("about:blank"));
    m_tagTree->clear();
    NoteListView->clear();
    AttachList->clear();
}

void TMainForm::LoadTagTree(const QString &searchText)
{
    SearchText = searchText;
    if (searchText.isEmpty())
        m_tagTree->loadFull(m_database);
    else
        m_tagTree->recount(m_database, searchText);
}

const NoteListRecord *TMainForm::noteRecord(const QTreeWidgetItem *item)
{
    if (!item)
        return nullptr;
    return &static_cast<const NoteListItem *>(item)->record;
}

void TMainForm::ShowTagNotes()
{
    TagTreeItem *tag = m_tagTree->selectedTag();
    if (!tag)
        return;
    const int tagId = tag->record.tagid;
    const QString tagPath = tag->record.path;
    m_listing = true;
    NoteListView->clear();
    AttachList->clear();
    m_listing = false;
    showBlank();
    // Another node may have been chosen while the view emptied; that one is shown.
    TagTreeItem *still = m_tagTree->selectedTag();
    if (!still || still->record.tagid != tagId)
        return;
    CurrentTagId = tagId;
    CurrentTagPath = tagPath;

    QSqlQuery &query = SearchText.trimmed().isEmpty()
                           ? m_database.runQuery(QStringLiteral("select * from note where tagid=?"), {CurrentTagId})
                           : m_database.runQuery(QStringLiteral("select * from note where tagid=? and UPPER(title) "
                                                                "like '%' || UPPER(CAST(? AS VARCHAR(2000))) || '%'"),
                                                 {CurrentTagId, SearchText});
    const QIcon noteIcon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    QList<QTreeWidgetItem *> items;
    while (query.next()) {
        auto *item =
            new NoteListItem({fieldInt(query, "noteid"), fieldInt(query, "tagid"), fieldText(query, "title"),
                              query.value(QStringLiteral("createdate")).toDateTime(), fieldPath(query, "filename")});
        item->setText(0, item->record.title);
        item->setText(1, formatCreateDate(item->record.createdate));
        item->setIcon(0, noteIcon);
        items.append(item);
    }
    query.finish();
    m_listing = true;
    NoteListView->addTopLevelItems(items);
    if (!items.isEmpty())
        NoteListView->setCurrentItem(items.first());
    m_listing = false;
}

void TMainForm::NoteSaved(int noteId, int tagId)
{
    LoadTagTree(SearchText);
    SelectTagAndNote(noteId, tagId);
}

void TMainForm::SelectTagAndNote(int noteId, int tagId)
{
    if (TagTreeItem *tag = m_tagTree->findTag(tagId))
        m_tagTree->setCurrentItem(tag);
    ShowTagNotes();
    // Looked up again after each wait: the tree or the list may have been rebuilt.
    if (TagTreeItem *tag = m_tagTree->findTag(tagId))
        m_tagTree->scrollToItem(tag);
    auto findNote = [this, noteId]() -> QTreeWidgetItem * {
        for (int i = 0; i < NoteListView->topLevelItemCount(); ++i) {
            if (noteRecord(NoteListView->topLevelItem(i))->noteid == noteId)
                return NoteListView->topLevelItem(i);
        }
        return nullptr;
    };
    if (QTreeWidgetItem *found = findNote()) {
        m_listing = true;
        NoteListView->setCurrentItem(found);
        m_listing = false;
    }
    ShowNote();
    if (QTreeWidgetItem *found = findNote())
        NoteListView->scrollToItem(found);
}

void TMainForm::ShowNote()
{
    const NoteListRecord *selected = noteRecord(NoteListView->currentItem());
    if (!selected || !NoteListView->currentItem()->isSelected())
        return;
    // A copy: the list may be rebuilt while the view loads.
    const NoteListRecord note = *selected;
    const QString fullPath = m_context.dataFolder + note.filename;
    if (QFileInfo::exists(fullPath))
        Content->Navigate(fullPath);
    Content->WaitWhileBusy();
    // Another note may have been chosen while this one loaded; that one is shown.
    const NoteListRecord *now = noteRecord(NoteListView->currentItem());
    if (!now || now->noteid != note.noteid)
        return;
    CurrentNoteId = note.noteid;
    CurrentTagId = note.tagid;
    EditNoteFile = fullPath;
    EditNoteTitle = note.title;
    EditTagPath = CurrentTagPath;

    AttachList->clear();
    AttachListItem::listStored(m_database, note.noteid, m_context.dataFolder, AttachList);
}

void TMainForm::AttachListDblClick()
{
    auto *item = static_cast<AttachListItem *>(AttachList->currentItem());
    if (!item || !item->isSelected())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(item->filePath()));
}

void TMainForm::showInFileManager(const QString &filePath)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(filePath).toString()} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(filePath).absolutePath()));
}

void TMainForm::Locatenotefileindisk1Click()
{
    const NoteListRecord *note = noteRecord(NoteListView->currentItem());
    if (!note || !NoteListView->currentItem()->isSelected())
        return;
    showInFileManager(m_context.dataFolder + note->filename);
}

void TMainForm::Locatenotefileindisk2Click()
{
    const QUrl shown = Content->url();
    if (!shown.isLocalFile())
        return; // about:blank
    showInFileManager(shown.toLocalFile());
}

void TMainForm::Locateattachfileindisk1Click()
{
    auto *item = static_cast<AttachListItem *>(AttachList->currentItem());
    if (!item || !item->isSelected())
        return;
    showInFileManager(item->filePath());
}

void TMainForm::Findtext1Click()
{
    Content->ShowFindBar();
}

void TMainForm::ContentShowContextMenu(const QPoint &globalPos)
{
    contentPopupMenu->popup(globalPos);
}

void TMainForm::AddTagActExecute()
{
    TagTreeItem *selected = m_tagTree->selectedTag();
    const QString prompt = m_context.messages.shown(QStringLiteral("AddTagPrompt")) +
                           (selected ? selected->record.path : QStringLiteral("Root")) + QLatin1Char('"');
    bool ok = false;
    const QString input = askText(m_context.messages.shown(QStringLiteral("AddTagCaption")), prompt, &ok);
    if (!ok || input.isEmpty())
        return;

    const QList<TagWalkStep> steps = AddTagPath(m_database, selected ? &selected->record : nullptr, input);
    m_tagTree->setUpdatesEnabled(false);
    QTreeWidgetItem *parent = selected;
    for (const TagWalkStep &step : steps) {
        if (step.created) {
            auto *node = new TagTreeItem(step.record);
            if (parent)
                parent->addChild(node);
            else
                m_tagTree->addTopLevelItem(node);
            parent = node;
        } else if (TagTreeItem *existing = m_tagTree->findTag(step.record.tagid)) {
            parent = existing;
        }
    }
    m_tagTree->expandAll();
    m_tagTree->setUpdatesEnabled(true);
}

void TMainForm::SetIconMenuClick()
{
    TagTreeItem *tag = m_tagTree->selectedTag();
    if (!tag)
        return;
    const int index = chooseIcon();
    if (index < 0)
        return;
    Transaction transaction(m_database);
    m_database.runStatement(QStringLiteral("update tags set icoid=? where tagid=?"), {index, tag->record.tagid});
    transaction.commit();
    tag->setIconIndex(index);
}

void TMainForm::qtreeEditChange(const QString &text)
{
    TagTreeItem *found = m_tagTree->findCaptionContaining(text);
    if (!found)
        return;
    m_tagTree->setCurrentItem(found);
    m_tagTree->scrollToItem(found);
    ShowTagNotes();
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    // Entering the locator or clicking in it selects its text, so typing replaces it.
    if (watched == qtreeEdit && (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonRelease)) {
        QMetaObject::invokeMethod(qtreeEdit, &QLineEdit::selectAll, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::AddNoteActExecute()
{
    if (!createEditor)
        return;
    createEditor()->show();
}

void TMainForm::AddNoteInTagActExecute()
{
    if (!createEditor)
        return;
    TagTreeItem *tag = m_tagTree->selectedTag();
    const QString path = tag ? tag->record.path : QString();
    TEditorForm *editor = createEditor();
    editor->show();
    editor->tagsEdit()->setText(path);
}

void TMainForm::OpenNoteForEditing()
{
    const NoteListRecord *note = noteRecord(NoteListView->currentItem());
    if (!note || !NoteListView->currentItem()->isSelected() || !createEditor)
        return;
    CurrentNoteId = note->noteid;
    CurrentTagId = note->tagid;
    EditNoteFile = m_context.dataFolder + note->filename;
    EditNoteTitle = note->title;
    EditTagPath = CurrentTagPath;
    // Copies: the explorer's own fields may change while the editor loads.
    const int noteId = CurrentNoteId;
    const int tagId = CurrentTagId;
    const QString file = EditNoteFile;
    const QString title = EditNoteTitle;
    const QString catalog = EditTagPath;
    QPointer<TEditorForm> editor = createEditor();
    editor->show();
    if (editor)
        editor->LoadNote(noteId, file, tagId, title, catalog);
}

void TMainForm::DelNoteActExecute()
{
    QTreeWidgetItem *item = NoteListView->currentItem();
    const NoteListRecord *note = noteRecord(item);
    if (!note || !item->isSelected())
        return;
    if (!askYesNo(tr("This operation will delete this note permanently, are you sure ?\r\rClick yes to continue, "
                     "otherwise click no to cancel")))
        return;

    const int noteId = note->noteid;
    try {
        Transaction transaction(m_database);
        // The note leaves its node and every node above it.
        for (int tagId = note->tagid; tagId != 0;) {
            QSqlQuery &row = m_database.runQuery(QStringLiteral("select * from tags where tagid=?"), {tagId});
            if (!row.next())
                break;
            const int childcount = fieldInt(row, "childcount");
            const int parentId = fieldInt(row, "parentid");
            row.finish();
            m_database.runStatement(QStringLiteral("update tags set childcount=? where tagid=?"),
                                    {childcount - 1, tagId});
            tagId = parentId;
        }
        QStringList files;
        QSqlQuery &attachments =
            m_database.runQuery(QStringLiteral("select * from attachment where noteid=?"), {noteId});
        while (attachments.next())
            files << m_context.dataFolder + fieldPath(attachments, "path") + fieldText(attachments, "attname");
        attachments.finish();
        m_database.runStatement(QStringLiteral("delete from attachment where noteid=?"), {noteId});
        m_database.runStatement(QStringLiteral("delete from note where noteid=?"), {noteId});
        transaction.commit();
        // Files go only once the rows are gone for good, so a failure never leaves
        // a row without its file.
        for (const QString &file : std::as_const(files))
            QFile::remove(file);
        QFile::remove(m_context.dataFolder + note->filename);
    } catch (const DbError &) {
        NoteListView->clearSelection();
        return;
    }

    const bool searching = !SearchText.isEmpty();
    for (QTreeWidgetItem *node = m_tagTree->selectedTag(); node; node = node->parent()) {
        auto *tag = static_cast<TagTreeItem *>(node);
        --tag->record.childcount;
        if (searching)
            --tag->record.count;
        tag->showCount(searching ? tag->record.count : tag->record.childcount);
    }
    delete item;
    if (NoteListView->topLevelItemCount() == 0) {
        showBlank();
    } else {
        m_listing = true;
        NoteListView->setCurrentItem(NoteListView->topLevelItem(0));
        m_listing = false;
        NoteListView->scrollToItem(NoteListView->topLevelItem(0));
        ShowNote();
    }
    try {
        m_context.catalogPaths = m_database.loadCatalogPaths();
    } catch (const DbError &) {
        // The note is gone all the same; the suggestions are refreshed at the next save.
    }
    NoteListView->clearSelection();
}

void TMainForm::RenTitleMenuClick()
{
    QTreeWidgetItem *item = NoteListView->currentItem();
    if (!item || !item->isSelected())
        return;
    bool ok = false;
    const QString title = askText(tr("Change title?"), tr("Input the new title:"), &ok);
    if (!ok || title.isEmpty())
        return;
    auto *note = static_cast<NoteListItem *>(item);
    Transaction transaction(m_database);
    m_database.runStatement(QStringLiteral("update note set title=? where noteid=?"), {title, note->record.noteid});
    transaction.commit();
    note->record.title = title;
    note->setText(0, title);
}

void TMainForm::RenameTagActExecute()
{
    TagTreeItem *tag = m_tagTree->selectedTag();
    if (!tag)
        return;
    bool ok = false;
    const QString name = askText(m_context.messages.shown(QStringLiteral("RenameTagCaption")),
                                 m_context.messages.shown(QStringLiteral("RenameTagPrompt")), &ok);
    if (!ok || name.isEmpty())
        return;
    const QString oldName = tag->record.name;
    tag->record.name = name;
    tag->showCount(SearchText.isEmpty() ? tag->record.childcount : tag->record.count);
    const QString oldPath = tag->record.path;
    RenameTagPath(m_database, tag, oldPath, renamedTagPath(oldPath, oldName, name));
}

void TMainForm::DeleteTagActExecute()
{
    TagTreeItem *tag = m_tagTree->selectedTag();
    if (!tag)
        return;
    if (deleteTag(m_database, tag) == DeleteTagOutcome::NotEmpty)
        showMessage(m_context.messages.shown(QStringLiteral("CannotDelTag")));
}

bool TMainForm::TagTreeViewDragOver(QObject *source, TagTreeItem *target) const
{
    if (source == m_tagTree) {
        // A node never goes below itself.
        TagTreeItem *moved = m_tagTree->selectedTag();
        return moved && (!target || canMoveTag(moved, target));
    }
    return source && source->objectName() == QLatin1String("NoteListView");
}

void TMainForm::TagTreeViewDragDrop(QObject *source, TagTreeItem *target)
{
    if (!target || !TagTreeViewDragOver(source, target))
        return;
    try {
        if (source == m_tagTree) {
            moveTag(m_database, m_tagTree, m_tagTree->selectedTag(), target);
        } else {
            const NoteListRecord *note = noteRecord(NoteListView->currentItem());
            if (!note || !NoteListView->currentItem()->isSelected())
                return;
            moveNote(m_database, m_tagTree, note->noteid, note->tagid, target);
        }
    } catch (const DbError &) {
        // The rows were rolled back; the tree is read again so that it shows them.
        const int targetId = target->record.tagid;
        m_tagTree->loadFull(m_database);
        if (TagTreeItem *again = m_tagTree->findTag(targetId))
            m_tagTree->setCurrentItem(again);
        throw;
    }
    m_tagTree->setCurrentItem(target);
    ShowTagNotes();
    m_tagTree->expandAll();
}
