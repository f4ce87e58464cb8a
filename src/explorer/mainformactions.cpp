#include "mainform.h"

#include "exportcommands.h"
#include "synccommands.h"
#include "importcommands.h"
#include "exwebbrowser.h"
#include "historycommand.h"
#include "menuentry.h"
#include "themeicons.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

// The explorer's actions and what points to them: the menus, the context menus
// and the tool bar with the title search box.

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
    HistoryAct = makeAction("HistoryAct", tr("History..."), tr("Earlier versions of the current note"),
                            themeIcon({QStringLiteral("document-open-recent")}), QKeySequence(Qt::CTRL | Qt::Key_H));
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
    connect(HistoryAct, &QAction::triggered, this, [this] { showSelectedNoteHistory(*this); });
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
    entry(file, HistoryAct, "Historynote1");
    separator(file, "N1");
    entry(file, PrintNoteAct, "Printnote1");
    m_exportCommands->addFileMenuEntries(file);
    m_syncCommands->addFileMenuEntries(file);
    m_importCommands->addFileMenuEntries(file);
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
    entry(NotePopupMenu, HistoryAct, "HistoryNoteMenu1");
    RenTitleMenu = NotePopupMenu->addAction(tr("Change note title"));
    RenTitleMenu->setObjectName(QStringLiteral("RenTitleMenu"));
    connect(RenTitleMenu, &QAction::triggered, this, [this] { RenTitleMenuClick(); });
    QAction *locateNote = NotePopupMenu->addAction(tr("Locate note file in disk"));
    locateNote->setObjectName(QStringLiteral("Locatenotefileindisk1"));
    connect(locateNote, &QAction::triggered, this, [this] { Locatenotefileindisk1Click(); });
    QAction *offline = NotePopupMenu->addAction(tr("Save the page offline"));
    offline->setObjectName(QStringLiteral("SavePageOfflineMenu"));
    connect(offline, &QAction::triggered, this, [this] { m_noteCommands.SavePageOfflineExecute(); });
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
    m_syncCommands->addToolBarButton(topBar);

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
