// The catalog faults users met, each replayed through the real windows: notes
// stranded under a deleted node, counts written back from a stale tree, parent
// links in a circle, a list filled twice, a search that outlived its clear
// button, and letter case in paths and suggestions.
#include "appcontext.h"
#include "catalogrowcheck.h"
#include "catalogtreecheck.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "notelistpane.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};
    TMainForm explorer{context, database};
    QStringList messages;
    QString answer;

    Fixture()
    {
        explorer.askYesNo = [](const QString &) { return true; };
        explorer.showMessage = [this](const QString &message) { messages << message; };
        explorer.askText = [this](const QString &, const QString &, bool *ok) {
            *ok = true;
            return answer;
        };
        explorer.createEditor = [this] { return editor(); };
        explorer.show();
    }

    TEditorForm *editor()
    {
        auto *editor = new TEditorForm(context, database);
        editor->setExplorerWindow(&explorer);
        editor->askYesNo = [](const QString &) { return true; };
        editor->showMessage = [this](const QString &message) { messages << message; };
        return editor;
    }

    void tag(int id, const QString &name, int deep, const QString &path, int parent, int childcount)
    {
        run(QStringLiteral("insert into tags values (%1,'%2',%3,'%4',%5,%6,0)")
                .arg(id)
                .arg(name)
                .arg(deep)
                .arg(path)
                .arg(parent)
                .arg(childcount));
    }

    // A note with its file, filed under tagId (counts are the caller's).
    void note(int id, const QString &title, int tagId)
    {
        const QString relative = QStringLiteral("12-01-2026/%1.html").arg(id);
        QDir().mkpath(context.dataFolder + QStringLiteral("12-01-2026"));
        QFile file(context.dataFolder + relative);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body>" + title.toUtf8() + "</body></html>\n");
        Transaction transaction(database);
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {id, title, tagId, relative});
        transaction.commit();
    }

    void run(const QString &sql)
    {
        Transaction transaction(database);
        database.runStatement(sql);
        transaction.commit();
    }

    int count(const QString &sql) { return database.queryInteger(sql); }
    TagTreeView *tree() { return explorer.TagTreeView_(); }

    // The rows and files agree, the tree is what a full reload shows, and the
    // selected node is the listed one.
    QString wholeness(SiblingOrder order = SiblingOrder::AsFullLoad)
    {
        const QStringList problems = checkCatalogRows(database, context.dataFolder);
        if (!problems.isEmpty())
            return problems.join(QLatin1Char('\n'));
        const QString tree = compareWithFullReload(*this->tree(), database, explorer.searchText(), order);
        if (!tree.isEmpty())
            return tree;
        const TagTreeItem *selected = this->tree()->selectedTag();
        if (selected && selected->record.tagid != explorer.notes().listedTagId())
            return QStringLiteral("node %1 is selected, node %2 listed")
                .arg(selected->record.tagid)
                .arg(explorer.notes().listedTagId());
        return QString();
    }

    void mouseOnTag(int tagId, Qt::MouseButton button)
    {
        TagTreeItem *item = tree()->findTag(tagId);
        tree()->scrollToItem(item);
        QTest::mouseClick(tree()->viewport(), button, {}, tree()->visualItemRect(item).center());
        for (QMenu *menu : explorer.findChildren<QMenu *>())
            menu->hide();
    }

    QStringList listedTitles() const
    {
        QStringList titles;
        for (int i = 0; i < explorer.noteList()->topLevelItemCount(); ++i)
            titles << explorer.noteList()->topLevelItem(i)->text(0);
        return titles;
    }
};

bool closeEditor(TEditorForm *editor)
{
    QPointer<TEditorForm> guard(editor);
    editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return !guard;
}

} // namespace

class CatalogIntegrityTest : public QObject
{
    Q_OBJECT

private slots:
    void strandedNoteRecipe();
    void aDriftedCountNeverLetsANodeWithNotesGo();
    void countsStayTrueAfterASaveDuringASearch();
    void parentLoopsEndAndAreReported_data();
    void parentLoopsEndAndAreReported();
    void everySelectionListsItsNode_data();
    void everySelectionListsItsNode();
    void aSaveShowsTheTreeAsAFullReload();
    void quickTypingListsOnce();
    void clearButtonEndsTheSearch();
    void letterCaseInPaths();
    void suggestionsIgnoreLetterCase();
};

void CatalogIntegrityTest::strandedNoteRecipe()
{
    Fixture f;
    // B(1) holds one note; Other(1) holds another.
    f.tag(1, QStringLiteral("B"), 1, QStringLiteral("B"), 0, 1);
    f.tag(2, QStringLiteral("Other"), 1, QStringLiteral("Other"), 0, 1);
    f.tag(3, QStringLiteral("Elsewhere"), 1, QStringLiteral("Elsewhere"), 0, 0);
    f.note(1, QStringLiteral("In B"), 1);
    f.note(2, QStringLiteral("In Other"), 2);
    f.explorer.LoadTagTree(QString());

    // 1. An empty child under B.
    f.tree()->setCurrentItem(f.tree()->findTag(1));
    f.answer = QStringLiteral("Child");
    f.explorer.AddTagActExecute();
    QCOMPARE(f.wholeness(), QString());
    // 2. Another node's note listed, then a right-click on B: B is listed now.
    f.mouseOnTag(2, Qt::LeftButton);
    QCOMPARE(f.listedTitles(), QStringList({QStringLiteral("In Other")}));
    f.mouseOnTag(1, Qt::RightButton);
    QCOMPARE(f.tree()->selectedTag()->record.tagid, 1);
    QCOMPARE(f.listedTitles(), QStringList({QStringLiteral("In B")}));
    // 3. The listed note is deleted: B's note, and B's count follows.
    f.explorer.noteList()->topLevelItem(0)->setSelected(true);
    f.explorer.DelNoteActExecute();
    QCOMPARE(f.count(QStringLiteral("select count(*) from note where noteid=1")), 0);
    QCOMPARE(f.wholeness(), QString());
    // 4. B's child dragged onto another node: the stored counts stay true.
    f.tree()->setCurrentItem(f.tree()->findTag(1)->child(0));
    f.explorer.TagTreeViewDragDrop(f.tree(), f.tree()->findTag(3));
    QCOMPARE(f.wholeness(SiblingOrder::Any), QString());
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=2")), 1);
    // 5. B, now empty, may go; no note is left under a missing node.
    f.mouseOnTag(1, Qt::LeftButton);
    f.explorer.DeleteTagActExecute();
    QVERIFY(f.messages.isEmpty());
    QCOMPARE(f.count(QStringLiteral("select count(*) from note n where not exists "
                                    "(select 1 from tags t where t.tagid = n.tagid)")),
             0);
    QCOMPARE(f.wholeness(SiblingOrder::Any), QString());
}

void CatalogIntegrityTest::aDriftedCountNeverLetsANodeWithNotesGo()
{
    Fixture f;
    // The stored count says empty, the rows say otherwise.
    f.tag(1, QStringLiteral("Holder"), 1, QStringLiteral("Holder"), 0, 0);
    f.note(1, QStringLiteral("Still here"), 1);
    f.explorer.LoadTagTree(QString());
    f.mouseOnTag(1, Qt::LeftButton);
    f.explorer.DeleteTagActExecute();
    QCOMPARE(f.messages, QStringList({QStringLiteral("Cannot delete the tag while still having child tag or note.")}));
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags")), 1);
}

void CatalogIntegrityTest::countsStayTrueAfterASaveDuringASearch()
{
    Fixture f;
    f.tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 6);
    f.tag(2, QStringLiteral("Plans"), 2, QStringLiteral("Work,Plans"), 1, 6);
    f.tag(3, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0);
    for (int i = 1; i <= 6; ++i)
        f.note(i, QStringLiteral("plan %1").arg(i), 2);
    f.explorer.LoadTagTree(QString());
    f.explorer.titleFilterEdit()->setText(QStringLiteral("plan"));
    QTest::keyClick(f.explorer.titleFilterEdit(), Qt::Key_Return);

    // A note saved while the search is active, then any node dragged.
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>seventh</p>"), QStringLiteral("plan 7"));
    editor->tagsEdit()->setText(QStringLiteral("Work,Plans"));
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.tree()->findTag(2)->text(0), QStringLiteral("Plans(7)"));
    f.tree()->setCurrentItem(f.tree()->findTag(3));
    f.explorer.TagTreeViewDragDrop(f.tree(), f.tree()->findTag(2));
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=2")), 7);
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=1")), 7);
    // While the search is active the captions show search counts, also after a drop.
    QCOMPARE(f.tree()->findTag(1)->text(0), QStringLiteral("Work(7)"));
    QCOMPARE(f.wholeness(SiblingOrder::Any), QString());
    f.explorer.titleFilterEdit()->clear();
    QTest::keyClick(f.explorer.titleFilterEdit(), Qt::Key_Return);
    QCOMPARE(f.wholeness(), QString());
}

void CatalogIntegrityTest::parentLoopsEndAndAreReported_data()
{
    QTest::addColumn<bool>("throughTheEditor");
    QTest::newRow("changing a note's catalog") << true;
    QTest::newRow("deleting a note") << false;
}

void CatalogIntegrityTest::parentLoopsEndAndAreReported()
{
    QFETCH(bool, throughTheEditor);
    Fixture f;
    f.tag(1, QStringLiteral("A"), 1, QStringLiteral("A"), 0, 1);
    f.tag(2, QStringLiteral("B"), 2, QStringLiteral("A,B"), 1, 1);
    f.note(1, QStringLiteral("Caught"), 2);
    f.explorer.LoadTagTree(QString());
    f.mouseOnTag(2, Qt::LeftButton);
    // The rows go wrong under the running program: A and B become each other's parent.
    f.run(QStringLiteral("update tags set parentid=2, deep=3 where tagid=1"));

    QCOMPARE(f.listedTitles(), QStringList({QStringLiteral("Caught")}));
    QElapsedTimer clock;
    clock.start();
    if (throughTheEditor) {
        f.explorer.noteList()->topLevelItem(0)->setSelected(true);
        f.explorer.OpenNoteForEditing();
        TEditorForm *editor = TEditorForm::openEditors().constLast();
        editor->tagsEdit()->setText(QStringLiteral("Elsewhere"));
        QVERIFY(!editor->SaveNote()); // the window stays open with what the user wrote
        delete editor;
    } else {
        f.explorer.noteList()->topLevelItem(0)->setSelected(true);
        f.explorer.DelNoteActExecute();
    }
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(f.messages.size(), 1);
    QVERIFY2(f.messages.first().contains(QStringLiteral("run in a circle")), qPrintable(f.messages.first()));
    // Nothing changed.
    QCOMPARE(f.count(QStringLiteral("select tagid from note where noteid=1")), 2);
    QCOMPARE(f.count(QStringLiteral("select sum(childcount) from tags")), 2);
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags")), 2);
    QVERIFY(QFile::exists(f.context.dataFolder + QStringLiteral("12-01-2026/1.html")));
}

void CatalogIntegrityTest::everySelectionListsItsNode_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("left click") << QStringLiteral("left");
    QTest::newRow("right click") << QStringLiteral("right");
    QTest::newRow("arrow key") << QStringLiteral("key");
    QTest::newRow("start of a drag") << QStringLiteral("drag");
    QTest::newRow("quick locator") << QStringLiteral("locator");
    QTest::newRow("what Qt selects after a delete") << QStringLiteral("delete");
}

void CatalogIntegrityTest::everySelectionListsItsNode()
{
    QFETCH(QString, how);
    Fixture f;
    f.tag(1, QStringLiteral("First"), 1, QStringLiteral("First"), 0, 1);
    f.tag(2, QStringLiteral("Second"), 1, QStringLiteral("Second"), 0, 1);
    f.tag(3, QStringLiteral("Empty"), 1, QStringLiteral("Empty"), 0, 0);
    f.note(1, QStringLiteral("One"), 1);
    f.note(2, QStringLiteral("Two"), 2);
    f.explorer.LoadTagTree(QString());
    f.mouseOnTag(1, Qt::LeftButton);
    QCOMPARE(f.listedTitles(), QStringList({QStringLiteral("One")}));

    if (how == QLatin1String("left")) {
        f.mouseOnTag(2, Qt::LeftButton);
    } else if (how == QLatin1String("right")) {
        f.mouseOnTag(2, Qt::RightButton);
    } else if (how == QLatin1String("key")) {
        f.tree()->setFocus();
        QTest::keyClick(f.tree(), Qt::Key_Down);
    } else if (how == QLatin1String("drag")) {
        // A drag starts with the button going down on the node.
        const QPoint at = f.tree()->visualItemRect(f.tree()->findTag(2)).center();
        QTest::mousePress(f.tree()->viewport(), Qt::LeftButton, {}, at);
    } else if (how == QLatin1String("locator")) {
        QTest::keyClicks(f.explorer.quickLocator(), QStringLiteral("sec"));
    } else {
        // Qt selects a neighbour of the deleted node, which is then listed.
        f.mouseOnTag(3, Qt::LeftButton);
        f.explorer.DeleteTagActExecute();
        QVERIFY(!f.tree()->findTag(3));
    }
    QVERIFY(f.tree()->selectedTag());
    QCOMPARE(f.explorer.notes().listedTagId(), f.tree()->selectedTag()->record.tagid);
    QCOMPARE(f.explorer.currentTagId(), f.tree()->selectedTag()->record.tagid);
    QCOMPARE(f.wholeness(), QString());
}

void CatalogIntegrityTest::aSaveShowsTheTreeAsAFullReload()
{
    Fixture f;
    f.tag(1, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0);
    f.tag(2, QStringLiteral("A"), 2, QStringLiteral("Home,A"), 1, 0);
    f.tag(3, QStringLiteral("B"), 2, QStringLiteral("Home,B"), 1, 0);
    f.explorer.LoadTagTree(QString());
    // Dropped onto its own parent, A becomes its last child, until the tree is reloaded.
    f.tree()->setCurrentItem(f.tree()->findTag(2));
    f.explorer.TagTreeViewDragDrop(f.tree(), f.tree()->findTag(1));
    QCOMPARE(f.tree()->findTag(1)->child(1), f.tree()->findTag(2));
    QCOMPARE(f.wholeness(SiblingOrder::Any), QString());
    // A save reloads it: only the rows the save touched are read, and it looks the same.
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>new</p>"), QStringLiteral("New"));
    editor->tagsEdit()->setText(QStringLiteral("Home,B,Fresh"));
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.tree()->findTag(1)->child(0), f.tree()->findTag(2));
    QCOMPARE(f.tree()->selectedTag()->record.name, QStringLiteral("Fresh"));
    QCOMPARE(f.listedTitles(), QStringList({QStringLiteral("New")}));
    QCOMPARE(f.wholeness(), QString());
}

void CatalogIntegrityTest::quickTypingListsOnce()
{
    Fixture f;
    f.tag(1, QStringLiteral("Alpha"), 1, QStringLiteral("Alpha"), 0, 3);
    for (int i = 1; i <= 3; ++i)
        f.note(i, QStringLiteral("Alpha %1").arg(i), 1);
    f.explorer.LoadTagTree(QString());
    // Typed faster than the list fills: the keys wait in the queue while the view empties.
    QLineEdit *locator = f.explorer.quickLocator();
    locator->setFocus();
    for (const QChar c : QStringLiteral("alp")) {
        QCoreApplication::postEvent(locator, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(c)));
        QCoreApplication::postEvent(locator, new QKeyEvent(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c)));
    }
    QTRY_COMPARE(locator->text(), QStringLiteral("alp"));
    QTest::qWait(300);
    QCOMPARE(f.explorer.noteList()->topLevelItemCount(), 3);
    // Asking again for the node already listed never adds its rows twice.
    f.explorer.ShowTagNotes();
    QCOMPARE(f.explorer.noteList()->topLevelItemCount(), 3);
}

void CatalogIntegrityTest::clearButtonEndsTheSearch()
{
    Fixture f;
    f.tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 2);
    f.note(1, QStringLiteral("plan"), 1);
    f.note(2, QStringLiteral("other"), 1);
    f.explorer.LoadTagTree(QString());
    QLineEdit *box = f.explorer.titleFilterEdit();
    box->setText(QStringLiteral("plan"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(f.tree()->findTag(1)->text(0), QStringLiteral("Work(1)"));

    QToolButton *clear = nullptr;
    for (QToolButton *button : box->findChildren<QToolButton *>()) {
        if (button->isVisible())
            clear = button;
    }
    QVERIFY(clear);
    clear->click();
    QVERIFY(box->text().isEmpty());
    QVERIFY(f.explorer.searchText().isEmpty());
    QCOMPARE(f.tree()->findTag(1)->text(0), QStringLiteral("Work(2)"));
    QCOMPARE(f.wholeness(), QString());
}

void CatalogIntegrityTest::letterCaseInPaths()
{
    Fixture f;
    f.explorer.LoadTagTree(QString());
    // Filed as typed: the leaf's path is the typed text in lower case.
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>deep</p>"), QStringLiteral("Deep note"));
    editor->tagsEdit()->setText(QStringLiteral("Work,Projects"));
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.tree()->findTag(2)->record.path, QStringLiteral("work,projects"));

    f.mouseOnTag(1, Qt::LeftButton);
    f.answer = QStringLiteral("Plans");
    f.explorer.RenameTagActExecute();
    QCOMPARE(f.tree()->findTag(2)->record.path, QStringLiteral("Plans,projects"));
    f.mouseOnTag(2, Qt::LeftButton);
    f.answer = QStringLiteral("Ideas");
    f.explorer.RenameTagActExecute();
    QCOMPARE(f.tree()->findTag(2)->record.path, QStringLiteral("Plans,Ideas"));
    QCOMPARE(f.wholeness(), QString());
}

void CatalogIntegrityTest::suggestionsIgnoreLetterCase()
{
    Fixture f;
    f.context.catalogPaths = {QStringLiteral("work"), QStringLiteral("work,projects"), QStringLiteral("Home")};
    TEditorForm *editor = f.editor();
    editor->show();
    editor->tagsEdit()->setFocus();
    QTest::keyClicks(editor->tagsEdit(), QStringLiteral("W"));
    QCompleter *completer = editor->tagsEdit()->completer();
    QStringList offered;
    for (bool more = completer->setCurrentRow(0); more; more = completer->setCurrentRow(completer->currentRow() + 1))
        offered << completer->currentCompletion();
    QCOMPARE(offered, QStringList({QStringLiteral("work"), QStringLiteral("work,projects")}));
    delete editor;
}

CLIPNEST_TEST_MAIN(CatalogIntegrityTest)
#include "tst_catalogintegrity.moc"
