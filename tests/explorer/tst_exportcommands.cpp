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
#include <QMenu>
#include <QTemporaryDir>
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
    database.runStatement(QStringLiteral("insert into note values (?,?,?,?,?)"),
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
    commands->chooseFolder = [&](const QString &) { return chosen.path(); };
    commands->askYesNo = [](const QString &) { return true; };
    commands->openInBrowser = [&](const QString &index) { opened << index; };
    commands->chooseBackupFile = [&](const QString &, const QString &suggested) { return chosen.filePath(suggested); };

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
    commands->chooseArchive = [&](const QString &) { return archive; };
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
