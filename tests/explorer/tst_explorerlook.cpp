#include "appcontext.h"
#include "dbdatamodule.h"
#include "emptycataloghint.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "notelistwidget.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QtTest>

namespace {

struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};

    void tag(int id, const QString &name, int deep, const QString &path, int parent, int notes)
    {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                              {id, name, deep, path, parent, notes, 0});
        transaction.commit();
    }

    void note(int id, const QString &title, int tagId)
    {
        Transaction transaction(database);
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {id, title, tagId, QStringLiteral("12-01-2026/none.html")});
        transaction.commit();
    }
};

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(50, 50, 54));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(60, 110, 190));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

// The chain of catalog nodes Level1 > ... > Level6 with long names, as the tree holds them.
TagTreeItem *deepChain(TagTreeView &tree)
{
    QTreeWidgetItem *parent = nullptr;
    QString path;
    TagTreeItem *item = nullptr;
    for (int level = 1; level <= 6; ++level) {
        TagRecord record;
        record.tagid = level;
        record.name = QStringLiteral("Level %1 with a long node name").arg(level);
        record.deep = level;
        path += (level > 1 ? QStringLiteral(",") : QString()) + record.name;
        record.path = path;
        record.parentid = level - 1;
        item = new TagTreeItem(record);
        if (parent)
            parent->addChild(item);
        else
            tree.addTopLevelItem(item);
        parent = item;
    }
    tree.expandAll();
    return item;
}

// Counts how often the view measures a row.
class MeasuringDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    mutable int measured = 0;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        ++measured;
        return QStyledItemDelegate::sizeHint(option, index);
    }
};

double luminance(const QColor &colour)
{
    return 0.2126 * colour.redF() + 0.7152 * colour.greenF() + 0.0722 * colour.blueF();
}

} // namespace

// What a person sees and presses in the explorer beyond its commands.
class ExplorerLookTest : public QObject
{
    Q_OBJECT

private slots:
    void dateColumnShowsShortDateAndTime_data();
    void dateColumnShowsShortDateAndTime();
    void noteListColoursComeFromThePalette_data();
    void noteListColoursComeFromThePalette();
    void deepCaptionsCanBeScrolledToAndShowTheirPath();
    void draggingNearAnEdgeScrollsAndMarksTheTarget();
    void keysRenameDeleteAndExit();
    void renameDialogStartsWithTheCurrentName();
    void emptyCatalogShowsHowToStart();
    void captionsOfAWholeTreeChangeWithoutMeasuringEachRow();
};

void ExplorerLookTest::dateColumnShowsShortDateAndTime_data()
{
    QTest::addColumn<QDateTime>("created");
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 9), QTime(15, 42, 7));
    QTest::newRow("midnight") << QDateTime(QDate(2026, 12, 31), QTime(0, 0));
    QTest::newRow("in UTC") << QDateTime(QDate(2026, 1, 2), QTime(8, 5, 59), Qt::UTC);
}

void ExplorerLookTest::dateColumnShowsShortDateAndTime()
{
    QFETCH(QDateTime, created);
    const QLocale system = QLocale::system();
    QString expected = system.toString(created.date(), QLocale::ShortFormat);
    if (created.time() != QTime(0, 0))
        expected += QLatin1Char(' ') + system.toString(created.time(), QLocale::ShortFormat);
    const QString shown = formatCreateDate(created);
    QCOMPARE(shown, expected);
    for (const char *zone : {"UTC", "GMT", "CET", "+00"})
        QVERIFY2(!shown.contains(QLatin1String(zone)), qPrintable(shown));

    // The list itself shows the stored time so.
    Fixture f;
    f.tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 1);
    f.note(1, QStringLiteral("Dated"), 1);
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(1));
    explorer.ShowTagNotes();
    QSqlQuery &query = f.database.runQuery(QStringLiteral("select createdate from note where noteid=1"), {});
    QVERIFY(query.next());
    const QDateTime stored = query.value(0).toDateTime();
    query.finish();
    QCOMPARE(explorer.noteList()->topLevelItem(0)->text(1), formatCreateDate(stored));
}

void ExplorerLookTest::noteListColoursComeFromThePalette_data()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void ExplorerLookTest::noteListColoursComeFromThePalette()
{
    QFETCH(bool, dark);
    NoteListWidget list;
    list.setPalette(dark ? darkPalette()
                         : QPalette(Qt::black, Qt::white, Qt::white, Qt::darkGray, Qt::gray, Qt::black, Qt::white,
                                    Qt::white, Qt::white));
    list.setColumnCount(1);
    list.setHeaderHidden(true);
    list.setRootIsDecorated(false);
    list.resize(300, 200);
    for (const char *title : {"first", "second", "third"})
        list.addTopLevelItem(new QTreeWidgetItem(QStringList(QLatin1String(title))));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QImage shot = list.viewport()->grab().toImage();
    const int rowHeight = list.visualItemRect(list.topLevelItem(0)).height();
    const int x = list.viewport()->width() - 5; // clear of the text
    const QColor first = shot.pixelColor(x, rowHeight / 2);
    const QColor second = shot.pixelColor(x, rowHeight + rowHeight / 2);
    const QColor empty = shot.pixelColor(x, list.viewport()->height() - 5);
    const QColor base = list.palette().color(QPalette::Base);

    // The empty area and the second row are the list's own background; the first row is a shade of it.
    QCOMPARE(empty, base);
    QCOMPARE(second, base);
    QVERIFY(first != second);
    if (!dark)
        QVERIFY(luminance(first) < luminance(second)); // the first row is the grey one
    // The text stands out from every row.
    const QColor text = list.palette().color(QPalette::Text);
    QVERIFY(std::abs(luminance(text) - luminance(first)) > 0.5);
    QVERIFY(std::abs(luminance(text) - luminance(second)) > 0.5);
}

void ExplorerLookTest::deepCaptionsCanBeScrolledToAndShowTheirPath()
{
    TagTreeView tree;
    tree.resize(185, 300);
    TagTreeItem *deepest = deepChain(tree);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QTRY_VERIFY(tree.horizontalScrollBar()->maximum() > 0);
    // The whole caption is laid out: nothing is cut with "...".
    QVERIFY(tree.visualItemRect(deepest).right() - tree.horizontalScrollBar()->maximum() <
            tree.viewport()->width() + tree.fontMetrics().horizontalAdvance(deepest->text(0)));
    // The column is as wide as its widest caption.
    QVERIFY(tree.columnWidth(0) >= tree.visualItemRect(deepest).left() + tree.horizontalScrollBar()->value() +
                                       tree.fontMetrics().horizontalAdvance(deepest->text(0)));
    // The path of names as written, whatever case the stored path has.
    deepest->record.path = deepest->record.path.toLower();
    QCOMPARE(deepest->toolTip(0).toLower(), deepest->record.path);
    QVERIFY(deepest->toolTip(0).startsWith(QStringLiteral("Level 1 with a long node name,Level 2")));
}

void ExplorerLookTest::draggingNearAnEdgeScrollsAndMarksTheTarget()
{
    TagTreeView tree;
    tree.resize(200, 180);
    for (int i = 1; i <= 60; ++i) {
        TagRecord record;
        record.tagid = i;
        record.name = QStringLiteral("Node %1").arg(i);
        record.path = record.name;
        tree.addTopLevelItem(new TagTreeItem(record));
    }
    tree.acceptsDrop = [](QObject *, TagTreeItem *) { return true; };
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QCOMPARE(tree.verticalScrollBar()->value(), 0);

    // Over a row in the middle: that row is marked.
    QMimeData data;
    const QPoint middle(40, tree.viewport()->height() / 2);
    QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    const QRect targetRow = tree.visualItemRect(tree.itemAt(middle));
    const QImage before = tree.viewport()->grab(targetRow).toImage();
    QDragMoveEvent over(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &over);
    QVERIFY(over.isAccepted());
    QTRY_VERIFY(tree.viewport()->grab(targetRow).toImage() != before);

    // Held at the bottom edge: the tree scrolls towards the rows below.
    const QPoint bottom(40, tree.viewport()->height() - 3);
    QDragMoveEvent atEdge(bottom, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &atEdge);
    QTRY_VERIFY(tree.verticalScrollBar()->value() > 0);
    QDragLeaveEvent leave;
    QApplication::sendEvent(tree.viewport(), &leave);
}

void ExplorerLookTest::keysRenameDeleteAndExit()
{
    Fixture f;
    f.tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 1);
    f.tag(2, QStringLiteral("Empty"), 1, QStringLiteral("Empty"), 0, 0);
    f.note(1, QStringLiteral("Plan"), 1);
    TMainForm explorer(f.context, f.database);
    explorer.show();
    explorer.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&explorer));
    explorer.LoadTagTree(QString());
    QStringList captions;
    explorer.askText = [&](const QString &caption, const QString &, bool *ok) {
        captions << caption;
        *ok = true;
        return QStringLiteral("Renamed");
    };
    int questions = 0;
    explorer.askYesNo = [&](const QString &) {
        ++questions;
        return false;
    };
    QStringList messages;
    explorer.showMessage = [&](const QString &message) { messages << message; };
    bool exited = false;
    explorer.exitProgram = [&] { exited = true; };
    TagTreeView *tree = explorer.TagTreeView_();

    // F2 and Delete act on the node when the tree has the focus.
    tree->setFocus();
    tree->setCurrentItem(tree->findTag(1));
    QTest::keyClick(tree, Qt::Key_F2);
    QCOMPARE(captions, QStringList(f.context.messages.shown(QStringLiteral("RenameTagCaption"))));
    QCOMPARE(tree->findTag(1)->record.name, QStringLiteral("Renamed"));
    tree->setCurrentItem(tree->findTag(2));
    QTest::keyClick(tree, Qt::Key_Delete);
    QVERIFY(!tree->findTag(2));
    // A node with notes is kept, with the same message as the menu gives.
    tree->setCurrentItem(tree->findTag(1));
    QTest::keyClick(tree, Qt::Key_Delete);
    QVERIFY(tree->findTag(1));
    QCOMPARE(messages, QStringList(f.context.messages.shown(QStringLiteral("CannotDelTag"))));

    // ... and on the note when the list has it, with the same question as the menu.
    tree->setCurrentItem(tree->findTag(1));
    explorer.ShowTagNotes();
    explorer.noteList()->setFocus();
    explorer.noteList()->setCurrentItem(explorer.noteList()->topLevelItem(0));
    QTest::keyClick(explorer.noteList(), Qt::Key_F2);
    QCOMPARE(captions.size(), 2);
    QCOMPARE(explorer.noteList()->topLevelItem(0)->text(0), QStringLiteral("Renamed"));
    QTest::keyClick(explorer.noteList(), Qt::Key_Delete);
    QCOMPARE(questions, 1);
    QCOMPARE(f.database.queryInteger(QStringLiteral("select count(*) from note")), 1); // answered no

    // Ctrl+Q ends the program; the desktops' Ctrl+Alt+T and Ctrl+Alt+D have companions.
    QTest::keyClick(&explorer, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(exited);
    const auto *addNode = explorer.findChild<QAction *>(QStringLiteral("AddTagAct"));
    const auto *deleteNode = explorer.findChild<QAction *>(QStringLiteral("DeleteTagAct"));
    QCOMPARE(addNode->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+T")));
    QVERIFY(addNode->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Shift+T"))));
    QCOMPARE(deleteNode->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+D")));
    QVERIFY(deleteNode->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Shift+D"))));
}

void ExplorerLookTest::renameDialogStartsWithTheCurrentName()
{
    Fixture f;
    f.tag(1, QStringLiteral("Projects"), 1, QStringLiteral("Projects"), 0, 0);
    TMainForm explorer(f.context, f.database);
    explorer.show();
    explorer.LoadTagTree(QString());
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(1));
    QString offered;
    int width = 0;
    int captionWidth = 0;
    QTimer::singleShot(200, [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        offered = dialog->textValue();
        width = dialog->width();
        captionWidth = dialog->fontMetrics().horizontalAdvance(dialog->windowTitle());
        dialog->reject();
    });
    explorer.RenameTagActExecute();
    QCOMPARE(offered, QStringLiteral("Projects"));
    QVERIFY(width >= 340 && width > captionWidth + 100);
    QCOMPARE(explorer.TagTreeView_()->findTag(1)->record.name, QStringLiteral("Projects")); // cancelled
}

void ExplorerLookTest::emptyCatalogShowsHowToStart()
{
    Fixture f;
    TMainForm explorer(f.context, f.database);
    explorer.show();
    explorer.LoadTagTree(QString());
    auto *hint = explorer.findChild<EmptyCatalogHint *>();
    QVERIFY(hint);
    QVERIFY(hint->isVisible());
    QVERIFY(hint->text().contains(QStringLiteral("drop box")));
    QVERIFY(hint->text().contains(QStringLiteral("Ctrl+N")));
    QCOMPARE(hint->geometry(), explorer.content()->rect());

    explorer.askText = [](const QString &, const QString &, bool *ok) {
        *ok = true;
        return QStringLiteral("Inbox");
    };
    explorer.AddTagActExecute();
    QVERIFY(!hint->isVisible());
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->topLevelItem(0));
    explorer.DeleteTagActExecute();
    QVERIFY(hint->isVisible());
}

void ExplorerLookTest::captionsOfAWholeTreeChangeWithoutMeasuringEachRow()
{
    // Every node's caption changes when a title search starts and ends. The
    // column is sized to its widest caption; measuring up to a thousand rows
    // for each changed caption took minutes at 50,000 nodes.
    constexpr int Nodes = 2000;
    QList<TagRecord> rows;
    QString path;
    // A chain of long names on top, where the column's width is measured.
    for (int level = 1; level <= 6; ++level) {
        const QString name = QStringLiteral("Level %1 with a long node name").arg(level);
        path += (level > 1 ? QStringLiteral(",") : QString()) + name;
        rows << TagRecord{.tagid = level, .name = name, .deep = level, .path = path, .parentid = level - 1};
    }
    for (int id = 7; id < 7 + Nodes; ++id)
        rows << TagRecord{.tagid = id,
                          .name = QStringLiteral("Node %1").arg(id),
                          .deep = 1,
                          .path = QStringLiteral("node %1").arg(id),
                          .parentid = 0,
                          .childcount = 1};
    TagTreeView tree;
    tree.resize(300, 600);
    tree.loadFull(rows);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QCoreApplication::processEvents();
    MeasuringDelegate delegate;
    tree.setItemDelegate(&delegate);
    QCoreApplication::processEvents();
    delegate.measured = 0;

    TagTreeItem *deepest = tree.findTag(6);
    for (TagTreeItem *tag : tree.allTags())
        tag->record.childcount += 1000000;
    tree.showStoredCounts();
    QCOMPARE(tree.findTag(Nodes)->text(0), QStringLiteral("Node %1(1000001)").arg(Nodes));
    QCOMPARE(deepest->text(0), QStringLiteral("Level 6 with a long node name(1000000)"));
    QVERIFY2(delegate.measured < 5 * Nodes, qPrintable(QString::number(delegate.measured)));
    // The column widened with the captions.
    QVERIFY(tree.columnWidth(0) >= tree.visualItemRect(deepest).left() + tree.horizontalScrollBar()->value() +
                                       tree.fontMetrics().horizontalAdvance(deepest->text(0)));
    tree.setItemDelegate(nullptr);
}

CLIPNEST_TEST_MAIN(ExplorerLookTest)
#include "tst_explorerlook.moc"
