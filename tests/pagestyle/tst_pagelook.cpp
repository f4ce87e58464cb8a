#include "addressresolver.h"
#include "pagelook.h"
#include "sheettext.h"

#include <QtTest>

#include <map>

// Reading what gives a page its look: its sheets moved into another document
// keep their meaning.
class PageLookTest : public QObject
{
    Q_OBJECT

private slots:
    void sheetStandsOnItsOwn_data();
    void sheetStandsOnItsOwn();
    void pageNamesItsSheetsAndTitle();
};

void PageLookTest::sheetStandsOnItsOwn_data()
{
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<QByteArray>("expected");
    // The sheet is http://h/css/site.css.
    QTest::newRow("unquoted") << QByteArray("a{background:url(../i/a.png) no-repeat}")
                              << QByteArray("a{background:url(\"http://h/i/a.png\") no-repeat}");
    QTest::newRow("quoted, spaces, upper case")
        << QByteArray("a{b:URL( 'x y.png' )}") << QByteArray("a{b:url(\"http://h/css/x%20y.png\")}");
    QTest::newRow("quote inside") << QByteArray("a{b:url(\"q\\\"r.png\")}")
                                  << QByteArray("a{b:url(\"http://h/css/q\\\"r.png\")}");
    QTest::newRow("data stays") << QByteArray("a{b:url(data:image/png;base64,AAA=)}")
                                << QByteArray("a{b:url(\"data:image/png;base64,AAA=\")}");
    QTest::newRow("in a string or comment, untouched")
        << QByteArray("a{content:\"url(x)\"}/* url(y) */b{}") << QByteArray("a{content:\"url(x)\"}b{}");
    QTest::newRow("not a url token") << QByteArray("a{b:myurl(x)}") << QByteArray("a{b:myurl(x)}");
    QTest::newRow("import in place") << QByteArray("@import url(base.css);p{}")
                                     << QByteArray("i{b:url(\"http://h/css/i.png\")}\np{}");
    QTest::newRow("import of a string, with media")
        << QByteArray("@import \"print.css\" print;p{}") << QByteArray("@media print {\nq{}\n}\np{}");
    QTest::newRow("import that cannot be read") << QByteArray("@import 'gone.css';p{}") << QByteArray("p{}");
    QTest::newRow("import of itself ends") << QByteArray("@import 'loop.css';") << QByteArray("\n\n\n");
}

void PageLookTest::sheetStandsOnItsOwn()
{
    QFETCH(QByteArray, sheet);
    QFETCH(QByteArray, expected);
    const std::map<std::string, std::string> sheets = {
        {"http://h/css/base.css", "i{b:url(i.png)}"},
        {"http://h/css/print.css", "q{}"},
        {"http://h/css/loop.css", "@import 'loop.css';"},
    };
    const SheetReader read = [&](const std::string &address) {
        const auto found = sheets.find(address);
        return found == sheets.end() ? std::string() : found->second;
    };
    const std::string out = SelfContainedSheet(sheet.toStdString(), BaseAddress("http://h/css/site.css"), read);
    QCOMPARE(QByteArray::fromStdString(out), expected);
}

void PageLookTest::pageNamesItsSheetsAndTitle()
{
    const std::string page = "<html><head><title>Caf\xC3\xA9 &amp; Co</title><base href=\"/root/\">"
                             "<link rel=\"stylesheet\" href=\"a.css\" media=\"screen\">"
                             "<link rel=\"alternate stylesheet\" href=\"alt.css\">"
                             "<link rel=\"icon\" href=\"i.png\"><style>p{color:red}</style></head>"
                             "<body><link rel=StyleSheet href=\"b.css\"><svg><title>no</title></svg></body></html>";
    const PageLookSources sources = LookSourcesOf(page, "http://h/docs/page.html", "text/html; charset=utf-8");
    QCOMPARE(QByteArray::fromStdString(sources.title), QByteArray("Caf\xC3\xA9 & Co"));
    QCOMPARE(QByteArray::fromStdString(sources.base), QByteArray("http://h/root/"));
    QCOMPARE(sources.sheets.size(), std::size_t(3));
    QVERIFY(sources.sheets[0].linked);
    QCOMPARE(QByteArray::fromStdString(sources.sheets[0].text), QByteArray("http://h/root/a.css"));
    QCOMPARE(QByteArray::fromStdString(sources.sheets[0].media), QByteArray("screen"));
    QVERIFY(!sources.sheets[1].linked);
    QCOMPARE(QByteArray::fromStdString(sources.sheets[1].text), QByteArray("p{color:red}"));
    QCOMPARE(QByteArray::fromStdString(sources.sheets[2].text), QByteArray("http://h/root/b.css"));
}

QTEST_GUILESS_MAIN(PageLookTest)
#include "tst_pagelook.moc"
