#include "dbdatamodule.h"
#include "importedstore.h"
#include "testprogramfolder.h"
#include "zimimport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <memory>

class ZimImportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<TDBDataModule> m_database;
    std::unique_ptr<QTemporaryDir> m_source;

    QString notebook() const { return m_source->path() + QStringLiteral("/Work Book/"); }

    bool write(const QString &name, const QByteArray &bytes) { return writeTestFile(notebook() + name, bytes); }

    // A notebook using every piece of the wiki syntax, with sub-pages, a
    // page's files and references that must not be followed.
    bool writeNotebook()
    {
        const QByteArray header = "Content-Type: text/x-zim-wiki\nWiki-Format: zim 0.4\n";
        if (!write("notebook.zim", "[Notebook]\nversion=0.4\nname=Work Book\n") ||
            !write("Home.txt", header + "Creation-Date: Mon, 01 May 2023 09:00:00 +0000\n\n"
                                        "====== Home ======\n===== Plans =====\n"
                                        "Some **bold**, //italic//, ~~strike~~, __marked__ and ''**verbatim**''.\n"
                                        "A second line: http://example.com/a?b=1&c=2.\n\n"
                                        "* one\n\t* nested\n* two\n1. first\n2. second\n[ ] open\n[*] done\n"
                                        "[x] dropped\n'''\nraw <b> **text**\n'''\n"
                                        "[[+Sub Page]], [[Top Page|the top]], [[:Top_Page]], [[Nowhere]], "
                                        "[[./notes.pdf|notes]], [[../../../etc/passwd]], [[https://zim-wiki.org|Zim]]\n"
                                        "{{./pic.png?width=200}} {{/etc/passwd}} <script>x</script>\n"
                                        "[[me@example.com]] [[#plans]] [[Top Page#end]] {{id: here}} [[wp?Zim]]\n") ||
            !write("Home/pic.png", "picture") || !write("Home/notes.pdf", "pdf") || !write("Home/extra.zip", "zip") ||
            !write("Home/Sub_Page.txt", header + "Creation-Date: 2023-05-02T10:00:00+02:00\n\n"
                                                 "Back to [[Home]] and [[Top Page]]. @work @plans @work\n") ||
            !write("Top_Page.txt", header + "\nThe top.\n") || !write("Journal/stray.png", "stray") ||
            !write(".git/config", "hidden"))
            return false;
        QFile top(notebook() + "Top_Page.txt");
        return top.open(QIODevice::ReadWrite) &&
               top.setFileTime(QDateTime(QDate(2023, 5, 3), QTime(12, 0)), QFileDevice::FileModificationTime);
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void init()
    {
        m_database.reset();
        m_folder = std::make_unique<TestProgramFolder>();
        QVERIFY(m_folder->isValid());
        m_database = std::make_unique<TDBDataModule>(m_folder->databasePath());
        m_source = std::make_unique<QTemporaryDir>();
        QVERIFY(writeNotebook());
    }

    void storesRowsAndFiles();
    void convertsPages_data();
    void convertsPages();
    void cancelKeepsWholeNotes();
    void refusesWhatIsNoNotebook();
};

void ZimImportTest::storesRowsAndFiles()
{
    QVERIFY(ZimImport::isNotebook(notebook()));
    const EnexImportReport report = ZimImport(*m_database, m_folder->dataFolder()).importNotebook(notebook());
    QCOMPARE(
        storedRows(*m_database),
        (QStringList{"1|Home|Imported,Work Book|2023-05-01 09:00:00|05-01-2023/050120230900000000.html",
                     "2|Top Page|Imported,Work Book|2023-05-03 12:00:00|05-03-2023/050320231200000000.html",
                     "3|Sub Page|imported,work book,home|2023-05-02 08:00:00|05-02-2023/050220230800000000.html",
                     "attachment 1|notes.pdf|05-01-2023/attaches/", "attachment 1|extra.zip|05-01-2023/attaches/"}));
    QCOMPARE(storedFiles(m_folder->path()),
             (QStringList{"data/05-01-2023/050120230900000000.html",
                          "data/05-01-2023/attaches/extra.zip adcdbd79a8d84175c229b192aadc02f2",
                          "data/05-01-2023/attaches/notes.pdf 437175ba4191210ee004e1d937494d09",
                          "data/05-01-2023/images/pic.png 5456fc54c74a297ce994998c2873b370",
                          "data/05-02-2023/050220230800000000.html", "data/05-03-2023/050320231200000000.html"}));
    QCOMPARE(reportedProblems(report),
             (QStringList{
                 "Work Book||not a page: Journal/stray.png",
                 "Home.txt|Home|a link leads to no page: Nowhere; a path leading outside the folder is not "
                 "followed: ../../../etc/passwd; an absolute path is not followed: /etc/passwd; a link to another wiki "
                 "is kept as text: wp?Zim"}));
    QCOMPARE(report.imported, 3);
}

void ZimImportTest::convertsPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected_body");
    QTest::newRow("every piece of the syntax")
        << "05-01-2023/050120230900000000.html"
        << "<h1>Home</h1>\n<h2>Plans</h2>\n<p>Some <b>bold</b>, <i>italic</i>, <s>strike</s>, <mark>marked</mark> and "
           "<code>**verbatim**</code>.<br>\nA second line: <a href=\"http://example.com/a?b=1&amp;c=2\">"
           "http://example.com/a?b=1&amp;c=2</a>.</p>\n<ul>\n<li>one<ul>\n<li>nested</li>\n</ul>\n</li>\n"
           "<li>two</li>\n</ul>\n<ol>\n<li>first</li>\n<li>second</li>\n</ol>\n<ul>\n"
           "<li><input type=\"checkbox\">open</li>\n<li><input type=\"checkbox\" checked>done</li>\n"
           "<li><input type=\"checkbox\" checked><s>dropped</s></li>\n</ul>\n<pre>raw &lt;b&gt; **text**\n</pre>\n"
           "<p><a href=\"../05-02-2023/050220230800000000.html\">+Sub Page</a>, <a "
           "href=\"../05-03-2023/050320231200000000.html\">the top</a>, <a "
           "href=\"../05-03-2023/050320231200000000.html\">:Top_Page</a>, Nowhere, <a "
           "href=\"attaches/notes.pdf\">notes</a>, ../../../etc/passwd, <a href=\"https://zim-wiki.org\">Zim</a><br>\n"
           "<img src=\"images/pic.png\" width=\"200\"> {{/etc/passwd}} &lt;script&gt;x&lt;/script&gt;<br>\n"
           "<a href=\"mailto:me@example.com\">me@example.com</a> <a href=\"#plans\">#plans</a> <a "
           "href=\"../05-03-2023/050320231200000000.html\">Top Page#end</a> <a id=\"here\"></a> wp?Zim</p>\n"
           "<p><a href=\"attaches/extra.zip\">extra.zip</a></p>";
    QTest::newRow("links found from a sub-page, tags")
        << "05-02-2023/050220230800000000.html"
        << "<p>Back to <a href=\"../05-01-2023/050120230900000000.html\">Home</a> and <a "
           "href=\"../05-03-2023/050320231200000000.html\">Top Page</a>. @work @plans @work</p>\n"
           "<p class=\"en-tags\">Tags: work, plans</p>";
}

void ZimImportTest::convertsPages()
{
    ZimImport(*m_database, m_folder->dataFolder()).importNotebook(notebook());
    QFETCH(QString, file);
    QFETCH(QString, expected_body);
    QCOMPARE(storedBody(m_folder->dataFolder() + file), expected_body);
}

void ZimImportTest::cancelKeepsWholeNotes()
{
    const EnexImportReport report =
        ZimImport(*m_database, m_folder->dataFolder()).importNotebook(notebook(), [](qint64 done, qint64) {
            return done < 1;
        });
    QVERIFY(report.cancelled);
    QCOMPARE(report.imported, 1);
    QCOMPARE(storedRows(*m_database).size(), 3); // the note and its two attachments
    // Its link to a page not imported keeps its text.
    QVERIFY(storedBody(m_folder->dataFolder() + "05-01-2023/050120230900000000.html")
                .contains("<p><a>+Sub Page</a>, <a>the top</a>, <a>:Top_Page</a>, Nowhere, "));
}

void ZimImportTest::refusesWhatIsNoNotebook()
{
    QVERIFY(QFile::remove(notebook() + "notebook.zim"));
    QVERIFY(!ZimImport::isNotebook(notebook()));
    const EnexImportReport report = ZimImport(*m_database, m_folder->dataFolder()).importNotebook(notebook());
    QCOMPARE(reportedProblems(report), QStringList{"Work Book||not a Zim notebook"});
    QCOMPARE(report.imported, 0);
}

QTEST_GUILESS_MAIN(ZimImportTest)
#include "tst_zimimport.moc"
