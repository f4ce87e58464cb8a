#include "dbdatamodule.h"
#include "eneximport.h"
#include "enmlconverter.h"
#include "testprogramfolder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

QString dataFile(const QString &name)
{
    return QFINDTESTDATA(QStringLiteral("data/") + name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a note's file holds between <body> and </body>.
QString bodyOf(const QString &path)
{
    const QString html = QString::fromUtf8(readFile(path));
    const qsizetype begin = html.indexOf(QLatin1String("<body>")) + 6;
    const qsizetype end = html.lastIndexOf(QLatin1String("</body>"));
    return begin < 6 || end < begin ? QString() : html.mid(begin, end - begin).trimmed();
}

} // namespace

class EnexImportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<TDBDataModule> m_database;

    EnexImportReport importData(const QString &name, EnexImport::Again again = EnexImport::Again::Skip,
                                const EnexImport::Progress &progress = {})
    {
        return EnexImport(*m_database, m_folder->dataFolder()).importFile(dataFile(name), again, progress);
    }

    // Every note row with its node's path and its attachment rows, in id order.
    QStringList rows()
    {
        QStringList rows;
        QSqlQuery &notes = m_database->runQuery(
            QStringLiteral("select n.noteid, n.title, t.path, n.createdate, n.filename, n.source from note n "
                           "left join tags t on t.tagid=n.tagid order by n.noteid"));
        QList<int> ids;
        while (notes.next()) {
            ids << notes.value(0).toInt();
            rows << QStringLiteral("%1|%2|%3|%4|%5|%6")
                        .arg(notes.value(0).toString(), notes.value(1).toString(), notes.value(2).toString(),
                             notes.value(3).toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             notes.value(4).toString(), notes.value(5).toString());
        }
        QSqlQuery &attachments =
            m_database->runQuery(QStringLiteral("select noteid, attname, path from attachment order by attid"));
        while (attachments.next())
            rows << QStringLiteral("attachment %1|%2|%3")
                        .arg(attachments.value(0).toString(), attachments.value(1).toString(),
                             attachments.value(2).toString());
        return rows;
    }

    // Every file of the program folder but the shipped ones and the day
    // folders' templates, with the MD5 of pictures and attachments.
    QStringList files()
    {
        QStringList files;
        QDirIterator it(m_folder->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = path.mid(m_folder->path().size());
            if (!relative.startsWith(QLatin1String("data/")) || relative.endsWith(QLatin1String("template.html")))
                continue;
            if (relative.endsWith(QLatin1String(".html")))
                files << relative;
            else
                files << relative + QLatin1Char(' ') +
                             QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5).toHex();
        }
        files.sort();
        return files;
    }

    static QStringList problemLines(const EnexImportReport &report)
    {
        QStringList lines;
        for (const EnexImportReport::Problem &problem : report.problems)
            lines << problem.file + QLatin1Char('|') + problem.title + QLatin1Char('|') + problem.what;
        return lines;
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
    }

    void storesRowsAndFiles_data();
    void storesRowsAndFiles();
    void convertsContent_data();
    void convertsContent();
    void importsAgainOnlyWhenAsked_data();
    void importsAgainOnlyWhenAsked();
    void cancelKeepsWholeNotes();
    void refusesHostileInput_data();
    void refusesHostileInput();
};

void EnexImportTest::storesRowsAndFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected_rows");
    QTest::addColumn<QStringList>("expected_files");
    QTest::addColumn<QStringList>("expected_problems");
    QTest::addColumn<int>("expected_imported");

    QTest::newRow("pictures, a PDF, a to-do, an encrypted block, a link")
        << "notebook.enex"
        << QStringList{"1|Trip to Oslo|imported,notebook|2023-01-05 10:15:00|01-05-2023/010520231015000000.html|"
                       "https://example.com/oslo",
                       "2|Packing list|imported,notebook|2023-01-06 08:00:00|01-06-2023/010620230800000000.html|",
                       "attachment 2|list.pdf|01-06-2023/attaches/"}
        << QStringList{"data/01-05-2023/010520231015000000.html",
                       "data/01-05-2023/images/232e940d4540a57f2fb0ce43ec18bddd.png 232e940d4540a57f2fb0ce43ec18bddd",
                       "data/01-05-2023/images/7b8a70c6721ea1568c92b444599441ee.png 7b8a70c6721ea1568c92b444599441ee",
                       "data/01-06-2023/010620230800000000.html",
                       "data/01-06-2023/attaches/list.pdf b4f625ac8a9eae1ad6a73d7670517539"}
        << QStringList() << 2;
    QTest::newRow("a missing resource, broken ENML, malformed XML")
        << "broken.enex"
        << QStringList{"1|Good one|imported,broken|2023-02-01 09:00:00|02-01-2023/020120230900000000.html|",
                       "2|Missing picture|imported,broken|2023-02-02 09:00:00|02-02-2023/020220230900000000.html|",
                       "3|Broken ENML|imported,broken|2023-02-03 09:00:00|02-03-2023/020320230900000000.html|",
                       "4|Bad XML|imported,broken|2023-02-04 09:00:00|02-04-2023/020420230900000000.html|",
                       "5|After the break|imported,broken|2023-02-05 09:00:00|02-05-2023/020520230900000000.html|"}
        << QStringList{"data/02-01-2023/020120230900000000.html", "data/02-02-2023/020220230900000000.html",
                       "data/02-03-2023/020320230900000000.html", "data/02-04-2023/020420230900000000.html",
                       "data/02-05-2023/020520230900000000.html"}
        << QStringList{"broken.enex|Missing picture|a resource is missing (00112233445566778899aabbccddeeff)",
                       "broken.enex|Broken ENML|the note's ENML is broken; what could be read is kept",
                       "broken.enex|Bad XML|Opening and ending tag mismatch: oops and note"}
        << 5;
}

void EnexImportTest::storesRowsAndFiles()
{
    QFETCH(QString, file);
    const EnexImportReport report = importData(file);
    QFETCH(QStringList, expected_rows);
    QCOMPARE(rows(), expected_rows);
    QFETCH(QStringList, expected_files);
    QCOMPARE(files(), expected_files);
    QFETCH(QStringList, expected_problems);
    QCOMPARE(problemLines(report), expected_problems);
    QFETCH(int, expected_imported);
    QCOMPARE(report.imported, expected_imported);
    QCOMPARE(report.withProblems, report.problems.size());
}

void EnexImportTest::convertsContent_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("note");
    QTest::addColumn<QString>("expected_body");

    QTest::newRow("pictures, to-dos, encrypted block, link to an imported note, tags")
        << "notebook.enex" << 1
        << "<div><div>Flights &amp; hotels</div><div><img src=\"images/7b8a70c6721ea1568c92b444599441ee.png\" "
           "width=\"2\"></div><div><input type=\"checkbox\" checked>Passport<br></div><div><input "
           "type=\"checkbox\">Tickets</div><div><span class=\"en-crypt\" data-cipher=\"AES\" data-length=\"128\" "
           "data-hint=\"the usual\" data-content=\"RU5DMEsxZXhhbXBsZQ==\">encrypted content</span></div><div>See "
           "<a href=\"../01-06-2023/010620230800000000.html\">Packing list</a></div><img "
           "src=\"images/232e940d4540a57f2fb0ce43ec18bddd.png\"></div>\n<p class=\"en-tags\">Tags: travel, norway</p>";
    QTest::newRow("an attachment")
        << "notebook.enex" << 2
        << "<div><div>Bring the list</div><span class=\"en-attachment\">[list.pdf]</span></div>";
    QTest::newRow("a missing resource") << "broken.enex" << 2
                                        << "<div><div>before</div><span "
                                           "class=\"en-missing\">[00112233445566778899aabbccddeeff]</span><div>after</"
                                           "div></div>";
    QTest::newRow("broken ENML") << "broken.enex" << 3 << "<div><div>unclosed <b>bold</div>";
}

void EnexImportTest::convertsContent()
{
    QFETCH(QString, file);
    importData(file);
    QFETCH(int, note);
    QSqlQuery &row = m_database->runQuery(QStringLiteral("select filename from note where noteid=?"), {note});
    QVERIFY(row.next());
    QFETCH(QString, expected_body);
    QCOMPARE(bodyOf(m_folder->dataFolder() + row.value(0).toString()), expected_body);
}

void EnexImportTest::importsAgainOnlyWhenAsked_data()
{
    QTest::addColumn<int>("again");
    QTest::addColumn<int>("expected_notes");
    QTest::addColumn<int>("expected_skipped");
    QTest::newRow("skip") << int(EnexImport::Again::Skip) << 2 << 2;
    QTest::newRow("import again") << int(EnexImport::Again::Import) << 4 << 0;
}

void EnexImportTest::importsAgainOnlyWhenAsked()
{
    EnexImport import(*m_database, m_folder->dataFolder());
    QVERIFY(!import.importedBefore(dataFile("notebook.enex")));
    importData("notebook.enex");
    QVERIFY(import.importedBefore(dataFile("notebook.enex")));
    QFETCH(int, again);
    const EnexImportReport report = importData("notebook.enex", EnexImport::Again(again));
    QFETCH(int, expected_notes);
    QCOMPARE(m_database->queryInteger(QStringLiteral("select count(*) from note")), expected_notes);
    QFETCH(int, expected_skipped);
    QCOMPARE(report.skipped, expected_skipped);
    QCOMPARE(m_database->queryInteger(QStringLiteral("select childcount from tags where path='imported,notebook'")),
             expected_notes);
}

void EnexImportTest::cancelKeepsWholeNotes()
{
    const EnexImportReport report =
        importData("notebook.enex", EnexImport::Again::Skip, [](qint64, qint64) { return false; });
    QVERIFY(report.cancelled);
    QCOMPARE(report.imported, 1);
    QCOMPARE(rows(), QStringList{"1|Trip to Oslo|imported,notebook|2023-01-05 10:15:00|"
                                 "01-05-2023/010520231015000000.html|https://example.com/oslo"});
    QCOMPARE(files().size(), 3); // the note and its two pictures, and no staging left
}

void EnexImportTest::refusesHostileInput_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected_rows");
    QTest::addColumn<QStringList>("expected_files");
    QTest::addColumn<QString>("expected_body");
    QTest::addColumn<QStringList>("expected_problems");

    QTest::newRow("paths, scripts, links, SVG")
        << "hostile.enex"
        << QStringList{"1|Hostile|imported,hostile|2023-03-01 09:00:00|03-01-2023/030120230900000000.html|",
                       "attachment 1|_.._x|03-01-2023/attaches/", "attachment 1|_etc_passwd|03-01-2023/attaches/",
                       "attachment 1|attachment.svg|03-01-2023/attaches/"}
        << QStringList{"data/03-01-2023/030120230900000000.html",
                       "data/03-01-2023/attaches/_.._x f97c5d29941bfb1b2fdab0874906ab82",
                       "data/03-01-2023/attaches/_etc_passwd b8a9f715dbb64fd5c56e7783c6820a61",
                       "data/03-01-2023/attaches/attachment.svg 53035fd694301fc5cb9d71943a6f7e6a"}
        << "<div><div>text</div><a>js</a> <a>file</a> <a>up</a> <img> <p>s</p><span "
           "class=\"en-attachment\">[_.._x]</span><span class=\"en-attachment\">[_etc_passwd]</span><span "
           "class=\"en-attachment\">[attachment.svg]</span></div>"
        << QStringList();
    QTest::newRow("entity expansion bomb")
        << "bomb.enex" << QStringList() << QStringList() << QString()
        << QStringList{"bomb.enex||the file declares entities, which an Evernote export never does"};
}

void EnexImportTest::refusesHostileInput()
{
    QFETCH(QString, file);
    const EnexImportReport report = importData(file);
    QFETCH(QStringList, expected_rows);
    QCOMPARE(rows(), expected_rows);
    QFETCH(QStringList, expected_files);
    QCOMPARE(files(), expected_files);
    QFETCH(QStringList, expected_problems);
    QCOMPARE(problemLines(report), expected_problems);
    QFETCH(QString, expected_body);
    if (!expected_body.isEmpty())
        QCOMPARE(bodyOf(m_folder->dataFolder() + QStringLiteral("03-01-2023/030120230900000000.html")), expected_body);
}

QTEST_GUILESS_MAIN(EnexImportTest)
#include "tst_eneximport.moc"
