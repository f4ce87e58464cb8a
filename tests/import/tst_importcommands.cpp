#include "importcommands.h"
#include "importreport.h"
#include "mainform.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
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
};

void ImportCommandsTest::commandSitsInTheFileMenuInBothLanguages_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("entry");
    QTest::newRow("English") << "en.ini"
                             << "Import"
                             << "Evernote (.enex)...";
    QTest::newRow("Chinese") << "cn.ini"
                             << "导入"
                             << "Evernote (.enex)...";
}

void ImportCommandsTest::commandSitsInTheFileMenuInBothLanguages()
{
    QFETCH(QString, language);
    QFETCH(QString, menu);
    QFETCH(QString, entry);
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
    QCOMPARE(import->findChild<QAction *>(QStringLiteral("ImportEnex1"))->text(), entry);
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

CLIPNEST_TEST_MAIN(ImportCommandsTest)
#include "tst_importcommands.moc"
