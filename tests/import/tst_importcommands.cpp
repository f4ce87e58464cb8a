#include "importcommands.h"
#include "importreport.h"
#include "mainform.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

class ImportCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }
    void commandSitsInTheFileMenuInBothLanguages_data();
    void commandSitsInTheFileMenuInBothLanguages();
    void importAsksBeforeImportingAgainAndReports();
    void importsAChosenFolder_data();
    void importsAChosenFolder();
};

void ImportCommandsTest::commandSitsInTheFileMenuInBothLanguages_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("English") << "en.ini"
                             << "Import" << QStringList{"Evernote (.enex)...", "Markdown folder...", "Zim notebook..."};
    QTest::newRow("Chinese") << "cn.ini"
                             << "导入" << QStringList{"Evernote (.enex)...", "Markdown 文件夹...", "Zim 笔记本..."};
}

void ImportCommandsTest::commandSitsInTheFileMenuInBothLanguages()
{
    QFETCH(QString, language);
    QFETCH(QString, menu);
    QFETCH(QStringList, entries);
    TestProgramFolder folder;
    QFile settings(folder.path() + QStringLiteral("tavlo.ini"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Tavlo]\r\nlang=" + language.toUtf8() + "\r\n");
    settings.close();
    ClipnestProgram program(folder.path());
    program.bringUp();
    const QMenu *file = program.explorer()->findChild<QMenu *>(QStringLiteral("FileMenu"));
    const QMenu *import = file->findChild<QMenu *>(QStringLiteral("ImportMenu"));
    QVERIFY(import);
    QCOMPARE(import->title(), menu);
    QStringList shown;
    for (const char *name : {"ImportEnex1", "ImportMarkdown1", "ImportZim1"})
        shown << import->findChild<QAction *>(QString::fromLatin1(name))->text();
    QCOMPARE(shown, entries);
}

void ImportCommandsTest::importAsksBeforeImportingAgainAndReports()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    ImportCommands *commands = program.explorer()->importCommands();
    const QString notebook = QFINDTESTDATA("data/notebook.enex");
    const QString broken = QFINDTESTDATA("data/broken.enex");
    QStringList questions;
    QList<EnexImportReport> reports;
    QStringList files{notebook, broken};
    commands->chooseFiles = [&](const QString &, const QString &) { return files; };
    commands->askAgain = [&](const QString &question) {
        questions << question;
        return ImportCommands::AgainAnswer::Skip;
    };
    commands->showReport = [&](const EnexImportReport &report) { reports << report; };

    commands->ImportEnexAct->trigger();
    // The tree shows the new nodes, and the last note imported is selected.
    QCOMPARE(program.explorer()->TagTreeView_()->topLevelItem(0)->text(0), QStringLiteral("Imported(7)"));
    QVERIFY(program.explorer()->noteList()->currentItem());
    QCOMPARE(program.explorer()->noteList()->currentItem()->text(0), QStringLiteral("After the break"));
    files = QStringList{notebook};
    commands->ImportEnexAct->trigger();
    QCOMPARE(questions, QStringList{"Notes of \"notebook.enex\" were imported before. Skip the notes already "
                                    "imported, or import them again?"});
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports[1].skipped, 2);
    QCOMPARE(reports[1].imported, 0);

    ImportReportDialog dialog(reports[0], program.context().messages);
    QCOMPARE(dialog.SummaryLabel->text(), QStringLiteral("7 notes imported, 3 with problems:"));
    QCOMPARE(dialog.ProblemList->toPlainText(),
             QStringLiteral("broken.enex - Missing picture: a resource is missing (00112233445566778899aabbccddeeff)\n"
                            "broken.enex - Broken ENML: the note's ENML is broken; what could be read is kept\n"
                            "broken.enex - Bad XML: Opening and ending tag mismatch: oops and note"));
    // A look at the report, when asked for one.
    if (const QString shots = qEnvironmentVariable("CLIPNEST_SCREENSHOTS"); !shots.isEmpty()) {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.grab().save(shots + QStringLiteral("/import-report.png"));
    }
}

void ImportCommandsTest::importsAChosenFolder_data()
{
    QTest::addColumn<bool>("zim");
    QTest::addColumn<QString>("expected_node");
    QTest::newRow("Markdown folder") << false << "Imported(2)";
    QTest::newRow("Zim notebook") << true << "Imported(2)";
}

void ImportCommandsTest::importsAChosenFolder()
{
    QFETCH(bool, zim);
    QTemporaryDir source;
    const QString notes = source.path() + QStringLiteral("/Notes");
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/Sub")));
    const QStringList pages =
        zim ? QStringList{"/notebook.zim", "/One.txt", "/Sub/Two.txt"} : QStringList{"/One.md", "/Sub/Two.md"};
    for (const QString &page : pages) {
        QFile file(notes + page);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("text\n");
    }
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    ImportCommands *commands = program.explorer()->importCommands();
    QList<EnexImportReport> reports;
    commands->chooseFolder = [&](const QString &, const QString &) { return notes; };
    commands->showReport = [&](const EnexImportReport &report) { reports << report; };
    (zim ? commands->ImportZimAct : commands->ImportMarkdownAct)->trigger();
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].imported, 2);
    QFETCH(QString, expected_node);
    QCOMPARE(program.explorer()->TagTreeView_()->topLevelItem(0)->text(0), expected_node);
    QCOMPARE(program.explorer()->noteList()->currentItem()->text(0), QStringLiteral("Two"));
}

CLIPNEST_TEST_MAIN(ImportCommandsTest)
#include "tst_importcommands.moc"
