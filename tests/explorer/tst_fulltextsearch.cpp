#include "dbdatamodule.h"
#include "dberror.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "findbar.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notelistwidget.h"
#include "notesearcher.h"
#include "searchhitdelegate.h"
#include "searchindex.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

bool waitForIndex(ClipnestProgram &program)
{
    return QTest::qWaitFor([&] { return program.explorer()->fullTextSearch()->isIdle(); }, 60000);
}

// Saved the way a user saves: an editor filled, given a catalog path and closed.
void fileNote(ClipnestProgram &program, const QString &title, const QString &body, const QString &catalog)
{
    TEditorForm *editor = program.newEditor();
    editor->show();
    editor->PrefillFromCapture(body, title);
    editor->tagsEdit()->setText(catalog);
    QVERIFY(editor->close());
}

void searchFullText(TMainForm *explorer, const QString &words)
{
    FullTextSearch *search = explorer->fullTextSearch();
    search->setFullText(true);
    search->fullTextEdit()->setText(words);
    QTest::keyClick(search->fullTextEdit(), Qt::Key_Return);
}

QStringList hitTitles(TMainForm *explorer)
{
    QStringList titles;
    for (int i = 0; i < explorer->noteList()->topLevelItemCount(); ++i)
        titles << explorer->noteList()->topLevelItem(i)->text(0);
    return titles;
}

int noteIdTitled(ClipnestProgram &program, const QString &title)
{
    return program.database()->queryInteger(QStringLiteral("select noteid from note where title=?"), {title});
}

// Notes filed under Archive, each page telling of lighthouses.
void seedArchive(const TestProgramFolder &folder, int notes)
{
    TDBDataModule database(folder.databasePath());
    Transaction transaction(database);
    database.runStatement(QStringLiteral("insert into tags values (1,'Archive',1,'Archive',0,?,0)"), {notes});
    QDir().mkpath(folder.dataFolder() + QStringLiteral("01-01-2026"));
    for (int i = 1; i <= notes; ++i) {
        const QString file = QStringLiteral("01-01-2026/%1.html").arg(i);
        QFile html(folder.dataFolder() + file);
        QVERIFY(html.open(QIODevice::WriteOnly));
        QByteArray body = "<html><body><h1>Archived page " + QByteArray::number(i) + "</h1>";
        for (int p = 0; p < 40; ++p)
            body += "<p>Paragraph " + QByteArray::number(p) + " of an old clipping about lighthouses.</p>";
        html.write(body + "</body></html>");
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,1,'now',?)"),
            {i, QStringLiteral("Clipping %1").arg(i), file});
    }
    transaction.commit();
}

void seedThreeNotes(ClipnestProgram &program)
{
    fileNote(program, QStringLiteral("Sourdough"),
             QStringLiteral("<p>Mix the flour with water. The starter captured wild yeast.</p>"
                            "<p data-note=\"zebra\">Bake hot.</p>"),
             QStringLiteral("home,recipes"));
    fileNote(program, QStringLiteral("\u751c\u70b9"),
             QStringLiteral("<p>\u6211\u559c\u6b22\u82f9\u679c\u6d3e\u548c\u5496\u5561\u3002</p>"),
             QStringLiteral("home,\u751c\u70b9"));
    fileNote(program, QStringLiteral("Release checklist"), QStringLiteral("<p>Tag, build, sign the Caf\u00e9 app.</p>"),
             QStringLiteral("work"));
}

} // namespace

class FullTextSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void hitsAreListedAndTheFirstMatchIsMarked();
    void queriesInAnyCaseAndScript_data();
    void queriesInAnyCaseAndScript();
    void emptyQueryReturnsToThePlainTree();
    void explorerCommandsKeepTheIndexCurrent();
    void choosingANodeAfterTheHitsLeavesNothingOfThem();
    void hitsShowTheirPathAsTheTreeWritesIt();
    void failedIndexUpdateKeepsTheSaveAndIsRepairedAtTheNextStart();
    void indexDeletedWhileClosedIsRebuiltAtTheNextStart();
    void buildRunsBesideTheInterfaceWithAProgressLine();
    void secondProcessSearchesWhileTheProgramRuns();
    void searchCommandLetsTheProgramStartWhileItBuilds();
    void damagedIndexIsBuiltAnewWhileTheProgramRuns();
    void cleanupTestCase();

private:
    // Shared by the rows of the read-only searches.
    std::unique_ptr<TestProgramFolder> m_sharedFolder;
    std::unique_ptr<ClipnestProgram> m_shared;
};

void FullTextSearchTest::cleanupTestCase()
{
    m_shared.reset();
    m_sharedFolder.reset();
}

void FullTextSearchTest::hitsAreListedAndTheFirstMatchIsMarked()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    seedThreeNotes(program);
    TMainForm *explorer = program.explorer();

    // The choice is remembered in the settings file under a key of its own.
    FullTextSearch *search = explorer->fullTextSearch();
    search->scopeBox()->activated(1);
    QVERIFY(search->isFullText());
    QTRY_VERIFY(!explorer->titleFilterEdit()->isVisible());
    QTRY_VERIFY(search->fullTextEdit()->isVisible());
    QFile settings(folder.path() + QStringLiteral("tavlo.ini"));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().contains("searchScope=fulltext"));

    searchFullText(explorer, QStringLiteral("captures"));
    QCOMPARE(hitTitles(explorer), QStringList{QStringLiteral("Sourdough")});
    QTreeWidgetItem *hit = explorer->noteList()->topLevelItem(0);
    QCOMPARE(hit->data(0, SearchHitDelegate::CatalogPathRole).toString(), QStringLiteral("home,recipes"));
    QVERIFY(QTest::qWaitFor([&] { return hit->data(0, SearchHitDelegate::SnippetRole).isValid(); }, 5000));
    QVERIFY2(hit->data(0, SearchHitDelegate::SnippetRole).toString().contains(QStringLiteral("<b>captured</b>")),
             qPrintable(hit->data(0, SearchHitDelegate::SnippetRole).toString()));
    QVERIFY(search->statusLabel()->text().contains(QStringLiteral("captures")));
    // The date as the plain note list shows it: the short date and time, no zone.
    QSqlQuery &created = program.database()->runQuery(QStringLiteral("select createdate from note where title=?"),
                                                      {QStringLiteral("Sourdough")});
    QVERIFY(created.next());
    const QDateTime stored = created.value(0).toDateTime();
    created.finish();
    QCOMPARE(hit->text(1), formatCreateDate(stored));
    QVERIFY2(!hit->text(1).contains(QLatin1String("UTC")), qPrintable(hit->text(1)));

    // Choosing the hit shows the note with its first match found.
    QTreeWidget *list = explorer->noteList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(hit).center());
    QCOMPARE(explorer->currentNoteId(), noteIdTitled(program, QStringLiteral("Sourdough")));
    FindBar *finder = explorer->content()->Finder();
    QVERIFY(finder->isVisible());
    QCOMPARE(finder->Text(), QStringLiteral("captured"));
    QVERIFY(QTest::qWaitFor([&] { return finder->Matches() == 1; }, 5000));

    // Editing a hit keeps its own catalog path, not the one of the selected node.
    QVERIFY(!explorer->TagTreeView_()->selectedTag() ||
            explorer->TagTreeView_()->selectedTag()->record.path != QStringLiteral("home,recipes"));
    explorer->OpenNoteForEditing();
    TEditorForm *editor = TEditorForm::openEditors().constLast();
    QCOMPARE(editor->tagsEdit()->text(), QStringLiteral("home,recipes"));
    QVERIFY(editor->close());
}

void FullTextSearchTest::queriesInAnyCaseAndScript_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("English word") << "flour" << QStringList{QStringLiteral("Sourdough")};
    QTest::newRow("mixed case") << "FlOuR" << QStringList{QStringLiteral("Sourdough")};
    QTest::newRow("phrase") << "\"wild yeast\"" << QStringList{QStringLiteral("Sourdough")};
    QTest::newRow("Chinese") << QStringLiteral("\u82f9\u679c") << QStringList{QStringLiteral("\u751c\u70b9")};
    QTest::newRow("accented") << QStringLiteral("CAF\u00c9") << QStringList{QStringLiteral("Release checklist")};
    QTest::newRow("catalog path") << "recipes" << QStringList{QStringLiteral("Sourdough")};
    QTest::newRow("markup only") << "zebra" << QStringList{};
}

void FullTextSearchTest::queriesInAnyCaseAndScript()
{
    QFETCH(QString, query);
    QFETCH(QStringList, titles);
    if (!m_shared) {
        m_sharedFolder = std::make_unique<TestProgramFolder>();
        m_shared = std::make_unique<ClipnestProgram>(m_sharedFolder->path());
        m_shared->bringUp();
        QVERIFY(waitForIndex(*m_shared));
        seedThreeNotes(*m_shared);
    }
    searchFullText(m_shared->explorer(), query);
    QCOMPARE(hitTitles(m_shared->explorer()), titles);
    if (titles.isEmpty())
        QVERIFY(m_shared->explorer()->fullTextSearch()->statusLabel()->text().contains(query));
}

void FullTextSearchTest::emptyQueryReturnsToThePlainTree()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    seedThreeNotes(program);
    TMainForm *explorer = program.explorer();
    explorer->titleFilterEdit()->setText(QStringLiteral("release"));
    QTest::keyClick(explorer->titleFilterEdit(), Qt::Key_Return);
    QCOMPARE(explorer->searchText(), QStringLiteral("release"));

    searchFullText(explorer, QStringLiteral("flour"));
    QCOMPARE(explorer->noteList()->topLevelItemCount(), 1);
    searchFullText(explorer, QStringLiteral("  "));
    QCOMPARE(explorer->noteList()->topLevelItemCount(), 0);
    QVERIFY(explorer->searchText().isEmpty());
    QCOMPARE(explorer->TagTreeView_()->topLevelItem(0)->text(0), QStringLiteral("home(2)"));
    QVERIFY(explorer->fullTextSearch()->statusLabel()->text().isEmpty());
    // The title box kept its text for when the choice goes back to titles.
    QCOMPARE(explorer->titleFilterEdit()->text(), QStringLiteral("release"));
}

void FullTextSearchTest::explorerCommandsKeepTheIndexCurrent()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    seedThreeNotes(program);
    TMainForm *explorer = program.explorer();
    explorer->askYesNo = [](const QString &) { return true; };
    QString answer;
    explorer->askText = [&](const QString &, const QString &, bool *ok) {
        *ok = true;
        return answer;
    };

    // Retitled from the note list: found by the new title only.
    searchFullText(explorer, QStringLiteral("sourdough"));
    QCOMPARE(hitTitles(explorer), QStringList{QStringLiteral("Sourdough")});
    explorer->noteList()->setCurrentItem(explorer->noteList()->topLevelItem(0));
    answer = QStringLiteral("Country loaf");
    explorer->RenTitleMenuClick();
    searchFullText(explorer, QStringLiteral("loaf"));
    QCOMPARE(hitTitles(explorer), QStringList{QStringLiteral("Country loaf")});
    searchFullText(explorer, QStringLiteral("sourdough"));
    QVERIFY(hitTitles(explorer).isEmpty());

    // A renamed node: its notes and those below it show the new path.
    TagTreeView *tree = explorer->TagTreeView_();
    tree->setCurrentItem(tree->findTag(program.database()->queryInteger(
        QStringLiteral("select tagid from tags where path=?"), {QStringLiteral("home")})));
    answer = QStringLiteral("House");
    explorer->RenameTagActExecute();
    searchFullText(explorer, QStringLiteral("flour"));
    QCOMPARE(explorer->noteList()->topLevelItem(0)->data(0, SearchHitDelegate::CatalogPathRole).toString(),
             QStringLiteral("House,recipes"));
    searchFullText(explorer, QStringLiteral("catalog:house"));
    QCOMPARE(hitTitles(explorer).size(), 2);

    // A deleted note is gone from the index.
    searchFullText(explorer, QStringLiteral("\u82f9\u679c"));
    explorer->noteList()->setCurrentItem(explorer->noteList()->topLevelItem(0));
    explorer->DelNoteActExecute();
    QCOMPARE(program.database()->queryInteger(QStringLiteral("select count(*) from note")), 2);
    searchFullText(explorer, QStringLiteral("\u82f9\u679c"));
    QVERIFY(hitTitles(explorer).isEmpty());

    // A re-saved note is found by its new words.
    searchFullText(explorer, QStringLiteral("checklist"));
    explorer->noteList()->setCurrentItem(explorer->noteList()->topLevelItem(0));
    explorer->OpenNoteForEditing();
    TEditorForm *editor = TEditorForm::openEditors().constLast();
    editor->AppendToBody(QStringLiteral("<p>Notarise the installer.</p>"));
    QVERIFY(editor->close());
    searchFullText(explorer, QStringLiteral("notarise"));
    QCOMPARE(hitTitles(explorer), QStringList{QStringLiteral("Release checklist")});
}

void FullTextSearchTest::choosingANodeAfterTheHitsLeavesNothingOfThem()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    seedThreeNotes(program);
    TMainForm *explorer = program.explorer();
    explorer->askYesNo = [](const QString &) { return true; };
    TagTreeView *tree = explorer->TagTreeView_();
    QLabel *status = explorer->fullTextSearch()->statusLabel();
    const int work = program.database()->queryInteger(QStringLiteral("select tagid from tags where path='work'"));
    tree->setCurrentItem(tree->findTag(work));

    // Hits of any node stand beside no node; their count reads as English writes it.
    searchFullText(explorer, QStringLiteral("catalog:home"));
    QCOMPARE(hitTitles(explorer).size(), 2);
    QVERIFY(!tree->selectedTag());
    QCOMPARE(status->text(), QStringLiteral("2 notes contain \"catalog:home\""));
    // One hit deleted: the count follows.
    explorer->noteList()->setCurrentItem(
        explorer->noteList()->findItems(QStringLiteral("\u751c\u70b9"), Qt::MatchExactly).value(0));
    explorer->DelNoteActExecute();
    QCOMPARE(status->text(), QStringLiteral("1 note contains \"catalog:home\""));

    // A hit shown with its match found, then another node chosen.
    searchFullText(explorer, QStringLiteral("flour"));
    QTreeWidget *list = explorer->noteList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    FindBar *finder = explorer->content()->Finder();
    QVERIFY(finder->isVisible());
    tree->setCurrentItem(tree->findTag(work));
    QCOMPARE(hitTitles(explorer), QStringList{QStringLiteral("Release checklist")});
    QVERIFY(!list->topLevelItem(0)->data(0, SearchHitDelegate::CatalogPathRole).isValid());
    QCOMPARE(explorer->content()->DocumentUrl(), QStringLiteral("about:blank"));
    QTRY_VERIFY(!finder->isVisible());
    QCOMPARE(finder->Matches(), 0);
    QVERIFY(status->text().isEmpty());
}

void FullTextSearchTest::hitsShowTheirPathAsTheTreeWritesIt()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    fileNote(program, QStringLiteral("Spring tide"), QStringLiteral("<p>Highest water.</p>"),
             QStringLiteral("Sea,Tides"));
    TMainForm *explorer = program.explorer();
    // The stored path of the node a note was filed under keeps only lower-case letters.
    QCOMPARE(program.database()->queryInteger(QStringLiteral("select count(*) from tags where path='sea,tides'")), 1);
    searchFullText(explorer, QStringLiteral("highest"));
    QCOMPARE(explorer->noteList()->topLevelItem(0)->data(0, SearchHitDelegate::CatalogPathRole).toString(),
             QStringLiteral("Sea,Tides"));

    // A node the tree does not show: the names come from the rows.
    TagTreeView *tree = explorer->TagTreeView_();
    explorer->changeTreeQuietly([&] { tree->clear(); });
    searchFullText(explorer, QStringLiteral("highest"));
    QCOMPARE(explorer->noteList()->topLevelItem(0)->data(0, SearchHitDelegate::CatalogPathRole).toString(),
             QStringLiteral("Sea,Tides"));
}

void FullTextSearchTest::failedIndexUpdateKeepsTheSaveAndIsRepairedAtTheNextStart()
{
    TestProgramFolder folder;
    const QString indexFolder = folder.path() + QStringLiteral("index");
    {
        ClipnestProgram program(folder.path());
        program.bringUp();
        QVERIFY(waitForIndex(program));
        QStringList shown;
        program.explorer()->showMessage = [&](const QString &message) { shown << message; };
        // The index's folder vanishes under the open index: its next commit fails.
        QVERIFY(QDir(indexFolder).removeRecursively());
        fileNote(program, QStringLiteral("Lighthouse"), QStringLiteral("<p>The keeper's log.</p>"),
                 QStringLiteral("work"));
        fileNote(program, QStringLiteral("Harbour"), QStringLiteral("<p>Tides and boats.</p>"), QStringLiteral("work"));
        QCOMPARE(program.database()->queryInteger(QStringLiteral("select count(*) from note")), 2);
        program.explorer()->fullTextSearch()->waitForUpdates();
        QTRY_COMPARE(shown.size(), 1);
        QTest::qWait(200);
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().contains(QStringLiteral("saved")));
    }
    ClipnestProgram again(folder.path());
    again.bringUp();
    QVERIFY(waitForIndex(again));
    searchFullText(again.explorer(), QStringLiteral("keeper"));
    QCOMPARE(hitTitles(again.explorer()), QStringList{QStringLiteral("Lighthouse")});
    searchFullText(again.explorer(), QStringLiteral("tides"));
    QCOMPARE(hitTitles(again.explorer()), QStringList{QStringLiteral("Harbour")});
}

void FullTextSearchTest::indexDeletedWhileClosedIsRebuiltAtTheNextStart()
{
    TestProgramFolder folder;
    const QString indexFolder = folder.path() + QStringLiteral("index");
    {
        ClipnestProgram program(folder.path());
        program.bringUp();
        QVERIFY(waitForIndex(program));
        seedThreeNotes(program);
    }
    QVERIFY(QDir(indexFolder).removeRecursively());
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    QVERIFY(QDir(indexFolder).exists());
    QVERIFY(program.explorer()->fullTextSearch()->index()->isComplete());
    QCOMPARE(program.explorer()->fullTextSearch()->index()->noteCount(), 3);
    searchFullText(program.explorer(), QStringLiteral("\u5496\u5561"));
    QCOMPARE(hitTitles(program.explorer()), QStringList{QStringLiteral("\u751c\u70b9")});
}

void FullTextSearchTest::buildRunsBesideTheInterfaceWithAProgressLine()
{
    TestProgramFolder folder;
    constexpr int Notes = 800;
    seedArchive(folder, Notes);
    ClipnestProgram program(folder.path());
    program.bringUp();
    FullTextSearch *search = program.explorer()->fullTextSearch();
    auto *progress = program.explorer()->findChild<QWidget *>(QStringLiteral("IndexProgressBar"));
    QVERIFY(progress);
    // The interface answers while the index is built: a timer keeps firing and
    // the catalog can be browsed.
    bool progressSeen = false;
    bool lineSeen = false;
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestPause = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTick.restart());
        progressSeen = progressSeen || progress->isVisible();
        lineSeen = lineSeen || search->statusLabel()->text().contains(QStringLiteral("search index"));
    });
    tick.start(20);
    QVERIFY(QTest::qWaitFor([&] { return search->isIdle(); }, 120000));
    tick.stop();
    QVERIFY(progressSeen);
    QVERIFY(lineSeen);
    QVERIFY2(longestPause < 1000, qPrintable(QString::number(longestPause)));
    QVERIFY(!progress->isVisible());
    QVERIFY(search->statusLabel()->text().isEmpty());
    QCOMPARE(search->index()->noteCount(), Notes);
    searchFullText(program.explorer(), QStringLiteral("\"clipping about lighthouses\""));
    QCOMPARE(program.explorer()->noteList()->topLevelItemCount(), Notes < 200 ? Notes : 200);
}

void FullTextSearchTest::secondProcessSearchesWhileTheProgramRuns()
{
    TestProgramFolder folder;
    // The command takes its program folder from where its executable lies.
    const QString executable = folder.path() + QStringLiteral("clipnest");
    QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), executable));
    auto run = [&](const QStringList &arguments, QByteArray *out, QByteArray *err = nullptr) {
        QProcess process;
        process.setProgram(executable);
        process.setArguments(arguments);
        // No display at all: the command must not need one.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
        process.start();
        if (!process.waitForFinished(60000))
            return -1;
        *out = process.readAllStandardOutput();
        if (err)
            *err = process.readAllStandardError();
        return process.exitCode();
    };

    auto program = std::make_unique<ClipnestProgram>(folder.path());
    program->bringUp();
    QVERIFY(waitForIndex(*program));
    seedThreeNotes(*program);
    program->explorer()->fullTextSearch()->waitForUpdates();
    const int noteId = noteIdTitled(*program, QStringLiteral("Sourdough"));
    QSqlQuery &row =
        program->database()->runQuery(QStringLiteral("select filename from note where noteid=?"), {noteId});
    QVERIFY(row.next());
    const QString file = row.value(0).toString();
    row.finish();

    QByteArray out, err;
    QCOMPARE(run({QStringLiteral("--search"), QStringLiteral("captures"), QStringLiteral("yeast")}, &out, &err), 0);
    QCOMPARE(QString::fromUtf8(out), QStringLiteral("%1\tSourdough\thome,recipes\t%2\n").arg(noteId).arg(file));
    QVERIFY2(err.isEmpty(), err.constData());
    QCOMPARE(run({QStringLiteral("--search"), QStringLiteral("\u82f9\u679c")}, &out), 0);
    QVERIFY(QString::fromUtf8(out).contains(QStringLiteral("\t\u751c\u70b9\thome,\u751c\u70b9\t")));
    QCOMPARE(run({QStringLiteral("--search"), QStringLiteral("nowhere")}, &out, &err), 1);
    QVERIFY(out.isEmpty());
    QVERIFY(!err.contains("already running"));
    // Both notes under Home, at most one printed.
    QCOMPARE(run({QStringLiteral("--search"), QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("home")}, &out),
             0);
    QCOMPARE(out.count('\n'), 1);
    QCOMPARE(run({QStringLiteral("--search")}, &out, &err), 2);
    QVERIFY(err.contains("--help"));

    // No index while the program holds the database: nothing to read, and it is
    // left to the program to build.
    const QString indexFolder = folder.path() + QStringLiteral("index");
    program->explorer()->fullTextSearch()->index()->close();
    QVERIFY(QDir(indexFolder).removeRecursively());
    QCOMPARE(run({QStringLiteral("--search"), QStringLiteral("flour")}, &out, &err), 2);
    QVERIFY2(err.contains("not ready yet"), err.constData());

    // With the program closed, the command builds the index first.
    program.reset();
    QCOMPARE(run({QStringLiteral("--search"), QStringLiteral("flour")}, &out, &err), 0);
    QVERIFY(out.startsWith(QByteArray::number(noteId) + '\t'));
    QVERIFY(NoteSearcher(indexFolder).refresh());
}

void FullTextSearchTest::searchCommandLetsTheProgramStartWhileItBuilds()
{
    TestProgramFolder folder;
    seedArchive(folder, 3000);
    const QString executable = folder.path() + QStringLiteral("clipnest");
    QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), executable));
    QProcess search;
    search.start(executable, {QStringLiteral("--search"), QStringLiteral("lighthouses")});
    QVERIFY(search.waitForStarted());
    // The program opens its database, as it does when it starts, while the
    // command builds the index.
    bool opened = false;
    bool buildWasRunning = false;
    QElapsedTimer waited;
    waited.start();
    while (!opened && waited.elapsed() < 60000) {
        const bool running = search.state() == QProcess::Running;
        try {
            TDBDataModule program(folder.databasePath());
            opened = true;
            NoteSearcher reader(folder.path() + QStringLiteral("index"));
            buildWasRunning =
                running && search.state() == QProcess::Running && (!reader.refresh() || !reader.isComplete());
        } catch (const DbError &) {
            QTest::qWait(50);
        }
    }
    QVERIFY(opened);
    QVERIFY2(buildWasRunning, "the build had ended before the database could be opened");
    QVERIFY(search.waitForFinished(120000));
    QCOMPARE(search.exitCode(), 0);
    QCOMPARE(search.readAllStandardOutput().count('\n'), 3000);
}

void FullTextSearchTest::damagedIndexIsBuiltAnewWhileTheProgramRuns()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(waitForIndex(program));
    seedThreeNotes(program);
    FullTextSearch *search = program.explorer()->fullTextSearch();
    search->waitForUpdates();
    // Damage from outside the program: the posting lists cut short.
    QFile postings(folder.path() + QStringLiteral("index/postlist.glass"));
    QVERIFY(postings.resize(0));
    searchFullText(program.explorer(), QStringLiteral("flour"));
    QVERIFY2(search->statusLabel()->text().contains(QLatin1String("built anew")),
             qPrintable(search->statusLabel()->text()));
    QTRY_VERIFY(search->isIdle());
    QVERIFY(!SearchIndex::isMarkedForRebuild(folder.path() + QStringLiteral("index")));
    searchFullText(program.explorer(), QStringLiteral("flour"));
    QCOMPARE(program.explorer()->noteList()->topLevelItemCount(), 1);
}

CLIPNEST_TEST_MAIN(FullTextSearchTest)
#include "tst_fulltextsearch.moc"
