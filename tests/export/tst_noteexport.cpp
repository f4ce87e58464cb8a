#include "dbdatamodule.h"
#include "noteexporter.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writePicture(const QString &path, const QColor &colour)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage picture(12, 8, QImage::Format_RGB32);
    picture.fill(colour);
    return picture.save(path, "PNG");
}

// The local files a page's src and href attributes name, resolved from its folder.
QStringList localReferences(const QString &pagePath)
{
    static const QRegularExpression attribute(QStringLiteral("\\b(?:src|href)=\"([^\"]+)\""));
    QStringList files;
    const QString page = QString::fromUtf8(readFile(pagePath));
    QRegularExpressionMatchIterator matches = attribute.globalMatch(page);
    while (matches.hasNext()) {
        const QUrl address(matches.next().captured(1).replace(QLatin1String("&amp;"), QLatin1String("&")));
        if (address.scheme().isEmpty())
            files << QUrl::fromLocalFile(QFileInfo(pagePath).absolutePath() + QLatin1Char('/'))
                         .resolved(address)
                         .toLocalFile();
    }
    return files;
}

} // namespace

class NoteExportTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void wholeCatalogMirrorsTheTree();
    void notePagesStandAlone();
    void pagesNameTheirSource_data();
    void pagesNameTheirSource();
    void pagesShowOfflineWithoutRunningScripts();
    void scopes_data();
    void scopes();
    void exportOntoAFullDiskFailsAndLeavesNothing_data();
    void exportOntoAFullDiskFailsAndLeavesNothing();
    void exportTakesNothingAPageNamesOutsideTheNotes();
    void noteFileNamesNeverLeadTheExportOutside();

private:
    QString exportTo(const ExportScope &scope, ExportResult *result = nullptr);

    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_outside;
    std::unique_ptr<QTemporaryDir> m_target;
};

void NoteExportTest::init()
{
    m_folder = std::make_unique<TestProgramFolder>();
    m_outside = std::make_unique<QTemporaryDir>();
    m_target = std::make_unique<QTemporaryDir>();
    const QString data = m_folder->dataFolder();
    const QString outsidePicture = m_outside->filePath(QStringLiteral("outside picture.png"));
    QVERIFY(writePicture(outsidePicture, Qt::green));

    // A captured page: its own title, a script, a relative picture, a picture by
    // its full local address and a link to its attachment.
    QVERIFY(writePicture(data + QStringLiteral("12-01-2026/images/a.png"), Qt::red));
    QVERIFY(writePicture(data + QStringLiteral("12-01-2026/images/b c.png"), Qt::blue));
    QVERIFY(writeFile(data + QStringLiteral("12-01-2026/120120261000000000.html"),
                      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>captured page</title>"
                      "<script>document.title = 'changed by the page';</script></head><body>"
                      "<p>Day one 第一天</p><img src=\"images/a.png\"><img src=\"" +
                          QUrl::fromLocalFile(data + QStringLiteral("12-01-2026/images/b c.png")).toEncoded() +
                          "\"><a href=\"https://example.org/\">elsewhere</a></body></html>"));
    // An old note: no head, a picture from outside the data folder, an attachment.
    QVERIFY(writeFile(data + QStringLiteral("12-02-2026/120220261000000000.html"),
                      "<html><body><p>Mix &amp; stir</p><img src='" + QUrl::fromLocalFile(outsidePicture).toEncoded() +
                          "'></body></html>"));
    QVERIFY(writeFile(data + QStringLiteral("12-02-2026/attaches/shopping list.txt"), "eggs\nflour\n"));
    QVERIFY(writeFile(data + QStringLiteral("12-03-2026/120320261000000000.html"),
                      "<html><head></head><body>unfiled</body></html>"));

    TDBDataModule database(m_folder->databasePath());
    Transaction transaction(database);
    const QString tag = QStringLiteral("insert into tags values (?,?,?,?,?,?,?)");
    database.runStatement(tag, {1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 2, 0});
    database.runStatement(tag, {2, QStringLiteral("Projects"), 2, QStringLiteral("Work,Projects"), 1, 1, 0});
    database.runStatement(tag, {3, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 1, 0});
    database.runStatement(tag, {4, QStringLiteral("空的"), 2, QStringLiteral("Home,空的"), 3, 0, 0});
    const QString note =
        QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,?,?)");
    const QDateTime made(QDate(2026, 12, 1), QTime(10, 0));
    database.runStatement(
        note, {1, QStringLiteral("Trip plan 旅行"), 2, made, QStringLiteral("12-01-2026/120120261000000000.html")});
    database.runStatement(note, {2, QStringLiteral("Recipe & <tips>"), 1, made.addDays(1),
                                 QStringLiteral("12-02-2026\\120220261000000000.html")});
    database.runStatement(note,
                          {3, QStringLiteral("Lost"), 3, made.addDays(2), QStringLiteral("12-03-2026/gone.html")});
    database.runStatement(
        note, {4, QStringLiteral("Orphan"), 99, made.addDays(2), QStringLiteral("12-03-2026/120320261000000000.html")});
    database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"),
                          {1, 2, QStringLiteral("shopping list.txt"), QStringLiteral("12-02-2026\\attaches\\")});
    transaction.commit();
}

QString NoteExportTest::exportTo(const ExportScope &scope, ExportResult *result)
{
    TDBDataModule database(m_folder->databasePath());
    NoteExporter exporter(database, m_folder->dataFolder());
    const QString target = m_target->filePath(exporter.suggestedFolderName(scope));
    const ExportResult done = exporter.exportTo(scope, target);
    if (result)
        *result = done;
    return target + QLatin1Char('/');
}

void NoteExportTest::wholeCatalogMirrorsTheTree()
{
    ExportResult result;
    const QString target = exportTo(ExportScope::catalog(), &result);
    QCOMPARE(result.indexFile, target + QStringLiteral("index.html"));
    QCOMPARE(result.notes, 3);
    QCOMPARE(result.attachments, 1);
    QCOMPARE(result.problems, QStringList{m_folder->dataFolder() + QStringLiteral("12-03-2026/gone.html")});

    // Nodes nest as in the catalog, each note under its node, escaped.
    const QString index = QString::fromUtf8(readFile(result.indexFile));
    const QString compact = QString(index).remove(QLatin1Char('\n'));
    QVERIFY2(QRegularExpression(QStringLiteral("<span class=\"node\">Work</span><ul>.*Recipe &amp; &lt;tips&gt;.*"
                                               "<span class=\"node\">Projects</span><ul><li><a href=\"[^\"]+\">"
                                               "Trip plan 旅行</a>"))
                 .match(compact)
                 .hasMatch(),
             qPrintable(index));
    QVERIFY2(compact.contains(QStringLiteral("<span class=\"node\">Home</span><ul><li>Lost <span class=\"missing\">")),
             qPrintable(index));
    QVERIFY(compact.contains(QStringLiteral("<span class=\"node\">空的</span><ul></ul>")));
    QVERIFY2(compact.contains(QStringLiteral(">Orphan</a>")), qPrintable(index));
    for (const QString &file : localReferences(result.indexFile))
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
}

void NoteExportTest::notePagesStandAlone()
{
    const QString target = exportTo(ExportScope::catalog());
    const QString trip = target + QStringLiteral("notes/12-01-2026/120120261000000000.html");
    const QString recipe = target + QStringLiteral("notes/12-02-2026/120220261000000000.html");

    const QString tripPage = QString::fromUtf8(readFile(trip));
    QVERIFY2(tripPage.contains(QStringLiteral("<title>Trip plan 旅行</title>")), qPrintable(tripPage));
    QVERIFY(!tripPage.contains(QStringLiteral("captured page")));
    QCOMPARE(tripPage.count(QStringLiteral("charset")), 1);
    QVERIFY(tripPage.contains(QStringLiteral("Day one 第一天")));
    QVERIFY(tripPage.contains(QStringLiteral("https://example.org/")));

    const QString recipePage = QString::fromUtf8(readFile(recipe));
    QVERIFY2(recipePage.contains(QStringLiteral("<meta charset=\"utf-8\"><title>Recipe &amp; &lt;tips&gt;</title>")),
             qPrintable(recipePage));
    QVERIFY2(recipePage.contains(QStringLiteral(">shopping list.txt</a>")), qPrintable(recipePage));
    QVERIFY(!recipePage.contains(QStringLiteral("file:")));
    QVERIFY(!tripPage.contains(QStringLiteral("file:")));

    // Every local file a page names is in the export, the same bytes as the original.
    const QStringList tripFiles = localReferences(trip);
    QCOMPARE(tripFiles.size(), 2);
    QCOMPARE(readFile(tripFiles[1]), readFile(m_folder->dataFolder() + QStringLiteral("12-01-2026/images/b c.png")));
    const QStringList recipeFiles = localReferences(recipe);
    QCOMPARE(recipeFiles.size(), 2);
    QCOMPARE(readFile(recipeFiles[0]), readFile(m_outside->filePath(QStringLiteral("outside picture.png"))));
    QCOMPARE(readFile(recipeFiles[1]), QByteArray("eggs\nflour\n"));
    for (const QString &file : tripFiles + recipeFiles)
        QVERIFY2(file.startsWith(target), qPrintable(file));
}

void NoteExportTest::pagesNameTheirSource_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("canonical");
    QTest::addColumn<QString>("line");
    QTest::newRow("a web page")
        << QStringLiteral("https://example.org/a?b=1&c=\"2\"")
        << QStringLiteral("<link rel=\"canonical\" href=\"https://example.org/a?b=1&amp;c=&quot;2&quot;\">")
        << QStringLiteral("<p class=\"clipnest-source\">Source: <a href=\"https://example.org/"
                          "a?b=1&amp;c=&quot;2&quot;\">https://example.org/a?b=1&amp;c=&quot;"
                          "2&quot;</a></p>");
    QTest::newRow("a local page") << QStringLiteral("file:///home/u/<p>.html") << QString()
                                  << QStringLiteral(
                                         "<p class=\"clipnest-source\">Source: file:///home/u/&lt;p&gt;.html</p>");
    QTest::newRow("none") << QString() << QString() << QString();
}

void NoteExportTest::pagesNameTheirSource()
{
    QFETCH(QString, source);
    QFETCH(QString, canonical);
    QFETCH(QString, line);
    {
        TDBDataModule database(m_folder->databasePath());
        Transaction transaction(database);
        database.runStatement(QStringLiteral("update note set source=? where noteid=1"),
                              {source.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : source});
        transaction.commit();
    }
    const QString target = exportTo(ExportScope::note(1));
    const QString page =
        QString::fromUtf8(readFile(target + QStringLiteral("notes/12-01-2026/120120261000000000.html")));
    const qsizetype headEnd = page.indexOf(QLatin1String("</head>"));
    QVERIFY(headEnd > 0);
    QCOMPARE(page.left(headEnd).contains(QLatin1String("rel=\"canonical\"")), !canonical.isEmpty());
    if (!canonical.isEmpty())
        QVERIFY2(page.left(headEnd).contains(canonical), qPrintable(page));
    QCOMPARE(page.contains(QLatin1String("clipnest-source")), !line.isEmpty());
    if (!line.isEmpty())
        QVERIFY2(page.mid(headEnd).contains(line), qPrintable(page));
}

void NoteExportTest::pagesShowOfflineWithoutRunningScripts()
{
    const QString target = exportTo(ExportScope::catalog());
    // The original folder is gone, as on another machine.
    QVERIFY(QDir(m_folder->dataFolder()).removeRecursively());
    QVERIFY(m_outside->remove());

    // A browser with scripts on, as browsers are.
    QWebEngineView browser;
    for (const QString &page : {QStringLiteral("notes/12-01-2026/120120261000000000.html"),
                                QStringLiteral("notes/12-02-2026/120220261000000000.html")}) {
        QSignalSpy loaded(&browser, &QWebEngineView::loadFinished);
        browser.load(QUrl::fromLocalFile(target + page));
        QVERIFY(loaded.wait(20000));
        QVERIFY(loaded.first().first().toBool());
        QVariant answer;
        bool answered = false;
        browser.page()->runJavaScript(
            QStringLiteral("(function () {"
                           "  var pictures = Array.prototype.slice.call(document.images);"
                           "  return [document.title, pictures.length,"
                           "          pictures.filter(function (p) { return p.complete && p.naturalWidth > 0; })"
                           "                  .length];"
                           "})()"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant &value) {
                answer = value;
                answered = true;
            });
        QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
        const QVariantList values = answer.toList();
        QCOMPARE(values.size(), 3);
        QVERIFY2(values[0].toString() == QStringLiteral("Trip plan 旅行") ||
                     values[0].toString() == QStringLiteral("Recipe & <tips>"),
                 qPrintable(values[0].toString()));
        QVERIFY(values[1].toInt() > 0);
        QCOMPARE(values[2].toInt(), values[1].toInt());
    }
}

void NoteExportTest::scopes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("node with the nodes below it")
        << int(ExportScope::Node) << 1 << QStringLiteral("Work")
        << QStringList{QStringLiteral("Recipe &amp; &lt;tips&gt;"), QStringLiteral("Trip plan 旅行")}
        << QStringList{QStringLiteral("Lost"), QStringLiteral("Orphan"), QStringLiteral("Home")};
    QTest::newRow("one note under its node's path")
        << int(ExportScope::Note) << 1 << QStringLiteral("Trip plan 旅行")
        << QStringList{QStringLiteral("Work"), QStringLiteral("Projects"), QStringLiteral("Trip plan 旅行")}
        << QStringList{QStringLiteral("Recipe"), QStringLiteral("Home")};
    QTest::newRow("a title no file system likes")
        << int(ExportScope::Note) << 2 << QStringLiteral("Recipe & tips")
        << QStringList{QStringLiteral("Recipe &amp; &lt;tips&gt;")} << QStringList{QStringLiteral("Trip")};
}

void NoteExportTest::scopes()
{
    QFETCH(int, kind);
    QFETCH(int, id);
    QFETCH(QString, folderName);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, absent);
    const ExportScope scope{ExportScope::Kind(kind), id};
    {
        TDBDataModule database(m_folder->databasePath());
        QCOMPARE(NoteExporter(database, m_folder->dataFolder()).suggestedFolderName(scope), folderName);
    }
    const QString target = exportTo(scope);
    QCOMPARE(target, m_target->filePath(folderName) + QLatin1Char('/'));
    const QString index = QString::fromUtf8(readFile(target + QStringLiteral("index.html")));
    for (const QString &title : titles)
        QVERIFY2(index.contains(title), qPrintable(title));
    for (const QString &title : absent)
        QVERIFY2(!index.contains(title), qPrintable(title));
}

void NoteExportTest::exportOntoAFullDiskFailsAndLeavesNothing_data()
{
    QTest::addColumn<bool>("oneNote");
    QTest::addColumn<int>("kilobytes");
    for (int kilobytes : {4, 8, 12, 16}) {
        QTest::addRow("one note, %d KB", kilobytes) << true << kilobytes;
        QTest::addRow("the catalog, %d KB", kilobytes) << false << kilobytes;
    }
}

void NoteExportTest::exportOntoAFullDiskFailsAndLeavesNothing()
{
    QFETCH(bool, oneNote);
    QFETCH(int, kilobytes);
    // A page too large for the disk, so that its write is cut short.
    QByteArray body = "<html><body>";
    for (int i = 0; i < 2000; ++i)
        body += "<p>Paragraph " + QByteArray::number(i * 7919) + "</p>";
    QVERIFY(writeFile(m_folder->dataFolder() + QStringLiteral("12-01-2026/120120261000000000.html"),
                      body + "</body></html>"));
    SmallDisk disk(kilobytes);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    TDBDataModule database(m_folder->databasePath());
    NoteExporter exporter(database, m_folder->dataFolder());
    try {
        const ExportResult result = exporter.exportTo(oneNote ? ExportScope::note(1) : ExportScope::catalog(),
                                                      disk.path() + QStringLiteral("out"));
        QFAIL(qPrintable(QStringLiteral("the export said it wrote %1 notes").arg(result.notes)));
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(QLatin1String("space")), error.what());
    }
    QCOMPARE(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void NoteExportTest::exportTakesNothingAPageNamesOutsideTheNotes()
{
    // A page captured before captures emptied local references, naming files of
    // the computer in every way a page can; one reached through a link inside
    // the data folder.
    const QString data = m_folder->dataFolder();
    const QString secret = m_outside->filePath(QStringLiteral("passwd"));
    QVERIFY(writeFile(secret, "root:x:0:0:secret\n"));
    QVERIFY(QFile::link(secret, data + QStringLiteral("12-01-2026/images/link.png")));
    const QByteArray url = QUrl::fromLocalFile(secret).toEncoded();
    QVERIFY(writeFile(data + QStringLiteral("12-01-2026/120120261000000000.html"),
                      "<html><head><meta http-equiv=\"Refresh\" content=\"0;url=" + url +
                          "\"></head><body>"
                          "<iframe src=\"" +
                          url + "\"></iframe><embed src=\"" + url + "\"><video poster=\"" + url + "\" src=\"" + url +
                          "\"><track src=\"" + url + "\"></video><input type=image src=\"" + url + "\"><img src=\"" +
                          url + "\"><img src=\"images/link.png\"><img src=\"" + QFile::encodeName(secret) +
                          "\"></body></html>"));
    const QString target = exportTo(ExportScope::catalog());
    QDirIterator walk(target, QDir::Files, QDirIterator::Subdirectories);
    while (walk.hasNext())
        QVERIFY2(!readFile(walk.next()).contains("secret"), qPrintable(walk.filePath()));
    const QString page =
        QString::fromUtf8(readFile(target + QStringLiteral("notes/12-01-2026/120120261000000000.html")));
    QVERIFY2(!page.contains(QLatin1String("efresh")) && !page.contains(QString::fromUtf8(url)), qPrintable(page));
    QVERIFY2(page.contains(QLatin1String("frame-src 'none'")), qPrintable(page));
}

void NoteExportTest::noteFileNamesNeverLeadTheExportOutside()
{
    {
        TDBDataModule database(m_folder->databasePath());
        Transaction transaction(database);
        database.runStatement(QStringLiteral("update note set filename=? where noteid=1"),
                              {QStringLiteral("../../escaped/120120261000000000.html")});
        transaction.commit();
    }
    QVERIFY(writeFile(m_target->filePath(QStringLiteral("escaped/120120261000000000.html")), "outside"));
    ExportResult result;
    exportTo(ExportScope::catalog(), &result);
    QCOMPARE(readFile(m_target->filePath(QStringLiteral("escaped/120120261000000000.html"))), QByteArray("outside"));
    QCOMPARE(result.notes, 2);
    QVERIFY(result.problems.contains(m_folder->dataFolder() + QStringLiteral("../../escaped/120120261000000000.html")));
}

CLIPNEST_TEST_MAIN(NoteExportTest)
#include "tst_noteexport.moc"
