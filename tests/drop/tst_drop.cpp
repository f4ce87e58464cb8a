#include "dbdatamodule.h"
#include "dropdata.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "infoform.h"
#include "loopbackserver.h"
#include "mainform.h"
#include "parseddrop.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

namespace {

QByteArray pictureBytes(const QColor &colour, const char *format)
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// Drags the data over the widget and drops it there, through the window system
// as a real drag arrives (the data is then owned by the caller).
void drop(QWidget *target, QMimeData *data)
{
    std::unique_ptr<QMimeData> owned(data);
    QWidget *window = target->window();
    const QPoint point = target->mapTo(window, QPoint(20, 20));
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QWindowSystemInterface::handleDrag(window->windowHandle(), data, point, offered, Qt::LeftButton, Qt::NoModifier);
    const QPlatformDropQtResponse answer = QWindowSystemInterface::handleDrop(window->windowHandle(), data, point,
                                                                              offered, Qt::LeftButton, Qt::NoModifier);
    // Never a move: a file manager would delete the user's file.
    QVERIFY(!answer.isAccepted() || answer.acceptedAction() == Qt::CopyAction);
}

// A selection dragged out of Chromium: its MIME types in the order it offers them.
QMimeData *chromiumSelection(const QString &origin, const QString &fragment)
{
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), "plain text of the selection");
    data->setData(QStringLiteral("chromium/x-renderer-taint"), origin.toUtf8());
    data->setData(QStringLiteral("text/html"), fragment.toUtf8());
    data->setData(QStringLiteral("chromium/x-drag-id"), "1");
    return data;
}

QString imagesFolder(const TestProgramFolder &folder)
{
    return folder.dataFolder() + QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy")) +
           QStringLiteral("/images/");
}

} // namespace

class DropTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void selectionBecomesANoteFiledAndShown();
    void firefoxSelectionIsReadToo();
    void draggedLinkBecomesABookmark();
    void droppedFilesBecomeAttachments();
    void plainTextIsRefused();
    void dropOnAnEditorAppendsOnlyInEditMode();
    void htmlTextIsDecodedFromUtf16();
    void picturesDroppedIntoAnOlderNoteStayBesideIt();
    // Last: it leaves the application in its quitting state.
    void waitsEndWhileTheProgramQuits();

private:
    TEditorForm *waitForEditor();

    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<ClipnestProgram> m_program;
    QStringList m_messages;
};

void DropTest::init()
{
    m_folder = std::make_unique<TestProgramFolder>();
    m_program = std::make_unique<ClipnestProgram>(m_folder->path());
    m_program->bringUp();
    m_messages.clear();
    m_program->dropBox()->showMessage = [this](const QString &message) { m_messages << message; };
}

void DropTest::cleanup()
{
    m_program.reset();
    m_folder.reset();
}

TEditorForm *DropTest::waitForEditor()
{
    if (!QTest::qWaitFor([&] { return !TEditorForm::openEditors().isEmpty() && !m_program->dropBox()->isBusy(); },
                         30000))
        return nullptr;
    TEditorForm *editor = TEditorForm::openEditors().constLast();
    editor->askYesNo = [](const QString &) { return true; };
    editor->showMessage = [this](const QString &message) { m_messages << message; };
    return editor;
}

void DropTest::selectionBecomesANoteFiledAndShown()
{
    LoopbackServer server;
    server.serve("/img/a.png", pictureBytes(Qt::red, "PNG"));
    server.serve("/pics/a.png", pictureBytes(Qt::blue, "PNG"));
    server.serve("/img/v.gif", pictureBytes(Qt::green, "GIF"));
    const QString fragment = QStringLiteral("<p>Quiet  harbour notes</p><p>Second line</p><img src=\"%1/img/a.png\">"
                                            "<img src=\"%1/pics/a.png\"><a href=\"next.html\">next</a>"
                                            "<v:imagedata src=\"%1/img/v.gif\"></v:imagedata>")
                                 .arg(server.base());
    drop(m_program->dropBox(), chromiumSelection(server.base(), fragment));

    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    QVERIFY(!m_program->infoWindow()->isVisible());
    QCOMPARE(editor->titleEdit()->text(), QStringLiteral("Quiet harbour notes"));
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QStringLiteral("src=\"images/a.png\"")), qPrintable(body));
    QVERIFY(QRegularExpression(QStringLiteral("src=\"images/a\\d+\\.png\"")).match(body).hasMatch());
    QVERIFY(body.contains(QStringLiteral("href=\"%1/next.html\"").arg(server.base())));
    QVERIFY(body.contains(QStringLiteral("<img src=\"images/v.gif\"")));
    QVERIFY(!body.contains(QStringLiteral("v:imagedata")));
    QVERIFY(!body.contains(server.base() + QStringLiteral("/img")));
    QCOMPARE(QDir(imagesFolder(*m_folder)).entryList(QDir::Files).size(), 3);
    QCOMPARE(QImage(imagesFolder(*m_folder) + QStringLiteral("a.png")).pixelColor(0, 0), QColor(Qt::red));

    editor->tagsEdit()->setText(QStringLiteral("Web,Clips"));
    QPointer<TEditorForm> guard(editor);
    QVERIFY(editor->close());
    QTRY_VERIFY(!guard);

    TDBDataModule &database = *m_program->database();
    QSqlQuery &note = database.runQuery(QStringLiteral("select * from note"));
    QVERIFY(note.next());
    const QString file = fieldText(note, "filename");
    const int tagId = fieldInt(note, "tagid");
    note.finish();
    QVERIFY(QFile::exists(m_folder->dataFolder() + file));
    QCOMPARE(database.queryInteger(QStringLiteral("select count(*) from tags")), 2);
    QCOMPARE(m_program->context().catalogPaths, QStringList({QStringLiteral("Web"), QStringLiteral("web,clips")}));

    TMainForm *explorer = m_program->explorer();
    QCOMPARE(explorer->TagTreeView_()->selectedTag()->record.tagid, tagId);
    QCOMPARE(explorer->TagTreeView_()->selectedTag()->text(0), QStringLiteral("Clips(1)"));
    QCOMPARE(explorer->noteList()->currentItem()->text(0), QStringLiteral("Quiet harbour notes"));
    QCOMPARE(explorer->content()->url().toLocalFile(), m_folder->dataFolder() + file);
    // The saved note reads its pictures from its own folder.
    QVERIFY(explorer->content()->BodyInnerHtml().contains(QStringLiteral("images/a.png")));
}

void DropTest::firefoxSelectionIsReadToo()
{
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/_moz_htmlcontext"), utf16(QStringLiteral("<html><body></body></html>")));
    data->setData(QStringLiteral("text/_moz_htmlinfo"), utf16(QStringLiteral("0,0")));
    data->setData(QStringLiteral("text/html"),
                  QStringLiteral("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">"
                                 "<p>\u4e2d\u6587\u00a0notes from Firefox</p>")
                      .toUtf8());
    data->setData(QStringLiteral("text/plain"), "notes");
    drop(m_program->dropBox(), data);
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(editor->titleEdit()->text(), QStringLiteral("\u4e2d\u6587 notes from Firefox"));
    QVERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("\u4e2d\u6587 notes")));
}

void DropTest::draggedLinkBecomesABookmark()
{
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), "http://example.org/page?a=1&b=2\r\n");
    data->setData(QStringLiteral("_NETSCAPE_URL"), "http://example.org/page?a=1&b=2\nA page");
    data->setData(QStringLiteral("text/html"), "<a href=\"http://example.org/page?a=1&b=2\">A page</a>");
    data->setData(QStringLiteral("text/plain"), "http://example.org/page?a=1&b=2");
    drop(m_program->dropBox(), data);
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QStringLiteral("<b>Bookmark:</b>")), qPrintable(body));
    QVERIFY(body.contains(QStringLiteral("target=\"_blank\"")));
    QVERIFY(body.contains(QStringLiteral("href=\"http://example.org/page?a=1&amp;b=2\"")));
    QVERIFY(editor->titleEdit()->text().isEmpty());
    QCOMPARE(TEditorForm::openEditors().size(), 1); // one editor, not one per offered type
}

void DropTest::droppedFilesBecomeAttachments()
{
    const QString outside = m_folder->path() + QStringLiteral("outside/");
    QDir().mkpath(outside);
    QList<QUrl> urls;
    for (const char *name : {"b second.txt", "a first.pdf"}) {
        QFile file(outside + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("content");
        urls << QUrl::fromLocalFile(file.fileName());
    }
    auto *data = new QMimeData;
    data->setUrls(urls);
    drop(m_program->dropBox(), data);
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(editor->attachList()->topLevelItemCount(), 2);
    QCOMPARE(editor->attachList()->topLevelItem(0)->text(0), QStringLiteral("b second.txt"));
    QVERIFY(editor->content()->BodyInnerHtml().trimmed().isEmpty());
    QCOMPARE(m_program->database()->queryInteger(QStringLiteral("select count(*) from attachment")), 0);

    editor->PrefillFromCapture(QStringLiteral("<p>Two files</p>"), QStringLiteral("Files"));
    QVERIFY(editor->SaveNote());
    QCOMPARE(m_program->database()->queryInteger(QStringLiteral("select count(*) from attachment where noteid=1")), 2);
    QVERIFY(QFile::exists(outside + QStringLiteral("a first.pdf"))); // copied, never moved
}

void DropTest::plainTextIsRefused()
{
    auto *data = new QMimeData;
    data->setText(QStringLiteral("just words"));
    drop(m_program->dropBox(), data);
    QTRY_COMPARE(m_messages.size(), 1);
    QCOMPARE(
        m_messages.first(),
        QStringLiteral("Sorry, it seem from a unsupported source application, please use Copy/Paste to make note."));
    QVERIFY(TEditorForm::openEditors().isEmpty());

    TEditorForm *editor = m_program->newEditor();
    editor->show();
    editor->PrefillFromCapture(QStringLiteral("<p>kept</p>"), QString());
    const QString before = editor->content()->BodyInnerHtml();
    auto *text = new QMimeData;
    text->setText(QStringLiteral("just words"));
    drop(editor->content(), text);
    QTest::qWait(200);
    QCOMPARE(editor->content()->BodyInnerHtml(), before);
    QCOMPARE(m_messages.size(), 1);
}

void DropTest::dropOnAnEditorAppendsOnlyInEditMode()
{
    TEditorForm *editor = m_program->newEditor();
    editor->show();
    editor->showMessage = [this](const QString &message) { m_messages << message; };
    editor->PrefillFromCapture(QStringLiteral("<p>first</p>"), QStringLiteral("Appending"));

    auto *link = new QMimeData;
    link->setData(QStringLiteral("text/uri-list"), "https://example.net/x\r\n");
    link->setData(QStringLiteral("text/html"), "<p>second</p>");
    drop(editor->content(), link);
    QTRY_VERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("second")));
    const QString body = editor->content()->BodyInnerHtml();
    // Both forms, in the offered order, at the end.
    const qsizetype first = body.indexOf(QStringLiteral("first"));
    const qsizetype bookmark = body.indexOf(QStringLiteral("https://example.net/x"));
    const qsizetype second = body.indexOf(QStringLiteral("second"));
    QVERIFY2(first >= 0 && first < bookmark && bookmark < second, qPrintable(body));

    editor->setEditMode(false);
    auto *more = new QMimeData;
    more->setHtml(QStringLiteral("<p>third</p>"));
    drop(editor->content(), more);
    QTest::qWait(200);
    QVERIFY(!editor->content()->BodyInnerHtml().contains(QStringLiteral("third")));
}

void DropTest::htmlTextIsDecodedFromUtf16()
{
    const QString fragment = QStringLiteral("<p>\u00e9t\u00e9 \u4e2d</p>");
    QCOMPARE(QString::fromUtf8(htmlAsUtf8(utf16(fragment))), fragment);
    QCOMPARE(QString::fromUtf8(htmlAsUtf8(QByteArray("\xFF\xFE", 2) + utf16(fragment))), fragment);
    QCOMPARE(QString::fromUtf8(htmlAsUtf8(fragment.toUtf8())), fragment);
    QCOMPARE(titleFromFragment(QStringLiteral("<div>\n  <h1> A   long title </h1><p>x</p></div>")),
             QStringLiteral("A long title"));
    QCOMPARE(titleFromFragment(QStringLiteral("<p>%1</p>").arg(QString(100, QLatin1Char('w')))).size(), 80);
    // A quote in a dropped address cannot end the attribute early.
    QCOMPARE(bookmarkFragment(QStringLiteral("http://x.test/a\"b<c")),
             QStringLiteral("<BR/><B>Bookmark:</B><BR/><a target=\"_blank\" href=\"http://x.test/a&quot;b&lt;c\" >"
                            "http://x.test/a&quot;b&lt;c</a>"));
}

void DropTest::picturesDroppedIntoAnOlderNoteStayBesideIt()
{
    const QString oldFolder = m_folder->dataFolder() + QStringLiteral("11-30-2026");
    QDir().mkpath(oldFolder);
    QFile note(oldFolder + QStringLiteral("/113020261200000000.html"));
    QVERIFY(note.open(QIODevice::WriteOnly));
    note.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p>older</p></body></html>");
    note.close();
    LoopbackServer server;
    server.serve("/p/old.png", pictureBytes(Qt::green, "PNG"));

    TEditorForm *editor = m_program->newEditor();
    editor->show();
    editor->LoadNote(5, note.fileName(), 1, QStringLiteral("Older"), QStringLiteral("Work"));
    drop(editor->content(),
         chromiumSelection(server.base(), QStringLiteral("<img src=\"%1/p/old.png\">").arg(server.base())));
    QTRY_VERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("images/old.png")));
    QVERIFY(QFile::exists(oldFolder + QStringLiteral("/images/old.png")));
    QVERIFY(!QFile::exists(imagesFolder(*m_folder) + QStringLiteral("old.png")));
    // The view finds the picture where the reference points.
    QTRY_COMPARE(editor->content()->RunScript(QStringLiteral("document.images[0].naturalWidth")).toInt(), 4);
}

void DropTest::waitsEndWhileTheProgramQuits()
{
    LoopbackServer server;
    server.setDelay(200);
    server.serve("/p/late.png", pictureBytes(Qt::blue, "PNG"));
    const QByteArray clip =
        buildClipText(QStringLiteral("<p>late</p><img src=\"%1/p/late.png\">").arg(server.base()).toUtf8(),
                      server.base() + QStringLiteral("/"), QString());
    QPointer<TEditorForm> editor = m_program->newEditor();
    const QString page = editor->content()->url().toLocalFile();
    TExWebBrowser view;
    // Exit chosen while a drop is parsed: the parse and the view's waits still end.
    QString body;
    bool loaded = false;
    QTimer::singleShot(0, [&] {
        m_program->exit(); // the Exit command, with the explorer still shown
        body = parseDroppedClipResponsively(clip, m_folder->dataFolder(), {}).body;
        view.Navigate(page);
        loaded = view.WaitWhileBusy(20000);
    });
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::exec(); // the main loop, which the Exit above ends
    QVERIFY(timer.elapsed() < 60000);
    QVERIFY2(body.contains(QStringLiteral("images/late.png")), qPrintable(body));
    QVERIFY(loaded);
    // The empty editor was closed by the Exit as by its own close box.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!editor);
}

CLIPNEST_TEST_MAIN(DropTest)
#include "tst_drop.moc"
