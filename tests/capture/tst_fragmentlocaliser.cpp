#include "cssurls.h"
#include "fragmentlocaliser.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The page the fragments come from.
const PageAddress Page{"http://host/a/page.html", "http://host/a/page.html"};

QByteArray Bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

} // namespace

// The three passes without the network: a stand-in storer records the
// addresses it is given and writes the address into each file it stores.
class FragmentLocaliserTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void cssUrls_data();
    void cssUrls();
    void links_data();
    void links();
    void pictureReferences_data();
    void pictureReferences();
    void pictureAddresses_data();
    void pictureAddresses();
    void longNamesShortenedToFit_data();
    void longNamesShortenedToFit();
    void sameLastSegmentGetsItsOwnFile();
    void namesFollowDocumentOrderWhateverOrderFetchesEnd();
    void failedPictureLeavesNoFile();
    void progressCountsEveryPicture();
    void noDayFolderStoresNothing();

private:
    QByteArray localise(const QByteArray &fragment);
    QString imagesFolder() const { return m_dir->path() + QStringLiteral("/day/images/"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    CaptureContext m_context;
    QList<QByteArray> m_fetched;
    QSet<QByteArray> m_failing;
};

void FragmentLocaliserTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("day/images")));
    m_fetched.clear();
    m_failing.clear();
    m_context = CaptureContext();
    m_context.dayFolder = [this] { return (m_dir->path() + QStringLiteral("/day")).toStdString(); };
    m_context.storePictures = [this](std::vector<PictureJob> &jobs, const FetchOptions &, const JobFinished &done) {
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const QByteArray address = Bytes(jobs[i].address);
            m_fetched << address;
            QFile file(QString::fromStdString(jobs[i].localPath));
            // Addresses of pictures named "gone…" fail, as those listed in m_failing.
            const bool fails = m_failing.contains(address) || address.contains("/gone");
            if (!jobs[i].localPath.empty() && !fails && file.open(QIODevice::WriteOnly))
                jobs[i].stored = file.write(address) == address.size();
            done(i);
        }
    };
}

QByteArray FragmentLocaliserTest::localise(const QByteArray &fragment)
{
    return Bytes(LocaliseFragment(fragment.toStdString(), Page, m_context));
}

void FragmentLocaliserTest::cssUrls_data()
{
    QTest::addColumn<QByteArray>("css");
    QTest::addColumn<QByteArrayList>("addresses"); // each url() found, decoded
    QTest::addColumn<QByteArrayList>("tokens");    // the text each one spans

    QTest::newRow("unquoted") << QByteArray("a{background:url(a.png)}") << QByteArrayList{"a.png"}
                              << QByteArrayList{"url(a.png)"};
    QTest::newRow("quoted, spaced, any case")
        << QByteArray("x:URL( \"b c.png\" ) Url('d.png')") << QByteArrayList{"b c.png", "d.png"}
        << QByteArrayList{"URL( \"b c.png\" )", "Url('d.png')"};
    QTest::newRow("escapes") << QByteArray("url(a\\28 1\\29.png) url('\\'q\\\n.png') url(\\E4 \\B8 x)")
                             << QByteArrayList{"a(1).png", "'q.png", "\xC3\xA4\xC2\xB8x"}
                             << QByteArrayList{"url(a\\28 1\\29.png)", "url('\\'q\\\n.png')", "url(\\E4 \\B8 x)"};
    QTest::newRow("comments and strings") << QByteArray("/* url(no.png) */ content:\"url(no.png)\"; b:url(yes.png)")
                                          << QByteArrayList{"yes.png"} << QByteArrayList{"url(yes.png)"};
    QTest::newRow("inline data") << QByteArray("url(data:image/png;base64,iVBO=)")
                                 << QByteArrayList{"data:image/png;base64,iVBO="}
                                 << QByteArrayList{"url(data:image/png;base64,iVBO=)"};
    QTest::newRow("style sheets are no pictures")
        << QByteArray("@import url(s.css) screen; @IMPORT 't.css'; a{b:url(p.png)}") << QByteArrayList{"p.png"}
        << QByteArrayList{"url(p.png)"};
    QTest::newRow("malformed") << QByteArray("url(a b) url(a\"b) url('open url(x) myurl(y) url(z") << QByteArrayList{}
                               << QByteArrayList{};
    QTest::newRow("other functions") << QByteArray("image-set(url(1x.png) 1x) -url(n) src(s)")
                                     << QByteArrayList{"1x.png"} << QByteArrayList{"url(1x.png)"};
}

void FragmentLocaliserTest::cssUrls()
{
    QFETCH(QByteArray, css);
    QByteArrayList addresses;
    QByteArrayList tokens;
    for (const CssUrl &url : CssUrls(css.toStdString())) {
        addresses << Bytes(url.address);
        tokens << css.mid(qsizetype(url.begin), qsizetype(url.end - url.begin));
    }
    QTEST(addresses, "addresses");
    QTEST(tokens, "tokens");
}

void FragmentLocaliserTest::links_data()
{
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<QByteArray>("localised");

    QTest::newRow("host base") << QByteArray("<a href=\"/x.html\">x</a>")
                               << QByteArray("<a href=\"http://host/x.html\">x</a>");
    QTest::newRow("folder base") << QByteArray("<a href=\"next.html\">n</a>")
                                 << QByteArray("<a href=\"http://host/a/next.html\">n</a>");
    QTest::newRow("absolute") << QByteArray("<a href=\"http://other/p\">p</a>")
                              << QByteArray("<a href=\"http://other/p\">p</a>");
    QTest::newRow("mixed-case scheme is absolute")
        << QByteArray("<a href=\"Http://other/p\">p</a>") << QByteArray("<a href=\"Http://other/p\">p</a>");
    QTest::newRow("fragment link keeps the page")
        << QByteArray("<a href=\"#top\">t</a>") << QByteArray("<a href=\"http://host/a/page.html#top\">t</a>");
    QTest::newRow("query keeps the page")
        << QByteArray("<a href=\"?page=2\">2</a>") << QByteArray("<a href=\"http://host/a/page.html?page=2\">2</a>");
    QTest::newRow("network path") << QByteArray("<a href=\"//cdn/x\">x</a>")
                                  << QByteArray("<a href=\"http://cdn/x\">x</a>");
    QTest::newRow("dot segments") << QByteArray("<a href=\"../up.html\">u</a>")
                                  << QByteArray("<a href=\"http://host/up.html\">u</a>");
    QTest::newRow("mail link stays") << QByteArray("<a href=\"mailto:me@x\">m</a>")
                                     << QByteArray("<a href=\"mailto:me@x\">m</a>");
    QTest::newRow("script link stays") << QByteArray("<a href=' JavaScript:alert(1)'>j</a>")
                                       << QByteArray("<a href=' JavaScript:alert(1)'>j</a>");
    QTest::newRow("area") << QByteArray("<area shape=rect href=\"m.html\">")
                          << QByteArray("<area shape=rect href=\"http://host/a/m.html\">");
    QTest::newRow("escaped ampersand") << QByteArray("<a href=\"n.html?a=1&amp;b=2\">n</a>")
                                       << QByteArray("<a href=\"http://host/a/n.html?a=1&amp;b=2\">n</a>");
    QTest::newRow("quote in the value") << QByteArray("<a title=\"a>b\" href=\"x\">x</a>")
                                        << QByteArray("<a title=\"a>b\" href=\"http://host/a/x\">x</a>");
    QTest::newRow("in a comment") << QByteArray("<!-- <a href=\"x\">x</a> -->")
                                  << QByteArray("<!-- <a href=\"x\">x</a> -->");
    QTest::newRow("in a script") << QByteArray("<script>'<a href=\"x\">'</script>")
                                 << QByteArray("<script>'<a href=\"x\">'</script>");
    QTest::newRow("unquoted base element") << QByteArray("<base href=http://other/ target=_top><a href=x>x</a>")
                                           << QByteArray("<base href=\"\" target=_top><a href=http://host/a/x>x</a>");
    QTest::newRow("base element no longer moves the note")
        << QByteArray("<base href=\"http://other/\"><a href=\"x\">x</a>")
        << QByteArray("<base href=\"\"><a href=\"http://host/a/x\">x</a>");
    QTest::newRow("upper-case tag and attribute")
        << QByteArray("<A HREF=\"x.html\">x</A>") << QByteArray("<A HREF=\"http://host/a/x.html\">x</A>");
    QTest::newRow("only the attribute itself") << QByteArray("<a data-href=\"d\" href=\"h\">x</a>")
                                               << QByteArray("<a data-href=\"d\" href=\"http://host/a/h\">x</a>");
    QTest::newRow("mixed-case attribute")
        << QByteArray("<a Href=\"x\">x</a>") << QByteArray("<a Href=\"http://host/a/x\">x</a>");
    QTest::newRow("single quotes") << QByteArray("<a href='x'>x</a>") << QByteArray("<a href='http://host/a/x'>x</a>");
    QTest::newRow("no quotes") << QByteArray("<a href=x>x</a>") << QByteArray("<a href=http://host/a/x>x</a>");
    QTest::newRow("line break after tag name")
        << QByteArray("<a\nhref=\"x\">x</a>") << QByteArray("<a\nhref=\"http://host/a/x\">x</a>");
    QTest::newRow("empty value") << QByteArray("<a href=\"\">x</a>") << QByteArray("<a href=\"\">x</a>");
    QTest::newRow("text around kept")
        << QByteArray("pre <a href=\"1\">1</a> mid <a href=\"/2\">2</a> post")
        << QByteArray("pre <a href=\"http://host/a/1\">1</a> mid <a href=\"http://host/2\">2</a> post");
    QTest::newRow("no end tag") << QByteArray("x <a href=\"y\">never closed")
                                << QByteArray("x <a href=\"http://host/a/y\">never closed");
    QTest::newRow("tag cut off") << QByteArray("x <a href=\"y\"") << QByteArray("x <a href=\"y\"");
    // What a web page's frames, media and objects load from local files is emptied.
    QTest::newRow("local frame") << QByteArray("<iframe src=\"file:///etc/passwd\"></iframe>")
                                 << QByteArray("<iframe src=\"\"></iframe>");
    QTest::newRow("local media, poster and track")
        << QByteArray("<video poster='FILE:/etc/x.png' src=file:///a.webm><track src=\" file:///t.vtt\"></video>")
        << QByteArray("<video poster='' src=\"\"><track src=\"\"></video>");
    QTest::newRow("a local poster repeated with a web one")
        << QByteArray("<video poster=file:///etc/x.png poster=\"p.png\"></video>")
        << QByteArray("<video poster=\"\" poster=\"\"></video>");
    QTest::newRow("local embed, object, image button and audio source")
        << QByteArray("<embed src=\"file:///x\"><object data=\"file:///y\"></object><input type=image "
                      "src=\"file:///z\"><audio><source src=\"file:///s.ogg\"></audio>")
        << QByteArray("<embed src=\"\"><object data=\"\"></object><input type=image src=\"\"><audio><source "
                      "src=\"\"></audio>");
    QTest::newRow("framed document naming a local file")
        << QByteArray("<iframe srcdoc=\"&lt;img src=file:///etc/passwd&gt;\"></iframe>")
        << QByteArray("<iframe srcdoc=\"\"></iframe>");
    QTest::newRow("web frames stay") << QByteArray("<iframe src=\"https://v.example/e\"></iframe><iframe src=\"w\">")
                                     << QByteArray("<iframe src=\"https://v.example/e\"></iframe><iframe src=\"w\">");
    QTest::newRow("stray end before a link")
        << QByteArray("x</a>y<a href=\"z\">z</a>") << QByteArray("x</a>y<a href=\"http://host/a/z\">z</a>");
}

void FragmentLocaliserTest::links()
{
    QFETCH(QByteArray, fragment);
    QFETCH(QByteArray, localised);
    QCOMPARE(localise(fragment), localised);
    QVERIFY(m_fetched.isEmpty());
}

void FragmentLocaliserTest::pictureReferences_data()
{
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<QByteArray>("localised");

    QTest::newRow("picture") << QByteArray("<p><img src=\"http://host/logo.gif\" alt=\"x\"></p>")
                             << QByteArray("<p><img src=\"images/logo.gif\" alt=\"x\"></p>");
    QTest::newRow("characters a file name cannot hold")
        << QByteArray("<img src=\"http://host/a:b*d.gif\">") << QByteArray("<img src=\"images/a-b-d.gif\">");
    QTest::newRow("no extension") << QByteArray("<img src=\"http://host/getimage?id=5\">")
                                  << QByteArray("<img src=\"images/getimage-id=5\">");
    QTest::newRow("query after the extension")
        << QByteArray("<img src=\"http://host/p/a.jpg?w=100\">") << QByteArray("<img src=\"images/a-w=100.jpg\">");
    QTest::newRow("escaped name is stored decoded") << QByteArray("<img src=\"http://host/%E4%B8%AD%E6%96%87.png\">")
                                                    << QByteArray("<img src=\"images/\xE4\xB8\xAD\xE6\x96\x87.png\">");
    QTest::newRow("escapes that would name another file")
        << QByteArray("<img src=\"http://host/100%25%23.png\">") << QByteArray("<img src=\"images/100--.png\">");
    QTest::newRow("broken escape kept") << QByteArray("<img src=\"http://host/a%ZZ.png\">")
                                        << QByteArray("<img src=\"images/a-ZZ.png\">");
    QTest::newRow("escaped ampersand") << QByteArray("<img src=\"http://host/pic?a=1&amp;b=2\">")
                                       << QByteArray("<img src=\"images/pic-a=1-b=2\">");
    QTest::newRow("overlong escape kept as written")
        << QByteArray("<img src=\"http://host/%C0%AF.png\">") << QByteArray("<img src=\"images/-C0-AF.png\">");
    QTest::newRow("inline picture stays") << QByteArray("<img src=\"DATA:image/png;base64,iVBORw0KGgo=\">")
                                          << QByteArray("<img src=\"DATA:image/png;base64,iVBORw0KGgo=\">");
    QTest::newRow("upper-case scheme") << QByteArray("<img src=\"HTTP://host/a.gif\">")
                                       << QByteArray("<img src=\"images/a.gif\">");
    QTest::newRow("upper-case tag and attribute")
        << QByteArray("<IMG SRC=\"/b.png\">") << QByteArray("<IMG SRC=\"images/b.png\">");
    QTest::newRow("no element end") << QByteArray("<img src=\"x.png\"") << QByteArray("<img src=\"x.png\"");
    QTest::newRow("vml picture data") << QByteArray("<v:imagedata src=\"pic.png\" o:title=\"\"/>")
                                      << QByteArray("<v:imagedata src=\"images/pic.png\" o:title=\"\"/>");
    QTest::newRow("vml picture data whose first src is empty")
        << QByteArray("<v:imagedata src src=\"pic.png\">") << QByteArray("<v:imagedata src src=\"images/\">");
    QTest::newRow("picture and vml") << QByteArray("<img src=\"a.gif\"><v:imagedata src=\"b.gif\">")
                                     << QByteArray("<img src=\"images/a.gif\"><v:imagedata src=\"images/b.gif\">");
    QTest::newRow("single quotes") << QByteArray("<img src='a.gif'>") << QByteArray("<img src='images/a.gif'>");
    QTest::newRow("no quotes") << QByteArray("<img alt=x src=a.gif>") << QByteArray("<img alt=x src=images/a.gif>");
    QTest::newRow("mixed-case attribute")
        << QByteArray("<Img Src=\"a.gif\">") << QByteArray("<Img Src=\"images/a.gif\">");
    QTest::newRow("only the attribute itself") << QByteArray("<img data-source=\"d.gif\" src=\"a.gif\">")
                                               << QByteArray("<img data-source=\"d.gif\" src=\"images/a.gif\">");
    QTest::newRow("densest candidate") << QByteArray("<img src=\"logo.gif\" srcset=\"logo.gif 1x, big.png 2x\">")
                                       << QByteArray("<img src=\"images/big.png\" srcset=\"images/big.png 2x\">");
    QTest::newRow("widest candidate")
        << QByteArray("<img srcset=\"s.jpg 300w, l.jpg 900w, m.jpg 600w\" sizes=\"50vw\" src=\"s.jpg\">")
        << QByteArray("<img srcset=\"images/l.jpg 900w\" sizes=\"50vw\" src=\"images/l.jpg\">");
    QTest::newRow("sources of a picture") << QByteArray("<picture><source srcset=\"a.webp 1x, b.webp 2x\" "
                                                        "type=\"image/webp\"><img src=\"a.jpg\"></picture>")
                                          << QByteArray("<picture><source srcset=\"images/b.webp 2x\" "
                                                        "type=\"image/webp\"><img src=\"images/b.webp\"></picture>");
    QTest::newRow("picture sharper than its sources")
        << QByteArray("<picture><source srcset=\"a.webp\"><img src=\"a.jpg\" srcset=\"b.jpg 3x\"></picture>")
        << QByteArray("<picture><source srcset=\"images/b.jpg 3x\"><img src=\"images/b.jpg\" srcset=\"images/b.jpg "
                      "3x\"></picture>");
    QTest::newRow("source of a format the view cannot show")
        << QByteArray("<picture><source srcset=\"a.jxl 2x\" type=\"image/jxl\"><img src=\"a.jpg\"></picture>")
        << QByteArray("<picture><source srcset=\"images/a.jpg\" type=\"image/jxl\"><img src=\"images/a.jpg\">"
                      "</picture>");
    QTest::newRow("picture taken from its source")
        << QByteArray("<picture><source srcset=\"p.webp\"><img alt=\"p\"></picture>")
        << QByteArray("<picture><source srcset=\"images/p.webp\"><img src=\"images/p.webp\" alt=\"p\"></picture>");
    QTest::newRow("picture without img") << QByteArray("<picture><source srcset=\"p.webp\"></picture>")
                                         << QByteArray("<picture><source srcset=\"images/\"></picture>");
    QTest::newRow("video source stays") << QByteArray("<video><source src=\"v.mp4\"></video>")
                                        << QByteArray("<video><source src=\"v.mp4\"></video>");
    QTest::newRow("lazy over a data pixel")
        << QByteArray("<img src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" data-src=\"real.jpg\">")
        << QByteArray("<img src=\"images/real.jpg\" data-src=\"images/real.jpg\">");
    QTest::newRow("lazy over an empty src") << QByteArray("<img src=\"\" data-src=\"real.jpg\">")
                                            << QByteArray("<img src=\"images/real.jpg\" data-src=\"images/real.jpg\">");
    QTest::newRow("lazy over a one-pixel gif")
        << QByteArray("<img src=\"pixel.gif\" data-src=\"real.jpg\">")
        << QByteArray("<img src=\"images/real.jpg\" data-src=\"images/real.jpg\">");
    QTest::newRow("lazy srcset without src")
        << QByteArray("<img data-srcset=\"s.jpg 1x, l.jpg 2x\" class=\"lazy\">")
        << QByteArray("<img src=\"images/l.jpg\" data-srcset=\"images/l.jpg 2x\" class=\"lazy\">");
    QTest::newRow("name with spaces and commas in a srcset")
        << QByteArray("<img srcset=\"http://host/a%20b,c.png 2x\">")
        << QByteArray("<img src=\"images/a b,c.png\" srcset=\"images/a%20b%2Cc.png 2x\">");
    QTest::newRow("failed candidate") << QByteArray("<img src=\"gone.gif\" srcset=\"gone.gif 2x\">")
                                      << QByteArray("<img src=\"images/\" srcset=\"images/\">");
    QTest::newRow("reference in the extension")
        << QByteArray("<img src=\"a.x&lt;\">") << QByteArray("<img src=\"images/a.x-\">");
    QTest::newRow("bytes that are no UTF-8")
        << QByteArray("<img src=\"http://host/\xFF\xFEn.png\">") << QByteArray("<img src=\"images/--n.png\">");
    QTest::newRow("local file from a web page")
        << QByteArray("<img src=\"file:///etc/passwd\">") << QByteArray("<img src=\"images/\">");
    QTest::newRow("in a comment") << QByteArray("<!-- <img src=\"a.gif\"> -->")
                                  << QByteArray("<!-- <img src=\"a.gif\"> -->");
}

void FragmentLocaliserTest::pictureReferences()
{
    QFETCH(QByteArray, fragment);
    QFETCH(QByteArray, localised);
    QCOMPARE(localise(fragment), localised);
    // Every reference names a file that holds what was fetched for it.
    // A srcset names the file with its spaces and commas escaped, and a descriptor after it.
    static const QRegularExpression reference(QStringLiteral("images/([^\"'>]*)"));
    static const QRegularExpression descriptor(QStringLiteral(" [0-9.]+[wx]$"));
    for (const QRegularExpressionMatch &match : reference.globalMatch(QString::fromUtf8(localised))) {
        QString name = match.captured(1);
        name.remove(descriptor)
            .replace(QLatin1String("%20"), QLatin1String(" "))
            .replace(QLatin1String("%2C"), QLatin1String(","));
        if (name.isEmpty())
            continue;
        QFile file(imagesFolder() + name);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QVERIFY(m_fetched.contains(file.readAll()));
    }
}

void FragmentLocaliserTest::pictureAddresses_data()
{
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<QByteArray>("fetched");

    QTest::newRow("host base") << QByteArray("<img src=\"/p.gif\">") << QByteArray("http://host/p.gif");
    QTest::newRow("folder base") << QByteArray("<img src=\"p.gif\">") << QByteArray("http://host/a/p.gif");
    QTest::newRow("server file has no local address")
        << QByteArray("<img src=\"file://server/p.gif\">") << QByteArray();
    QTest::newRow("vml local file") << QByteArray("<v:imagedata src=\"file:///tmp/p.gif\">")
                                    << QByteArray("file:///tmp/p.gif");
    QTest::newRow("relative local file") << QByteArray("<v:imagedata src=\"file://../../etc/group\">") << QByteArray();
    QTest::newRow("network path") << QByteArray("<img src=\"//cdn/p.gif\">") << QByteArray("http://cdn/p.gif");
    QTest::newRow("lazy address only") << QByteArray("<img src=\"pixel.gif\" data-src=\"real.jpg\">")
                                       << QByteArray("http://host/a/real.jpg");
    QTest::newRow("sharpest candidate only")
        << QByteArray("<img src=\"a.gif\" srcset=\"a.gif, b.gif 3x, c.gif 2x\">") << QByteArray("http://host/a/b.gif");
    QTest::newRow("escaped ampersand asked as itself")
        << QByteArray("<img src=\"http://host/pic?a=1&amp;b=2\">") << QByteArray("http://host/pic?a=1&b=2");
    QTest::newRow("vml upper case") << QByteArray("<V:IMAGEDATA SRC=\"FILE:///P.GIF\">") << QByteArray("file:///P.GIF");
}

void FragmentLocaliserTest::pictureAddresses()
{
    QFETCH(QByteArray, fragment);
    QFETCH(QByteArray, fetched);
    localise(fragment);
    QCOMPARE(m_fetched, QList<QByteArray>{fetched});
}

void FragmentLocaliserTest::longNamesShortenedToFit_data()
{
    QTest::addColumn<QByteArray>("stem");
    QTest::addColumn<QByteArray>("stored"); // the first picture's file name

    QTest::newRow("300 letters") << QByteArray(300, 'n') << QByteArray(251, 'n') + ".png";
    // Cut where a character begins: 83 of them fill 249 of the 251 bytes.
    QTest::newRow("100 Chinese characters")
        << QString(100, QChar(0x4E2D)).toUtf8() << QString(83, QChar(0x4E2D)).toUtf8() + ".png";
}

void FragmentLocaliserTest::longNamesShortenedToFit()
{
    QFETCH(QByteArray, stem);
    QFETCH(QByteArray, stored);
    // The second has the same name: it takes numbers, and still fits.
    const QByteArray localised =
        localise("<img src=\"http://one/" + stem + ".png\"><img src=\"http://two/" + stem + ".png\">");
    QVERIFY2(localised.startsWith("<img src=\"images/" + stored + "\"><img src=\"images/"), localised.constData());
    const QStringList names = QDir(imagesFolder()).entryList(QDir::Files, QDir::Time | QDir::Reversed);
    QCOMPARE(names.size(), 2);
    for (const QString &name : names) {
        QVERIFY2(name.toUtf8().size() <= 255 && name.endsWith(QLatin1String(".png")), qPrintable(name));
        QVERIFY(localised.contains("\"images/" + name.toUtf8() + "\""));
    }
    QFile first(imagesFolder() + QString::fromUtf8(stored));
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), "http://one/" + stem + ".png");
}

void FragmentLocaliserTest::sameLastSegmentGetsItsOwnFile()
{
    const QByteArray localised =
        localise("<img src=\"http://one/logo.gif\"><img src=\"http://two/logo.gif\"><img src=\"/logo.gif\">");
    static const QRegularExpression shape(
        QStringLiteral("^<img src=\"images/logo.gif\"><img src=\"images/(logo\\d{1,3}\\.gif)\">"
                       "<img src=\"images/(logo\\d{1,6}\\.gif)\">$"));
    const QRegularExpressionMatch match = shape.match(QString::fromUtf8(localised));
    QVERIFY2(match.hasMatch(), localised.constData());
    QVERIFY(match.captured(1) != match.captured(2));
    for (const auto &[name, address] : {std::pair{QStringLiteral("logo.gif"), QByteArray("http://one/logo.gif")},
                                        std::pair{match.captured(1), QByteArray("http://two/logo.gif")},
                                        std::pair{match.captured(2), QByteArray("http://host/logo.gif")}}) {
        QFile file(imagesFolder() + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), address);
    }
}

void FragmentLocaliserTest::namesFollowDocumentOrderWhateverOrderFetchesEnd()
{
    m_context.storePictures = [](std::vector<PictureJob> &jobs, const FetchOptions &, const JobFinished &done) {
        for (std::size_t i = jobs.size(); i-- > 0;) {
            QFile file(QString::fromStdString(jobs[i].localPath));
            jobs[i].stored = file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(qulonglong(i))) > 0;
            done(i);
        }
    };
    const QByteArray localised = localise("<img src=\"x/pic.png\"><img src=\"y/pic.png\">");
    QVERIFY2(localised.startsWith("<img src=\"images/pic.png\"><img src=\"images/pic"), localised.constData());
    QFile first(imagesFolder() + QStringLiteral("pic.png"));
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), QByteArray("0"));
}

void FragmentLocaliserTest::failedPictureLeavesNoFile()
{
    m_failing << "http://host/a/gone.gif";
    QCOMPARE(localise("<img src=\"gone.gif\"><img src=\"here.gif\">"),
             QByteArray("<img src=\"images/\"><img src=\"images/here.gif\">"));
    QCOMPARE(QDir(imagesFolder()).entryList(QDir::Files), QStringList{QStringLiteral("here.gif")});
}

void FragmentLocaliserTest::progressCountsEveryPicture()
{
    QList<QPair<int, int>> reports;
    m_context.progress = [&reports](int done, int total) { reports << qMakePair(done, total); };
    localise("<img src=\"1.gif\"><img src=\"HTTP://x/2.gif\"><img src='3'><v:imagedata src=\"4.gif\">");
    const QList<QPair<int, int>> expected{{0, 3}, {1, 3}, {2, 3}, {3, 3}, {3, 4}, {4, 4}};
    QCOMPARE(reports, expected);
}

void FragmentLocaliserTest::noDayFolderStoresNothing()
{
    m_context.dayFolder = {};
    QCOMPARE(localise("<img src=\"a.gif\">"), QByteArray("<img src=\"images/\">"));
    QVERIFY(QDir(imagesFolder()).isEmpty());
}

QTEST_GUILESS_MAIN(FragmentLocaliserTest)
#include "tst_fragmentlocaliser.moc"
