#include "clipparser.h"
#include "htmltext.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

std::string Std(const QByteArray &bytes)
{
    return bytes.toStdString();
}

QByteArray Bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

// A clip as a browser drop would give it: header lines, then the wrapped page.
QByteArray Clip(const QByteArray &header, const QByteArray &page)
{
    return "Version:0.9\r\nStartHTML:0000000105\r\n" + header + page;
}

} // namespace

class ClipParserTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void sourceAddress_data();
    void sourceAddress();
    void relativeAddresses_data();
    void relativeAddresses();
    void body_data();
    void body();
    void title_data();
    void title();
    void characterReferences_data();
    void characterReferences();
    void preparedText_data();
    void preparedText();
    void noBreakSpacesArriveAsSpaces();
    void chineseTextKeptIntact();
    void bodyLinksResolvedAgainstTheSourceAddress();
    void dayFolderAskedOnceEvenWithoutPictures();

private:
    ClipParts parse(const QByteArray &clipText);

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_dayFolderCalls = 0;
};

void ClipParserTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("day/images")));
    m_dayFolderCalls = 0;
}

ClipParts ClipParserTest::parse(const QByteArray &clipText)
{
    CaptureContext context;
    context.dayFolder = [this] {
        ++m_dayFolderCalls;
        return (m_dir->path() + QStringLiteral("/day")).toStdString();
    };
    return ParseClip(Std(clipText), context);
}

void ClipParserTest::sourceAddress_data()
{
    QTest::addColumn<QByteArray>("clip");
    QTest::addColumn<QByteArray>("source");

    const QByteArray page = "<html><body>x</body></html>";
    QTest::newRow("header line") << Clip("SourceURL:http://host/a/b.html\r\n", page)
                                 << QByteArray("http://host/a/b.html");
    QTest::newRow("no header line") << Clip("", page) << QByteArray();
    QTest::newRow("space kept") << Clip("SourceURL: http://host/a.html\r\n", page) << QByteArray(" http://host/a.html");
    QTest::newRow("after the page starts") << Clip("", "\r\n<html>SourceURL:http://host/\r\n<body>") << QByteArray();
    QTest::newRow("no line break before markup") << QByteArray("SourceURL:http://host/<html>") << QByteArray();
    QTest::newRow("backslashes") << Clip("SourceURL:file:///D:\\dir\\page.htm\r\n", page)
                                 << QByteArray("file:///D:\\dir\\page.htm");
}

void ClipParserTest::sourceAddress()
{
    QFETCH(QByteArray, clip);
    QFETCH(QByteArray, source);
    QCOMPARE(Bytes(parse(clip).sourceAddress), source);
}

void ClipParserTest::relativeAddresses_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("fromRoot");   // what "/x" becomes
    QTest::addColumn<QByteArray>("fromFolder"); // what "y" becomes

    QTest::newRow("http") << QByteArray("http://host/dir/page") << QByteArray() << QByteArray("http://host/x")
                          << QByteArray("http://host/dir/y");
    QTest::newRow("https") << QByteArray("https://host/a/b/c.html") << QByteArray() << QByteArray("https://host/x")
                           << QByteArray("https://host/a/b/y");
    QTest::newRow("https host without slash")
        << QByteArray("https://host") << QByteArray() << QByteArray("https://host/x") << QByteArray("https://host/y");
    QTest::newRow("local page") << QByteArray("file:///home/u/dir/page.htm") << QByteArray() << QByteArray("file:///x")
                                << QByteArray("file:///home/u/dir/y");
    QTest::newRow("local page with backslashes")
        << QByteArray("file:///D:\\dir\\page.htm") << QByteArray() << QByteArray("/x") << QByteArray("y");
    QTest::newRow("leading space") << QByteArray(" http://host/a/b") << QByteArray() << QByteArray("/x")
                                   << QByteArray("y");
    QTest::newRow("other scheme") << QByteArray("ftp://host/a/b") << QByteArray() << QByteArray("/x")
                                  << QByteArray("y");
    QTest::newRow("base element") << QByteArray("http://host/a/b.html") << QByteArray("<base href=\"/media/\">")
                                  << QByteArray("http://host/x") << QByteArray("http://host/media/y");
    QTest::newRow("base element in single quotes")
        << QByteArray("http://host/a/b.html") << QByteArray("<BASE HREF='http://cdn/m/'>") << QByteArray("http://cdn/x")
        << QByteArray("http://cdn/m/y");
    QTest::newRow("base element without a page") << QByteArray() << QByteArray("<base href=\"http://cdn/m/\">")
                                                 << QByteArray("http://cdn/x") << QByteArray("http://cdn/m/y");
}

void ClipParserTest::relativeAddresses()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, fromRoot);
    QFETCH(QByteArray, fromFolder);
    const QByteArray header = source.isEmpty() ? QByteArray() : "SourceURL:" + source + "\r\n";
    const QByteArray clip =
        Clip(header, "<html><head>" + head + "</head><body><a href=\"/x\">x</a><a href=\"y\">y</a></body></html>");
    QCOMPARE(Bytes(parse(clip).body),
             "<body><a href=\"" + fromRoot + "\">x</a><a href=\"" + fromFolder + "\">y</a></body>");
}

void ClipParserTest::body_data()
{
    QTest::addColumn<QByteArray>("clip");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("lower case") << Clip("", "<html><body>Hi</body></html>") << QByteArray("<body>Hi</body>");
    QTest::newRow("upper-case opening, lower-case closing")
        << Clip("", "<html><BODY bgcolor=white>Hi</body></html>") << QByteArray("<BODY bgcolor=white>Hi</body>");
    QTest::newRow("upper-case closing wins wherever it is")
        << QByteArray("<body>a</body>b</BODY>") << QByteArray("<body>a</body>b</BODY>");
    QTest::newRow("upper-case opening wins wherever it is")
        << QByteArray("<body>a<BODY>b</body>") << QByteArray("<BODY>b</body>");
    QTest::newRow("mixed case is not a marker") << QByteArray("<Body>a</Body>xyz") << QByteArray("<Body>a");
    // The start clamps to 1 while the count stays e + 7: one character past the closing tag.
    QTest::newRow("no opening tag") << QByteArray("Version:0.9\r\n<html>Hi</body></html>")
                                    << QByteArray("Version:0.9\r\n<html>Hi</body><");
    QTest::newRow("no opening tag, closing at the end") << QByteArray("Hi</body>") << QByteArray("Hi</body>");
    QTest::newRow("no closing tag, opening late") << Clip("", "<html><body>Hi</html>") << QByteArray();
    QTest::newRow("no closing tag, opening at 2") << QByteArray("x<body>Hi") << QByteArray("<body");
    QTest::newRow("neither tag") << Clip("", "<html>Hi</html>") << QByteArray("Version");
    QTest::newRow("closing before opening") << QByteArray("</body>abc<body>") << QByteArray();
}

void ClipParserTest::body()
{
    QFETCH(QByteArray, clip);
    QFETCH(QByteArray, body);
    QCOMPARE(Bytes(parse(clip).body), body);
}

void ClipParserTest::title_data()
{
    QTest::addColumn<QByteArray>("clip");
    QTest::addColumn<QByteArray>("title");

    QTest::newRow("bare tags") << Clip("", "<html><head><title>Page</title></head><body></body>") << QByteArray("Page");
    QTest::newRow("upper case") << Clip("", "<TITLE>Page</TITLE><body></body>") << QByteArray("Page");
    QTest::newRow("upper-case closing pairs with lower-case opening")
        << QByteArray("<title>Page</TITLE>") << QByteArray("Page");
    QTest::newRow("with attributes") << Clip("", "<html><title lang=\"en\">Page</title><body></body>") << QByteArray();
    QTest::newRow("no closing tag") << QByteArray("<title>Page") << QByteArray();
    QTest::newRow("closing before opening") << QByteArray("</title>abc<title>") << QByteArray();
    QTest::newRow("one replacement character per picture")
        << QByteArray("<title>Slow pictures: \xEF\xBF\xBC \xEF\xBF\xBC \xEF\xBF\xBC</title>")
        << QByteArray("Slow pictures:");
    QTest::newRow("control characters and runs of white space")
        << QByteArray("<title>\t A\r\n\x01 B \xE3\x80\x80 C\x7F</title>") << QByteArray("A B C");
    QTest::newRow("references") << QByteArray("<title>Fish &amp; chips &#8211; &lt;cheap&gt;</title>")
                                << QByteArray("Fish & chips \xE2\x80\x93 <cheap>");
    QTest::newRow("named references beyond the common ones")
        << QByteArray("<title>Caf&eacute; &mdash; Men&uuml;</title>")
        << QByteArray("Caf\xC3\xA9 \xE2\x80\x94 Men\xC3\xBC");
}

void ClipParserTest::title()
{
    QFETCH(QByteArray, clip);
    QFETCH(QByteArray, title);
    QCOMPARE(Bytes(parse(clip).title), title);
}

void ClipParserTest::characterReferences_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("decoded");

    QTest::newRow("named") << QByteArray("&eacute;&Eacute;&hellip;&nbsp;&euro;&apos;")
                           << QByteArray("\xC3\xA9\xC3\x89\xE2\x80\xA6\xC2\xA0\xE2\x82\xAC'");
    QTest::newRow("decimal and hexadecimal")
        << QByteArray("&#233;&#xE9;&#XE9;&#x1F600;") << QByteArray("\xC3\xA9\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80");
    QTest::newRow("numeric without semicolon") << QByteArray("&#233a")
                                               << QByteArray("\xC3\xA9"
                                                             "a");
    QTest::newRow("named without semicolon stays") << QByteArray("?a=1&copy=2") << QByteArray("?a=1&copy=2");
    QTest::newRow("names are case-sensitive") << QByteArray("&EACUTE;") << QByteArray("&EACUTE;");
    QTest::newRow("unknown name stays") << QByteArray("&bogus; &; & amp;") << QByteArray("&bogus; &; & amp;");
    QTest::newRow("no digits stays") << QByteArray("&#; &#x;") << QByteArray("&#; &#x;");
    QTest::newRow("decoded once") << QByteArray("&amp;eacute;") << QByteArray("&eacute;");
    QTest::newRow("code points that cannot be text")
        << QByteArray("&#0;&#xD800;&#1114112;") << QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    QTest::newRow("overlong name stays") << QByteArray("&" + QByteArray(40, 'a') + ";")
                                         << QByteArray("&" + QByteArray(40, 'a') + ";");
}

void ClipParserTest::characterReferences()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, decoded);
    QCOMPARE(Bytes(DecodeCharacterReferences(Std(text))), decoded);
}

void ClipParserTest::preparedText_data()
{
    QTest::addColumn<QByteArray>("dropped");
    QTest::addColumn<QByteArray>("prepared");

    QTest::newRow("no-break space") << QByteArray("a\xC2\xA0"
                                                  "b")
                                    << QByteArray("a b");
    QTest::newRow("lone lead byte") << QByteArray("a\xC2") << QByteArray("a\xC2");
    QTest::newRow("doubled lead byte") << QByteArray("\xC2\xC2\xA0") << QByteArray("\xC2 ");
    QTest::newRow("cut at zero byte") << QByteArray("ab\0cd", 5) << QByteArray("ab");
}

void ClipParserTest::preparedText()
{
    QFETCH(QByteArray, dropped);
    QFETCH(QByteArray, prepared);
    const std::string text = PrepareClipText(std::string_view(dropped.constData(), size_t(dropped.size())));
    QCOMPARE(Bytes(text), prepared);
}

void ClipParserTest::noBreakSpacesArriveAsSpaces()
{
    const QByteArray dropped = Clip("", "<title>A\xC2\xA0"
                                        "B</title><body>x\xC2\xA0y</body>");
    const ClipParts parts = parse(Bytes(PrepareClipText(Std(dropped))));
    QCOMPARE(Bytes(parts.title), QByteArray("A B"));
    QCOMPARE(Bytes(parts.body), QByteArray("<body>x y</body>"));
}

void ClipParserTest::chineseTextKeptIntact()
{
    const QByteArray title = QStringLiteral("工作笔记").toUtf8();
    const QByteArray text = QStringLiteral("中文内容，网页").toUtf8();
    const QByteArray clip = Clip("SourceURL:http://host/\xE4\xB8\xAD.html\r\n",
                                 "<html><title>" + title + "</title><body><p>" + text + "</p></body></html>");
    const ClipParts parts = parse(Bytes(PrepareClipText(Std(clip))));
    QCOMPARE(Bytes(parts.title), title);
    QCOMPARE(Bytes(parts.body), "<body><p>" + text + "</p></body>");
    QCOMPARE(QString::fromStdString(parts.sourceAddress), QStringLiteral("http://host/中.html"));
}

void ClipParserTest::bodyLinksResolvedAgainstTheSourceAddress()
{
    const QByteArray clip = Clip("SourceURL:http://host/a/b.html\r\n",
                                 "<html><body><a href=\"/x.html\">x</a><a href=\"next.html\">n</a></body></html>");
    QCOMPARE(Bytes(parse(clip).body),
             QByteArray("<body><a href=\"http://host/x.html\">x</a><a href=\"http://host/a/next.html\">n</a></body>"));
}

void ClipParserTest::dayFolderAskedOnceEvenWithoutPictures()
{
    parse(Clip("", "<html><body>no pictures</body></html>"));
    QCOMPARE(m_dayFolderCalls, 1);
}

QTEST_GUILESS_MAIN(ClipParserTest)
#include "tst_clipparser.moc"
