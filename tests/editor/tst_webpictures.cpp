#include "appcontext.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "insertdialogs.h"
#include "loopbackserver.h"
#include "notefilestore.h"
#include "testprogramfolder.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QToolButton>
#include <QtTest>

namespace {

QByteArray pictureBytes(const QColor &colour)
{
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};
    QStringList messages;

    TEditorForm *editor()
    {
        auto *editor = new TEditorForm(context, database);
        editor->askYesNo = [](const QString &) { return true; };
        editor->showMessage = [this](const QString &message) { messages << message; };
        editor->show();
        return editor;
    }
};

// Widths of the note's pictures as the view loaded them (0 for a broken one).
QList<int> loadedWidths(TEditorForm *editor)
{
    QList<int> widths;
    for (const QVariant &width :
         editor->content()
             ->RunScript(QStringLiteral("Array.from(document.images).map(function (i) { return i.naturalWidth; })"))
             .toList())
        widths << width.toInt();
    return widths;
}

} // namespace

// Pictures from the web that come into a note through its editor are stored in
// the note's folder, as a drop stores them.
class WebPicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void insertImage_data();
    void insertImage();
    void pastedHtml_data();
    void pastedHtml();
    void pasteWithoutWebPicturesIsTheViewsOwn();
    void noteStaysInTheFolderItWasBegunIn();
    void pageSavedOfflineBelowTheBookmark_data();
    void pageSavedOfflineBelowTheBookmark();

private:
    std::unique_ptr<LoopbackServer> m_server;
};

void WebPicturesTest::initTestCase()
{
    m_server = std::make_unique<LoopbackServer>();
    m_server->serve("/pics/a.png", pictureBytes(Qt::red));
    m_server->serve("/pics/b.png", pictureBytes(Qt::blue));
    m_server->fail("/pics/gone.png", 404);
    m_server->serve("/site/article.html",
                    "<html><head><title>An article</title><link rel=\"stylesheet\" href=\"s.css\"></head><body>"
                    "<script>document.write('SCRIPTED')</script><h1>Article</h1><p class=\"lead\">Lead text</p>"
                    "<img src=\"/pics/a.png\"></body></html>",
                    "text/html; charset=utf-8");
    m_server->serve("/site/s.css", ".lead { color: rgb(0, 128, 0) }", "text/css");
}

void WebPicturesTest::insertImage_data()
{
    QTest::addColumn<QString>("typed");    // SERVER stands for the server's address
    QTest::addColumn<QString>("inserted"); // empty: nothing is inserted
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<bool>("told");

    QTest::newRow("web picture") << QStringLiteral("SERVER/pics/a.png")
                                 << QStringLiteral("<img src=\"images/a.png\" width=\"40\">")
                                 << QStringList{QStringLiteral("a.png")} << false;
    QTest::newRow("web picture that is gone")
        << QStringLiteral("SERVER/pics/gone.png") << QString() << QStringList() << true;
    QTest::newRow("local picture stays where it lies")
        << QStringLiteral("D:\\pics\\a.png") << QStringLiteral("<img src=\"file:///D:/pics/a.png\" width=\"40\">")
        << QStringList() << false;
}

void WebPicturesTest::insertImage()
{
    QFETCH(QString, typed);
    QFETCH(QString, inserted);
    QFETCH(QStringList, stored);
    QFETCH(bool, told);
    typed.replace(QLatin1String("SERVER"), m_server->base());

    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>before</p>"), QStringLiteral("Pictures"));
    editor->runImageDialog = [typed](TAddImageForm &dialog) {
        dialog.urlEdit->setText(typed);
        dialog.WidthEdit->setText(QStringLiteral("40"));
        return true;
    };
    editor->AddImageClick();
    const QString body = editor->content()->BodyInnerHtml();
    if (inserted.isEmpty())
        QVERIFY2(!body.contains(QLatin1String("<img")), qPrintable(body));
    else
        QVERIFY2(body.contains(inserted), qPrintable(body));
    QCOMPARE(QDir(editor->noteFolder() + QStringLiteral("/images")).entryList(QDir::Files), stored);
    QCOMPARE(f.messages.size(), told ? 1 : 0);
    if (told)
        QCOMPARE(f.messages.first(), QStringLiteral("The picture could not be downloaded: %1").arg(typed));
    if (!stored.isEmpty())
        QTRY_COMPARE(loadedWidths(editor), QList<int>{6});
    delete editor;
}

void WebPicturesTest::pastedHtml_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("paste button") << false;
    QTest::newRow("Ctrl+V in the note") << true;
}

void WebPicturesTest::pastedHtml()
{
    QFETCH(bool, byKey);
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p id=\"here\">paste here</p>"), QStringLiteral("Paste"));
    editor->content()->RunScript(
        QStringLiteral("var r = document.createRange(); r.selectNodeContents(document.getElementById('here'));"
                       "r.collapse(false); getSelection().removeAllRanges(); getSelection().addRange(r); true"));

    // As a browser copies a part of a page: its own charset, absolute addresses.
    auto *copied = new QMimeData;
    copied->setHtml(QStringLiteral("<meta charset=\"utf-8\"><p>Copied <img src=\"%1/pics/a.png\"> and "
                                   "<img srcset=\"%1/pics/gone.png 1x, %1/pics/b.png 2x\"></p>")
                        .arg(m_server->base()));
    QGuiApplication::clipboard()->setMimeData(copied);

    if (byKey) {
        editor->content()->setFocus();
        QWidget *typing = editor->content()->focusProxy() ? editor->content()->focusProxy() : editor->content();
        QTest::keyClick(typing, Qt::Key_V, Qt::ControlModifier);
    } else {
        editor->findChild<QToolButton *>(QStringLiteral("paste"))->click();
    }
    QTRY_VERIFY(editor->content()->BodyInnerHtml().contains(QLatin1String("Copied")));
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QLatin1String("<img src=\"images/a.png\">")), qPrintable(body));
    QVERIFY2(body.contains(QLatin1String("<img srcset=\"images/b.png 2x\" src=\"images/b.png\">")) ||
                 body.contains(QLatin1String("<img src=\"images/b.png\" srcset=\"images/b.png 2x\">")),
             qPrintable(body));
    QVERIFY2(!body.contains(m_server->base()), "the note names no web picture");
    QVERIFY(!body.contains(QLatin1String("<meta")));
    QStringList stored = QDir(editor->noteFolder() + QStringLiteral("/images")).entryList(QDir::Files);
    QCOMPARE(stored, (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png")}));
    QTRY_COMPARE(loadedWidths(editor), (QList<int>{6, 6}));
    delete editor;
}

void WebPicturesTest::pasteWithoutWebPicturesIsTheViewsOwn()
{
    Fixture f;
    TEditorForm *editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p id=\"here\">x</p>"), QStringLiteral("Paste"));
    editor->content()->RunScript(
        QStringLiteral("var r = document.createRange(); r.selectNodeContents(document.getElementById('here'));"
                       "getSelection().removeAllRanges(); getSelection().addRange(r); true"));
    auto *copied = new QMimeData;
    copied->setHtml(QStringLiteral("<p>only <b>words</b></p>"));
    QGuiApplication::clipboard()->setMimeData(copied);
    // The view pastes only into a focused document.
    editor->activateWindow();
    editor->content()->setFocus();
    QTest::qWait(300);
    editor->findChild<QToolButton *>(QStringLiteral("paste"))->click();
    QTRY_VERIFY(editor->content()->BodyInnerHtml().contains(QLatin1String("<b>words</b>")));
    QVERIFY(QDir(editor->noteFolder() + QStringLiteral("/images")).entryList(QDir::Files).isEmpty());
    delete editor;
}

void WebPicturesTest::noteStaysInTheFolderItWasBegunIn()
{
    Fixture f;
    // An editor begun before midnight, its note saved after it.
    const QString evening =
        NewNoteLocation(f.context.dataFolder, QDateTime(QDate(2031, 3, 4), QTime(23, 59, 58))).dayFolder;
    TEditorForm *editor = f.editor();
    editor->useNoteFolder(evening);
    QCOMPARE(editor->content()->url().toLocalFile(), evening + QStringLiteral("/template.html"));
    editor->PrefillFromCapture(QStringLiteral("<p>late</p>"), QStringLiteral("Late"));
    editor->runImageDialog = [this](TAddImageForm &dialog) {
        dialog.urlEdit->setText(m_server->base() + QStringLiteral("/pics/a.png"));
        return true;
    };
    editor->AddImageClick();
    const QString attachment = f.folder.path() + QStringLiteral("list.txt");
    {
        QFile file(attachment);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("milk") == 4);
    }
    editor->AddAttachment(attachment);
    QVERIFY(editor->SaveNote());

    QCOMPARE(editor->noteFolder(), evening);
    QVERIFY(QFile::exists(evening + QLatin1Char('/') + editor->noteFileName()));
    QVERIFY(QFile::exists(evening + QStringLiteral("/images/a.png")));
    QVERIFY(QFile::exists(evening + QStringLiteral("/attaches/list.txt")));
    QCOMPARE(f.database.queryInteger(QStringLiteral("select count(*) from note where filename like '03-04-2031/%'")),
             1);
    QCOMPARE(
        f.database.queryInteger(QStringLiteral("select count(*) from attachment where path = '03-04-2031/attaches/'")),
        1);
    delete editor;
}

void WebPicturesTest::pageSavedOfflineBelowTheBookmark_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("read");
    QTest::newRow("page read") << QStringLiteral("/site/article.html") << true;
    QTest::newRow("page gone") << QStringLiteral("/site/gone.html") << false;
}

void WebPicturesTest::pageSavedOfflineBelowTheBookmark()
{
    QFETCH(QString, page);
    QFETCH(bool, read);
    Fixture f;
    TEditorForm *editor = f.editor();
    const QString address = m_server->base() + page;
    editor->PrefillFromCapture(QStringLiteral("<b>Bookmark:</b><br><a href=\"%1\">%1</a>").arg(address),
                               QStringLiteral("Article"), address);
    editor->SavePageOfflineClick();
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY(body.contains(QLatin1String("Bookmark:")));
    QCOMPARE(body.contains(QLatin1String("Lead text")), read);
    QCOMPARE(f.messages.size(), read ? 0 : 1);
    if (read) {
        // Styled as on the page, its picture beside the note, its script gone.
        QVERIFY2(body.contains(QLatin1String("color: rgb(0, 128, 0)")), qPrintable(body));
        QVERIFY(body.contains(QLatin1String("images/a.png")));
        QVERIFY(QFile::exists(editor->noteFolder() + QStringLiteral("/images/a.png")));
        QVERIFY(!body.contains(QLatin1String("<script")) && !body.contains(QLatin1String("SCRIPTED")));
        QTRY_COMPARE_WITH_TIMEOUT(loadedWidths(editor), QList<int>{6}, 10000); // the picture loads after the append
    }
    delete editor;
}

CLIPNEST_TEST_MAIN(WebPicturesTest)
#include "tst_webpictures.moc"
