#include "tourscenes.h"

#include "aboutform.h"
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "findbar.h"
#include "fulltextsearch.h"
#include "infoform.h"
#include "insertdialogs.h"
#include "loopbackserver.h"
#include "mainform.h"
#include "seticonform.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"
#include "updatecheck.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFontComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

#include <cstdio>
#include <functional>

namespace {

QString g_folder; // where this run's pictures go

QByteArray picture(const QColor &from, const QColor &to, const QString &caption)
{
    QImage image(360, 150, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 360, 150);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(26);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, caption);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QPalette darkPalette()
{
    QPalette dark;
    const QColor window(48, 50, 54);
    const QColor base(32, 33, 36);
    const QColor text(232, 232, 232);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, QColor(60, 62, 66));
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::BrightText, Qt::red);
    dark.setColor(QPalette::Light, QColor(80, 82, 86));
    dark.setColor(QPalette::Midlight, QColor(66, 68, 72));
    dark.setColor(QPalette::Mid, QColor(40, 41, 44));
    dark.setColor(QPalette::Dark, QColor(24, 25, 27));
    dark.setColor(QPalette::Shadow, Qt::black);
    dark.setColor(QPalette::Highlight, QColor(53, 110, 190));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(110, 170, 255));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
    return dark;
}

void settle(int ms = 600)
{
    QTest::qWait(ms);
}

// A part of the screen, in the screen's own coordinates.
void shootRegion(QRect region, const char *name)
{
    settle();
    QScreen *screen = QGuiApplication::primaryScreen();
    region = region.intersected(screen->geometry());
    const QString path = g_folder + QLatin1String(name) + QStringLiteral(".png");
    screen->grabWindow(0, region.x(), region.y(), region.width(), region.height()).save(path, "PNG");
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

void shootWindow(QWidget *window, const char *name)
{
    shootRegion(window->frameGeometry(), name);
}

// A menu popped up at a point, shot with the part of the window around it.
void shootMenu(QMenu *menu, const QPoint &at, const QRect &context, const char *name)
{
    menu->popup(at);
    settle(400);
    shootRegion(menu->geometry().united(context).adjusted(-12, -12, 12, 12), name);
    menu->hide();
}

// Runs the action on the first modal window that shows up (within ten seconds).
void whenModalShows(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && ++*tries < 100)
            return;
        poll->stop();
        poll->deleteLater();
        if (modal) {
            settle(300);
            action(modal);
        }
    });
    poll->start(100);
}

void shootModalAndClose(const char *name)
{
    whenModalShows([name](QWidget *modal) {
        shootWindow(modal, name);
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
}

void fileNote(ClipnestProgram &program, const QString &title, const QString &body, const QString &catalog)
{
    TEditorForm *editor = program.newEditor();
    editor->show();
    editor->PrefillFromCapture(body, title);
    editor->tagsEdit()->setText(catalog);
    editor->close();
}

QPoint centreOfElement(TExWebBrowser *view, const char *selector)
{
    const QVariantList box = view->RunScript(QStringLiteral("(function (e) { if (!e) return [0, 0];"
                                                            "  var r = e.getBoundingClientRect();"
                                                            "  return [r.left + r.width / 2, r.top + r.height / 2];"
                                                            "})(document.querySelector('%1'))")
                                                 .arg(QLatin1String(selector)))
                                 .toList();
    return QPoint(qRound(box.value(0).toDouble()), qRound(box.value(1).toDouble()));
}

void clickInView(TExWebBrowser *view, const QPoint &at)
{
    QWidget *surface = view->focusProxy() ? view->focusProxy() : view;
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->mapFrom(view, at));
}

// The drop box, its menus, and the explorer of an empty catalog.
void shootStart(ClipnestProgram &program)
{
    TMainForm *explorer = program.explorer();
    shootWindow(explorer, "explorer-empty");

    TDropForm *dropBox = program.dropBox();
    const QRect around = dropBox->geometry().adjusted(-150, -100, 250, 150);
    explorer->hide();
    shootRegion(around, "dropbox");
    // Marked while something it would take is dragged over it.
    QMimeData dragged;
    dragged.setText(QStringLiteral("A line of a web page"));
    QDragEnterEvent over(QPoint(20, 20), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropBox, &over);
    shootRegion(around, "dropbox-drag");
    QDragLeaveEvent left;
    QCoreApplication::sendEvent(dropBox, &left);
    QMenu *menu = dropBox->popupMenu();
    const QPoint at = dropBox->mapToGlobal(QPoint(20, 20));
    menu->popup(at);
    settle(300);
    for (QAction *entry : menu->actions()) {
        if (QMenu *submenu = entry->menu()) {
            menu->setActiveAction(entry);
            submenu->popup(menu->geometry().topRight() + QPoint(0, menu->actionGeometry(entry).top()));
            settle(300);
            shootRegion(
                menu->geometry().united(submenu->geometry()).united(dropBox->geometry()).adjusted(-12, -12, 12, 12),
                "dropbox-menu");
            submenu->hide();
        }
    }
    menu->hide();
    // With the texts a capture gives it.
    program.infoWindow()->setTexts(program.context().messages.shown(QStringLiteral("CaptureCancel")),
                                   program.context().messages.shown(QStringLiteral("CaptureProgress")));
    program.infoWindow()->showWaiting();
    program.infoWindow()->showProgress(3, 17);
    shootWindow(program.infoWindow(), "info");
    program.infoWindow()->hide();
    explorer->show();
}

// The editor of a capture with its menus and dialogs.
TEditorForm *shootEditor(ClipnestProgram &program, LoopbackServer &server, const QString &attachment)
{
    const QString fragment =
        QStringLiteral("<h2>Keeping an embedded database small</h2>"
                       "<p>An embedded <b>Firebird</b> database lives in one file beside the program. "
                       "Read the <a href=\"guide/embedded.html\">embedding guide</a> for the details.</p>"
                       "<p><img src=\"%1/img/harbour.png\"> <img src=\"%1/img/boats.png\"></p>"
                       "<ul><li>one file</li><li>no server</li><li>transactions</li></ul>")
            .arg(server.base());
    QMimeData data;
    data.setData(QStringLiteral("text/plain"), "Keeping an embedded database small");
    data.setData(QStringLiteral("chromium/x-renderer-taint"), server.base().toUtf8());
    data.setData(QStringLiteral("text/html"), fragment.toUtf8());
    TDropForm *dropBox = program.dropBox();
    // The editors of the notes filed before are closing; the drop opens a new one.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QList<TEditorForm *> before = TEditorForm::openEditors();
    const QPoint point(20, 20);
    QWindowSystemInterface::handleDrag(dropBox->windowHandle(), &data, point, Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    QWindowSystemInterface::handleDrop(dropBox->windowHandle(), &data, point, Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    TEditorForm *editor = nullptr;
    auto opened = [&] {
        for (TEditorForm *candidate : TEditorForm::openEditors()) {
            if (!before.contains(candidate) && candidate->isVisible())
                editor = candidate;
        }
        return editor && !dropBox->isBusy();
    };
    if (!QTest::qWaitFor(opened, 30000))
        return nullptr;
    editor->tagsEdit()->setText(QStringLiteral("Research,Databases"));
    editor->AddAttachment(attachment);
    editor->activateWindow();
    settle(800);
    // The caret in the bold word: the Bold button shows it.
    TExWebBrowser *view = editor->content();
    clickInView(view, centreOfElement(view, "b"));
    settle(500);
    shootWindow(editor, "editor");

    auto *foreground = editor->findChild<QToolButton *>(QStringLiteral("FgColorBtn"));
    shootMenu(foreground->menu(), foreground->mapToGlobal(QPoint(0, foreground->height())), editor->geometry(),
              "editor-colours");
    auto *fonts = editor->findChild<QFontComboBox *>(QStringLiteral("FontComboBox"));
    fonts->showPopup();
    settle(400);
    shootRegion(editor->geometry(), "editor-fonts");
    fonts->hidePopup();

    // A click selects the picture; Properties shows its own size.
    clickInView(view, centreOfElement(view, "img"));
    settle(400);
    editor->runImageDialog = [](TAddImageForm &dialog) {
        dialog.show();
        shootWindow(&dialog, "picture-properties");
        return false;
    };
    editor->PropertiesClick();
    editor->runImageDialog = [](TAddImageForm &dialog) {
        dialog.show();
        shootWindow(&dialog, "insert-image");
        return false;
    };
    editor->AddImageClick();
    editor->runLinkDialog = [](TAddLinkForm &dialog) {
        dialog.show();
        shootWindow(&dialog, "insert-link");
        return false;
    };
    editor->AddLinkClick();
    view->ShowFindBar();
    QTest::keyClicks(view->Finder()->findChild<QLineEdit *>(QStringLiteral("FindTextEdit")), QStringLiteral("zzz"));
    settle(500);
    shootWindow(editor, "editor-find");

    // The screen capture's region picker, halfway through a drag.
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() != QLatin1String("RegionGrabber") || !window->isVisible())
                continue;
            poll->stop();
            poll->deleteLater();
            settle(500);
            QTest::mousePress(window, Qt::LeftButton, {}, QPoint(300, 200));
            QTest::mouseMove(window, QPoint(700, 450));
            shootRegion(window->geometry(), "regionpicker");
            QTest::keyClick(window, Qt::Key_Escape);
        }
    });
    poll->start(200);
    editor->snapClick();
    return editor;
}

// The explorer with notes: its menus, context menus and dialogs.
void shootExplorer(ClipnestProgram &program)
{
    TMainForm *explorer = program.explorer();
    explorer->raise();
    explorer->activateWindow();
    // Above the explorer, as a window manager keeps a window that stays on top.
    program.dropBox()->raise();
    shootWindow(explorer, "explorer");

    QMenuBar *bar = explorer->menuBar();
    const char *menus[][2] = {{"FileMenu", "menu-file"},         {"TagMenu", "menu-node"},
                              {"EditMenu", "menu-edit"},         {"ViewMenu", "menu-view"},
                              {"LanguageMenu", "menu-language"}, {"AboutMenu", "menu-about"}};
    for (const auto &[name, shot] : menus) {
        auto *menu = explorer->findChild<QMenu *>(QLatin1String(name));
        const QRect title = bar->actionGeometry(menu->menuAction());
        shootMenu(menu, bar->mapToGlobal(title.bottomLeft()), QRect(explorer->geometry().topLeft(), QSize(500, 200)),
                  shot);
    }
    TagTreeView *tree = explorer->TagTreeView_();
    auto popupOver = [&](QWidget *widget, const char *menuName, const char *shot) {
        auto *menu = explorer->findChild<QMenu *>(QLatin1String(menuName));
        const QPoint at = widget->mapToGlobal(QPoint(widget->width() / 3, qMin(60, widget->height() / 2)));
        shootMenu(menu, at, QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()), shot);
    };
    popupOver(tree->viewport(), "TreePopupMenu", "menu-tree");
    popupOver(explorer->noteList()->viewport(), "NotePopupMenu", "menu-notes");
    popupOver(explorer->content(), "contentPopupMenu", "menu-content");
    popupOver(explorer->attachList()->viewport(), "AttachPopupMenu", "menu-attachments");

    // A deep node: the tree scrolls sideways and its tooltip is the whole path.
    TagTreeItem *deep = nullptr;
    for (TagTreeItem *tag : tree->allTags()) {
        if (!deep || tag->record.deep > deep->record.deep)
            deep = tag;
    }
    if (deep) {
        tree->setCurrentItem(deep);
        explorer->ShowTagNotes();
        tree->scrollToItem(deep);
        tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->maximum());
        const QRect row = tree->visualItemRect(deep);
        QToolTip::showText(tree->viewport()->mapToGlobal(row.center()), deep->toolTip(0), tree->viewport());
        settle(500);
        QWidget *left = tree->parentWidget();
        shootRegion(QRect(left->mapToGlobal(QPoint(0, 0)), left->size()).adjusted(0, 0, 420, 0), "explorer-deeptree");
        QToolTip::hideText();
    }
    for (TagTreeItem *tag : tree->allTags()) {
        if (tag->record.name == QLatin1String("Databases")) {
            tree->setCurrentItem(tag);
            explorer->ShowTagNotes();
            explorer->ShowNote();
        }
    }
    explorer->content()->ShowFindBar();
    QTest::keyClicks(explorer->content()->Finder()->findChild<QLineEdit *>(QStringLiteral("FindTextEdit")),
                     QStringLiteral("zzz"));
    settle(400);
    shootWindow(explorer, "explorer-find");
    explorer->content()->Finder()->Close();

    TSetIconForm picker(explorer);
    picker.show();
    shootWindow(&picker, "icon-picker");
    picker.hide();

    shootModalAndClose("rename-node");
    explorer->RenameTagActExecute();
    shootModalAndClose("add-node");
    explorer->AddTagActExecute();
    if (explorer->noteList()->topLevelItemCount() > 0) {
        explorer->noteList()->setCurrentItem(explorer->noteList()->topLevelItem(0));
        shootModalAndClose("rename-note");
        explorer->RenTitleMenuClick();
        shootModalAndClose("delete-question");
        explorer->DelNoteActExecute();
    }

    TaboutForm *about = program.aboutBox();
    about->show();
    shootWindow(about, "about");
    UpdateOutcome offer;
    offer.kind = UpdateOutcome::Offer;
    offer.published.version = QStringLiteral("1.1");
    offer.published.address = QStringLiteral("https://clipnest.app/download");
    about->presentOutcome(offer);
    settle(300);
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox *>(window) && window->isVisible()) {
            shootWindow(window, "update-offer");
            window->close();
        }
    }
    about->hide();
}

// A full-text search with its first hit chosen, in the run's language.
void shootFullTextSearch(ClipnestProgram &program, bool chinese)
{
    fileNote(program, QStringLiteral("Sourdough starter"),
             QStringLiteral("<p>Feed the starter with rye flour and water every morning. A lively starter "
                            "captures wild yeast from the air and doubles in four hours.</p>"
                            "<p>Bake at 250 degrees with steam for the first twenty minutes.</p>"),
             QStringLiteral("Home,Recipes"));
    fileNote(program, QStringLiteral("\u82f9\u679c\u6d3e"),
             QStringLiteral("<p>\u6211\u559c\u6b22\u82f9\u679c\u6d3e\uff0c\u5c24\u5176\u662f\u521a\u51fa"
                            "\u7089\u7684\u65f6\u5019\u3002\u82f9\u679c\u5207\u7247\uff0c\u52a0\u7cd6"
                            "\u548c\u8089\u6842\u3002</p><p>Apple pie with cinnamon.</p>"),
             QStringLiteral("\u5b66\u4e60,\u4e2d\u6587"));
    TMainForm *explorer = program.explorer();
    FullTextSearch *fullText = explorer->fullTextSearch();
    if (!QTest::qWaitFor([&] { return fullText->isIdle(); }, 30000))
        std::fprintf(stderr, "the search index was not ready\n");
    fullText->scopeBox()->setCurrentIndex(1);
    fullText->scopeBox()->activated(1);
    fullText->fullTextEdit()->setText(chinese ? QStringLiteral("\u82f9\u679c") : QStringLiteral("flour"));
    QTest::keyClick(fullText->fullTextEdit(), Qt::Key_Return);
    QTreeWidget *list = explorer->noteList();
    settle(300);
    if (list->topLevelItemCount() > 0)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    explorer->content()->WaitWhileBusy();
    settle(500);
    shootWindow(explorer, "search");
}

} // namespace

QString TourSettings::folderName() const
{
    return QStringLiteral("%1-%2x-%3")
        .arg(chinese ? QStringLiteral("cn") : QStringLiteral("en"), scale,
             dark ? QStringLiteral("dark") : QStringLiteral("light"));
}

int runTour(int argc, char *argv[], const TourSettings &settings)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(settings.dark ? darkPalette() : QApplication::style()->standardPalette());
    g_folder = settings.output + settings.folderName() + QLatin1Char('/');
    QDir().mkpath(g_folder);

    const TestProgramFolder programFolder(settings.built);
    const QString folder = programFolder.path();
    QFile settingsFile(folder + QStringLiteral("tavlo.ini"));
    settingsFile.open(QIODevice::WriteOnly);
    settingsFile.write(settings.chinese ? "[Tavlo]\r\nlang=cn.ini\r\n" : "[Tavlo]\r\nlang=en.ini\r\n");
    settingsFile.close();
    QFile attachment(folder + QStringLiteral("Firebird embedded.pdf"));
    attachment.open(QIODevice::WriteOnly);
    attachment.write(QByteArray(48213, 'p'));
    attachment.close();

    ClipnestProgram program(folder);
    program.bringUp();
    TMainForm *explorer = program.explorer();
    explorer->showNormal();
    explorer->setGeometry(0, 0, 1280, 760);
    settle(1500);
    shootStart(program);

    fileNote(program, QStringLiteral("Release checklist"), QStringLiteral("<p>Tag, build, sign.</p>"),
             QStringLiteral("Work,Projects,Alpha"));
    fileNote(program, QStringLiteral("Sprint notes"), QStringLiteral("<p>Planning.</p>"),
             QStringLiteral("Work,Projects"));
    fileNote(program, QStringLiteral("Sign-off list"), QStringLiteral("<p>Who signs what.</p>"),
             QStringLiteral("Work,Projects,Alpha,Beta release,Final checks,Sign-off by the steering group"));
    fileNote(program, QStringLiteral("Budget 2027"), QStringLiteral("<p>Numbers.</p>"), QStringLiteral("Work"));
    fileNote(program, QStringLiteral("Embedded engines compared"), QStringLiteral("<p>Firebird, SQLite.</p>"),
             QStringLiteral("Research,Databases"));
    fileNote(program, QStringLiteral("Sourdough"), QStringLiteral("<p>Flour, water, salt.</p>"),
             QStringLiteral("Home,Recipes"));
    fileNote(program, QStringLiteral("\u5de5\u4f5c\u8ba1\u5212"), QStringLiteral("<p>\u4e2d\u6587\u7b14\u8bb0</p>"),
             QStringLiteral("\u5b66\u4e60,\u4e2d\u6587"));

    LoopbackServer server;
    server.serve("/img/harbour.png",
                 picture(QColor(30, 90, 160), QColor(90, 180, 220), QStringLiteral("Quiet harbour")));
    server.serve("/img/boats.png", picture(QColor(200, 90, 40), QColor(240, 190, 60), QStringLiteral("Boats at dawn")));
    QPointer<TEditorForm> editor = shootEditor(program, server, folder + QStringLiteral("Firebird embedded.pdf"));
    if (!editor) {
        std::fprintf(stderr, "the drop opened no editor\n");
        return 1;
    }
    // Closing the editor saves the note; the explorer shows it.
    explorer->show();
    editor->close();
    explorer->content()->WaitWhileBusy();
    settle(2000);
    shootExplorer(program);
    shootFullTextSearch(program, settings.chinese);
    std::fflush(stdout);
    std::quick_exit(0);
}
