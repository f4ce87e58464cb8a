#include "appcontext.h"
#include "attachlistitem.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fontsizes.h"
#include "insertdialogs.h"
#include "notesavedreceiver.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

QString todayFolder(const AppContext &context)
{
    return context.dataFolder + QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy"));
}

// Stands in for the explorer: remembers what it was told.
class SavedNotes : public QWidget, public NoteSavedReceiver
{
public:
    void NoteSaved(int noteId, int tagId) override { received << qMakePair(noteId, tagId); }
    QList<QPair<int, int>> received;
};

struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};
    SavedNotes explorer;
    int questions = 0;
    bool answer = true;
    QStringList messages;

    // A new editor whose questions and messages are answered here.
    TEditorForm *editor()
    {
        auto *editor = new TEditorForm(context, database);
        editor->setExplorerWindow(&explorer);
        editor->askYesNo = [this](const QString &) {
            ++questions;
            return answer;
        };
        editor->showMessage = [this](const QString &message) { messages << message; };
        editor->show();
        return editor;
    }

    QString sourceFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = folder.path() + QStringLiteral("outside/") + name;
        QDir().mkpath(folder.path() + QStringLiteral("outside"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    int count(const QString &sql) { return database.queryInteger(sql); }

    // The data folder on a small disk of its own, with the note template.
    void useDataFolderOn(const SmallDisk &disk)
    {
        context.dataFolder = disk.path() + QStringLiteral("data/");
        QVERIFY(QDir().mkpath(context.dataFolder));
        QVERIFY(QFile::copy(folder.dataFolder() + QStringLiteral("template.html"),
                            context.dataFolder + QStringLiteral("template.html")));
    }
};

bool closeEditor(TEditorForm *editor)
{
    QPointer<TEditorForm> guard(editor);
    const bool closed = editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return closed && !guard;
}

} // namespace

class EditorTest : public QObject
{
    Q_OBJECT

private slots:
    void opensOnTodaysTemplateInEditMode();
    void emptyNoteClosesWithoutQuestion();
    void emptyNoteWithAttachmentsAsks();
    void savingWritesFileRowAndCatalog();
    void rowIsRewrittenOnlyWhenTitleOrCatalogChanged();
    void failedSaveStoresNothingAndKeepsTheWindowOpen();
    void longTitlesAreCutToTheColumn_data();
    void longTitlesAreCutToTheColumn();
    void missingNoteFileOpensAsNewNote();
    void attachmentsAreCopiedNamedAndStored();
    void backspaceDeletesTheSelectedAttachment();
    void editModeOffSavesAndLocksTheFields();
    void fontSizes_data();
    void fontSizes();
    void insertedAddresses_data();
    void insertedAddresses();
    void insertingPicturesAndLinks();
    void propertiesEditTheElementAtTheCaret();
    void screenCaptureIsStoredAndAppended();
    void highlighterWrapsTheSelectionAsText();
    void catalogFieldSuggestsKnownPaths();
    void hostileNoteNeverReplacesItself_data();
    void hostileNoteNeverReplacesItself();
    void viewMovedAwayIsNeverSaved();
    void fullDiskKeepsNoteAndWindow();
    void noTemplateOnAFullDiskIsToldWithItsPlace();
};

void EditorTest::opensOnTodaysTemplateInEditMode()
{
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    QVERIFY(QFile::exists(todayFolder(f.context) + QStringLiteral("/template.html")));
    QVERIFY(QDir(todayFolder(f.context) + QStringLiteral("/images")).exists());
    QCOMPARE(editor->content()->url().toLocalFile(), todayFolder(f.context) + QStringLiteral("/template.html"));
    QVERIFY(editor->content()->DesignMode());
    QVERIFY(editor->inEditMode());
    QVERIFY(editor->noteFileName().isEmpty());
    QVERIFY(!editor->titleChanged() && !editor->tagsChanged());
    QVERIFY(!editor->content()->acceptDrops());
    QVERIFY(editor->acceptDrops());
    QVERIFY(closeEditor(editor));
}

void EditorTest::emptyNoteClosesWithoutQuestion()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("   \n  "), QStringLiteral("Blank"));
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.questions, 0);
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 0);
    QVERIFY(f.explorer.received.isEmpty());
    QVERIFY(QFile::exists(todayFolder(f.context) + QStringLiteral("/template.html")));
}

void EditorTest::emptyNoteWithAttachmentsAsks()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->AddAttachment(f.sourceFile(QStringLiteral("a.txt"), "abc"));
    f.answer = false;
    QVERIFY(!closeEditor(editor));
    QCOMPARE(f.questions, 1);
    f.answer = true;
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.questions, 2);
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment")), 0);
    // The copy belonged to a note that was never saved: it goes with the window.
    QVERIFY(!QFile::exists(todayFolder(f.context) + QStringLiteral("/attaches/a.txt")));
    QVERIFY(QDir(f.context.pendingFolder()).isEmpty());
}

void EditorTest::savingWritesFileRowAndCatalog()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>Caf\u00e9 \u4e2d\u6587 <img src=\"images/x.png\"></p>"),
                               QStringLiteral("  Tom's note  "));
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);

    QSqlQuery &note = f.database.runQuery(QStringLiteral("select * from note"));
    QVERIFY(note.next());
    QCOMPARE(fieldText(note, "title"), QStringLiteral("Tom's note")); // trimmed on insert
    const QString file = fieldText(note, "filename");
    const int tagId = fieldInt(note, "tagid");
    note.finish();
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d-\\d\\d-\\d{4}/\\d{18}\\.html$")).match(file).hasMatch());

    // Filed under "untagged", made by this save.
    QSqlQuery &tag = f.database.runQuery(QStringLiteral("select * from tags where tagid=?"), {tagId});
    QVERIFY(tag.next());
    QCOMPARE(fieldText(tag, "tagname"), QStringLiteral("untagged"));
    QCOMPARE(fieldInt(tag, "childcount"), 1);
    tag.finish();
    const QList<QPair<int, int>> told{qMakePair(1, tagId)};
    QCOMPARE(f.explorer.received, told);
    QCOMPARE(f.context.catalogPaths, QStringList({QStringLiteral("untagged")}));

    QFile saved(f.context.dataFolder + file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(saved.readAll());
    QVERIFY(html.contains(QStringLiteral("charset=\"utf-8\""), Qt::CaseInsensitive) ||
            html.contains(QStringLiteral("charset=utf-8"), Qt::CaseInsensitive));
    QVERIFY(html.contains(QStringLiteral("Caf\u00e9 \u4e2d\u6587")));
    QVERIFY(html.contains(QStringLiteral("src=\"images/x.png\"")));
    QVERIFY(!html.contains(QStringLiteral("file://")));
}

void EditorTest::rowIsRewrittenOnlyWhenTitleOrCatalogChanged()
{
    Fixture f;
    TEditorForm *first = f.editor();
    const QString source = QStringLiteral("https://example.org/body");
    first->PrefillFromCapture(QStringLiteral("<p>Body</p>"), QStringLiteral("Title"), source);
    first->tagsEdit()->setText(QStringLiteral("Work"));
    QVERIFY(first->SaveNote());
    QCOMPARE(first->noteId(), 1);
    const QString path = first->noteFolder() + QLatin1Char('/') + first->noteFileName();
    QVERIFY(closeEditor(first));

    // Mark the row so that a rewrite shows.
    auto mark = [&] {
        Transaction transaction(f.database);
        f.database.runStatement(QStringLiteral("update note set title='marked' where noteid=1"));
        transaction.commit();
    };
    auto title = [&] {
        QSqlQuery &query = f.database.runQuery(QStringLiteral("select title from note where noteid=1"));
        const QString text = query.next() ? query.value(0).toString() : QString();
        query.finish();
        return text;
    };

    TEditorForm *second = f.editor();
    second->LoadNote(1, path, 1, QStringLiteral("Title"), QStringLiteral("Work"));
    QCOMPARE(second->titleEdit()->text(), QStringLiteral("Title"));
    QCOMPARE(second->sourceEdit()->text(), source);
    QVERIFY(second->content()->BodyInnerHtml().contains(QStringLiteral("Body")));
    mark();
    QVERIFY(second->SaveNote()); // the fields were set by the load: the row is rewritten
    QCOMPARE(title(), QStringLiteral("Title"));
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=1")), 1);

    mark();
    QVERIFY(second->SaveNote()); // nothing changed since: the row stays
    QCOMPARE(title(), QStringLiteral("marked"));

    second->titleEdit()->setText(QStringLiteral("  New title "));
    QVERIFY(second->SaveNote());
    QCOMPARE(title(), QStringLiteral("  New title ")); // untrimmed on update

    second->tagsEdit()->setText(QStringLiteral("Home"));
    QVERIFY(second->SaveNote());
    QCOMPARE(f.count(QStringLiteral("select tagid from note where noteid=1")), 2);
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=1")), 0);
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagid=2")), 1);
    QCOMPARE(f.database.noteSource(1), source); // retitled and refiled, the note keeps where it came from
    QVERIFY(closeEditor(second));
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);
}

void EditorTest::failedSaveStoresNothingAndKeepsTheWindowOpen()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->AddAttachment(f.sourceFile(QStringLiteral("kept.txt"), "abc"));
    editor->PrefillFromCapture(QStringLiteral("<p>Precious text</p>"), QStringLiteral("Title"));
    // A name longer than its column: the engine refuses the node, after the note's
    // parent was found, so the filing, the note row and the attachment row go together.
    editor->tagsEdit()->setText(QStringLiteral("Work,") + QString(600, QLatin1Char('n')));
    QVERIFY(!closeEditor(editor));
    QCOMPARE(f.messages.size(), 1);
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 0);
    QCOMPARE(f.count(QStringLiteral("select count(*) from tags")), 0);
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment")), 0);
    QVERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("Precious text")));
    const QString written = editor->noteFolder() + QLatin1Char('/') + editor->noteFileName();
    QVERIFY(!QFile::exists(written)); // no file without its row
    QVERIFY(QFile::exists(todayFolder(f.context) + QStringLiteral("/attaches/kept.txt")));

    editor->tagsEdit()->setText(QStringLiteral("Work"));
    QVERIFY(closeEditor(editor));
    // The catalog counts the note once, however many tries the save took.
    QCOMPARE(f.count(QStringLiteral("select childcount from tags where tagname='Work'")), 1);
    QSqlQuery &note = f.database.runQuery(QStringLiteral("select filename from note"));
    QVERIFY(note.next());
    QCOMPARE(f.context.dataFolder + note.value(0).toString(), written);
    note.finish();
    QVERIFY(QFile::exists(written));
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment where noteid=1")), 1);
    QVERIFY(QDir(f.context.pendingFolder()).isEmpty());
}

void EditorTest::longTitlesAreCutToTheColumn_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("stored");
    const QString plain(2100, QLatin1Char('t'));
    QTest::newRow("2,100 letters") << plain << plain.left(2000);
    // A character outside the basic plane is one character for the column, two for QString.
    const QString clef = QString::fromUcs4(U"\U0001D11E");
    QTest::newRow("wide characters kept whole")
        << QString(1999, QLatin1Char('a')) + clef + clef << QString(1999, QLatin1Char('a')) + clef;
    // A letter and its combining accent stay together or go together.
    const QString accented = QStringLiteral("e\u0301");
    QTest::newRow("no accent cut from its letter")
        << QString(1999, QLatin1Char('a')) + accented << QString(1999, QLatin1Char('a'));
}

void EditorTest::longTitlesAreCutToTheColumn()
{
    QFETCH(QString, title);
    QFETCH(QString, stored);
    Fixture f;
    TEditorForm *editor = f.editor();
    // A captured page's title has no length limit.
    editor->PrefillFromCapture(QStringLiteral("<p>Long title</p>"), title);
    QVERIFY(closeEditor(editor));
    QVERIFY(f.messages.isEmpty());
    QSqlQuery &note = f.database.runQuery(QStringLiteral("select title from note where noteid=1"));
    QVERIFY(note.next());
    QCOMPARE(note.value(0).toString(), stored);
    note.finish();
}

void EditorTest::missingNoteFileOpensAsNewNote()
{
    Fixture f;
    {
        Transaction transaction(f.database);
        f.database.runStatement(
            QStringLiteral("insert into attachment values (1, 7, 'kept.txt', '12-01-2026/attaches/')"));
        transaction.commit();
    }
    TEditorForm *editor = f.editor();
    editor->LoadNote(7, f.context.dataFolder + QStringLiteral("12-01-2026/gone.html"), 3, QStringLiteral("Gone"),
                     QStringLiteral("Work"));
    QCOMPARE(editor->noteId(), 0);
    QVERIFY(editor->titleEdit()->text().isEmpty());
    QCOMPARE(editor->attachList()->topLevelItemCount(), 1);
    QVERIFY(closeEditor(editor));
}

void EditorTest::attachmentsAreCopiedNamedAndStored()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    const QString report = f.sourceFile(QStringLiteral("report.doc"), QByteArray(12345, 'r'));
    editor->AddAttachment(report);
    editor->AddAttachment(report);
    QTreeWidget *list = editor->attachList();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("report.doc"));
    QVERIFY(
        QRegularExpression(QStringLiteral("^\\d{1,3}report\\.doc$")).match(list->topLevelItem(1)->text(0)).hasMatch());
    QCOMPARE(list->topLevelItem(0)->text(1), todayFolder(f.context) + QStringLiteral("/attaches/"));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("12,345"));
    QVERIFY(editor->noteFileName().isEmpty()); // only the folder is known so far
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment")), 0);

    editor->PrefillFromCapture(QStringLiteral("<p>With files</p>"), QStringLiteral("Files"));
    QVERIFY(editor->SaveNote());
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment where noteid=1")), 2);
    QCOMPARE(f.count(QStringLiteral("select max(attid) from attachment")), 2);

    // Stored at once for a stored note.
    editor->AddAttachment(f.sourceFile(QStringLiteral("later.txt"), "x"));
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment where noteid=1")), 3);

    // Deleting right after the first save removes the file and the row.
    list->setCurrentItem(list->topLevelItem(0));
    const QString firstCopy = static_cast<AttachListItem *>(list->topLevelItem(0))->filePath();
    editor->DeleteSelectedAttachment();
    QVERIFY(!QFile::exists(firstCopy));
    QCOMPARE(f.count(QStringLiteral("select count(*) from attachment where noteid=1")), 2);
    QVERIFY(QFile::exists(report)); // the user's own file is never touched
    QVERIFY(closeEditor(editor));
}

void EditorTest::backspaceDeletesTheSelectedAttachment()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->AddAttachment(f.sourceFile(QStringLiteral("one.txt"), "1"));
    QTreeWidget *list = editor->attachList();
    list->setCurrentItem(list->topLevelItem(0));
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->topLevelItemCount(), 1);
    QTest::keyClick(list, Qt::Key_Backspace);
    QCOMPARE(list->topLevelItemCount(), 0);
    QVERIFY(!QFile::exists(todayFolder(f.context) + QStringLiteral("/attaches/one.txt")));
    QVERIFY(closeEditor(editor));
}

void EditorTest::editModeOffSavesAndLocksTheFields()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>Switch</p>"), QStringLiteral("Mode"));
    editor->editModeButton()->click();
    QVERIFY(!editor->inEditMode());
    QVERIFY(!editor->content()->DesignMode());
    QVERIFY(editor->titleEdit()->isReadOnly());
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);
    editor->editModeButton()->click();
    QVERIFY(editor->content()->DesignMode());
    QVERIFY(!editor->titleEdit()->isReadOnly());
    QVERIFY(closeEditor(editor));
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);
}

void EditorTest::fontSizes_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("size");
    const QList<QPair<int, int>> table{{8, 1},  {9, 2},  {10, 2}, {12, 3}, {14, 4},  {16, 4}, {18, 4}, {24, 5},
                                       {28, 6}, {36, 6}, {37, 7}, {48, 7}, {100, 7}, {0, 7},  {-3, 7}};
    for (const auto &[points, size] : table)
        QTest::newRow(qPrintable(QString::number(points))) << points << size;
}

void EditorTest::fontSizes()
{
    QFETCH(int, points);
    QFETCH(int, size);
    QCOMPARE(htmlFontSize(points), size);
}

void EditorTest::insertedAddresses_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address");
    QTest::newRow("web") << QStringLiteral("https://x.org/a.png") << QStringLiteral("https://x.org/a.png");
    QTest::newRow("capitals are not web")
        << QStringLiteral("HTTP://x.org/a.png") << QStringLiteral("file:///HTTP://x.org/a.png");
    QTest::newRow("backslashes") << QStringLiteral("D:\\pics\\a.jpg") << QStringLiteral("file:///D:/pics/a.jpg");
    QTest::newRow("forward slashes") << QStringLiteral("D:/pics/a.jpg") << QStringLiteral("file:///D:/pics/a.jpg");
    QTest::newRow("local path") << QStringLiteral("/home/me/a.png") << QStringLiteral("file:///home/me/a.png");
}

void EditorTest::insertedAddresses()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    QCOMPARE(noteAddress(typed), address);
}

void EditorTest::insertingPicturesAndLinks()
{
    QCOMPARE(pictureHtml(QStringLiteral("file:///D:/a.jpg"), QStringLiteral("10"), QStringLiteral("20")),
             QStringLiteral("<img src=\"file:///D:/a.jpg\"  width=\"10\"  height=\"20\"  />"));
    QCOMPARE(pictureHtml(QStringLiteral("x\"y"), QString(), QString()), QStringLiteral("<img src=\"x&quot;y\"  />"));

    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p id=\"p\">replace me</p>"), QStringLiteral("Insert"));
    // The selection is replaced by what is inserted.
    editor->content()->RunScript(
        QStringLiteral("var r = document.createRange(); r.selectNodeContents(document.getElementById('p'));"
                       "getSelection().removeAllRanges(); getSelection().addRange(r); true"));
    editor->runLinkDialog = [](TAddLinkForm &dialog) {
        dialog.urlEdit->setText(QStringLiteral("C:\\docs\\a.txt"));
        dialog.anchortextEdit->setText(QStringLiteral("   "));
        return true;
    };
    editor->AddLinkClick();
    QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(!body.contains(QStringLiteral("replace me")), qPrintable(body));
    QVERIFY(body.contains(QStringLiteral("href=\"file:///C:/docs/a.txt\"")));
    QVERIFY(body.contains(QStringLiteral(">C:\\docs\\a.txt</a>"))); // blank anchor: the address as typed

    // A local picture is referred to where it lies (web pictures: tst_webpictures).
    editor->runImageDialog = [](TAddImageForm &dialog) {
        dialog.urlEdit->setText(QStringLiteral("D:\\pics\\a.png"));
        dialog.WidthEdit->setText(QStringLiteral("40"));
        return true;
    };
    editor->AddImageClick();
    body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QStringLiteral("src=\"file:///D:/pics/a.png\"")), qPrintable(body));
    QVERIFY(body.contains(QStringLiteral("width=\"40\"")));
    QVERIFY(!body.contains(QStringLiteral("height=")));

    editor->runImageDialog = [](TAddImageForm &) { return false; }; // cancelled
    const QString before = editor->content()->BodyInnerHtml();
    editor->AddImageClick();
    QCOMPARE(editor->content()->BodyInnerHtml(), before);
    delete editor;
}

void EditorTest::propertiesEditTheElementAtTheCaret()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(
        QStringLiteral("<p id=\"text\">plain words</p>"
                       "<p><a id=\"link\" href=\"http://old.example/\">old text</a></p>"
                       "<p><a id=\"pic\" href=\"http://p.example/\"><img src=\"images/a.png\"></a></p>"
                       "<p><img id=\"img\" src=\"images/b.png\" width=\"30\" height=\"20\"></p>"),
        QStringLiteral("Properties"));
    auto caretIn = [&](const char *id) {
        editor->content()->RunScript(
            QStringLiteral(
                "var e = document.getElementById('%1'); var r = document.createRange();"
                "if (e.firstChild && e.firstChild.nodeType === 3) { r.setStart(e.firstChild, 1); r.collapse(true); }"
                "else r.selectNode(e);"
                "getSelection().removeAllRanges(); getSelection().addRange(r); true")
                .arg(QLatin1String(id)));
    };
    int linkDialogs = 0;
    int imageDialogs = 0;
    editor->runLinkDialog = [&](TAddLinkForm &dialog) {
        ++linkDialogs;
        if (dialog.urlEdit->text() != QLatin1String("http://old.example/") ||
            dialog.anchortextEdit->text() != QLatin1String("old text"))
            return false;
        dialog.urlEdit->setText(QStringLiteral("new.html"));
        dialog.anchortextEdit->setText(QStringLiteral("<b>new</b> text"));
        return true;
    };
    editor->runImageDialog = [&](TAddImageForm &dialog) {
        ++imageDialogs;
        if (dialog.WidthEdit->text() != QLatin1String("30"))
            return false;
        dialog.urlEdit->setText(QStringLiteral("images/c.png"));
        dialog.WidthEdit->clear(); // an empty field keeps the old width
        dialog.HeightEdit->setText(QStringLiteral("25"));
        return true;
    };

    caretIn("text");
    editor->PropertiesClick();
    caretIn("pic");
    editor->PropertiesClick();
    QCOMPARE(linkDialogs + imageDialogs, 0);
    QVERIFY(f.messages.isEmpty());

    caretIn("link");
    editor->PropertiesClick();
    QCOMPARE(linkDialogs, 1);
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QStringLiteral("<a id=\"link\" href=\"new.html\">&lt;b&gt;new&lt;/b&gt; text</a>")),
             qPrintable(body));

    caretIn("img");
    editor->PropertiesClick();
    QCOMPARE(imageDialogs, 1);
    QVERIFY(editor->content()->BodyInnerHtml().contains(
        QStringLiteral("<img id=\"img\" src=\"images/c.png\" width=\"30\" height=\"25\">")));
    delete editor;
}

void EditorTest::screenCaptureIsStoredAndAppended()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    QWidget dropBox;
    dropBox.show();
    editor->setDropBoxWindow(&dropBox);
    editor->PrefillFromCapture(QStringLiteral("<p id=\"first\">first</p><p>last</p>"), QStringLiteral("Snap"));
    bool hiddenWhileGrabbing = false;
    QImage picked(40, 30, QImage::Format_RGB32);
    picked.fill(QColor(200, 30, 30));
    editor->grabScreenRegion = [&] {
        hiddenWhileGrabbing = !editor->isVisible() && !dropBox.isVisible();
        return picked;
    };
    // The caret sits in the middle; the picture still goes to the very end.
    editor->content()->RunScript(
        QStringLiteral("var r = document.createRange(); r.setStart(document.getElementById('first').firstChild, 2);"
                       "getSelection().removeAllRanges(); getSelection().addRange(r); true"));
    editor->setEditMode(false); // the capture works outside edit mode too
    editor->snapClick();
    QVERIFY(hiddenWhileGrabbing);
    QVERIFY(editor->isVisible() && dropBox.isVisible());
    QVERIFY(!editor->noteFileName().isEmpty()); // the capture fixed the note's file
    const QStringList captures =
        QDir(editor->noteFolder() + QStringLiteral("/images")).entryList({QStringLiteral("*.jpg")});
    QCOMPARE(captures.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{18}\\.jpg$")).match(captures.first()).hasMatch());
    const QImage stored(editor->noteFolder() + QStringLiteral("/images/") + captures.first());
    QCOMPARE(stored.size(), picked.size());
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.endsWith(QStringLiteral("<img src=\"images/%1\">").arg(captures.first())), qPrintable(body));

    // Cancelled: nothing stored, nothing inserted.
    editor->grabScreenRegion = [] { return QImage(); };
    editor->snapClick();
    QCOMPARE(QDir(editor->noteFolder() + QStringLiteral("/images")).entryList({QStringLiteral("*.jpg")}).size(), 1);
    QCOMPARE(editor->content()->BodyInnerHtml(), body);
    delete editor;
}

void EditorTest::highlighterWrapsTheSelectionAsText()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p id=\"code\">if (a&lt;b) x();</p>"), QStringLiteral("Code"));
    editor->content()->RunScript(
        QStringLiteral("var r = document.createRange(); r.selectNodeContents(document.getElementById('code'));"
                       "getSelection().removeAllRanges(); getSelection().addRange(r); true"));
    editor->SyntaxHighlighterClick();
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QStringLiteral("<pre class=\"brush:python;c++;java;\">if (a&lt;b) x();</pre>")),
             qPrintable(body));
    delete editor;
}

void EditorTest::catalogFieldSuggestsKnownPaths()
{
    Fixture f;
    f.context.catalogPaths = {QStringLiteral("Work"), QStringLiteral("Work,Projects"), QStringLiteral("Home")};
    TEditorForm *editor = f.editor();
    f.context.catalogPaths << QStringLiteral("Work,Later"); // made after the editor opened: not offered
    QCompleter *completer = editor->tagsEdit()->completer();
    QVERIFY(completer);
    editor->tagsEdit()->setFocus();
    QTest::keyClicks(editor->tagsEdit(), QStringLiteral("Work,"));
    QStringList offered;
    for (bool more = completer->setCurrentRow(0); more; more = completer->setCurrentRow(completer->currentRow() + 1))
        offered << completer->currentCompletion();
    QCOMPARE(offered, QStringList({QStringLiteral("Work,Projects")}));

    completer->popup()->hide();
    editor->tagsEdit()->setText(QStringLiteral("Wo"));
    QTest::keyClick(editor->tagsEdit(), Qt::Key_Down);
    QVERIFY(completer->popup()->isVisible());
    QCOMPARE(completer->completionCount(), 2);
    delete editor;
}

void EditorTest::hostileNoteNeverReplacesItself_data()
{
    QTest::addColumn<QByteArray>("hostile");
    QTest::addColumn<bool>("pressEnter");
    QTest::newRow("meta refresh") << QByteArray("<meta http-equiv=\"refresh\" content=\"1;url=file:///etc/passwd\">")
                                  << false;
    QTest::newRow("Enter in a search form")
        << QByteArray("<form action=\"https://example.org/search\"><input id=\"q\" name=\"q\" value=\"x\"></form>")
        << true;
    QTest::newRow("frame of a local file") << QByteArray("<iframe src=\"file:///etc/passwd\"></iframe>") << false;
}

void EditorTest::hostileNoteNeverReplacesItself()
{
    QFETCH(QByteArray, hostile);
    QFETCH(bool, pressEnter);
    Fixture f;
    const QString folder = todayFolder(f.context);
    QVERIFY(QDir().mkpath(folder));
    const QString notePath = folder + QStringLiteral("/stored.html");
    {
        QFile note(notePath);
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write("<!DOCTYPE html><html><head>" + hostile + "</head><body><p>the stored note</p>" + hostile +
                   "</body></html>");
    }
    TEditorForm *editor = f.editor();
    editor->LoadNote(4, notePath, 1, QStringLiteral("Stored"), QStringLiteral("Work"));
    editor->setEditMode(false); // browsing: forms and refreshes would act now
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    if (pressEnter) {
        editor->content()->RunScript(QStringLiteral("document.getElementById('q').focus(); true"));
        QTest::keyClick(editor->content()->focusProxy(), Qt::Key_Return);
    }
    QTest::qWait(1800);
    QVERIFY(closeEditor(editor));
    QFile saved(notePath);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray html = saved.readAll();
    QVERIFY2(html.contains("the stored note"), html.constData());
    QVERIFY(!html.contains("root:"));
    QVERIFY(f.messages.isEmpty());
}

void EditorTest::viewMovedAwayIsNeverSaved()
{
    Fixture f;
    const QString folder = todayFolder(f.context);
    QVERIFY(QDir().mkpath(folder));
    const QString notePath = folder + QStringLiteral("/stored.html");
    const QString otherPath = folder + QStringLiteral("/other.html");
    for (const auto &[path, text] : {std::pair{notePath, QByteArray("<p>the stored note</p>")},
                                     std::pair{otherPath, QByteArray("<p>another page</p>")}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    TEditorForm *editor = f.editor();
    editor->LoadNote(4, notePath, 1, QStringLiteral("Stored"), QStringLiteral("Work"));
    // Whatever moved it, the view now shows a page that is not the note.
    QSignalSpy moved(editor->content(), &QWebEngineView::loadFinished);
    editor->content()->load(QUrl::fromLocalFile(otherPath));
    QVERIFY(moved.wait(15000));

    // The close tells why nothing can be saved, and the window stays unless the
    // user lets it go unsaved.
    QStringList questions;
    editor->askYesNo = [&](const QString &question) {
        questions << question;
        return false;
    };
    QVERIFY(!closeEditor(editor));
    QCOMPARE(questions.size(), 1);
    QVERIFY2(questions.first().contains(notePath), qPrintable(questions.first()));
    QFile stored(notePath);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), QByteArray("<p>the stored note</p>"));
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 0);

    editor->askYesNo = [](const QString &) { return true; };
    QVERIFY(closeEditor(editor));
}

void EditorTest::fullDiskKeepsNoteAndWindow()
{
    SmallDisk disk(512);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    Fixture f;
    f.useDataFolderOn(disk);
    // About 120 KB stay free.
    const QString fillerPath = disk.path() + QStringLiteral("filler");
    {
        QFile filler(fillerPath);
        QVERIFY(filler.open(QIODevice::WriteOnly));
        QCOMPARE(filler.write(QByteArray(380 * 1024, 'f')), qint64(380 * 1024));
    }

    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>first part %1</p>").arg(QString(40000, QLatin1Char('a'))),
                               QStringLiteral("Long note"));
    QVERIFY(editor->SaveNote());
    const QString notePath = editor->noteFolder() + QLatin1Char('/') + editor->noteFileName();
    QFile note(notePath);
    QVERIFY(note.open(QIODevice::ReadOnly));
    const QByteArray whole = note.readAll();
    note.close();
    QVERIFY(whole.contains("first part"));

    // 200 KB more do not fit: the editor says what failed and where, stays
    // open, and the complete earlier note stays on disk.
    editor->AppendToBody(QStringLiteral("<p>second part %1</p>").arg(QString(200000, QLatin1Char('b'))));
    QVERIFY(!closeEditor(editor));
    QCOMPARE(f.messages.size(), 1);
    QVERIFY2(f.messages.first().contains(notePath) &&
                 f.messages.first().contains(QLatin1String("space"), Qt::CaseInsensitive),
             qPrintable(f.messages.first()));
    QVERIFY(note.open(QIODevice::ReadOnly));
    QCOMPARE(note.readAll(), whole);
    note.close();
    QCOMPARE(f.count(QStringLiteral("select count(*) from note")), 1);

    // An attachment and a screen capture that do not fit leave nothing behind.
    const QString big = f.sourceFile(QStringLiteral("big.bin"), QByteArray(300 * 1024, 'x'));
    try {
        editor->AddAttachment(big);
        QFAIL("copying an attachment onto a full disk reported success");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(big), error.what());
    }
    QCOMPARE(editor->attachList()->topLevelItemCount(), 0);
    QCOMPARE(QDir(editor->noteFolder() + QStringLiteral("/attaches")).entryList(QDir::Files | QDir::Hidden).size(), 0);
    QImage noise(600, 600, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, QRandomGenerator::global()->generate());
    editor->grabScreenRegion = [&] { return noise; };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, editor->snapClick());
    QCOMPARE(QDir(editor->noteFolder() + QStringLiteral("/images")).entryList(QDir::Files | QDir::Hidden).size(), 0);

    // Once there is room again the same window saves the whole note.
    QVERIFY(QFile::remove(fillerPath));
    QVERIFY(closeEditor(editor));
    QVERIFY(note.open(QIODevice::ReadOnly));
    const QByteArray saved = note.readAll();
    QVERIFY(saved.contains("first part") && saved.contains("second part") && saved.contains("</html>"));
}

void EditorTest::noTemplateOnAFullDiskIsToldWithItsPlace()
{
    SmallDisk disk(64);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    Fixture f;
    f.useDataFolderOn(disk);
    QFile filler(disk.path() + QStringLiteral("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
    }
    filler.close();

    // The editor has no document; it says so, naming the copy that failed.
    TEditorForm *editor = f.editor();
    QTRY_COMPARE(f.messages.size(), 1);
    QVERIFY2(f.messages.first().contains(QLatin1String("/template.html")) &&
                 f.messages.first().contains(QLatin1String("space"), Qt::CaseInsensitive),
             qPrintable(f.messages.first()));
    // What a capture put into the view cannot be stored: the save says why.
    editor->PrefillFromCapture(QStringLiteral("<p>captured</p>"), QStringLiteral("Captured"));
    try {
        editor->SaveNote();
        QFAIL("a note without a document was saved");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(QLatin1String("/template.html")), error.what());
    }
    delete editor;
}

CLIPNEST_TEST_MAIN(EditorTest)
#include "tst_editor.moc"
