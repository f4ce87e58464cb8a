// The trash in the explorer: deleting moves a note there with an Undo in the
// status bar, the trash node lists it, and restoring, deleting and emptying
// act on it; every delete question defaults to No.
#include "explorerfixture.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "notetrash.h"
#include "trashcommands.h"
#include "trashview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Work > Plans (tag 2) holds note 1, with its file.
struct TrashFixture : Fixture
{
    TrashFixture()
    {
        tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 1);
        tag(2, QStringLiteral("Plans"), 2, QStringLiteral("Work,Plans"), 1, 1);
        note(1, QStringLiteral("Doomed"), 2, writeNoteFile(QStringLiteral("d.html"), QStringLiteral("Doomed body")));
    }

    int stored() { return count(QStringLiteral("select count(*) from note")); }
    int trashed() { return count(QStringLiteral("select count(*) from trashednote")); }
};

void deleteFirstNote(TMainForm &explorer)
{
    clickTag(explorer, 2);
    explorer.ShowNote();
    explorer.DelNoteActExecute();
}

} // namespace

class TrashViewTest : public QObject
{
    Q_OBJECT

private slots:
    void deletingMovesToTheTrashAndUndoBringsBack_data();
    void deletingMovesToTheTrashAndUndoBringsBack();
    void theTrashRestoresAndDestroys_data();
    void theTrashRestoresAndDestroys();
    void deleteQuestionsDefaultToNo_data();
    void deleteQuestionsDefaultToNo();
};

void TrashViewTest::deletingMovesToTheTrashAndUndoBringsBack_data()
{
    QTest::addColumn<bool>("byKeys");
    QTest::newRow("Undo in the status bar") << false;
    QTest::newRow("Ctrl+Z") << true;
}

void TrashViewTest::deletingMovesToTheTrashAndUndoBringsBack()
{
    QFETCH(bool, byKeys);
    TrashFixture f;
    TMainForm explorer(f.context, f.database);
    explorer.askYesNo = [](const QString &) { return true; };
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    explorer.LoadTagTree(QString());
    deleteFirstNote(explorer);
    QCOMPARE(f.stored(), 0);
    QCOMPARE(f.trashed(), 1);
    QCOMPARE(captions(explorer.TagTreeView_()), QStringList({QStringLiteral("Work(0)"), QStringLiteral("  Plans(0)")}));
    QCOMPARE(explorer.trashView()->node()->topLevelItem(0)->text(0), QStringLiteral("Trash (1)"));
    QLabel *notice = explorer.trashCommands().notice();
    QVERIFY(notice->isVisible());
    QCOMPARE(QTextDocumentFragment::fromHtml(notice->text()).toPlainText(),
             QStringLiteral("Note moved to the trash. Undo"));

    if (byKeys) {
        explorer.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&explorer));
        explorer.noteList()->setFocus();
        QTest::keyClick(explorer.noteList(), Qt::Key_Z, Qt::ControlModifier);
    } else {
        emit notice->linkActivated(QStringLiteral("undo"));
    }
    QCOMPARE(f.stored(), 1);
    QCOMPARE(f.trashed(), 0);
    QVERIFY(!notice->isVisible());
    QCOMPARE(captions(explorer.TagTreeView_()), QStringList({QStringLiteral("Work(1)"), QStringLiteral("  Plans(1)")}));
    QCOMPARE(explorer.currentNoteId(), 1);
    QCOMPARE(explorer.trashView()->node()->topLevelItem(0)->text(0), QStringLiteral("Trash (0)"));
}

void TrashViewTest::theTrashRestoresAndDestroys_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("storedAfter");
    QTest::newRow("Enter restores") << QStringLiteral("enter") << 1;
    QTest::newRow("Restore restores") << QStringLiteral("restore") << 1;
    QTest::newRow("Delete deletes for good") << QStringLiteral("delete") << 0;
    QTest::newRow("Empty trash deletes for good") << QStringLiteral("empty") << 0;
}

void TrashViewTest::theTrashRestoresAndDestroys()
{
    QFETCH(QString, how);
    QFETCH(int, storedAfter);
    TrashFixture f;
    TMainForm explorer(f.context, f.database);
    explorer.askYesNo = [](const QString &) { return true; };
    explorer.LoadTagTree(QString());
    deleteFirstNote(explorer);
    // The node of the note is gone meanwhile: a restore makes it again.
    clickTag(explorer, 2);
    explorer.DeleteTagActExecute();
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags where tagid=2")), 0);
    QTest::mouseClick(
        explorer.trashView()->node()->viewport(), Qt::LeftButton, {},
        explorer.trashView()->node()->visualItemRect(explorer.trashView()->node()->topLevelItem(0)).center());
    QVERIFY(explorer.trashCommands().isTrashShown());
    TrashView *view = explorer.trashView();
    QCOMPARE(view->list()->topLevelItemCount(), 1);
    QCOMPARE(view->list()->topLevelItem(0)->text(2), QStringLiteral("Work,Plans"));
    QVERIFY(explorer.content()->DocumentUrl().contains(QStringLiteral("trash/1/12-01-2026/d.html")));
    if (how == QLatin1String("enter"))
        QTest::keyClick(view->list(), Qt::Key_Return);
    else if (how == QLatin1String("restore"))
        view->restoreButton()->click();
    else if (how == QLatin1String("delete"))
        QTest::keyClick(view->list(), Qt::Key_Delete);
    else
        view->emptyButton()->click();
    QCOMPARE(f.stored(), storedAfter);
    QCOMPARE(f.trashed(), 0);
    QCOMPARE(view->list()->topLevelItemCount(), 0);
    QCOMPARE(QFileInfo::exists(f.context.dataFolder + QStringLiteral("12-01-2026/d.html")), storedAfter == 1);
    QVERIFY(!QFileInfo::exists(f.context.trashFolder() + QStringLiteral("1")));
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags where tagname='Plans' and childcount=1")), storedAfter);
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=1")), storedAfter);
    // A click on a node brings its notes back in place of the trash.
    clickTag(explorer, 1);
    QVERIFY(!explorer.trashCommands().isTrashShown());
}

void TrashViewTest::deleteQuestionsDefaultToNo_data()
{
    QTest::addColumn<QString>("question");
    QTest::newRow("delete a note") << QStringLiteral("note");
    QTest::newRow("delete a trashed note") << QStringLiteral("trashed");
    QTest::newRow("empty the trash") << QStringLiteral("empty");
}

// Enter alone on the question must not destroy anything.
void TrashViewTest::deleteQuestionsDefaultToNo()
{
    QFETCH(QString, question);
    TrashFixture f;
    TMainForm explorer(f.context, f.database);
    explorer.LoadTagTree(QString());
    if (question != QLatin1String("note")) {
        const auto ownQuestion = explorer.askYesNo;
        explorer.askYesNo = [](const QString &) { return true; };
        deleteFirstNote(explorer);
        explorer.ShowTrash();
        explorer.askYesNo = ownQuestion;
    }
    bool defaultIsNo = false;
    bool asked = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        asked = true;
        defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start(20);
    if (question == QLatin1String("note"))
        deleteFirstNote(explorer);
    else if (question == QLatin1String("trashed"))
        QTest::keyClick(explorer.trashView()->list(), Qt::Key_Delete);
    else
        explorer.trashView()->emptyButton()->click();
    QVERIFY(asked);
    QVERIFY(defaultIsNo);
    QCOMPARE(f.stored() + f.trashed(), 1);
}

CLIPNEST_TEST_MAIN(TrashViewTest)
#include "tst_trashview.moc"
