#include "dbdatamodule.h"
#include "dropdata.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "infoform.h"
#include "loopbackserver.h"
#include "mainform.h"
#include "notefilestore.h"
#include "notesourceline.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
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
    void bookmarkTitle_data();
    void bookmarkTitle();
    void captureTitle_data();
    void captureTitle();
    void captureKeepsItsSource_data();
    void captureKeepsItsSource();
    void localPicturesOnlyFromALocalPage_data();
    void localPicturesOnlyFromALocalPage();
    void captureEndsEarly_data();
    void captureEndsEarly();
    void responsivePicturesReadOffline();
    void captureBeforeMidnightSavedAfterIt();
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
    QCOMPARE(editor->titleEdit()->text(), QStringLiteral("A page"));
    QCOMPARE(TEditorForm::openEditors().size(), 1); // one editor, not one per offered type
}

void DropTest::bookmarkTitle_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<QByteArray>>("contents");
    QTest::addColumn<QString>("title");

    const QByteArray address = "https://example.org/p";
    QTest::newRow("second line of x-moz-url")
        << QStringList{QStringLiteral("text/x-moz-url"), QStringLiteral("_NETSCAPE_URL")}
        << QList<QByteArray>{utf16(QStringLiteral("https://example.org/p\nMoz \u4e2d title")),
                             address + "\nNetscape title"}
        << QStringLiteral("Moz \u4e2d title");
    QTest::newRow("anchor text of the offered html")
        << QStringList{QStringLiteral("text/uri-list"), QStringLiteral("text/html")}
        << QList<QByteArray>{address + "\r\n", "<a href=\"" + address + "\">Anchor\n  <b>text</b></a>"}
        << QStringLiteral("Anchor text");
    QTest::newRow("netscape title") << QStringList{QStringLiteral("text/uri-list"), QStringLiteral("_NETSCAPE_URL")}
                                    << QList<QByteArray>{address + "\r\n", address + "\nNetscape\x01\ttitle"}
                                    << QStringLiteral("Netscape title");
    QTest::newRow("no title offered") << QStringList{QStringLiteral("text/uri-list")}
                                      << QList<QByteArray>{address + "\r\n"} << QString::fromLatin1(address);
}

void DropTest::bookmarkTitle()
{
    QFETCH(QStringList, types);
    QFETCH(QList<QByteArray>, contents);
    QFETCH(QString, title);
    auto *data = new QMimeData;
    for (int i = 0; i < types.size(); ++i)
        data->setData(types.at(i), contents.at(i));
    drop(m_program->dropBox(), data);
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(editor->titleEdit()->text(), title);
    QVERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("href=\"https://example.org/p\"")));
}

void DropTest::captureTitle_data()
{
    QTest::addColumn<QString>("pageTitle");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QString>("title");
    const QString headings = QStringLiteral("<p>Intro line</p><h3><img src=\"a.png\"></h3>"
                                            "<h2> Caf&eacute; &mdash;  menu </h2><h1>Later</h1>");
    QTest::newRow("the page's title") << QStringLiteral(" The\tpage ") << headings << QStringLiteral("The page");
    QTest::newRow("first heading with text")
        << QStringLiteral("\u0007 ") << headings << QStringLiteral("Caf\u00e9 \u2014 menu");
    QTest::newRow("heading without its link to itself")
        << QString() << QStringLiteral("<h1>bisect<a href=\"#bisect\">&para;</a></h1>") << QStringLiteral("bisect");
    QTest::newRow("first line") << QString() << QStringLiteral("<p><img src=\"a.png\"></p><p>Men&uuml; of the day</p>")
                                << QStringLiteral("Men\u00fc of the day");
    QTest::newRow("nothing to read") << QString() << QStringLiteral("<p><img src=\"a.png\"></p>") << QString();
}

void DropTest::captureTitle()
{
    QFETCH(QString, pageTitle);
    QFETCH(QString, fragment);
    QFETCH(QString, title);
    QCOMPARE(::captureTitle(pageTitle, fragment), title);
}

void DropTest::captureKeepsItsSource_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<QByteArray>>("contents");
    QTest::addColumn<QString>("source");

    const QByteArray selection = "<h1>Menu</h1><p>Soup</p>";
    QTest::newRow("a selection from Firefox")
        << QStringList{QStringLiteral("text/x-moz-url-priv"), QStringLiteral("text/html")}
        << QList<QByteArray>{utf16(QStringLiteral("https://example.org/caf\u00e9/menu.html")), selection}
        << QStringLiteral("https://example.org/caf\u00e9/menu.html");
    QTest::newRow("a selection from Chromium")
        << QStringList{QStringLiteral("chromium/x-renderer-taint"), QStringLiteral("text/html")}
        << QList<QByteArray>{"https://example.org", selection} << QStringLiteral("https://example.org/");
    QTest::newRow("a selection of an unnamed page")
        << QStringList{QStringLiteral("text/html")} << QList<QByteArray>{selection} << QString();
    QTest::newRow("a link") << QStringList{QStringLiteral("text/uri-list")}
                            << QList<QByteArray>{"https://example.org/p?a=1&b=2\r\n"}
                            << QStringLiteral("https://example.org/p?a=1&b=2");
    QTest::newRow("a link too long to keep")
        << QStringList{QStringLiteral("text/uri-list")}
        << QList<QByteArray>{"https://example.org/?q=" + QByteArray(4000, 'q') + "\r\n"} << QString();
}

void DropTest::captureKeepsItsSource()
{
    QFETCH(QStringList, types);
    QFETCH(QList<QByteArray>, contents);
    QFETCH(QString, source);
    auto *data = new QMimeData;
    for (int i = 0; i < types.size(); ++i)
        data->setData(types.at(i), contents.at(i));
    drop(m_program->dropBox(), data);
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    // The editor shows the address it was given, however long; the row keeps it only whole.
    const QString shown = editor->sourceEdit()->text();
    QVERIFY(source.isEmpty() || shown == source);
    QCOMPARE(editor->sourceEdit()->parentWidget()->isHidden(), shown.isEmpty());
    QPointer<TEditorForm> guard(editor);
    QVERIFY(editor->close());
    QTRY_VERIFY(!guard);

    TDBDataModule &database = *m_program->database();
    const int noteId = database.queryInteger(QStringLiteral("select max(noteid) from note"));
    QVERIFY(noteId > 0);
    QCOMPARE(database.noteSource(noteId), source);
    TMainForm *explorer = m_program->explorer();
    QTRY_COMPARE(explorer->noteSourceLine()->address(), source);
}

void DropTest::localPicturesOnlyFromALocalPage_data()
{
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("copied");
    QTest::newRow("local page") << QStringLiteral("file://") << true;
    QTest::newRow("web page") << QStringLiteral("http://127.0.0.1:9") << false;
}

void DropTest::localPicturesOnlyFromALocalPage()
{
    QFETCH(QString, origin);
    QFETCH(bool, copied);
    const QString picture = m_folder->path() + QStringLiteral("own.png");
    {
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes = pictureBytes(Qt::red, "PNG");
        QVERIFY(file.write(bytes) == bytes.size());
    }
    drop(m_program->dropBox(),
         chromiumSelection(origin,
                           QStringLiteral("<p>Own</p><img src=\"%1\">").arg(QUrl::fromLocalFile(picture).toString())));
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(copied ? QStringLiteral("<img src=\"images/own.png\">")
                                  : QStringLiteral("<img src=\"images/\">")),
             qPrintable(body));
    QCOMPARE(QFile::exists(imagesFolder(*m_folder) + QStringLiteral("own.png")), copied);
}

void DropTest::captureEndsEarly_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << true;
    QTest::newRow("past its deadline") << false;
}

void DropTest::captureEndsEarly()
{
    QFETCH(bool, cancel);
    LoopbackServer server;
    server.serve("/p/quick.png", pictureBytes(Qt::red, "PNG"));
    QString fragment = QStringLiteral("<p>Slow pictures</p><img src=\"%1/p/quick.png\">").arg(server.base());
    // Forty bytes at one a second: each would take forty seconds.
    for (int i = 0; i < 6; ++i) {
        const QByteArray path = "/p/slow" + QByteArray::number(i) + ".png";
        server.serveSlowly(path, QByteArray(40, 's'), 1000);
        fragment += QStringLiteral("<img src=\"%1%2\">").arg(server.base(), QString::fromLatin1(path));
    }
    TInfoForm *info = m_program->infoWindow();
    if (!cancel)
        m_program->dropBox()->captureLimits.captureTimeoutMs = 1500;
    // The capture waits in its own event loop: the user's click comes from there.
    bool clicked = false;
    QTimer user;
    connect(&user, &QTimer::timeout, this, [&] {
        if (cancel && !clicked && info->isVisible() && info->cancelButton()->isEnabled() &&
            info->progressLabel()->text() == QLatin1String("1 of 7 pictures")) {
            clicked = true;
            QTest::mouseClick(info->cancelButton(), Qt::LeftButton);
        }
    });
    user.start(50);
    QElapsedTimer timer;
    timer.start();
    drop(m_program->dropBox(), chromiumSelection(server.base(), fragment));
    TEditorForm *editor = waitForEditor();
    QCOMPARE(clicked, cancel);
    QVERIFY(editor);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!info->isVisible());
    const QString body = editor->content()->BodyInnerHtml();
    QVERIFY2(body.contains(QStringLiteral("<img src=\"images/quick.png\">")), qPrintable(body));
    QCOMPARE(body.count(QStringLiteral("<img src=\"images/\">")), 6);
    QCOMPARE(QDir(imagesFolder(*m_folder)).entryList(QDir::Files), QStringList{QStringLiteral("quick.png")});
    QCOMPARE(editor->titleEdit()->text(), QStringLiteral("Slow pictures"));
}

void DropTest::responsivePicturesReadOffline()
{
    QString fragment;
    {
        LoopbackServer server;
        server.serve("/blog/small.png", pictureBytes(Qt::gray, "PNG"));
        server.serve("/blog/big.png", pictureBytes(Qt::blue, "PNG"));
        server.serve("/blog/lazy.jpg", pictureBytes(Qt::green, "JPG"));
        server.serve("/blog/photo.webp", pictureBytes(Qt::yellow, "PNG"));
        server.serve("/blog/photo.jpg", pictureBytes(Qt::red, "JPG"));
        fragment = QStringLiteral("<p>Responsive page</p>"
                                  "<img src=\"/blog/small.png\" srcset=\"/blog/small.png 1x, /blog/big.png 2x\">"
                                  "<img src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" data-src=\"/blog/lazy.jpg\">"
                                  "<picture><source srcset=\"/blog/photo.webp\" type=\"image/webp\">"
                                  "<img src=\"/blog/photo.jpg\" alt=\"photo\"></picture>");
        drop(m_program->dropBox(), chromiumSelection(server.base(), fragment));
        TEditorForm *editor = waitForEditor();
        QVERIFY(editor);
        editor->tagsEdit()->setText(QStringLiteral("Offline"));
        QPointer<TEditorForm> guard(editor);
        QVERIFY(editor->close());
        QTRY_VERIFY(!guard);
    } // the server is gone: what the note shows comes from its own folder

    TMainForm *explorer = m_program->explorer();
    TDBDataModule &database = *m_program->database();
    QSqlQuery &note = database.runQuery(QStringLiteral("select filename from note"));
    QVERIFY(note.next());
    const QString file = m_folder->dataFolder() + fieldText(note, "filename");
    note.finish();
    QCOMPARE(explorer->content()->url().toLocalFile(), file);
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray html = saved.readAll();
    QVERIFY2(!html.contains("127.0.0.1"), html.constData());
    const QString folder = QUrl::fromLocalFile(QFileInfo(file).absolutePath()).toString();
    QTRY_VERIFY(explorer->content()
                    ->RunScript(QStringLiteral("Array.from(document.images).every(function (i) {"
                                               "  return i.complete && i.naturalWidth > 0 &&"
                                               "         i.currentSrc.indexOf(%1) === 0; })"
                                               " && document.images.length === 3")
                                    .arg(QStringLiteral("'") + folder + QStringLiteral("/images/'")))
                    .toBool());
}

void DropTest::captureBeforeMidnightSavedAfterIt()
{
    LoopbackServer server;
    server.serve("/p/night.png", pictureBytes(Qt::green, "PNG"));
    // The capture began on an evening; the editor opens and saves on the next day.
    const QString evening =
        NewNoteLocation(m_folder->dataFolder(), QDateTime(QDate(2031, 3, 4), QTime(23, 59, 58))).dayFolder;
    m_program->dropBox()->captureFolder = [evening] { return evening; };
    drop(m_program->dropBox(),
         chromiumSelection(server.base(),
                           QStringLiteral("<p>Night</p><img src=\"%1/p/night.png\">").arg(server.base())));
    TEditorForm *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(editor->noteFolder(), evening);
    QTRY_COMPARE(editor->content()->RunScript(QStringLiteral("document.images[0].naturalWidth")).toInt(), 4);
    editor->tagsEdit()->setText(QStringLiteral("Night"));
    QPointer<TEditorForm> guard(editor);
    QVERIFY(editor->close());
    QTRY_VERIFY(!guard);

    QSqlQuery &note = m_program->database()->runQuery(QStringLiteral("select filename from note"));
    QVERIFY(note.next());
    const QString file = fieldText(note, "filename");
    note.finish();
    QVERIFY2(file.startsWith(QLatin1String("03-04-2031/")), qPrintable(file));
    QVERIFY(QFile::exists(evening + QStringLiteral("/images/night.png")));
    QTRY_COMPARE(m_program->explorer()->content()->RunScript(QStringLiteral("document.images[0].naturalWidth")).toInt(),
                 4);
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
    // One object replacement character stood for each picture of the line.
    QCOMPARE(titleFromFragment(QStringLiteral("<p>Slow pictures: <img src=\"a.png\"> <img src=\"b.png\"></p>")),
             QStringLiteral("Slow pictures:"));
    QCOMPARE(titleFromFragment(QStringLiteral("<p><img src=\"a.png\"></p><p>\u0007Second\u00a0\u00a0line</p>")),
             QStringLiteral("Second line"));
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
