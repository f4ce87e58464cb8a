#include "backuparchive.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exportcommands.h"
#include "mainform.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void seedNote(const TestProgramFolder &folder)
{
    writeFile(folder.dataFolder() + QStringLiteral("12-09-2026/120920261000000000.html"),
              "<html><body><p>kept</p></body></html>");
    TDBDataModule database(folder.databasePath());
    Transaction transaction(database);
    database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                          {1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 1, 0});
    database.runStatement(
        QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,?,?)"),
        {1, QStringLiteral("Plan"), 1, QDateTime::currentDateTime(),
         QStringLiteral("12-09-2026/120920261000000000.html")});
    transaction.commit();
}

QStringList entryNames(const QMenu *menu)
{
    QStringList names;
    for (const QAction *entry : menu->actions())
        names << entry->objectName();
    return names;
}

} // namespace

class ExportCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void commandsSitInTheMenusInBothLanguages_data();
    void commandsSitInTheMenusInBothLanguages();
    void exportAndBackupWriteWhereTheUserChose();
    void dialogsOpenWhereTheirCommandWasLastGiven();
    void folderChooserTakesAFolderNotMadeYet();
    void restoreRestartsTheProgramOnlyWithoutOpenEditors();
};

void ExportCommandsTest::commandsSitInTheMenusInBothLanguages_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("exportAll");
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("exportNode");
    QTest::newRow("English") << QStringLiteral("en.ini") << QStringLiteral("Export all notes to folder...")
                             << QStringLiteral("Back up all notes...") << QStringLiteral("Export node to folder...");
    QTest::newRow("Chinese") << QStringLiteral("cn.ini") << QStringLiteral("导出全部笔记到文件夹...")
                             << QStringLiteral("备份全部笔记...") << QStringLiteral("导出节点到文件夹...");
}

void ExportCommandsTest::commandsSitInTheMenusInBothLanguages()
{
    QFETCH(QString, language);
    QFETCH(QString, exportAll);
    QFETCH(QString, backup);
    QFETCH(QString, exportNode);
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=" + language.toUtf8() + "\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    TMainForm *explorer = program.explorer();

    const QMenu *file = explorer->findChild<QMenu *>(QStringLiteral("FileMenu"));
    const QStringList fileEntries = entryNames(file);
    QVERIFY2(fileEntries.indexOf(QStringLiteral("Printnote1")) < fileEntries.indexOf(QStringLiteral("Exportall1")),
             qPrintable(fileEntries.join(QLatin1Char(','))));
    QCOMPARE(fileEntries.mid(fileEntries.size() - 2), (QStringList{QStringLiteral("N2"), QStringLiteral("Exit1")}));
    const QMenu *tree = explorer->findChild<QMenu *>(QStringLiteral("TreePopupMenu"));
    QVERIFY(entryNames(tree).contains(QStringLiteral("ExportNodeMenu")));
    QVERIFY(entryNames(explorer->findChild<QMenu *>(QStringLiteral("NotePopupMenu")))
                .contains(QStringLiteral("ExportNoteMenu")));

    auto caption = [&](const QMenu *menu, const char *name) {
        return menu->findChild<QAction *>(QLatin1String(name))->text().section(QLatin1Char('\t'), 0, 0);
    };
    QCOMPARE(caption(file, "Exportall1"), exportAll);
    QCOMPARE(caption(file, "Backup1"), backup);
    QCOMPARE(caption(tree, "ExportNodeMenu"), exportNode);
}

void ExportCommandsTest::exportAndBackupWriteWhereTheUserChose()
{
    TestProgramFolder folder;
    seedNote(folder);
    QTemporaryDir chosen;
    ClipnestProgram program(folder.path());
    program.bringUp();
    ExportCommands *commands = program.explorer()->exportCommands();
    QStringList messages;
    QStringList opened;
    commands->showMessage = [&](const QString &message) { messages << message; };
    commands->chooseFolder = [&](const QString &, const QString &) { return chosen.path(); };
    commands->askYesNo = [](const QString &) { return true; };
    commands->openInBrowser = [&](const QString &index) { opened << index; };
    commands->chooseBackupFile = [&](const QString &, const QString &suggested) {
        return chosen.filePath(QFileInfo(suggested).fileName());
    };

    // Exporting twice into the same folder makes a second folder, never overwrites.
    commands->ExportCatalogAct->trigger();
    commands->ExportCatalogAct->trigger();
    QCOMPARE(opened, (QStringList{chosen.filePath(QStringLiteral("Clipnest notes/index.html")),
                                  chosen.filePath(QStringLiteral("Clipnest notes (2)/index.html"))}));
    QVERIFY(QFile::exists(chosen.filePath(QStringLiteral("Clipnest notes/notes/12-09-2026/120920261000000000.html"))));

    program.explorer()->TagTreeView_()->setCurrentItem(program.explorer()->TagTreeView_()->topLevelItem(0));
    commands->ExportNodeAct->trigger();
    QVERIFY(QFile::exists(chosen.filePath(QStringLiteral("Work/index.html"))));
    QVERIFY(messages.isEmpty());

    commands->BackupAct->trigger();
    const QString archive = chosen.filePath(BackupArchive::suggestedFileName(QDate::currentDate()));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(archive), qPrintable(messages[0]));
    QCOMPARE(BackupArchive::inspect(archive).notes, 1);
}

void ExportCommandsTest::dialogsOpenWhereTheirCommandWasLastGiven()
{
    TestProgramFolder folder;
    seedNote(folder);
    QTemporaryDir chosen;
    ClipnestProgram program(folder.path());
    program.bringUp();
    ExportCommands *commands = program.explorer()->exportCommands();
    QStringList starts;
    QStringList messages;
    QStringList questions;
    QString folderAnswer = chosen.filePath(QStringLiteral("not yet/made"));
    commands->chooseFolder = [&](const QString &, const QString &start) {
        starts << start;
        return folderAnswer;
    };
    commands->chooseBackupFile = [&](const QString &, const QString &suggested) {
        starts << QFileInfo(suggested).absolutePath();
        return chosen.filePath(QStringLiteral("backups/") + QFileInfo(suggested).fileName());
    };
    commands->chooseArchive = [&](const QString &, const QString &start) {
        starts << start;
        return QString();
    };
    commands->showMessage = [&](const QString &message) { messages << message; };
    commands->askYesNo = [&](const QString &question) {
        questions << question;
        return false;
    };
    QVERIFY(QDir().mkpath(chosen.filePath(QStringLiteral("backups"))));

    // The first time in the Documents folder; an export makes the folder it is given.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString firstStart = QFileInfo(documents).isDir() ? documents : QDir::homePath();
    commands->ExportCatalogAct->trigger();
    QVERIFY(QFile::exists(chosen.filePath(QStringLiteral("not yet/made/Clipnest notes/index.html"))));
    QCOMPARE(questions.size(), 1);
    QVERIFY2(questions[0].startsWith(QStringLiteral("Exported 1 note to")), qPrintable(questions[0]));
    commands->BackupAct->trigger();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith(QStringLiteral("Backed up 1 note to")), qPrintable(messages[0]));
    commands->RestoreAct->trigger();
    QCOMPARE(starts, (QStringList{firstStart, firstStart, firstStart}));

    // Then each where it was last given; a folder gone since gives the one above it.
    starts.clear();
    commands->ExportCatalogAct->trigger();
    commands->BackupAct->trigger();
    QVERIFY(QDir(chosen.filePath(QStringLiteral("backups"))).removeRecursively());
    commands->BackupAct->trigger();
    QCOMPARE(starts, (QStringList{chosen.filePath(QStringLiteral("not yet/made")),
                                  chosen.filePath(QStringLiteral("backups")), chosen.path()}));
    QFile settings(folder.path() + QStringLiteral("tavlo.ini"));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray kept = settings.readAll();
    QVERIFY2(kept.contains("exportFolder=") && kept.contains("backupFolder=") && !kept.contains("restoreFolder="),
             kept.constData());
}

void ExportCommandsTest::folderChooserTakesAFolderNotMadeYet()
{
    TestProgramFolder folder;
    QTemporaryDir start;
    ClipnestProgram program(folder.path());
    program.bringUp();
    // The program's own chooser, as the user sees it: a name typed into it and Choose.
    QTimer::singleShot(200, [] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("new notes"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const QString chosen = program.explorer()->exportCommands()->chooseFolder(QStringLiteral("Export"), start.path());
    QCOMPARE(chosen, QDir(start.path()).filePath(QStringLiteral("new notes")));
}

void ExportCommandsTest::restoreRestartsTheProgramOnlyWithoutOpenEditors()
{
    TestProgramFolder folder;
    seedNote(folder);
    QTemporaryDir chosen;
    const QString archive = chosen.filePath(QStringLiteral("backup.tar.gz"));
    {
        TDBDataModule database(folder.databasePath());
        BackupSummary summary;
        summary.notes = 1;
        summary.nodes = 1;
        BackupArchive::create(folder.path(), archive, summary);
    }
    ClipnestProgram program(folder.path());
    program.bringUp();
    ExportCommands *commands = program.explorer()->exportCommands();
    QStringList messages;
    QList<QStringList> started;
    int exits = 0;
    commands->showMessage = [&](const QString &message) { messages << message; };
    commands->chooseArchive = [&](const QString &, const QString &) { return archive; };
    commands->startProgram = [&](const QStringList &arguments) {
        started << arguments;
        return true;
    };
    program.explorer()->exitProgram = [&] { ++exits; };

    TEditorForm *editor = program.newEditor();
    editor->show();
    commands->RestoreAct->trigger();
    QCOMPARE(messages, QStringList{QStringLiteral("Restoring restarts Clipnest. Close the open note editors first.")});
    QVERIFY(started.isEmpty());
    delete editor;

    commands->RestoreAct->trigger();
    QCOMPARE(started, QList<QStringList>{(QStringList{QStringLiteral("--restore"), archive})});
    QCOMPARE(exits, 1);
}

CLIPNEST_TEST_MAIN(ExportCommandsTest)
#include "tst_exportcommands.moc"
