#include "exwebbrowser.h"
#include "findbar.h"
#include "notepage.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QPrinter>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

namespace {

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Loads the file into the view and waits for it.
bool Show(TExWebBrowser &view, const QString &path)
{
    view.Navigate(path);
    return view.WaitWhileBusy() && view.url() == QUrl::fromLocalFile(path);
}

bool ShowHtml(TExWebBrowser &view, const QString &path, const QByteArray &html)
{
    return WriteFile(path, html) && Show(view, path);
}

// Selects the first occurrence of the text in the document.
bool SelectText(TExWebBrowser &view, const QString &text)
{
    return view
        .RunScript(QStringLiteral("(function (text) {"
                                  "  var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);"
                                  "  for (var node = walker.nextNode(); node; node = walker.nextNode()) {"
                                  "    var at = node.data.indexOf(text);"
                                  "    if (at < 0) continue;"
                                  "    var range = document.createRange();"
                                  "    range.setStart(node, at);"
                                  "    range.setEnd(node, at + text.length);"
                                  "    window.getSelection().removeAllRanges();"
                                  "    window.getSelection().addRange(range);"
                                  "    return true;"
                                  "  }"
                                  "  return false;"
                                  "})(%1)")
                       .arg(QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
                                .chopped(1)
                                .mid(1)))
        .toBool();
}

QString ElementText(TExWebBrowser &view, const QString &id)
{
    return view.RunScript(QStringLiteral("document.getElementById('%1').textContent").arg(id)).toString();
}

// The engine's drawing surface takes the mouse once the view is on screen.
QWidget *ShowOnScreen(TExWebBrowser &view)
{
    view.resize(640, 400);
    view.show();
    view.activateWindow();
    if (!QTest::qWaitForWindowExposed(&view) || !QTest::qWaitForWindowActive(&view))
        return nullptr;
    return view.focusProxy();
}

} // namespace

// Receives what the program hands to the user's browser.
class OpenedAddresses : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// Makes the navigation decision callable.
class ProbePage : public NotePage
{
public:
    using NotePage::acceptNavigationRequest;
    using NotePage::NotePage;
};

class HtmlViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pageScriptsNeverRun();
    void designModeMakesTheDocumentEditable();
    void commandsFormatTheSelection_data();
    void commandsFormatTheSelection();
    void coloursAreReadAsBlueGreenRed_data();
    void coloursAreReadAsBlueGreenRed();
    void pasteReplacesTheSelection();
    void clipboardCommandsUseTheClipboard();
    void selectedElementIsReadAndChanged();
    void documentWithoutBodyIsAnError();
    void blankBodyIsToldInThePage_data();
    void blankBodyIsToldInThePage();
    void textSurvivesInsertAndSave_data();
    void textSurvivesInsertAndSave();
    void saveWritesUtf8AndDeclaresIt_data();
    void saveWritesUtf8AndDeclaresIt();
    void saveKeepsRelativePictureAddresses();
    void saveReplacesTheFileOrReportsIt();
    void fullDiskNeverCutsANoteShort();
    void onlyTheNavigatedDocumentIsSaved();
    void viewStaysOnTheNote_data();
    void viewStaysOnTheNote();
    void framesNeverShowOtherFiles();
    void printedPagesCarryTitleAndPageNumbers();
    void savedPdfKeepsTextAndStaysSmall();
    void findBarFindsAndCloses();
    void linksOpenInTheUsersBrowser_data();
    void linksOpenInTheUsersBrowser();
    void clickedLinkLeavesTheViewOnTheNote();
    void linkToANewWindowOpensInTheUsersBrowser();
    void clickedUnsafeLinkOpensNothing_data();
    void clickedUnsafeLinkOpensNothing();
    void rightClickCallsTheHookInsteadOfAMenu();
    void waitWhileBusyEndsOnAHangingLoad();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<OpenedAddresses> m_opened;

    QString FilePath(const QString &name) const { return m_dir->filePath(name); }
};

void HtmlViewTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_opened = std::make_unique<OpenedAddresses>();
    // Every scheme a note may link to: an address wrongly handed on is seen here.
    for (const char *scheme : {"http", "https", "mailto", "file", "ftp", "javascript", "data", "smb"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), m_opened.get(), "open");
}

void HtmlViewTest::cleanup()
{
    for (const char *scheme : {"http", "https", "mailto", "file", "ftp", "javascript", "data", "smb"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    m_opened.reset();
    m_dir.reset();
}

void HtmlViewTest::pageScriptsNeverRun()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("scripted.html")),
                     "<!DOCTYPE html><html><head><title>kept</title></head>"
                     "<body onload=\"document.title = 'changed by onload'\">"
                     "<p id=\"target\">original</p>"
                     "<script>document.getElementById('target').textContent = 'changed by script';</script>"
                     "<img src=\"missing.png\" onerror=\"document.getElementById('target').textContent = 'x'\">"
                     "</body></html>"));
    QTest::qWait(200);
    QCOMPARE(ElementText(view, QStringLiteral("target")), QStringLiteral("original"));
    QCOMPARE(view.RunScript(QStringLiteral("document.title")).toString(), QStringLiteral("kept"));

    // Editing mode does not wake them up either.
    view.SetDesignMode(true);
    view.InsertAtEndOfBody(QStringLiteral("<img src=\"nothing.png\" onerror=\"document.title = 'ran'\">"));
    QTest::qWait(200);
    QCOMPARE(view.RunScript(QStringLiteral("document.title")).toString(), QStringLiteral("kept"));
}

void HtmlViewTest::designModeMakesTheDocumentEditable()
{
    TestProgramFolder folder;
    TExWebBrowser view;
    QVERIFY(Show(view, folder.dataFolder() + QStringLiteral("template.html")));
    QCOMPARE(view.ReadyState(), 4);
    QVERIFY(view.HasBody());
    QVERIFY(!view.DesignMode());

    view.SetDesignMode(true);
    QVERIFY(view.DesignMode());
    view.InsertAtEndOfBody(QStringLiteral("<p>first</p>"));
    view.InsertAtEndOfBody(QStringLiteral("<p>second</p>"));
    const QString body = view.BodyInnerHtml();
    QVERIFY2(body.indexOf(QLatin1String("<p>first</p>")) < body.indexOf(QLatin1String("<p>second</p>")),
             qPrintable(body));
    QVERIFY(body.indexOf(QLatin1String("<p>first</p>")) >= 0);

    // Commands change nothing once editing is off again.
    view.SetDesignMode(false);
    QVERIFY(!view.DesignMode());
    QVERIFY(SelectText(view, QStringLiteral("first")));
    view.ExecCommand(QStringLiteral("Bold"), 0);
    QVERIFY(!view.BodyInnerHtml().contains(QLatin1String("<b>")));
}

void HtmlViewTest::commandsFormatTheSelection_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("markup");

    QTest::newRow("bold") << "Bold" << QVariant(0) << "<b>word</b>";
    QTest::newRow("italic") << "Italic" << QVariant(0) << "<i>word</i>";
    QTest::newRow("underline") << "Underline" << QVariant(0) << "<u>word</u>";
    QTest::newRow("subscript") << "Subscript" << QVariant(0) << "<sub>word</sub>";
    QTest::newRow("superscript") << "Superscript" << QVariant(0) << "<sup>word</sup>";
    QTest::newRow("bullets") << "InsertUnorderedList" << QVariant(0) << "<li>";
    QTest::newRow("font name") << "FontName" << QVariant(QStringLiteral("Microsoft JhengHei"))
                               << "face=\"Microsoft JhengHei\"";
    QTest::newRow("chinese font name") << "FontName" << QVariant(QStringLiteral("微软雅黑")) << "face=\"微软雅黑\"";
    QTest::newRow("font size") << "FontSize" << QVariant(6) << "size=\"6\"";
}

void HtmlViewTest::commandsFormatTheSelection()
{
    QFETCH(QString, command);
    QFETCH(QVariant, value);
    QFETCH(QString, markup);

    TExWebBrowser view;
    QVERIFY(
        ShowHtml(view, FilePath(QStringLiteral("note.html")),
                 "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p>one word here</p></body></html>"));
    view.SetDesignMode(true);
    QVERIFY(SelectText(view, QStringLiteral("word")));
    QCOMPARE(view.SelectionText(), QStringLiteral("word"));
    view.ExecCommand(command, value);
    const QString body = view.BodyInnerHtml();
    QVERIFY2(body.contains(markup), qPrintable(body));
    QVERIFY(body.contains(QLatin1String("one ")));
}

void HtmlViewTest::coloursAreReadAsBlueGreenRed_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("colour");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("expected");

    QTest::newRow("red text") << "ForeColor" << 255 << "color"
                              << "rgb(255, 0, 0)";
    QTest::newRow("blue text") << "ForeColor" << 16711680 << "color"
                               << "rgb(0, 0, 255)";
    QTest::newRow("mixed text") << "ForeColor" << 0x123456 << "color"
                                << "rgb(86, 52, 18)";
    QTest::newRow("green background") << "BackColor" << 0x00FF00 << "background-color"
                                      << "rgb(0, 255, 0)";
    QTest::newRow("red background") << "BackColor" << 255 << "background-color"
                                    << "rgb(255, 0, 0)";
}

void HtmlViewTest::coloursAreReadAsBlueGreenRed()
{
    QFETCH(QString, command);
    QFETCH(int, colour);
    QFETCH(QString, property);
    QFETCH(QString, expected);

    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><body><p>plain painted plain</p></body></html>"));
    view.SetDesignMode(true);
    QVERIFY(SelectText(view, QStringLiteral("painted")));
    view.ExecCommand(command, colour);
    const QString shown =
        view.RunScript(QStringLiteral("(function () {"
                                      "  var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);"
                                      "  for (var node = walker.nextNode(); node; node = walker.nextNode())"
                                      "    if (node.data === 'painted')"
                                      "      return getComputedStyle(node.parentElement).getPropertyValue('%1');"
                                      "  return 'painted text not found in ' + document.body.innerHTML;"
                                      "})()")
                           .arg(property))
            .toString();
    QCOMPARE(shown, expected);
}

void HtmlViewTest::pasteReplacesTheSelection()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><body><p>keep REPLACE keep</p></body></html>"));
    view.SetDesignMode(true);
    QVERIFY(SelectText(view, QStringLiteral("REPLACE")));
    view.PasteHtml(QStringLiteral("<b>it's \"new\"</b>"));
    QVERIFY2(view.BodyInnerHtml().contains(QLatin1String("<b>it's \"new\"</b>")), qPrintable(view.BodyInnerHtml()));
    QCOMPARE(view.RunScript(QStringLiteral("document.body.textContent.replace(/\\u00a0/g, ' ')")).toString(),
             QStringLiteral("keep it's \"new\" keep"));

    // Without any selection the HTML goes to the end of the body.
    view.RunScript(QStringLiteral("window.getSelection().removeAllRanges(); true"));
    view.PasteHtml(QStringLiteral("<i>appended</i>"));
    QVERIFY2(view.BodyInnerHtml().contains(QLatin1String("<i>appended</i>")), qPrintable(view.BodyInnerHtml()));
    QVERIFY(view.RunScript(QStringLiteral("document.body.textContent")).toString().endsWith(QLatin1String("appended")));
}

void HtmlViewTest::clipboardCommandsUseTheClipboard()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><body><p id=\"p\">alpha beta gamma</p></body></html>"));
    QVERIFY(ShowOnScreen(view));
    view.setFocus();
    view.SetDesignMode(true);
    QGuiApplication::clipboard()->clear();

    QVERIFY(SelectText(view, QStringLiteral("beta")));
    view.ExecCommand(QStringLiteral("Copy"));
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("beta"));

    QVERIFY(SelectText(view, QStringLiteral("gamma")));
    view.ExecCommand(QStringLiteral("Paste"));
    QTRY_COMPARE(ElementText(view, QStringLiteral("p")), QStringLiteral("alpha beta beta"));

    QVERIFY(SelectText(view, QStringLiteral("alpha ")));
    view.ExecCommand(QStringLiteral("Cut"));
    QTRY_COMPARE(ElementText(view, QStringLiteral("p")), QStringLiteral("beta beta"));
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("alpha "));
}

void HtmlViewTest::selectedElementIsReadAndChanged()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><body>"
                     "<p>see <a href=\"other.html#part\" target=\"_blank\">the link</a> and "
                     "<img id=\"picture\" src=\"images/a.png\" width=\"10\"></p></body></html>"));
    view.SetDesignMode(true);

    QVERIFY(SelectText(view, QStringLiteral("link")));
    QVariantMap element = view.SelectedElement();
    QCOMPARE(element.value(QStringLiteral("tagName")).toString(), QStringLiteral("A"));
    QCOMPARE(element.value(QStringLiteral("innerText")).toString(), QStringLiteral("the link"));
    // Addresses as written, not resolved against the note's location.
    QCOMPARE(element.value(QStringLiteral("attributes")).toMap().value(QStringLiteral("href")).toString(),
             QStringLiteral("other.html#part"));

    view.SetElementText(QStringLiteral("new <text> 文字"));
    view.SetElementAttribute(QStringLiteral("href"), QStringLiteral("https://example.org/?q=\"a\"&b='c'"));
    QCOMPARE(view.RunScript(QStringLiteral("document.querySelector('a').getAttribute('href')")).toString(),
             QStringLiteral("https://example.org/?q=\"a\"&b='c'"));
    QCOMPARE(view.RunScript(QStringLiteral("document.querySelector('a').textContent")).toString(),
             QStringLiteral("new <text> 文字"));

    // A selection around just the picture names the picture.
    view.RunScript(QStringLiteral("var r = document.createRange(); r.selectNode(document.getElementById('picture'));"
                                  "window.getSelection().removeAllRanges(); window.getSelection().addRange(r); true"));
    element = view.SelectedElement();
    QCOMPARE(element.value(QStringLiteral("tagName")).toString(), QStringLiteral("IMG"));
    const QVariantMap attributes = element.value(QStringLiteral("attributes")).toMap();
    QCOMPARE(attributes.value(QStringLiteral("src")).toString(), QStringLiteral("images/a.png"));
    QCOMPARE(attributes.value(QStringLiteral("width")).toString(), QStringLiteral("10"));
    view.SetElementAttribute(QStringLiteral("height"), QStringLiteral("20"));
    QCOMPARE(view.RunScript(QStringLiteral("document.getElementById('picture').getAttribute('height')")).toString(),
             QStringLiteral("20"));

    // A new document forgets the element.
    QVERIFY(Show(view, FilePath(QStringLiteral("note.html"))));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.SetElementAttribute(QStringLiteral("x"), QStringLiteral("y")));
    view.RunScript(QStringLiteral("window.getSelection().removeAllRanges(); true"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.SelectedElement());
}

void HtmlViewTest::documentWithoutBodyIsAnError()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("picture.svg")),
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"></svg>"));
    QVERIFY(!view.HasBody());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.BodyInnerHtml());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.BodyIsBlank());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.InsertAtEndOfBody(QStringLiteral("<p>x</p>")));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.PasteHtml(QStringLiteral("<p>x</p>")));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.ExecCommand(QStringLiteral("Bold"), 0));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.ExecCommand(QStringLiteral("NoSuchCommand"), 0));
}

void HtmlViewTest::blankBodyIsToldInThePage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("blank");
    QTest::newRow("nothing") << QByteArray() << true;
    QTest::newRow("spaces, tabs and line ends") << QByteArray(" \t\r\n \f ") << true;
    QTest::newRow("em and ideographic spaces") << QByteArray("\xe2\x80\x83\xe3\x80\x80") << true;
    QTest::newRow("next line, line and paragraph separators") << QByteArray("\xc2\x85\xe2\x80\xa8\xe2\x80\xa9") << true;
    // Written out as &nbsp;, which is text.
    QTest::newRow("no-break space") << QByteArray("\xc2\xa0") << false;
    QTest::newRow("zero-width space") << QByteArray("\xe2\x80\x8b") << false;
    QTest::newRow("line break") << QByteArray(" <br> ") << false;
    QTest::newRow("comment") << QByteArray("<!-- -->") << false;
    QTest::newRow("empty paragraph") << QByteArray("<p></p>") << false;
    QTest::newRow("a letter after spaces") << QByteArray("\n\n  x") << false;
}

void HtmlViewTest::blankBodyIsToldInThePage()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, blank);
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>"));
    // The page's answer is the program's own rule on the HTML read out.
    QCOMPARE(view.BodyInnerHtml().trimmed().isEmpty(), blank);
    QCOMPARE(view.BodyIsBlank(), blank);
}

void HtmlViewTest::textSurvivesInsertAndSave_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("quotes") << QStringLiteral("He said \"hi\" and 'bye'");
    QTest::newRow("backslashes") << QStringLiteral("C:\\notes\\new \\n \\u0041 \\\\");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree");
    QTest::newRow("chinese") << QStringLiteral("中文笔记，标题「测试」");
    QTest::newRow("script-like") << QStringLiteral("</script><script>alert(1)</script> ${x} `y` %1 &amp;");
    QTest::newRow("line separators") << QStringLiteral("a\u2028b\u2029c");
}

void HtmlViewTest::textSurvivesInsertAndSave()
{
    QFETCH(QString, text);

    TestProgramFolder folder;
    TExWebBrowser view;
    QVERIFY(Show(view, folder.dataFolder() + QStringLiteral("template.html")));
    view.SetDesignMode(true);
    view.InsertAtEndOfBody(QStringLiteral("<pre id=\"t\">%1</pre>").arg(text.toHtmlEscaped()));
    QCOMPARE(ElementText(view, QStringLiteral("t")), QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));

    const QString saved = FilePath(QStringLiteral("saved.html"));
    view.SaveDocument(saved);
    TExWebBrowser reader;
    QVERIFY(Show(reader, saved));
    QCOMPARE(ElementText(reader, QStringLiteral("t")), ElementText(view, QStringLiteral("t")));
}

void HtmlViewTest::saveWritesUtf8AndDeclaresIt_data()
{
    QTest::addColumn<QByteArray>("source");

    QTest::newRow("declared utf-8") << QByteArray(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head>"
        "<body><p>中文 &#x1F600;</p></body></html>");
    QTest::newRow("undeclared") << QByteArray(
        "<!DOCTYPE html><html><head><title>t</title></head><body><p>&#20013;&#25991; &#x1F600;</p>"
        "</body></html>");
    QTest::newRow("declared latin-1") << QByteArray(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
        "</head><body><p>&#20013;&#25991; &#x1F600;</p></body></html>");
    QTest::newRow("no head") << QByteArray("<p>&#20013;&#25991; &#x1F600;</p>");
}

void HtmlViewTest::saveWritesUtf8AndDeclaresIt()
{
    QFETCH(QByteArray, source);

    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("source.html")), source));
    const QString saved = FilePath(QStringLiteral("saved.html"));
    view.SaveDocument(saved);

    const QByteArray written = ReadFile(saved);
    QCOMPARE(written.count("charset"), 1);
    QVERIFY2(written.contains("<meta charset=\"utf-8\">"), written.constData());
    QVERIFY(!written.contains("iso-8859-1"));
    QVERIFY(written.contains(QStringLiteral("中文 \U0001F600").toUtf8()));
    // The declaration must come before anything the parser would have to decode.
    QVERIFY(written.indexOf("<meta charset") < written.indexOf("中"));
    QCOMPARE(written.startsWith("<!DOCTYPE html>"), source.startsWith("<!DOCTYPE html>"));

    // The shown document itself is left as it was.
    QCOMPARE(view.RunScript(QStringLiteral("document.querySelectorAll('meta[charset]').length")).toInt(),
             source.count("meta charset"));

    TExWebBrowser reader;
    QVERIFY(Show(reader, saved));
    QCOMPARE(reader.RunScript(QStringLiteral("document.characterSet")).toString(), QStringLiteral("UTF-8"));
    QCOMPARE(reader.RunScript(QStringLiteral("document.querySelector('p').textContent")).toString(),
             QStringLiteral("中文 \U0001F600"));
}

void HtmlViewTest::saveKeepsRelativePictureAddresses()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("images")));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (const char *name : {"x.png", "y.png", "z.png"})
        QVERIFY(picture.save(FilePath(QStringLiteral("images/") + QLatin1String(name))));

    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
                     "<body><p>before <img src=\"images/x.png\"> after</p><p>caret here</p></body></html>"));
    QTRY_VERIFY(view.RunScript(QStringLiteral("document.images[0].complete && document.images[0].naturalWidth === 8"))
                    .toBool());
    view.SetDesignMode(true);
    QVERIFY(SelectText(view, QStringLiteral("caret")));
    view.PasteHtml(QStringLiteral("<img src=\"images/y.png\">"));
    view.InsertAtEndOfBody(QStringLiteral("<img src=\"./images/z.png\">"));

    const QString saved = FilePath(QStringLiteral("note.html"));
    view.SaveDocument(saved);
    const QByteArray written = ReadFile(saved);
    QVERIFY2(written.contains("src=\"images/x.png\""), written.constData());
    QVERIFY2(written.contains("src=\"images/y.png\""), written.constData());
    QVERIFY2(written.contains("src=\"./images/z.png\""), written.constData());
    QVERIFY(!written.contains("file:"));
}

void HtmlViewTest::saveReplacesTheFileOrReportsIt()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("source.html")),
                     "<!DOCTYPE html><html><body><p>new content</p></body></html>"));

    const QString saved = FilePath(QStringLiteral("note.html"));
    QVERIFY(WriteFile(saved, QByteArray(100000, 'o')));
    view.SaveDocument(saved);
    const QByteArray written = ReadFile(saved);
    QVERIFY(written.contains("new content"));
    QVERIFY(!written.contains("ooo"));
    // No temporary file is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);

    const QString unwritable = FilePath(QStringLiteral("missing folder/note.html"));
    try {
        view.SaveDocument(unwritable);
        QFAIL("saving into a missing folder succeeded");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(unwritable), error.what());
    }
    QVERIFY(!QFile::exists(unwritable));
}

void HtmlViewTest::fullDiskNeverCutsANoteShort()
{
    SmallDisk disk(96);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("source.html")),
                     "<!DOCTYPE html><html><body><p id=\"first\">complete note</p></body></html>"));
    // A whole note of 40 KB fits.
    view.InsertAtEndOfBody(QStringLiteral("<p>%1</p>").arg(QString(40000, QLatin1Char('a'))));
    const QString note = disk.path() + QStringLiteral("note.html");
    view.SaveDocument(note);
    const QByteArray whole = ReadFile(note);
    QVERIFY(whole.size() > 40000);
    QVERIFY(whole.contains("complete note"));

    // Saved again with 200 KB more, it no longer fits: the save says so and the
    // note on disk stays the complete earlier one.
    view.InsertAtEndOfBody(QStringLiteral("<p>%1</p>").arg(QString(200000, QLatin1Char('b'))));
    try {
        view.SaveDocument(note);
        QFAIL("a save bigger than the free space reported success");
    } catch (const std::runtime_error &error) {
        const QString text = QString::fromUtf8(error.what());
        QVERIFY2(text.contains(note), error.what());
        QVERIFY2(text.contains(QLatin1String("space"), Qt::CaseInsensitive), error.what());
    }
    QCOMPARE(ReadFile(note), whole);
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"note.html"});

    // A new note that does not fit leaves no file at all.
    const QString fresh = disk.path() + QStringLiteral("fresh.html");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.SaveDocument(fresh));
    QVERIFY(!QFile::exists(fresh));
}

void HtmlViewTest::onlyTheNavigatedDocumentIsSaved()
{
    const QString target = FilePath(QStringLiteral("note.html"));
    QVERIFY(WriteFile(target, "<p>the stored note</p>"));

    // A note file that has gone: the view shows the engine's error page.
    TExWebBrowser view;
    view.Navigate(FilePath(QStringLiteral("gone.html")));
    QVERIFY(view.WaitWhileBusy());
    QVERIFY(!view.ShowsNavigatedDocument());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, view.SaveDocument(target));
    QCOMPARE(ReadFile(target), QByteArray("<p>the stored note</p>"));

    // A view never navigated by the program has no note to save.
    TExWebBrowser loaded;
    QSignalSpy finished(&loaded, &QWebEngineView::loadFinished);
    loaded.load(QUrl::fromLocalFile(target));
    QVERIFY(finished.wait(15000));
    QVERIFY(!loaded.ShowsNavigatedDocument());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, loaded.SaveDocument(target));

    // A folder name with spaces and Chinese is still the same document.
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("日记 folder")));
    const QString odd = FilePath(QStringLiteral("日记 folder/note #1.html"));
    QVERIFY(ShowHtml(view, odd, "<!DOCTYPE html><html><body><p>odd place</p></body></html>"));
    QVERIFY(view.ShowsNavigatedDocument());
    view.SaveDocument(odd);
    QVERIFY(ReadFile(odd).contains("odd place"));
}

void HtmlViewTest::viewStaysOnTheNote_data()
{
    QTest::addColumn<QByteArray>("note");
    QTest::addColumn<QString>("action");

    // secret.html stands for any file of the computer, such as /etc/passwd.
    QTest::newRow("meta refresh to a local file")
        << QByteArray("<meta http-equiv=\"refresh\" content=\"0;url=secret.html\">") << QString();
    QTest::newRow("meta refresh after a second")
        << QByteArray("<meta http-equiv=\"REFRESH\" content=\"1; URL=file:///etc/passwd\">") << QString();
    QTest::newRow("Enter in a search form")
        << QByteArray("<form action=\"secret.html\"><input id=\"field\" name=\"q\" value=\"x\"></form>")
        << QStringLiteral("enter");
    QTest::newRow("form sent to an unreachable server")
        << QByteArray("<form method=\"post\" action=\"http://127.0.0.1:9/\"><input name=\"q\"></form>")
        << QStringLiteral("document.forms[0].submit()");
    QTest::newRow("window.location") << QByteArray("<script>window.location = 'secret.html';</script>") << QString();
    QTest::newRow("location on load") << QByteArray("<body onload=\"location.href = 'secret.html'\"></body>")
                                      << QString();
    QTest::newRow("history back") << QByteArray() << QStringLiteral("history.back()");
    QTest::newRow("mouse back button") << QByteArray() << QStringLiteral("back button");
}

void HtmlViewTest::viewStaysOnTheNote()
{
    QFETCH(QByteArray, note);
    QFETCH(QString, action);

    QVERIFY(WriteFile(FilePath(QStringLiteral("secret.html")), "<p>SECRET CONTENT</p>"));
    TExWebBrowser view;
    // An earlier document, so that the history has somewhere to go back to.
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("earlier.html")), "<p>SECRET CONTENT</p>"));
    const QString notePath = FilePath(QStringLiteral("note.html"));
    QVERIFY(ShowHtml(view, notePath,
                     "<!DOCTYPE html><html><head>" + note + "</head><body><p>the note itself</p>" + note +
                         "</body></html>"));
    QWidget *surface = ShowOnScreen(view);
    QVERIFY(surface);
    if (action == QLatin1String("enter")) {
        view.RunScript(QStringLiteral("document.getElementById('field').focus(); true"));
        QTest::keyClick(surface, Qt::Key_Return);
    } else if (action == QLatin1String("back button")) {
        QTest::mouseClick(surface, Qt::BackButton, {}, QPoint(20, 20));
    } else if (!action.isEmpty()) {
        view.RunScript(action + QStringLiteral("; true"));
    }
    QTest::qWait(1800); // past the one-second refresh

    QCOMPARE(view.url(), QUrl::fromLocalFile(notePath));
    QVERIFY(view.WaitWhileBusy());
    QVERIFY(view.ShowsNavigatedDocument());
    QVERIFY(view.BodyInnerHtml().contains(QLatin1String("the note itself")));
    view.SaveDocument(notePath);
    const QByteArray saved = ReadFile(notePath);
    QVERIFY2(saved.contains("the note itself"), saved.constData());
    QVERIFY(!saved.contains("SECRET"));
    QVERIFY(m_opened->urls.isEmpty());
}

void HtmlViewTest::framesNeverShowOtherFiles()
{
    QTemporaryDir elsewhere;
    const QString secret = elsewhere.filePath(QStringLiteral("secret.txt"));
    QVERIFY(WriteFile(secret, "SECRET CONTENT"));
    QVERIFY(WriteFile(FilePath(QStringLiteral("beside.html")), "<p>SECRET CONTENT</p>"));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("images")));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(FilePath(QStringLiteral("images/own.png"))));

    const QByteArray secretAddress = QUrl::fromLocalFile(secret).toEncoded();
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><body><p>note</p>"
                     "<iframe src=\"" +
                         secretAddress +
                         "\"></iframe>"
                         "<iframe src=\"beside.html\"></iframe>"
                         "<object data=\"" +
                         secretAddress +
                         "\" type=\"text/plain\"></object>"
                         "<embed src=\"" +
                         secretAddress +
                         "\" type=\"text/plain\">"
                         "<img src=\"images/own.png\"></body></html>"));
    ShowOnScreen(view);
    QTest::qWait(800);
    const QString framed =
        view.RunScript(
                QStringLiteral("Array.from(document.querySelectorAll('iframe, object, embed'))"
                               ".map(function (frame) {"
                               "  try {"
                               "    var inner = frame.contentDocument;"
                               "    return inner && inner.documentElement ? inner.documentElement.innerText : '';"
                               "  } catch (e) { return ''; }"
                               "}).join('|')"))
            .toString();
    QVERIFY2(!framed.contains(QLatin1String("SECRET")), qPrintable(framed));
    // The note's own pictures still show.
    QTRY_VERIFY(view.RunScript(QStringLiteral("document.images[0].complete && document.images[0].naturalWidth === 8"))
                    .toBool());
    QVERIFY(view.ShowsNavigatedDocument());
}

void HtmlViewTest::printedPagesCarryTitleAndPageNumbers()
{
    QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>";
    for (int i = 1; i <= 150; ++i)
        html += "<p>Paragraph " + QByteArray::number(i) + " of a long note.</p>";
    html += "</body></html>";
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("long.html")), html));
    const QString title = QStringLiteral("Trip notes 旅行");

    const QString output = FilePath(QStringLiteral("printed.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(output);
        QVERIFY(view.PrintTo(printer, title));
    }
    QPdfDocument printed;
    QCOMPARE(printed.load(output), QPdfDocument::Error::None);
    const int pages = printed.pageCount();
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    for (int page = 0; page < pages; ++page) {
        const QString text = printed.getAllText(page).text();
        QVERIFY2(text.contains(title), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("%1/%2").arg(page + 1).arg(pages)), qPrintable(text));
    }
    // The note's own text is text in the file, not a picture of it.
    QVERIFY2(printed.getAllText(0).text().contains(QLatin1String("Paragraph 1 of a long note.")),
             qPrintable(printed.getAllText(0).text()));
    QVERIFY(printed.getAllText(pages - 1).text().contains(QLatin1String("Paragraph 150 of a long note.")));
    // The note itself is on the pages, between the header and the footer.
    QImage firstPage(600, 849, QImage::Format_RGB32);
    firstPage.fill(Qt::white);
    QPainter(&firstPage).drawImage(0, 0, printed.render(0, firstPage.size()));
    int dark = 0;
    for (int y = firstPage.height() / 10; y < firstPage.height() * 9 / 10; ++y)
        for (int x = 0; x < firstPage.width(); ++x)
            dark += qGray(firstPage.pixel(x, y)) < 128 ? 1 : 0;
    QVERIFY2(dark > 2000, qPrintable(QString::number(dark)));

    // A page range prints those pages, still numbered against the whole note.
    const QString second = FilePath(QStringLiteral("second.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(second);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        QVERIFY(view.PrintTo(printer, title));
    }
    QPdfDocument secondOnly;
    QCOMPARE(secondOnly.load(second), QPdfDocument::Error::None);
    QCOMPARE(secondOnly.pageCount(), 1);
    QVERIFY(secondOnly.getAllText(0).text().contains(QStringLiteral("2/%1").arg(pages)));
}

void HtmlViewTest::savedPdfKeepsTextAndStaysSmall()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("short.html")),
                     "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
                     "<p>First line of a short note.</p><p>Second line, with 中文 in it.</p>"
                     "<p>Third and last line.</p></body></html>"));
    const QString output = FilePath(QStringLiteral("short.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(output);
        QVERIFY(view.PrintTo(printer, QStringLiteral("A short note")));
    }
    // Pages drawn as pictures made such a note hundreds of kilobytes.
    const qint64 size = QFileInfo(output).size();
    QVERIFY2(size > 0 && size < 100 * 1024, qPrintable(QString::number(size)));
    QPdfDocument printed;
    QCOMPARE(printed.load(output), QPdfDocument::Error::None);
    QCOMPARE(printed.pageCount(), 1);
    const QString text = printed.getAllText(0).text();
    for (const QString &expected :
         {QStringLiteral("First line of a short note."), QStringLiteral("中文"), QStringLiteral("Third and last line."),
          QStringLiteral("A short note"), QStringLiteral("1/1")})
        QVERIFY2(text.contains(expected), qPrintable(text));
}

void HtmlViewTest::findBarFindsAndCloses()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
                     "<h2>Shopping</h2><p>apple, banana, apple pie, cherry and one more apple.</p>"
                     "<p>苹果 and 香蕉</p></body></html>"));
    QWidget *surface = ShowOnScreen(view);
    QVERIFY(surface);
    FindBar *bar = view.Finder();
    QVERIFY(bar->isHidden());

    // Ctrl+F with the view focused opens the bar.
    surface->setFocus();
    QTRY_VERIFY(surface->hasFocus());
    QTest::keyClick(surface, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(bar->isVisible());
    auto *textEdit = bar->findChild<QLineEdit *>(QStringLiteral("FindTextEdit"));
    QVERIFY(textEdit);
    QTRY_VERIFY(textEdit->hasFocus());
    QVERIFY(bar->geometry().right() < view.width() && bar->geometry().top() < 10);
    QVERIFY(bar->geometry().left() > view.width() / 3);

    QSignalSpy searched(bar, &FindBar::searched);
    QTest::keyClicks(textEdit, QStringLiteral("apple"));
    QTRY_COMPARE(bar->Matches(), 3);
    QVERIFY(!bar->NotFound());
    searched.clear();
    QTest::keyClick(textEdit, Qt::Key_Return);
    QTRY_VERIFY(!searched.isEmpty());
    const int afterEnter = bar->ActiveMatch();
    searched.clear();
    QTest::keyClick(textEdit, Qt::Key_Return);
    QTRY_VERIFY(!searched.isEmpty());
    QCOMPARE(bar->ActiveMatch(), afterEnter % 3 + 1);
    // Pictures of the bar to look at when this test fails.
    QTemporaryDir shots;
    QVERIFY(bar->grab().save(shots.filePath(QStringLiteral("findbar-found.png"))));
    QVERIFY(view.grab().save(shots.filePath(QStringLiteral("view-found.png"))));

    // Chinese text comes in through the input method.
    textEdit->clear();
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("苹果"));
    QApplication::sendEvent(textEdit, &typed);
    QTRY_COMPARE(bar->Matches(), 1);

    textEdit->clear();
    QTest::keyClicks(textEdit, QStringLiteral("durian"));
    QTRY_VERIFY(bar->NotFound());
    QCOMPARE(bar->findChild<QLabel *>(QStringLiteral("FindStatusLabel"))->text(), QStringLiteral("Not found"));
    QVERIFY(bar->grab().save(shots.filePath(QStringLiteral("findbar-notfound.png"))));
    QVERIFY(view.grab().save(shots.filePath(QStringLiteral("view-notfound.png"))));

    QTest::keyClick(textEdit, Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QVERIFY(!bar->NotFound());

    // Opened again from a menu command, it shows the last text selected.
    view.ShowFindBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(textEdit->selectedText(), QStringLiteral("durian"));
    bar->findChild<QWidget *>(QStringLiteral("FindCloseButton"))->setFocus();
    QTest::mouseClick(bar->findChild<QWidget *>(QStringLiteral("FindCloseButton")), Qt::LeftButton);
    QVERIFY(bar->isHidden());
}

void HtmlViewTest::linksOpenInTheUsersBrowser_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("opened");

    const QString note = QStringLiteral("note.html");
    QTest::newRow("clicked web link") << "https://example.org/page" << int(QWebEnginePage::NavigationTypeLinkClicked)
                                      << false << true;
    QTest::newRow("clicked mail link") << "mailto:someone@example.org" << int(QWebEnginePage::NavigationTypeLinkClicked)
                                       << false << true;
    // Local files, scripts and data are never handed to another program.
    QTest::newRow("clicked other note") << "other.html" << int(QWebEnginePage::NavigationTypeLinkClicked) << false
                                        << false;
    QTest::newRow("clicked script link") << "javascript:alert(1)" << int(QWebEnginePage::NavigationTypeLinkClicked)
                                         << false << false;
    QTest::newRow("clicked script link in capitals")
        << "JAVASCRIPT:alert(1)" << int(QWebEnginePage::NavigationTypeLinkClicked) << false << false;
    QTest::newRow("clicked data link") << "data:text/html,<b>x</b>" << int(QWebEnginePage::NavigationTypeLinkClicked)
                                       << false << false;
    QTest::newRow("clicked file link") << "file:///etc/passwd" << int(QWebEnginePage::NavigationTypeLinkClicked)
                                       << false << false;
    QTest::newRow("clicked other scheme")
        << "smb://server/share" << int(QWebEnginePage::NavigationTypeLinkClicked) << false << false;
    QTest::newRow("clicked ftp link") << "ftp://example.org/file" << int(QWebEnginePage::NavigationTypeLinkClicked)
                                      << false << true;
    QTest::newRow("clicked jump within the note")
        << note + QStringLiteral("#part") << int(QWebEnginePage::NavigationTypeLinkClicked) << true << false;
    QTest::newRow("program loads a note") << "other.html" << int(QWebEnginePage::NavigationTypeTyped) << true << false;
    QTest::newRow("form submitted") << "https://example.org/search?q=x"
                                    << int(QWebEnginePage::NavigationTypeFormSubmitted) << false << false;
    QTest::newRow("refresh or redirect") << "file:///etc/passwd" << int(QWebEnginePage::NavigationTypeRedirect) << false
                                         << false;
    QTest::newRow("history move") << "other.html" << int(QWebEnginePage::NavigationTypeBackForward) << false << false;
    QTest::newRow("reload") << note << int(QWebEnginePage::NavigationTypeReload) << false << false;
    QTest::newRow("script or anything else")
        << "other.html" << int(QWebEnginePage::NavigationTypeOther) << false << false;
}

void HtmlViewTest::linksOpenInTheUsersBrowser()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(bool, accepted);
    QFETCH(bool, opened);

    const QString notePath = FilePath(QStringLiteral("note.html"));
    QVERIFY(WriteFile(notePath, "<!DOCTYPE html><html><body><p id=\"part\">x</p></body></html>"));
    ProbePage page;
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.load(QUrl::fromLocalFile(notePath));
    QVERIFY(loaded.wait(15000));

    const QUrl url = QUrl::fromLocalFile(notePath).resolved(QUrl(address));
    QCOMPARE(page.acceptNavigationRequest(url, QWebEnginePage::NavigationType(type), true), accepted);
    QTest::qWait(50);
    QCOMPARE(m_opened->urls, opened ? QList<QUrl>{url} : QList<QUrl>{});
}

void HtmlViewTest::clickedLinkLeavesTheViewOnTheNote()
{
    TExWebBrowser view;
    const QString notePath = FilePath(QStringLiteral("note.html"));
    QVERIFY(ShowHtml(view, notePath,
                     "<!DOCTYPE html><html><body style=\"margin:0\">"
                     "<a href=\"https://example.org/elsewhere\" style=\"display:block;width:300px;height:200px\">"
                     "a link</a></body></html>"));
    QWidget *surface = ShowOnScreen(view);
    QVERIFY(surface);
    QTest::qWait(300);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
    QTRY_COMPARE(m_opened->urls, QList<QUrl>{QUrl(QStringLiteral("https://example.org/elsewhere"))});
    QTest::qWait(200);
    QCOMPARE(view.url(), QUrl::fromLocalFile(notePath));
    QVERIFY(!view.Busy());
}

void HtmlViewTest::linkToANewWindowOpensInTheUsersBrowser()
{
    TExWebBrowser view;
    const QString notePath = FilePath(QStringLiteral("note.html"));
    QVERIFY(ShowHtml(view, notePath,
                     "<!DOCTYPE html><html><body style=\"margin:0\">"
                     "<a href=\"https://example.org/new\" target=\"_blank\" "
                     "style=\"display:block;width:300px;height:200px\">a link</a></body></html>"));
    QWidget *surface = ShowOnScreen(view);
    QVERIFY(surface);
    QTest::qWait(300);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
    QTRY_COMPARE(m_opened->urls, QList<QUrl>{QUrl(QStringLiteral("https://example.org/new"))});
    QCOMPARE(view.url(), QUrl::fromLocalFile(notePath));
}

void HtmlViewTest::clickedUnsafeLinkOpensNothing_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::newRow("file") << QByteArray("href=\"file:///etc/passwd\"");
    QTest::newRow("file in a new window") << QByteArray("href='file:///etc/passwd' target=_blank");
    QTest::newRow("script in a new window") << QByteArray("href=\"javascript:alert(1)\" target=\"_blank\"");
    QTest::newRow("data in a new window") << QByteArray("HREF=data:text/html,x TARGET=_blank");
}

void HtmlViewTest::clickedUnsafeLinkOpensNothing()
{
    QFETCH(QByteArray, attributes);
    TExWebBrowser view;
    const QString notePath = FilePath(QStringLiteral("note.html"));
    QVERIFY(ShowHtml(view, notePath,
                     "<!DOCTYPE html><html><body style=\"margin:0\"><a " + attributes +
                         " style=\"display:block;width:300px;height:200px\">a link</a></body></html>"));
    QWidget *surface = ShowOnScreen(view);
    QVERIFY(surface);
    QTest::qWait(300);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::qWait(800);
    QCOMPARE(m_opened->urls, QList<QUrl>{});
    QCOMPARE(view.url(), QUrl::fromLocalFile(notePath));
}

void HtmlViewTest::rightClickCallsTheHookInsteadOfAMenu()
{
    TExWebBrowser view;
    QVERIFY(ShowHtml(view, FilePath(QStringLiteral("note.html")),
                     "<!DOCTYPE html><html><body><p>some text to click on</p></body></html>"));
    QWidget *surface = ShowOnScreen(view);
    QVERIFY(surface);
    QTest::qWait(300);

    // Without a hook nothing pops up.
    QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(40, 20));
    QTest::qWait(300);
    QVERIFY(!QApplication::activePopupWidget());
    QCOMPARE(view.findChildren<QMenu *>().size(), 0);

    QList<QPoint> calls;
    view.OnShowContextMenu = [&calls](const QPoint &globalPos) { calls.append(globalPos); };
    QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(40, 20));
    QTRY_COMPARE(calls.size(), 1);
    QCOMPARE(calls.first(), view.mapToGlobal(QPoint(40, 20)));
    QVERIFY(!QApplication::activePopupWidget());
}

void HtmlViewTest::waitWhileBusyEndsOnAHangingLoad()
{
    // A server that takes connections and never answers.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> held;
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection())
            held.append(socket);
    });

    TExWebBrowser view;
    view.load(QUrl(QStringLiteral("http://127.0.0.1:%1/never").arg(server.serverPort())));
    QTRY_VERIFY(view.Busy());
    QCOMPARE(view.ReadyState(), 1);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!view.WaitWhileBusy(500));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(view.Busy());

    // A note loaded afterwards still finishes.
    const QString notePath = FilePath(QStringLiteral("note.html"));
    QVERIFY(ShowHtml(view, notePath, "<!DOCTYPE html><html><body><p>fine</p></body></html>"));
    QCOMPARE(view.ReadyState(), 4);
    QVERIFY(view.BodyInnerHtml().contains(QLatin1String("fine")));

    // A window closed while its view waits ends the wait at once.
    auto *closing = new TExWebBrowser;
    closing->load(QUrl(QStringLiteral("http://127.0.0.1:%1/never").arg(server.serverPort())));
    QTRY_VERIFY(closing->Busy());
    QTimer::singleShot(100, [closing] { delete closing; });
    clock.restart();
    QVERIFY(!closing->WaitWhileBusy(20000));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
}

CLIPNEST_TEST_MAIN(HtmlViewTest)
#include "tst_htmlview.moc"
