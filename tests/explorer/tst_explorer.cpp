#include "appcontext.h"
#include "attachlistitem.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "explorerfixture.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "notesourceline.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QtTest>

// Addresses handed to the desktop to open.
class OpenedAddresses : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class ExplorerTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyCatalogLoadsEmptyTree();
    void fullLoadOrdersAndLeavesOutOrphans();
    void searchRecountsAndEnterWithEmptyBoxRestores();
    void nodeListsOnlyItsOwnNotesFilteredBySearch();
    void quickLocatorSelectsFirstMatchingName();
    void titleSearchTakesWildcardsAsCharacters_data();
    void titleSearchTakesWildcardsAsCharacters();
    void enterInTheSearchBoxListsTheNodeAgain();
    void showNoteListsAttachmentsWithSizes();
    void missingNoteFileLeavesTheViewAlone();
    void sourceLineShowsAndOpensTheAddress_data();
    void sourceLineShowsAndOpensTheAddress();
    void savedNoteIsSelectedAndShown();
    void savedNoteLeavesEveryNodeExpanded_data();
    void savedNoteLeavesEveryNodeExpanded();
    void savedNoteDuringSearchOnlyRecounts();
    void closingOnlyHides();
    void noteCommandsOpenEditors();
    void deletingANoteRemovesRowsFilesAndCounts();
    void deletingIsCancelledByNo();
    void deletingANoteLeavesTheNextOneSelected();
    void deletingDuringSearchLowersShownCounts();
    void changingATitle();
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

void ExplorerTest::quickLocatorSelectsFirstMatchingName()
{
    Fixture f;
    f.seedWorkTree();
    f.tag(5, QStringLiteral("Route 66"), 1, QStringLiteral("Route 66"), 0, 0);
    f.note(1, QStringLiteral("In projects"), 2);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());

    QTest::keyClicks(explorer.quickLocator(), QStringLiteral("proj"));
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 2);
    QCOMPARE(noteTitles(explorer.noteList()), QStringList({QStringLiteral("In projects")}));
    // Typing on to a text without match keeps the selection.
    QTest::keyClicks(explorer.quickLocator(), QStringLiteral("zz"));
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 2);
    // Only the names are looked through, not the counts the captions show.
    for (const char *count : {"(0", "0)", "3", "(2)"}) {
        explorer.quickLocator()->setText(QLatin1String(count));
        QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 2);
    }
    explorer.quickLocator()->setText(QStringLiteral("66"));
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 5);
}

void ExplorerTest::titleSearchTakesWildcardsAsCharacters_data()
{
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("underscore between letters") << "a_p" << QStringList{QStringLiteral("a_p notes")};
    QTest::newRow("underscore alone") << "_" << QStringList{QStringLiteral("a_p notes")};
    QTest::newRow("percent after digits") << "100%" << QStringList{QStringLiteral("100% sure")};
    QTest::newRow("percent between letters") << "a%p" << QStringList{};
    QTest::newRow("backslash") << "\\" << QStringList{QStringLiteral("back\\slash")};
    QTest::newRow("escaped percent") << "\\%" << QStringList{};
}

void ExplorerTest::titleSearchTakesWildcardsAsCharacters()
{
    QFETCH(QString, searchText);
    QFETCH(QStringList, listed);
    Fixture f;
    f.tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 6);
    int id = 0;
    for (const char *title : {"alpha plan", "a_p notes", "100% sure", "1000 ways", "back\\slash", "backslash"})
        f.note(++id, QLatin1String(title), 1);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 1);
    explorer.titleFilterEdit()->setText(searchText);
    QTest::keyClick(explorer.titleFilterEdit(), Qt::Key_Return);
    clickTag(explorer, 1);
    QCOMPARE(noteTitles(explorer.noteList()), listed);
    QCOMPARE(explorer.TagTreeView_()->findTag(1)->text(0), QStringLiteral("Work(%1)").arg(listed.size()));
}

void ExplorerTest::enterInTheSearchBoxListsTheNodeAgain()
{
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Project plan"), 1);
    f.note(2, QStringLiteral("Minutes"), 1);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 1);
    QCOMPARE(noteTitles(explorer.noteList()).size(), 2);

    explorer.titleFilterEdit()->setText(QStringLiteral("plan"));
    QTest::keyClick(explorer.titleFilterEdit(), Qt::Key_Return);
    QCOMPARE(noteTitles(explorer.noteList()), QStringList{QStringLiteral("Project plan")});
    QCOMPARE(explorer.TagTreeView_()->selectedTag()->record.tagid, 1);

    explorer.titleFilterEdit()->clear();
    QTest::keyClick(explorer.titleFilterEdit(), Qt::Key_Return);
    QCOMPARE(noteTitles(explorer.noteList()).size(), 2);
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

void ExplorerTest::sourceLineShowsAndOpensTheAddress_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("opens");
    QTest::newRow("a web page") << QStringLiteral("https://example.org/caf%C3%A9/menu.html?a=1&b=2") << true;
    QTest::newRow("a local page") << QStringLiteral("file:///home/user/page.html") << false;
    QTest::newRow("none") << QString() << false;
}

void ExplorerTest::sourceLineShowsAndOpensTheAddress()
{
    QFETCH(QString, source);
    QFETCH(bool, opens);
    Fixture f;
    f.seedWorkTree();
    f.note(1, QStringLiteral("Captured"), 1, f.writeNoteFile(QStringLiteral("a.html"), QStringLiteral("<p>A</p>")));
    f.note(2, QStringLiteral("Typed"), 1, f.writeNoteFile(QStringLiteral("b.html"), QStringLiteral("<p>B</p>")));
    {
        Transaction transaction(f.database);
        f.database.runStatement(QStringLiteral("update note set source=? where noteid=1"),
                                {source.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : source});
        transaction.commit();
    }
    OpenedAddresses opened;
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &opened, "open");
    const auto unsetHandlers = qScopeGuard([] {
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    });
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    clickTag(explorer, 1);
    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(0));
    explorer.ShowNote();

    NoteSourceLine *line = explorer.noteSourceLine();
    QCOMPARE(line->isHidden(), source.isEmpty());
    QCOMPARE(line->address(), source);
    QCOMPARE(line->addressLabel()->text().contains(QLatin1String("<a href=")), opens);
    emit line->addressLabel()->linkActivated(source);
    QCOMPARE(opened.urls, opens ? QList<QUrl>{QUrl(source)} : QList<QUrl>());

    // The next note, typed without a source, hides the line again.
    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(1));
    explorer.ShowNote();
    QVERIFY(line->isHidden());
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

void ExplorerTest::deletingANoteLeavesTheNextOneSelected()
{
    Fixture f;
    f.seedWorkTree();
    for (int id = 1; id <= 3; ++id)
        f.note(id, QStringLiteral("Note %1").arg(id), 1,
               f.writeNoteFile(QStringLiteral("n%1.html").arg(id), QStringLiteral("<p>%1</p>").arg(id)));
    TMainForm explorer(f.context, f.database);
    explorer.askYesNo = [](const QString &) { return true; };
    explorer.askText = [](const QString &, const QString &, bool *ok) {
        *ok = true;
        return QStringLiteral("Retitled");
    };
    explorer.LoadTagTree(QString());
    clickTag(explorer, 1);
    explorer.ShowNote();
    explorer.DelNoteActExecute();

    // The note shown next is the selected one: the note commands act on it without a click.
    QTreeWidget *list = explorer.noteList();
    QCOMPARE(list->topLevelItemCount(), 2);
    QVERIFY(list->topLevelItem(0)->isSelected());
    QCOMPARE(explorer.currentNoteId(), 2);
    explorer.RenTitleMenuClick();
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Retitled"));
    explorer.DelNoteActExecute();
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);
    QVERIFY(list->topLevelItem(0)->isSelected());
    QCOMPARE(explorer.currentNoteId(), 3);
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

CLIPNEST_TEST_MAIN(ExplorerTest)
#include "tst_explorer.moc"
