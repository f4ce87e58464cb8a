#include "dbdatamodule.h"
#include "explorerfixture.h"
#include "mainform.h"
#include "tagtreeview.h"

#include <QTreeWidget>
#include <QtTest>

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

// The explorer's commands on catalog nodes: adding, choosing an icon, renaming,
// deleting and moving nodes, and moving notes onto them.
class CatalogCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void addNodeCreatesAndLocatesNodes();
    void setIconStoresTheIndex();
    void renamingRewritesPathsBelow();
    void deletingNodes();
    void draggingANodeMovesCountsPathsAndLevels();
    void nodeDropsOntoItselfOrBelowAreRefused();
    void draggingANoteRefilesIt();
};

void CatalogCommandsTest::addNodeCreatesAndLocatesNodes()
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

void CatalogCommandsTest::setIconStoresTheIndex()
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

void CatalogCommandsTest::renamingRewritesPathsBelow()
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

void CatalogCommandsTest::deletingNodes()
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

void CatalogCommandsTest::draggingANodeMovesCountsPathsAndLevels()
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

void CatalogCommandsTest::nodeDropsOntoItselfOrBelowAreRefused()
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

void CatalogCommandsTest::draggingANoteRefilesIt()
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

CLIPNEST_TEST_MAIN(CatalogCommandsTest)
#include "tst_catalogcommands.moc"
