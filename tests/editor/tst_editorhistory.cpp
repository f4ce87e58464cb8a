#include "appcontext.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "insertdialogs.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

namespace {

enum class Edit { Bold, PastedHtml, InsertedLink, InsertedPicture };

} // namespace

class EditorHistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void undoAndRedoGoThroughTheEnginesHistory_data();
    void undoAndRedoGoThroughTheEnginesHistory();
};

void EditorHistoryTest::undoAndRedoGoThroughTheEnginesHistory_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("made");
    QTest::newRow("formatting") << Edit::Bold << QStringLiteral("<b>");
    QTest::newRow("pasted HTML") << Edit::PastedHtml << QStringLiteral("<i>pasted</i>");
    QTest::newRow("inserted link") << Edit::InsertedLink << QStringLiteral("href=\"https://example.org/\"");
    QTest::newRow("inserted picture") << Edit::InsertedPicture << QStringLiteral("<img");
}

void EditorHistoryTest::undoAndRedoGoThroughTheEnginesHistory()
{
    QFETCH(Edit, edit);
    QFETCH(QString, made);
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};
    auto *editor = new TEditorForm(context, database);
    editor->askYesNo = [](const QString &) { return true; };
    editor->showMessage = [](const QString &) {};
    editor->runLinkDialog = [](TAddLinkForm &dialog) {
        dialog.urlEdit->setText(QStringLiteral("https://example.org/"));
        return true;
    };
    // A picture that is not there: the insertion is undone all the same.
    const QString absentPicture = folder.path() + QStringLiteral("absent.png");
    editor->runImageDialog = [absentPicture](TAddImageForm &dialog) {
        dialog.urlEdit->setText(absentPicture);
        return true;
    };
    editor->show();
    editor->PrefillFromCapture(QStringLiteral("<p id=\"p\">some words</p>"), QStringLiteral("Undo"));
    TExWebBrowser *view = editor->content();
    view->RunScript(QStringLiteral("document.body.focus();"
                                   "var r = document.createRange(); r.selectNodeContents(document.getElementById('p'));"
                                   "getSelection().removeAllRanges(); getSelection().addRange(r); true"));
    const QString before = view->BodyInnerHtml();

    switch (edit) {
    case Edit::Bold:
        editor->findChild<QToolButton *>(QStringLiteral("Bold"))->click();
        break;
    case Edit::PastedHtml:
        view->PasteHtml(QStringLiteral("<i>pasted</i>"));
        break;
    case Edit::InsertedLink:
        editor->AddLinkClick();
        break;
    case Edit::InsertedPicture:
        editor->AddImageClick();
        break;
    }
    const QString after = view->BodyInnerHtml();
    QVERIFY2(after.contains(made), qPrintable(after));

    auto *undo = editor->findChild<QAction *>(QStringLiteral("UndoAct"));
    auto *redo = editor->findChild<QAction *>(QStringLiteral("RedoAct"));
    QCOMPARE(undo->shortcuts(), QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Z"))});
    QCOMPARE(redo->shortcuts(),
             QList<QKeySequence>({QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))}));
    editor->findChild<QToolButton *>(QStringLiteral("Undo"))->click();
    QCOMPARE(view->BodyInnerHtml(), before);
    redo->trigger();
    QCOMPARE(view->BodyInnerHtml(), after);
    delete editor;
}

QTEST_MAIN(EditorHistoryTest)
#include "tst_editorhistory.moc"
