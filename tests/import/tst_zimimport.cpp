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

    bool write(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(notebook() + name, bytes);
    }

    // A notebook using every piece of the wiki syntax, with sub-pages, a
    // page's files and references that must not be followed.
    bool writeNotebook()
    {
        const QByteArray header = "Content-Type: text/x-zim-wiki\nWiki-Format: zim 0.4\n";
        if (!write("notebook.zim", "[Notebook]\nversion=0.4\nname=Work Book\n") ||
            !write("Home.txt", header + "Creation-Date: 2023-05-01T09:00:00+00:00\n\n"
                                        "====== Home ======\n===== Plans =====\n"
                                        "Some **bold**, //italic//, ~~strike~~, __marked__ and ''**verbatim**''.\n"
                                        "A second line: http://example.com/a?b=1&c=2.\n\n"
                                        "* one\n\t* nested\n* two\n1. first\n2. second\n[ ] open\n[*] done\n"
                                        "[x] dropped\n'''\nraw <b> **text**\n'''\n"
                                        "[[+Sub Page]], [[Top Page|the top]], [[:Top_Page]], [[Nowhere]], "
                                        "[[./notes.pdf|notes]], [[../../../etc/passwd]], [[https://zim-wiki.org|Zim]]\n"
                                        "{{./pic.png?width=200}} {{/etc/passwd}} <script>x</script>\n") ||
            !write("Home/pic.png", "picture") || !write("Home/notes.pdf", "pdf") || !write("Home/extra.zip", "zip") ||
            !write("Home/Sub_Page.txt", header + "Creation-Date: 2023-05-02T10:00:00+02:00\n\n"
                                                 "Back to [[Home]] and [[Top Page]].\n") ||
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
    void refusesWhatIsNoNotebook();
};

void ZimImportTest::storesRowsAndFiles()
{
    QVERIFY(ZimImport::isNotebook(notebook()));
    const EnexImportReport report = ZimImport(*m_database, m_folder->dataFolder()).importNotebook(notebook());
    QCOMPARE(storedRows(*m_database), QStringList());
    QCOMPARE(storedFiles(m_folder->path()), QStringList());
    QCOMPARE(reportedProblems(report), QStringList());
    QCOMPARE(report.imported, 3);
}

void ZimImportTest::convertsPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected_body");
    QTest::newRow("every piece of the syntax") << "05-01-2023/050120230900000000.html" << "";
    QTest::newRow("links found from a sub-page") << "05-02-2023/050220230800000000.html" << "";
}

void ZimImportTest::convertsPages()
{
    ZimImport(*m_database, m_folder->dataFolder()).importNotebook(notebook());
    QFETCH(QString, file);
    QFETCH(QString, expected_body);
    QCOMPARE(storedBody(m_folder->dataFolder() + file), expected_body);
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
