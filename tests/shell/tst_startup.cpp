#include "aboutform.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "infoform.h"
#include "instanceguard.h"
#include "mainform.h"
#include "settings.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

void seedTags(const QString &databasePath)
{
    TDBDataModule database(databasePath);
    Transaction transaction(database);
    const QString insert = QStringLiteral("insert into tags values (?,?,?,?,?,?,?)");
    database.runStatement(insert, {1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 3, 0});
    database.runStatement(insert, {2, QStringLiteral("Projects"), 2, QStringLiteral("Work,Projects"), 1, 2, 0});
    database.runStatement(insert, {3, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0, 4});
    transaction.commit();
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void bringsUpWindowsAndRunsFirstLoads();
    void noteViewComesAfterTheCatalogInTheSameWindow();
    void languageFileIsAppliedAfterTheTreeIsShown();
    void missingDatabaseNamesTheFile();
    void secondCopyIsRefusedUntilTheFirstDies();
    void dropBoxDoubleClickChoiceIsStoredAtOnce();
    void dropBoxMenuShowsHidesAndExits();
};

void StartupTest::bringsUpWindowsAndRunsFirstLoads()
{
    TestProgramFolder folder;
    seedTags(folder.databasePath());
    ClipnestProgram program(folder.path());
    program.bringUp();

    QVERIFY(program.dropBox() && program.database() && program.explorer() && program.aboutBox() &&
            program.infoWindow());
    QVERIFY(QFile::exists(folder.path() + QStringLiteral("tavlo.ini")));

    TMainForm *explorer = program.explorer();
    QVERIFY(explorer->isVisible());
    QCOMPARE(explorer->windowTitle(), QStringLiteral("Clipnest"));
    QVERIFY(!program.aboutBox()->isVisible());
    QVERIFY(!program.infoWindow()->isVisible());

    TagTreeView *tree = explorer->TagTreeView_();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Work(3)"));
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Projects(2)"));
    QVERIFY(tree->topLevelItem(0)->isExpanded());
    QCOMPARE(program.context().catalogPaths,
             QStringList({QStringLiteral("Work"), QStringLiteral("Work,Projects"), QStringLiteral("Home")}));

    TDropForm *dropBox = program.dropBox();
    QVERIFY(dropBox->isVisible());
    QCOMPARE(dropBox->pos(), TDropForm::firstPosition(QGuiApplication::primaryScreen()->availableGeometry()));
    // No taller than its shape: rows cut away below stay black on a bare X server.
    QCOMPARE(dropBox->size(), QSize(48, 43));
    QCOMPARE(dropBox->mask().boundingRect(), QRect(0, 0, 48, 43));
    QVERIFY(!dropBox->mask().contains(QPoint(0, 0)));
    QVERIFY(!dropBox->mask().contains(QPoint(47, 42)));
    QVERIFY(dropBox->mask().contains(QPoint(47, 41)));
    QVERIFY(dropBox->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(dropBox->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(dropBox->addsNoteOnDoubleClick());
    QCOMPARE(dropBox->logoImage()->toolTip(), QStringLiteral("Drag & Drop anything to here!"));

    QCOMPARE(program.aboutBox()->versionLine(), QStringLiteral("1.0.2.215"));
    QCOMPARE(program.infoWindow()->size(), QSize(303, 72));
    program.infoWindow()->showProgress(3, 17);
    QCOMPARE(program.infoWindow()->progressLabel()->text(), QStringLiteral("3 of 17 pictures"));
}

void StartupTest::noteViewComesAfterTheCatalogInTheSameWindow()
{
    TestProgramFolder folder;
    seedTags(folder.databasePath());
    ClipnestProgram program(folder.path());
    program.bringUp();
    TMainForm *explorer = program.explorer();
    // The catalog is up before the web engine has started.
    QCOMPARE(explorer->TagTreeView_()->topLevelItemCount(), 2);
    QVERIFY(!explorer->findChild<TExWebBrowser *>(QStringLiteral("Content")));
    const QWindow *window = explorer->windowHandle();
    QVERIFY(window);
    const WId systemWindow = explorer->winId();

    QTRY_VERIFY(explorer->findChild<TExWebBrowser *>(QStringLiteral("Content")));
    TExWebBrowser *view = explorer->content();
    QVERIFY(view->isVisible());
    QCOMPARE(view->DocumentUrl(), QStringLiteral("about:blank"));
    // The web view joined the window that was shown; no new system window was made for it.
    QCOMPARE(explorer->windowHandle(), window);
    QCOMPARE(explorer->winId(), systemWindow);
}

void StartupTest::languageFileIsAppliedAfterTheTreeIsShown()
{
    TestProgramFolder folder;
    QFile settings(folder.path() + QStringLiteral("tavlo.ini"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Tavlo]\r\nlang=cn.ini\r\ndefaultClick=2\r\n");
    settings.close();

    ClipnestProgram program(folder.path());
    program.bringUp();
    QCOMPARE(program.explorer()->findChild<QLabel *>(QStringLiteral("TagTreeLabel"))->text(),
             QStringLiteral("笔记目录"));
    QCOMPARE(program.explorer()->noteList()->headerItem()->text(0), QStringLiteral("笔记标题"));
    QCOMPARE(program.context().messages.text(QStringLiteral("AddTagCaption")), QStringLiteral("添加节点？"));
    // The caption is not touched at start-up.
    QCOMPARE(program.explorer()->windowTitle(), QStringLiteral("Clipnest"));
    QVERIFY(!program.dropBox()->addsNoteOnDoubleClick());
}

void StartupTest::missingDatabaseNamesTheFile()
{
    TestProgramFolder folder;
    QVERIFY(QFile::remove(folder.databasePath()));
    ClipnestProgram program(folder.path());
    try {
        program.bringUp();
        QFAIL("bringing up without a database succeeded");
    } catch (const DbError &error) {
        QVERIFY2(error.message().contains(folder.databasePath()), qPrintable(error.message()));
    }
}

void StartupTest::secondCopyIsRefusedUntilTheFirstDies()
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    TestProgramFolder first;
    TestProgramFolder second;
    for (const TestProgramFolder *folder : {&first, &second})
        QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder->path() + QStringLiteral("clipnest")));

    QProcess firstCopy;
    firstCopy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    firstCopy.start(first.path() + QStringLiteral("clipnest"), {});
    QVERIFY(firstCopy.waitForStarted());
    InstanceGuard probe;
    QVERIFY2(waitFor([&] { return QFile::exists(first.path() + QStringLiteral("tavlo.ini")); }, 60000),
             "the first copy did not start");
    QVERIFY(!probe.tryAcquire());

    // The second copy stops at its message and touches nothing of its folder.
    QProcess secondCopy;
    secondCopy.start(second.path() + QStringLiteral("clipnest"), {});
    QVERIFY(secondCopy.waitForStarted());
    QTest::qWait(3000);
    QVERIFY(!QFile::exists(second.path() + QStringLiteral("tavlo.ini")));
    secondCopy.kill();
    secondCopy.waitForFinished();

    ::kill(pid_t(firstCopy.processId()), SIGKILL);
    QVERIFY(firstCopy.waitForFinished(10000));
    QVERIFY(probe.tryAcquire());
    probe.release();
}

void StartupTest::dropBoxDoubleClickChoiceIsStoredAtOnce()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    TDropForm *dropBox = program.dropBox();
    QMenu *menu = dropBox->popupMenu();
    QAction *showExplorer = menu->findChild<QAction *>(QStringLiteral("ShownotesexplorerCheck"));
    QAction *addNote = menu->findChild<QAction *>(QStringLiteral("AddnoteCheck"));
    QVERIFY(showExplorer && addNote);

    // "Add note": a double-click opens an empty editor.
    QTest::mouseDClick(dropBox->logoImage(), Qt::LeftButton);
    QCOMPARE(TEditorForm::openEditors().size(), 1);
    delete TEditorForm::openEditors().constFirst();

    showExplorer->trigger();
    QVERIFY(showExplorer->isChecked() && !addNote->isChecked());
    QVERIFY(QFile(folder.path() + QStringLiteral("tavlo.ini")).open(QIODevice::ReadOnly));
    QCOMPARE(Settings(folder.path()).loadSettings().defaultClick, 2);

    program.explorer()->hide();
    QTest::mouseDClick(dropBox->logoImage(), Qt::LeftButton);
    QVERIFY(program.explorer()->isVisible());
    QVERIFY(TEditorForm::openEditors().isEmpty());

    addNote->trigger();
    QCOMPARE(Settings(folder.path()).loadSettings().defaultClick, 1);
}

void StartupTest::dropBoxMenuShowsHidesAndExits()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    TDropForm *dropBox = program.dropBox();
    QCOMPARE(dropBox->trayIcon()->toolTip(), QStringLiteral("Orvane Clipnest"));
    QCOMPARE(dropBox->trayIcon()->contextMenu(), dropBox->popupMenu());

    const QPoint shownAt = dropBox->pos();
    dropBox->ViewHidedragdropbox1Click();
    QVERIFY(!dropBox->isVisible());
    dropBox->ViewHidedragdropbox1Click();
    QVERIFY(dropBox->isVisible());
    QCOMPARE(dropBox->pos(), shownAt);

    program.explorer()->showMinimized();
    dropBox->ShowMainActExecute();
    QVERIFY(program.explorer()->isVisible());
    QVERIFY(program.explorer()->windowState().testFlag(Qt::WindowMaximized));

    dropBox->findChild<QAction *>(QStringLiteral("Exit1"))->trigger();
    QVERIFY(!dropBox->isVisible());
    QCOMPARE(program.explorer()->TagTreeView_()->topLevelItemCount(), 0);
}

CLIPNEST_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
