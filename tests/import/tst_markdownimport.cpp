#include "dbdatamodule.h"
#include "importedstore.h"
#include "markdownimport.h"
#include "testprogramfolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <memory>

class MarkdownImportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<TDBDataModule> m_database;
    std::unique_ptr<QTemporaryDir> m_source;

    QString vault() const { return m_source->path() + QStringLiteral("/My Vault/"); }

    bool write(const QString &name, const QByteArray &bytes, const QDateTime &modified = {})
    {
        if (!writeTestFile(vault() + name, bytes))
            return false;
        QFile file(vault() + name);
        return !modified.isValid() ||
               (file.open(QIODevice::ReadWrite) && file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    // A vault with front matter, nested folders, wiki-links, pictures and
    // attachments, and what should be left alone: hidden folders, links out.
    bool writeVault()
    {
        const QDateTime modified(QDate(2023, 4, 2), QTime(10, 0));
        return write("Home.md",
                     "---\ntitle: Welcome home\ncreated: 2023-04-01 09:30\ntags: [start, \"two words\"]\n---\n"
                     "# Hi\n\nSee [[Plan^step|Plan]], [[Ideas|my ideas]] and [the plan](Notes/Plan.md#steps).\n\n"
                     "![[pic.png]] ![a local one](images/local%20pic.png) [the manual](docs/manual.pdf) "
                     "![again](pic.png)\n\n"
                     "~~old~~ `[[not a link]]`\n\n| a | b |\n|---|---|\n| 1 | 2 |\n") &&
               write("Ideas.md",
                     "Back [home](Home.md), [[Missing page]], [up](../../outside.txt), [abs](/etc/passwd), "
                     "[js](javascript:alert(1)), ![[Notes/Plan]] ![out](images/out.png)\n\n<script>alert(1)</script>\n",
                     modified) &&
               write(
                   "Notes/Plan.md",
                   "---\ncreated: 2023-04-03T08:00:00\ntags:\n  - work\n  - '#plan'\n---\n- [ ] first\n- [x] done\n") &&
               write("Notes/Deeper/Bad date.md", "---\ncreated: someday\n---\ntext\n", modified.addDays(2)) &&
               write("pic.png", "picture") && write("images/local pic.png", "local picture") &&
               write("docs/manual.pdf", "pdf") && write("docs/unused.txt", "unused") &&
               write(".obsidian/workspace.md", "hidden") && write(".trash/old.md", "deleted") &&
               writeTestFile(m_source->path() + "/outside.txt", "secret") &&
               QFile::link(m_source->path() + "/outside.txt", vault() + "link out.md") &&
               QFile::link(m_source->path() + "/outside.txt", vault() + "images/out.png") &&
               QFile::link(vault() + "Notes", vault() + "Notes again");
    }

    EnexImportReport importVault(const MarkdownImport::Progress &progress = {})
    {
        return MarkdownImport(*m_database, m_folder->dataFolder()).importFolder(vault(), progress);
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
        QVERIFY(writeVault());
    }

    void storesRowsAndFiles();
    void convertsPages_data();
    void convertsPages();
    void cancelKeepsWholeNotes();
};

void MarkdownImportTest::storesRowsAndFiles()
{
    const EnexImportReport report = importVault();
    QCOMPARE(storedRows(*m_database),
             (QStringList{"1|Welcome home|Imported,My Vault|2023-04-01 09:30:00|04-01-2023/040120230930000000.html",
                          "2|Ideas|Imported,My Vault|2023-04-02 10:00:00|04-02-2023/040220231000000000.html",
                          "3|Plan|Imported,My Vault,Notes|2023-04-03 08:00:00|04-03-2023/040320230800000000.html",
                          "4|Bad date|imported,my vault,notes,deeper|2023-04-04 10:00:00|"
                          "04-04-2023/040420231000000000.html",
                          "attachment 1|manual.pdf|04-01-2023/attaches/"}));
    QCOMPARE(storedFiles(m_folder->path()),
             (QStringList{"data/04-01-2023/040120230930000000.html",
                          "data/04-01-2023/attaches/manual.pdf 437175ba4191210ee004e1d937494d09",
                          "data/04-01-2023/images/local pic.png 382aebfd2f0fd5782d1742ed48e00045",
                          "data/04-01-2023/images/pic.png 5456fc54c74a297ce994998c2873b370",
                          "data/04-02-2023/040220231000000000.html", "data/04-03-2023/040320230800000000.html",
                          "data/04-04-2023/040420231000000000.html"}));
    QCOMPARE(reportedProblems(report),
             (QStringList{"My Vault||a linked folder is not followed: Notes again",
                          "My Vault||a link leading outside the folder is not followed: link out.md",
                          "My Vault||a link leading outside the folder is not followed: images/out.png",
                          "Ideas.md|Ideas|a wiki-link leads to no page or file: Missing page; a path leading "
                          "outside the folder is not followed: ../../outside.txt; an absolute path is not followed: "
                          "/etc/passwd; a link leading outside the folder is not followed: images/out.png; raw HTML "
                          "is left out",
                          "Notes/Deeper/Bad date.md|Bad date|the creation time \"someday\" is not understood",
                          "docs/unused.txt||no page refers to it; left out"}));
    QCOMPARE(report.imported, 4);
    QCOMPARE(report.withProblems, 2);
}

void MarkdownImportTest::convertsPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected_body");

    QTest::newRow("front matter, wiki-links, pictures, an attachment, strikethrough, a table")
        << "04-01-2023/040120230930000000.html"
        << "<h1>Hi</h1>\n<p>See <a href=\"../04-03-2023/040320230800000000.html\">Plan</a>, <a "
           "href=\"../04-02-2023/040220231000000000.html\">my ideas</a> and <a "
           "href=\"../04-03-2023/040320230800000000.html\">the plan</a>.</p>\n<p><img src=\"images/pic.png\" "
           "alt=\"pic.png\" /> <img src=\"images/local%20pic.png\" alt=\"a local one\" /> <a "
           "href=\"attaches/manual.pdf\">the manual</a> <img src=\"images/pic.png\" alt=\"again\" /></p>\n"
           "<p><del>old</del> <code>[[not a link]]</code></p>\n<table>\n<thead>\n<tr>\n<th>a</th>\n<th>b</th>\n"
           "</tr>\n</thead>\n<tbody>\n<tr>\n<td>1</td>\n<td>2</td>\n</tr>\n</tbody>\n</table>\n"
           "<p class=\"en-tags\">Tags: start, two words</p>";
    QTest::newRow("links refused, a script left out, a page embedded, a picture linked out")
        << "04-02-2023/040220231000000000.html"
        << "<p>Back <a href=\"../04-01-2023/040120230930000000.html\">home</a>, Missing page, up, abs, <a "
           "href=\"\">js</a>, <a href=\"../04-03-2023/040320230800000000.html\">Notes/Plan</a> out</p>";
    QTest::newRow("task list, tags as a list") << "04-03-2023/040320230800000000.html"
                                               << "<ul>\n<li><input type=\"checkbox\" disabled=\"\" /> first</li>\n"
                                                  "<li><input type=\"checkbox\" checked=\"\" disabled=\"\" /> "
                                                  "done</li>\n</ul>\n<p class=\"en-tags\">Tags: work, plan</p>";
}

void MarkdownImportTest::convertsPages()
{
    importVault();
    QFETCH(QString, file);
    QFETCH(QString, expected_body);
    QCOMPARE(storedBody(m_folder->dataFolder() + file), expected_body);
}

void MarkdownImportTest::cancelKeepsWholeNotes()
{
    const EnexImportReport report = importVault([](qint64 done, qint64) { return done < 2; });
    QVERIFY(report.cancelled);
    QCOMPARE(report.imported, 2);
    QCOMPARE(storedRows(*m_database).size(), 3); // two notes and the first one's attachment
    // The first note's link to the second leads to it; its link to a page not
    // imported keeps its text.
    QVERIFY(storedBody(m_folder->dataFolder() + "04-01-2023/040120230930000000.html")
                .startsWith("<h1>Hi</h1>\n<p>See <a>Plan</a>, <a href=\"../04-02-2023/040220231000000000.html\">my "
                            "ideas</a> and <a>the plan</a>.</p>"));
}

QTEST_GUILESS_MAIN(MarkdownImportTest)
#include "tst_markdownimport.moc"
