#include "appcontext.h"
#include "attachlistitem.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTreeWidget>
#include <QtTest>

namespace {

// A program folder with a real database, and an explorer on it.
struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};

    void tag(int id, const QString &name, int deep, const QString &path, int parent, int childcount, int icon = 0)
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                              {id, name, deep, path, parent, childcount, icon});
        transaction.commit();
    }

    void note(int id, const QString &title, int tagId, const QString &file = QString())
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into note values (?,?,?,'now',?)"),
                              {id, title, tagId, file.isEmpty() ? QStringLiteral("12-01-2026/none.html") : file});
        transaction.commit();
    }

    void attachment(int id, int noteId, const QString &name, qint64 size)
    {
        const QString folderName = QStringLiteral("12-01-2026/attaches/");
        QDir().mkpath(context.dataFolder + folderName);
        QFile file(context.dataFolder + folderName + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'a'));
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"),
                              {id, noteId, name, folderName});
        transaction.commit();
    }

    int count(const QString &sql) { return database.queryInteger(sql); }

    QString writeNoteFile(const QString &name, const QString &body)
    {
        const QString relative = QStringLiteral("12-01-2026/") + name;
        QDir().mkpath(context.dataFolder + QStringLiteral("12-01-2026"));
        QFile file(context.dataFolder + relative);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>%1</body></html>")
                       .arg(body)
                       .toUtf8());
        return relative;
    }

    // Work(3) > Projects(2) > Alpha(1); Home(0).
    void seedWorkTree()
    {
        tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 3);
        tag(2, QStringLiteral("Projects"), 2, QStringLiteral("Work,Projects"), 1, 2);
        tag(3, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0);
        tag(4, QStringLiteral("Alpha"), 3, QStringLiteral("Work,Projects,Alpha"), 2, 1);
    }
};

QStringList captions(const QTreeWidget *tree)
{
    QStringList all;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it)
        all << QString((*it)->parent() ? QStringLiteral("  ") : QString()) + (*it)->text(0);
    return all;
}

QStringList noteTitles(const QTreeWidget *list)
{
    QStringList titles;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        titles << list->topLevelItem(i)->text(0);
    return titles;
}

void clickTag(TMainForm &explorer, int tagId)
{
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(tagId));
    explorer.ShowTagNotes();
}

} // namespace

class ExplorerTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyCatalogLoadsEmptyTree();
    void fullLoadOrdersAndLeavesOutOrphans();
    void searchRecountsAndEnterWithEmptyBoxRestores();
    void nodeListsOnlyItsOwnNotesFilteredBySearch();
    void quickLocatorSelectsFirstMatchingCaption();
    void addNodeCreatesAndLocatesNodes();
    void setIconStoresTheIndex();
    void showNoteListsAttachmentsWithSizes();
    void missingNoteFileLeavesTheViewAlone();
    void savedNoteIsSelectedAndShown();
    void savedNoteLeavesEveryNodeExpanded_data();
    void savedNoteLeavesEveryNodeExpanded();
    void savedNoteDuringSearchOnlyRecounts();
    void closingOnlyHides();
    void noteCommandsOpenEditors();
    void deletingANoteRemovesRowsFilesAndCounts();
    void deletingIsCancelledByNo();
    void deletingDuringSearchLowersShownCounts();
    void changingATitle();
    void renamingRewritesPathsBelow();
    void deletingNodes();
    void draggingANodeMovesCountsPathsAndLevels();
    void nodeDropsOntoItselfOrBelowAreRefused();
    void draggingANoteRefilesIt();
};

void ExplorerTest::emptyCatalogLoadsEmptyTree()
{
    Fixture f;
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    QCOMPARE(explorer.TagTreeView_()->topLevelItemCount(), 0);
    explorer.LoadTagTree(QStringLiteral("anything"));
    QCOMPARE(explorer.TagTreeView_()->topLevelItemCount(), 0);
}

void ExplorerTest::fullLoadOrdersAndLeavesOutOrphans()
{
    Fixture f;
    f.tag(5, QStringLiteral("Later"), 1, QStringLiteral("Later"), 0, 0);
    f.tag(3, QStringLiteral("Earlier"), 1, QStringLiteral("Earlier"), 0, 4);
    f.tag(7, QStringLiteral("Child"), 2, QStringLiteral("Earlier,Child"), 3, 4);
    // Parent missing, parent on the same level, and a row below an orphan.
    f.tag(8, QStringLiteral("Orphan"), 2, QStringLiteral("x,Orphan"), 99, 0);
    f.tag(9, QStringLiteral("Sideways"), 2, QStringLiteral("y,Sideways"), 10, 0);
    f.tag(10, QStringLiteral("Same"), 2, QStringLiteral("Same"), 7, 0);
    f.tag(11, QStringLiteral("BelowOrphan"), 3, QStringLiteral("x,Orphan,BelowOrphan"), 8, 0);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    QCOMPARE(captions(explorer.TagTreeView_()),
             QStringList({QStringLiteral("Earlier(4)"), QStringLiteral("  Child(4)"), QStringLiteral("Later(0)")}));
    QVERIFY(explorer.TagTreeView_()->topLevelItem(0)->isExpanded());
    QVERIFY(!explorer.TagTreeView_()->selectedTag());
}

void ExplorerTest::searchRecountsAndEnterWithEmptyBoxRestores()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Alpha report"), 2);
    f.note(2, QStringLiteral("alpha plan"), 1);
    f.note(3, QStringLiteral("Budget"), 4);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 3);

    explorer.titleFilterEdit()->setText(QStringLiteral("ALPHA"));
    QTest::keyClick(explorer.titleFilterEdit(), Qt::Key_Return);
    QCOMPARE(captions(explorer.TagTreeView_()), QStringList({QStringLiteral("Work(2)"), QStringLiteral("  Projects(1)"),
                                                             QStringLiteral("  Alpha(0)"), QStringLiteral("Home(0)")}));
    // The structure and the selection stay.
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 3);

    explorer.titleFilterEdit()->clear();
    QTest::keyClick(explorer.titleFilterEdit(), Qt::Key_Return);
    QCOMPARE(captions(explorer.TagTreeView_()), QStringList({QStringLiteral("Work(3)"), QStringLiteral("  Projects(2)"),
                                                             QStringLiteral("  Alpha(1)"), QStringLiteral("Home(0)")}));
    QVERIFY(explorer.searchText().isEmpty());
}

void ExplorerTest::nodeListsOnlyItsOwnNotesFilteredBySearch()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Project plan"), 1);
    f.note(2, QStringLiteral("Minutes"), 1);
    f.note(3, QStringLiteral("Plan of the child"), 2);
    f.note(4, QStringLiteral("Tom's PLANs"), 1);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());

    clickTag(explorer, 1);
    QCOMPARE(noteTitles(explorer.noteList()).size(), 3);
    QCOMPARE(explorer.noteList()->currentItem(), explorer.noteList()->topLevelItem(0));
    QVERIFY(!explorer.noteList()->topLevelItem(0)->text(1).isEmpty());
    QCOMPARE(explorer.content()->DocumentUrl(), QStringLiteral("about:blank"));
    QCOMPARE(explorer.currentTagId(), 1);

    clickTag(explorer, 3);
    QCOMPARE(explorer.noteList()->topLevelItemCount(), 0);

    explorer.LoadTagTree(QStringLiteral("plan"));
    clickTag(explorer, 1);
    QStringList titles = noteTitles(explorer.noteList());
    titles.sort();
    QCOMPARE(titles, QStringList({QStringLiteral("Project plan"), QStringLiteral("Tom's PLANs")}));

    // A search text with an apostrophe is a search like any other.
    explorer.LoadTagTree(QStringLiteral("tom's"));
    clickTag(explorer, 1);
    QCOMPARE(noteTitles(explorer.noteList()), QStringList({QStringLiteral("Tom's PLANs")}));
    QCOMPARE(explorer.TagTreeView_()->findTag(1)->text(0), QStringLiteral("Work(1)"));
}

void ExplorerTest::quickLocatorSelectsFirstMatchingCaption()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("In projects"), 2);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());

    QTest::keyClicks(explorer.quickLocator(), QStringLiteral("proj"));
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 2);
    QCOMPARE(noteTitles(explorer.noteList()), QStringList({QStringLiteral("In projects")}));
    // Typing on to a text without match keeps the selection.
    QTest::keyClicks(explorer.quickLocator(), QStringLiteral("zz"));
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 2);
    // Captions include the count: "(0" finds the first node without notes.
    explorer.quickLocator()->setText(QStringLiteral("(0"));
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 3);
}

void ExplorerTest::addNodeCreatesAndLocatesNodes()
{
    Fixture f;
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    QString askedPrompt;
    QString answer;
    explorer.askText = [&](const QString &, const QString &prompt, bool *ok) {
        askedPrompt = prompt;
        *ok = true;
        return answer;
    };

    answer = QStringLiteral("Work");
    explorer.AddTagActExecute();
    QVERIFY(askedPrompt.endsWith(QStringLiteral("Root\"")));
    QCOMPARE(captions(explorer.TagTreeView_()), QStringList({QStringLiteral("Work(0)")}));

    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->topLevelItem(0));
    answer = QStringLiteral("Projects, Alpha");
    explorer.AddTagActExecute();
    QVERIFY(askedPrompt.endsWith(QStringLiteral("Work\"")));
    QCOMPARE(captions(explorer.TagTreeView_()),
             QStringList({QStringLiteral("Work(0)"), QStringLiteral("  Projects(0)"), QStringLiteral("  Alpha(0)")}));
    QVERIFY(explorer.TagTreeView_()->topLevelItem(0)->child(0)->isExpanded());
    QCOMPARE(explorer.TagTreeView_()->findTag(3)->record.path, QStringLiteral("Work,Projects,Alpha"));

    // An existing beginning is located, not duplicated, whatever its case.
    explorer.TagTreeView_()->clearSelection();
    answer = QStringLiteral("work,projects,Beta");
    explorer.AddTagActExecute();
    QCOMPARE(captions(explorer.TagTreeView_()),
             QStringList({QStringLiteral("Work(0)"), QStringLiteral("  Projects(0)"), QStringLiteral("  Alpha(0)"),
                          QStringLiteral("  Beta(0)")}));
    QCOMPARE(explorer.TagTreeView_()->findTag(4)->parent(), explorer.TagTreeView_()->findTag(2));

    // Cancelling writes nothing.
    explorer.askText = [](const QString &, const QString &, bool *ok) {
        *ok = false;
        return QStringLiteral("Ignored");
    };
    explorer.AddTagActExecute();
    QCOMPARE(f.database.queryInteger(QStringLiteral("select count(*) from tags")), 4);
}

void ExplorerTest::setIconStoresTheIndex()
{
    Fixture f;
    f.seedWorkTree();
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    explorer.chooseIcon = [] { return 7; };
    explorer.SetIconMenuClick(); // nothing selected: nothing happens
    QCOMPARE(f.database.queryInteger(QStringLiteral("select sum(icoid) from tags")), 0);

    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(2));
    explorer.SetIconMenuClick();
    QCOMPARE(f.database.queryInteger(QStringLiteral("select icoid from tags where tagid=2")), 7);
    const QIcon expected = TagTreeView::catalogIcon(7);
    QCOMPARE(explorer.TagTreeView_()->findTag(2)->icon(0).pixmap(16).toImage(), expected.pixmap(16).toImage());
    explorer.LoadTagTree(QString());
    QCOMPARE(explorer.TagTreeView_()->findTag(2)->record.icoid, 7);

    explorer.chooseIcon = [] { return -1; }; // closed without a choice
    explorer.SetIconMenuClick();
    QCOMPARE(f.database.queryInteger(QStringLiteral("select icoid from tags where tagid=2")), 7);
}

void ExplorerTest::showNoteListsAttachmentsWithSizes()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("With files"), 1,
           f.writeNoteFile(QStringLiteral("a.html"), QStringLiteral("<p>First</p>")));
    f.note(2, QStringLiteral("Plain"), 1, f.writeNoteFile(QStringLiteral("b.html"), QStringLiteral("<p>Second</p>")));
    f.attachment(1, 1, QStringLiteral("report.pdf"), 12345);
    f.attachment(2, 1, QStringLiteral("photo.png"), 7);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 1);

    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(0));
    explorer.ShowNote();
    QCOMPARE(explorer.content()->url().toLocalFile(), f.context.dataFolder + QStringLiteral("12-01-2026/a.html"));
    QVERIFY(explorer.content()->BodyInnerHtml().contains(QStringLiteral("First")));
    QCOMPARE(explorer.currentNoteId(), 1);
    QCOMPARE(explorer.editNoteTitle(), QStringLiteral("With files"));
    QTreeWidget *attachments = explorer.attachList();
    QCOMPARE(attachments->topLevelItemCount(), 2);
    QCOMPARE(attachments->topLevelItem(0)->text(0), QStringLiteral("report.pdf"));
    QCOMPARE(attachments->topLevelItem(0)->text(1), f.context.dataFolder + QStringLiteral("12-01-2026/attaches/"));
    QCOMPARE(attachments->topLevelItem(0)->text(2), QStringLiteral("12,345"));
    QCOMPARE(attachments->topLevelItem(1)->text(2), QStringLiteral("7"));
    QVERIFY(!attachments->topLevelItem(0)->icon(0).isNull());

    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(1));
    explorer.ShowNote();
    QCOMPARE(attachments->topLevelItemCount(), 0);
    QVERIFY(explorer.content()->BodyInnerHtml().contains(QStringLiteral("Second")));
}

void ExplorerTest::missingNoteFileLeavesTheViewAlone()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Here"), 1, f.writeNoteFile(QStringLiteral("here.html"), QStringLiteral("Present")));
    f.note(2, QStringLiteral("Gone"), 1, QStringLiteral("12-01-2026/gone.html"));
    f.attachment(1, 2, QStringLiteral("kept.txt"), 3);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 1);
    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(0));
    explorer.ShowNote();
    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(1));
    explorer.ShowNote();
    QVERIFY(explorer.content()->BodyInnerHtml().contains(QStringLiteral("Present")));
    QCOMPARE(explorer.currentNoteId(), 2);
    QCOMPARE(explorer.attachList()->topLevelItemCount(), 1);
}

void ExplorerTest::savedNoteIsSelectedAndShown()
{
    Fixture f;
    f.seedWorkTree();
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    // An editor saved a note under a node made by that save.
    f.tag(5, QStringLiteral("New"), 2, QStringLiteral("Home,New"), 3, 1);
    f.note(1, QStringLiteral("Older"), 5);
    f.note(2, QStringLiteral("Saved"), 5, f.writeNoteFile(QStringLiteral("s.html"), QStringLiteral("Saved body")));
    explorer.NoteSaved(2, 5);

    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 5);
    QCOMPARE(explorer.noteList()->currentItem()->text(0), QStringLiteral("Saved"));
    // The page follows once the save has returned.
    QTRY_COMPARE(explorer.currentNoteId(), 2);
    QTRY_VERIFY(explorer.content()->BodyInnerHtml().contains(QStringLiteral("Saved body")));
    QCOMPARE(explorer.TagTreeView_()->findTag(5)->text(0), QStringLiteral("New(1)"));
}

void ExplorerTest::savedNoteLeavesEveryNodeExpanded_data()
{
    QTest::addColumn<int>("moreParents"); // nodes with a child each, beside the work tree
    QTest::newRow("a few nodes closed") << 0;
    QTest::newRow("more nodes closed than are opened one by one") << 100;
}

void ExplorerTest::savedNoteLeavesEveryNodeExpanded()
{
    QFETCH(int, moreParents);
    Fixture f;
    f.seedWorkTree();
    for (int i = 0; i < moreParents; ++i) {
        const QString name = QStringLiteral("Parent %1").arg(i);
        f.tag(100 + 2 * i, name, 1, name, 0, 1);
        f.tag(101 + 2 * i, QStringLiteral("Child"), 2, name + QStringLiteral(",Child"), 100 + 2 * i, 0);
    }
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    TagTreeView *tree = explorer.TagTreeView_();
    tree->collapseAll();
    // The save filed its note under a new node below a node that had none.
    f.tag(5, QStringLiteral("New"), 2, QStringLiteral("Home,New"), 3, 1);
    f.tag(6, QStringLiteral("Newer"), 3, QStringLiteral("Home,New,Newer"), 5, 1);
    f.note(1, QStringLiteral("Saved"), 6);
    explorer.NoteSaved(1, 6);

    QVERIFY(tree->findTag(6));
    // As a full load shows the tree: every node that has nodes below it is open.
    for (const TagTreeItem *tag : tree->allTags()) {
        if (tag->childCount() > 0)
            QVERIFY2(tag->isExpanded(), qPrintable(tag->text(0)));
    }
}

void ExplorerTest::savedNoteDuringSearchOnlyRecounts()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("First plan"), 3);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 3);
    explorer.LoadTagTree(QStringLiteral("plan"));

    f.tag(5, QStringLiteral("Fresh"), 1, QStringLiteral("Fresh"), 0, 1);
    f.note(2, QStringLiteral("Second plan"), 5);
    explorer.NoteSaved(2, 5);
    QVERIFY(!explorer.TagTreeView_()->findTag(5)); // not in the tree until the next full load
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 3);
    QCOMPARE(noteTitles(explorer.noteList()), QStringList({QStringLiteral("First plan")}));
}

void ExplorerTest::closingOnlyHides()
{
    Fixture f;
    TMainForm explorer(f.context, f.database);
    explorer.show();
    QVERIFY(!explorer.close());
    QVERIFY(explorer.isHidden());
}

void ExplorerTest::noteCommandsOpenEditors()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Stored"), 2, f.writeNoteFile(QStringLiteral("n.html"), QStringLiteral("Stored body")));
    TMainForm explorer(f.context, f.database);
    QList<QPointer<TEditorForm>> opened;
    explorer.createEditor = [&] {
        auto *editor = new TEditorForm(f.context, f.database);
        opened << editor;
        return editor;
    };
    explorer.LoadTagTree(QString());

    explorer.AddNoteInTagActExecute();
    QCOMPARE(opened.last()->tagsEdit()->text(), QString());
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(2));
    explorer.AddNoteInTagActExecute();
    QCOMPARE(opened.last()->tagsEdit()->text(), QStringLiteral("Work,Projects"));

    explorer.noteList()->clearSelection();
    explorer.OpenNoteForEditing(); // no note selected
    QCOMPARE(opened.size(), 2);
    explorer.ShowTagNotes();
    explorer.OpenNoteForEditing();
    QCOMPARE(opened.size(), 3);
    TEditorForm *editor = opened.last();
    QCOMPARE(editor->noteId(), 1);
    QCOMPARE(editor->tagId(), 2);
    QCOMPARE(editor->titleEdit()->text(), QStringLiteral("Stored"));
    QCOMPARE(editor->tagsEdit()->text(), QStringLiteral("Work,Projects"));
    QVERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("Stored body")));
    for (const QPointer<TEditorForm> &open : opened)
        delete open.data();
}

void ExplorerTest::deletingANoteRemovesRowsFilesAndCounts()
{
    Fixture f;
    f.seedWorkTree();
    const QString file = f.writeNoteFile(QStringLiteral("d.html"), QStringLiteral("Doomed"));
    f.note(1, QStringLiteral("Doomed"), 4, file);
    f.attachment(1, 1, QStringLiteral("one.txt"), 3);
    f.attachment(2, 1, QStringLiteral("two.txt"), 4);
    f.attachment(3, 9, QStringLiteral("other.txt"), 5);
    TMainForm explorer(f.context, f.database);
    int asked = 0;
    explorer.askYesNo = [&](const QString &) {
        ++asked;
        return true;
    };
    explorer.LoadTagTree(QString());
    clickTag(explorer, 4);
    explorer.ShowNote();
    explorer.DelNoteActExecute();

    QCOMPARE(asked, 1);
    QCOMPARE(explorer.noteList()->topLevelItemCount(), 0);
    QCOMPARE(explorer.content()->DocumentUrl(), QStringLiteral("about:blank"));
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 0);
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment")), 1);
    QVERIFY(!QFile::exists(f.context.dataFolder + file));
    QVERIFY(!QFile::exists(f.context.dataFolder + QStringLiteral("12-01-2026/attaches/one.txt")));
    QVERIFY(QFile::exists(f.context.dataFolder + QStringLiteral("12-01-2026/attaches/other.txt")));
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=4")), 0);
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=2")), 1);
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=1")), 2);
    QCOMPARE(captions(explorer.TagTreeView_()), QStringList({QStringLiteral("Work(2)"), QStringLiteral("  Projects(1)"),
                                                             QStringLiteral("  Alpha(0)"), QStringLiteral("Home(0)")}));
}

void ExplorerTest::deletingIsCancelledByNo()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Kept"), 4);
    TMainForm explorer(f.context, f.database);
    explorer.askYesNo = [](const QString &) { return false; };
    explorer.LoadTagTree(QString());
    clickTag(explorer, 4);
    explorer.DelNoteActExecute();
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);
    QVERIFY(explorer.noteList()->topLevelItem(0)->isSelected());
}

void ExplorerTest::deletingDuringSearchLowersShownCounts()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Plan A"), 2);
    f.note(2, QStringLiteral("Plan B"), 2);
    TMainForm explorer(f.context, f.database);
    explorer.askYesNo = [](const QString &) { return true; };
    explorer.LoadTagTree(QString());
    explorer.LoadTagTree(QStringLiteral("plan"));
    clickTag(explorer, 2);
    explorer.DelNoteActExecute();
    QCOMPARE(explorer.TagTreeView_()->findTag(2)->text(0), QStringLiteral("Projects(1)"));
    QCOMPARE(explorer.TagTreeView_()->findTag(1)->text(0), QStringLiteral("Work(1)"));
    QCOMPARE(explorer.noteList()->topLevelItemCount(), 1);
    explorer.LoadTagTree(QString());
    QCOMPARE(explorer.TagTreeView_()->findTag(2)->text(0), QStringLiteral("Projects(1)"));
}

void ExplorerTest::changingATitle()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Old"), 3);
    TMainForm explorer(f.context, f.database);
    QString answer;
    explorer.askText = [&](const QString &, const QString &, bool *ok) {
        *ok = true;
        return answer;
    };
    explorer.LoadTagTree(QString());
    clickTag(explorer, 3);
    answer = QString();
    explorer.RenTitleMenuClick();
    QCOMPARE(explorer.noteList()->topLevelItem(0)->text(0), QStringLiteral("Old"));
    answer = QStringLiteral(" Tom's new title");
    explorer.RenTitleMenuClick();
    QCOMPARE(explorer.noteList()->topLevelItem(0)->text(0), QStringLiteral(" Tom's new title"));
    QSqlQuery &query = f.database.runQuery(QStringLiteral("select title from note where noteid=1"));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral(" Tom's new title"));
    query.finish();
}

namespace {

// Path, level and parent of each row, for comparing the whole catalog.
QStringList tagRows(TDBDataModule &database)
{
    QStringList rows;
    QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags order by tagid"));
    while (query.next())
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(fieldText(query, "tagname"), fieldText(query, "path"))
                    .arg(fieldInt(query, "deep"))
                    .arg(fieldInt(query, "parentid"))
                    .arg(fieldInt(query, "childcount"));
    query.finish();
    return rows;
}

} // namespace

void ExplorerTest::renamingRewritesPathsBelow()
{
    Fixture f;
    f.seedWorkTree();
    f.tag(5, QStringLiteral("Projects"), 2, QStringLiteral("Home,Projects"), 3, 0);
    f.tag(6, QStringLiteral("a"), 2, QStringLiteral("data,a"), 1, 0);
    TMainForm explorer(f.context, f.database);
    QString answer;
    explorer.askText = [&](const QString &, const QString &, bool *ok) {
        *ok = !answer.isNull();
        return answer;
    };
    explorer.LoadTagTree(QString());

    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(2));
    answer = QStringLiteral("Plans");
    explorer.RenameTagActExecute();
    QCOMPARE(tagRows(f.database),
             QStringList({QStringLiteral("Work|Work|1|0|3"), QStringLiteral("Plans|Work,Plans|2|1|2"),
                          QStringLiteral("Home|Home|1|0|0"), QStringLiteral("Alpha|Work,Plans,Alpha|3|2|1"),
                          QStringLiteral("Projects|Home,Projects|2|3|0"), QStringLiteral("a|data,a|2|1|0")}));
    QCOMPARE(explorer.TagTreeView_()->findTag(2)->text(0), QStringLiteral("Plans(2)"));
    QCOMPARE(explorer.TagTreeView_()->findTag(4)->record.path, QStringLiteral("Work,Plans,Alpha"));

    // Only the last name of a path is replaced.
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(6));
    answer = QStringLiteral("b");
    explorer.RenameTagActExecute();
    QCOMPARE(tagRows(f.database).last(), QStringLiteral("b|data,b|2|1|0"));

    // Cancelled or empty: nothing changes.
    const QStringList before = tagRows(f.database);
    answer = QString();
    explorer.RenameTagActExecute();
    answer = QStringLiteral("");
    explorer.RenameTagActExecute();
    QCOMPARE(tagRows(f.database), before);
}

void ExplorerTest::deletingNodes()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Held"), 4);
    f.tag(5, QStringLiteral("Untagged"), 1, QStringLiteral("untagged"), 0, 0);
    TMainForm explorer(f.context, f.database);
    QStringList messages;
    explorer.showMessage = [&](const QString &message) { messages << message; };
    explorer.LoadTagTree(QString());
    auto deleteNode = [&](int tagId) {
        explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(tagId));
        explorer.DeleteTagActExecute();
    };

    deleteNode(5); // "untagged" stays, silently
    QVERIFY(messages.isEmpty());
    deleteNode(2); // has a child node
    deleteNode(4); // holds a note
    QCOMPARE(messages, QStringList(2, QStringLiteral("Cannot delete the tag while still having child tag or note.")));
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags")), 5);

    deleteNode(3);
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags")), 4);
    QVERIFY(!explorer.TagTreeView_()->findTag(3));
    QCOMPARE(messages.size(), 2);
}

void ExplorerTest::draggingANodeMovesCountsPathsAndLevels()
{
    Fixture f;
    // Work(3) > Projects(3) > Alpha(3) > Beta(1); Home(2) > Garden(2).
    f.tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 3);
    f.tag(2, QStringLiteral("Projects"), 2, QStringLiteral("Work,Projects"), 1, 3);
    f.tag(3, QStringLiteral("Alpha"), 3, QStringLiteral("Work,Projects,Alpha"), 2, 3);
    f.tag(4, QStringLiteral("Beta"), 4, QStringLiteral("Work,Projects,Alpha,Beta"), 3, 1);
    f.tag(5, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 2);
    f.tag(6, QStringLiteral("Garden"), 2, QStringLiteral("Home,Garden"), 5, 2);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    TagTreeView *tree = explorer.TagTreeView_();

    tree->setCurrentItem(tree->findTag(3));
    explorer.TagTreeViewDragDrop(tree, tree->findTag(5));
    QCOMPARE(tagRows(f.database),
             QStringList({QStringLiteral("Work|Work|1|0|0"), QStringLiteral("Projects|Work,Projects|2|1|0"),
                          QStringLiteral("Alpha|Home,Alpha|2|5|3"), QStringLiteral("Beta|Home,Alpha,Beta|3|3|1"),
                          QStringLiteral("Home|Home|1|0|5"), QStringLiteral("Garden|Home,Garden|2|5|2")}));
    QCOMPARE(captions(tree),
             QStringList({QStringLiteral("Work(0)"), QStringLiteral("  Projects(0)"), QStringLiteral("Home(5)"),
                          QStringLiteral("  Garden(2)"), QStringLiteral("  Alpha(3)"), QStringLiteral("  Beta(1)")}));
    QCOMPARE(tree->selectedTag()->record.tagid, 5);

    // Onto its own parent: counts stay, it becomes the last child.
    tree->setCurrentItem(tree->findTag(6));
    explorer.TagTreeViewDragDrop(tree, tree->findTag(5));
    QCOMPARE(tree->findTag(5)->child(1), tree->findTag(6));
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=5")), 5);

    // A top-level node moved below another takes the whole new beginning.
    tree->setCurrentItem(tree->findTag(1));
    explorer.TagTreeViewDragDrop(tree, tree->findTag(6));
    QCOMPARE(tagRows(f.database)[1], QStringLiteral("Projects|Home,Garden,Work,Projects|4|1|0"));
    QCOMPARE(tree->topLevelItemCount(), 1);

    // What the tree shows is what a full load reads.
    const QStringList shown = captions(tree);
    explorer.LoadTagTree(QString());
    QCOMPARE(captions(tree).size(), shown.size());
}

void ExplorerTest::nodeDropsOntoItselfOrBelowAreRefused()
{
    Fixture f;
    f.seedWorkTree();
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    TagTreeView *tree = explorer.TagTreeView_();
    tree->setCurrentItem(tree->findTag(2));
    QVERIFY(!explorer.TagTreeViewDragOver(tree, tree->findTag(2)));
    QVERIFY(!explorer.TagTreeViewDragOver(tree, tree->findTag(4)));
    QVERIFY(explorer.TagTreeViewDragOver(tree, tree->findTag(3)));
    QVERIFY(explorer.TagTreeViewDragOver(explorer.noteList(), tree->findTag(2)));
    QVERIFY(!explorer.TagTreeViewDragOver(explorer.attachList(), tree->findTag(2)));
    const QStringList before = tagRows(f.database);
    explorer.TagTreeViewDragDrop(tree, tree->findTag(4));
    QCOMPARE(tagRows(f.database), before);
}

void ExplorerTest::draggingANoteRefilesIt()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Moving"), 4);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    TagTreeView *tree = explorer.TagTreeView_();

    clickTag(explorer, 4);
    explorer.TagTreeViewDragDrop(explorer.noteList(), tree->findTag(4)); // its own node: nothing moves
    QCOMPARE(tagRows(f.database)[3], QStringLiteral("Alpha|Work,Projects,Alpha|3|2|1"));

    clickTag(explorer, 4);
    explorer.TagTreeViewDragDrop(explorer.noteList(), tree->findTag(3));
    QCOMPARE(f.count(QStringLiteral("select tagid from note where noteid=1")), 3);
    QCOMPARE(captions(tree), QStringList({QStringLiteral("Work(2)"), QStringLiteral("  Projects(1)"),
                                          QStringLiteral("  Alpha(0)"), QStringLiteral("Home(1)")}));
    QCOMPARE(tree->selectedTag()->record.tagid, 3);
    QCOMPARE(noteTitles(explorer.noteList()), QStringList({QStringLiteral("Moving")}));
}

CLIPNEST_TEST_MAIN(ExplorerTest)
#include "tst_explorer.moc"
