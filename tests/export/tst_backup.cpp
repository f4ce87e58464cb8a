#include "backuparchive.h"
#include "backuptestfiles.h"
#include "dbdatamodule.h"
#include "firebirdservice.h"
#include "instanceguard.h"
#include "restoreatstart.h"
#include "restorejournal.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>

class BackupTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void restoreBringsBackEveryRowAndFile();
    void backupTakenWhileTheProgramWritesHoldsOnlyCommittedNotes();
    void restoreAsksFirstAndNeedsTheProgramClosed();
    void foreignAndHostileArchivesChangeNothing_data();
    void foreignAndHostileArchivesChangeNothing();
    void backupsOfFilesWithAndWithoutSourcesRestore_data();
    void backupsOfFilesWithAndWithoutSourcesRestore();
    void backupOntoAFullDiskIsNeverCalledDone_data();
    void backupOntoAFullDiskIsNeverCalledDone();
    void restoreCutShortIsFinishedOrUndoneAtTheNextStart_data();
    void restoreCutShortIsFinishedOrUndoneAtTheNextStart();
    void nextStartRemovesWhatKilledBackupsAndRestoresLeft();

private:
    void seedNotes();
    BackupSummary backUp(TDBDataModule &database);

    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_archives;
    QString m_archive;
};

void BackupTest::init()
{
    m_folder = std::make_unique<TestProgramFolder>();
    m_archives = std::make_unique<QTemporaryDir>();
    m_archive = m_archives->filePath(BackupArchive::suggestedFileName(QDate(2026, 12, 9)));
    seedNotes();
}

void BackupTest::seedNotes()
{
    const QString data = m_folder->dataFolder();
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("tavlo.ini"),
                      "[Tavlo]\r\nlang=cn.ini\r\ndefaultClick=2\r\ndatapath=" + data.toUtf8() + "\r\n"));
    QVERIFY(writeFile(data + QStringLiteral("12-01-2026/120120261000000000.html"),
                      "<html><body><p>第一天</p><img src=\"images/a.png\"></body></html>"));
    QByteArray picture(70000, '\0');
    for (int i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 7919) % 251);
    QVERIFY(writeFile(data + QStringLiteral("12-01-2026/images/a.png"), picture));
    QVERIFY(writeFile(data + QStringLiteral("12-01-2026/attaches/report 2026.pdf"), "%PDF-1.4 not really\n"));
    QVERIFY(writeFile(data + QStringLiteral("12-01-2026/template.html"), "<html><body></body></html>"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("12-02-2026/images")));

    TDBDataModule database(m_folder->databasePath());
    Transaction transaction(database);
    const QString tag = QStringLiteral("insert into tags values (?,?,?,?,?,?,?)");
    database.runStatement(tag, {1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 2, 3});
    database.runStatement(tag, {2, QStringLiteral("旅行"), 2, QStringLiteral("Work,旅行"), 1, 1, 0});
    const QString note =
        QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,?,?)");
    database.runStatement(note, {1, QStringLiteral("It's \"quoted\" 中文"), 2,
                                 QDateTime(QDate(2026, 12, 1), QTime(10, 0, 1, 234)),
                                 QStringLiteral("12-01-2026/120120261000000000.html")});
    database.runStatement(note, {2, QStringLiteral("Second"), 1, QDateTime(QDate(2026, 12, 2), QTime(9, 30)),
                                 QStringLiteral("12-01-2026\\missing.html")});
    database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"),
                          {1, 1, QStringLiteral("report 2026.pdf"), QStringLiteral("12-01-2026/attaches/")});
    transaction.commit();
}

BackupSummary BackupTest::backUp(TDBDataModule &database)
{
    BackupSummary summary;
    summary.made = QDateTime(QDate(2026, 12, 9), QTime(18, 0));
    summary.nodes = database.queryInteger(QStringLiteral("select count(*) from tags"));
    summary.notes = database.queryInteger(QStringLiteral("select count(*) from note"));
    summary.attachments = database.queryInteger(QStringLiteral("select count(*) from attachment"));
    return BackupArchive::create(m_folder->path(), m_archive, summary);
}

void BackupTest::restoreBringsBackEveryRowAndFile()
{
    // A trashed note's file, which the backup holds too.
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("trash/9/12-02-2026/t.html"), "trashed"));
    const QStringList rowsBefore = allRows(m_folder->databasePath());
    const QMap<QString, QByteArray> filesBefore = userFiles(m_folder->path());
    QCOMPARE(rowsBefore.size(), 5);
    QCOMPARE(filesBefore.size(), 7); // with data/template.html and tavlo.ini

    qint64 lastDone = 0;
    qint64 lastTotal = 0;
    {
        // The program is running: its connection is open while the backup is taken.
        TDBDataModule running(m_folder->databasePath());
        BackupSummary summary = backUp(running);
        QCOMPARE(summary.notes, 2);
        QCOMPARE(summary.files, 6);
        QVERIFY(summary.program.startsWith(QLatin1String("Clipnest ")));
    }
    const BackupSummary inspected = BackupArchive::inspect(m_archive);
    QCOMPARE(inspected.made, QDateTime(QDate(2026, 12, 9), QTime(18, 0)));
    QCOMPARE(inspected.nodes, 2);
    QCOMPARE(inspected.attachments, 1);

    // Everything of the user's goes: the rows, the notes' files and the settings.
    {
        TDBDataModule database(m_folder->databasePath());
        Transaction transaction(database);
        database.runStatement(QStringLiteral("delete from attachment"));
        database.runStatement(QStringLiteral("delete from note"));
        database.runStatement(QStringLiteral("delete from tags"));
        transaction.commit();
    }
    QVERIFY(QDir(m_folder->dataFolder()).removeRecursively());
    QVERIFY(QDir().mkpath(m_folder->dataFolder()));
    QVERIFY(QDir(m_folder->path() + QStringLiteral("trash")).removeRecursively());
    QVERIFY(QFile::remove(m_folder->path() + QStringLiteral("tavlo.ini")));
    QVERIFY(allRows(m_folder->databasePath()).isEmpty());
    // The full-text index of the emptied notes, which must not outlive them.
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("index/postlist.glass"), "stale"));
    // Interrupted work on the emptied notes, which must not be applied to the restored ones.
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("pending/1.pending"), "stale"));

    // The second note's file was missing when the backup was made; restoring asks.
    QPair<int, int> missingAsked;
    const QString aside = BackupArchive::restore(
        m_archive, m_folder->path(),
        [&](qint64 done, qint64 total) {
            lastDone = done;
            lastTotal = total;
            return true;
        },
        [&](int missing, int rows) {
            missingAsked = {missing, rows};
            return true;
        });
    QCOMPARE(missingAsked, qMakePair(1, 3));
    QCOMPARE(allRows(m_folder->databasePath()), rowsBefore);
    QCOMPARE(userFiles(m_folder->path()), filesBefore);
    QVERIFY(QFileInfo(m_folder->dataFolder() + QStringLiteral("12-02-2026/images")).isDir());
    QVERIFY(lastTotal > 0 && lastDone >= lastTotal);

    // What was there before is kept aside, not overwritten.
    QVERIFY2(aside.startsWith(m_folder->path() + QStringLiteral("before-restore-")), qPrintable(aside));
    QVERIFY(allRows(aside + QStringLiteral("notes.fdb")).isEmpty());
    QVERIFY(QFileInfo(aside + QStringLiteral("data")).isDir());
    QVERIFY(!QFileInfo::exists(m_folder->path() + QStringLiteral("index")));
    QVERIFY(QFileInfo(aside + QStringLiteral("index/postlist.glass")).isFile());
    QVERIFY(!QFileInfo::exists(m_folder->path() + QStringLiteral("pending")));
    QVERIFY(QFileInfo(aside + QStringLiteral("pending/1.pending")).isFile());
    // Nothing is left of the unpacking.
    QVERIFY(QDir(m_folder->path()).entryList({QStringLiteral(".restore-*")}, QDir::Hidden | QDir::Dirs).isEmpty());
}

void BackupTest::backupTakenWhileTheProgramWritesHoldsOnlyCommittedNotes()
{
    const QStringList committed = allRows(m_folder->databasePath());
    {
        TDBDataModule running(m_folder->databasePath());
        const BackupSummary summary = [&] {
            // A save in progress: its note row is not committed while the backup runs.
            TDBDataModule writer(m_folder->databasePath());
            Transaction saving(writer);
            writer.runStatement(
                QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,?,?)"),
                {3, QStringLiteral("half saved"), 1, QDateTime::currentDateTime(), QStringLiteral("x.html")});
            return backUp(running);
        }();
        QCOMPARE(summary.notes, 2);
    }
    TestProgramFolder restored;
    QVERIFY(QFile::remove(restored.databasePath()));
    BackupArchive::restore(m_archive, restored.path(), {}, [](int, int) { return true; });
    QCOMPARE(allRows(restored.databasePath()), committed);
}

void BackupTest::restoreAsksFirstAndNeedsTheProgramClosed()
{
    {
        TDBDataModule running(m_folder->databasePath());
        backUp(running);
    }
    const QByteArray databaseBefore = [&] {
        QFile file(m_folder->databasePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(writeFile(m_folder->dataFolder() + QStringLiteral("12-03-2026/new.html"), "written after the backup"));

    // Answering No changes nothing, and the program starts as usual.
    QStringList questions;
    QStringList messages;
    RestoreAtStart declined(m_folder->path(), m_archive);
    declined.askYesNo = [&](const QString &question) {
        questions << question;
        return false;
    };
    declined.showMessage = [&](const QString &message) { messages << message; };
    QVERIFY(declined.run());
    QCOMPARE(questions.size(), 1);
    // The question speaks the settings' language and names the backup's contents.
    QVERIFY2(questions[0].contains(QStringLiteral("2 条笔记")) && questions[0].contains(QStringLiteral("2 个节点")),
             qPrintable(questions[0]));
    QVERIFY(messages.isEmpty());
    QVERIFY(QFile::exists(m_folder->dataFolder() + QStringLiteral("12-03-2026/new.html")));
    QFile database(m_folder->databasePath());
    QVERIFY(database.open(QIODevice::ReadOnly));
    QCOMPARE(database.readAll(), databaseBefore);
    database.close();

    // While another copy runs, nothing is asked or touched and this one does not start.
    {
        InstanceGuard running;
        QVERIFY(running.tryAcquire());
        RestoreAtStart refused(m_folder->path(), m_archive);
        refused.waitForClosingCopyMs = 300;
        refused.askYesNo = [&](const QString &question) {
            questions << question;
            return true;
        };
        refused.showMessage = [&](const QString &message) { messages << message; };
        QVERIFY(!refused.run());
        QCOMPARE(questions.size(), 1);
        QCOMPARE(messages, QStringList{QStringLiteral("还原备份之前请先关闭 Clipnest。")});
    }

    // Yes restores; the note written after the backup is kept aside.
    RestoreAtStart accepted(m_folder->path(), m_archive);
    accepted.askYesNo = [](const QString &) { return true; };
    accepted.showMessage = [&](const QString &message) { messages << message; };
    QVERIFY(accepted.run());
    QVERIFY(!QFile::exists(m_folder->dataFolder() + QStringLiteral("12-03-2026/new.html")));
    const QStringList aside = QDir(m_folder->path()).entryList({QStringLiteral("before-restore-*")}, QDir::Dirs);
    QCOMPARE(aside.size(), 1);
    QVERIFY(QFile::exists(m_folder->path() + aside[0] + QStringLiteral("/data/12-03-2026/new.html")));
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[1].contains(aside[0]), qPrintable(messages[1]));
}

void BackupTest::foreignAndHostileArchivesChangeNothing_data()
{
    QTest::addColumn<ArchiveEntries>("entries");
    QTest::addColumn<QString>("error");
    const QByteArray summary = R"({"format":1,"made":"2026-12-09T18:00:00","nodes":0,"notes":0,"attachments":0})";

    QTest::newRow("not a backup") << ArchiveEntries{{QStringLiteral("notes.txt"), "hello"}}
                                  << QStringLiteral("is not a Clipnest backup");
    QTest::newRow("from a newer program") << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), R"({"format":2})"}}
                                          << QStringLiteral("newer Clipnest");
    QTest::newRow("no database") << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summary}}
                                 << QStringLiteral("holds no database");
    const QString note = QStringLiteral(
        "insert into note (noteid, title, tagid, createdate, filename) values (1, 'n', 1, current_timestamp, '%1')");
    const QString attachment = QStringLiteral("insert into attachment values (1, 1, '%1', '%2')");
    const QString tag = QStringLiteral("insert into tags values (1, 'Work', 1, 'Work', 0, 1, 0)");
    const QByteArray page = "<html><body>n</body></html>";
    QTest::newRow("tables of other columns")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(0, 0, 0)},
                          {QStringLiteral("notes.fbk"),
                           databaseBackup({QStringLiteral("alter table note drop filename"),
                                           QStringLiteral("alter table note add file_name varchar(1000)")})}}
        << QStringLiteral("its table note has the columns");
    QTest::newRow("a note file outside the data folder")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(1, 1, 0)},
                          {QStringLiteral("notes.fbk"),
                           databaseBackup({tag, note.arg(QStringLiteral("../../../victim/precious.txt"))})}}
        << QStringLiteral("note 1 names a file outside the data folder");
    QTest::newRow("an attachment folder outside the data folder")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(1, 1, 1)},
                          {QStringLiteral("notes.fbk"),
                           databaseBackup(
                               {tag, note.arg(QStringLiteral("12-01-2026/1.html")),
                                attachment.arg(QStringLiteral("precious.txt"), QStringLiteral("../../../victim/"))})},
                          {QStringLiteral("data/12-01-2026/1.html"), page}}
        << QStringLiteral("attachment 1 names a file outside the data folder");
    QTest::newRow("an absolute note file")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(1, 1, 0)},
                          {QStringLiteral("notes.fbk"), databaseBackup({tag, note.arg(QStringLiteral("/etc/passwd"))})}}
        << QStringLiteral("outside the data folder");
    QTest::newRow("every note file missing")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(1, 1, 0)},
                          {QStringLiteral("notes.fbk"), databaseBackup({tag, note.arg(QStringLiteral("a/1.html"))})}}
        << QStringLiteral("1 of the backup's 1 notes and attachments have no file");
    QTest::newRow("a data folder that is a file")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(0, 0, 0)},
                          {QStringLiteral("notes.fbk"), databaseBackup({})},
                          {QStringLiteral("data"), "not a folder"}}
        << QStringLiteral("its \"data\" is a file");
    QTest::newRow("a settings file that is a folder")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summaryOf(0, 0, 0)},
                          {QStringLiteral("notes.fbk"), databaseBackup({})},
                          {QStringLiteral("tavlo.ini/"), QByteArray()}}
        << QStringLiteral("its \"tavlo.ini\" is a folder");
    QTest::newRow("names climbing out of the folder")
        << ArchiveEntries{{QStringLiteral("clipnest-backup.json"), summary},
                          {QStringLiteral("../escaped.txt"), "outside"},
                          {QStringLiteral("data/../../escaped.txt"), "outside"},
                          {escapedAbsolutePath(), "outside"},
                          {QStringLiteral("notes.fbk"), "not a database backup"}}
        << QStringLiteral("");
}

void BackupTest::foreignAndHostileArchivesChangeNothing()
{
    QFETCH(ArchiveEntries, entries);
    QFETCH(QString, error);
    const QString archive = m_archives->filePath(QStringLiteral("made-up.tar"));
    QVERIFY(writeTar(archive, entries));
    const QStringList rowsBefore = allRows(m_folder->databasePath());
    const QMap<QString, QByteArray> filesBefore = userFiles(m_folder->path());
    try {
        BackupArchive::restore(archive, m_folder->path());
        QFAIL("a made-up archive was restored");
    } catch (const std::runtime_error &failure) {
        QVERIFY2(QString::fromUtf8(failure.what()).contains(error), failure.what());
    }
    QCOMPARE(allRows(m_folder->databasePath()), rowsBefore);
    QCOMPARE(userFiles(m_folder->path()), filesBefore);
    QVERIFY(!QFile::exists(QFileInfo(m_folder->path() + QStringLiteral("../escaped.txt")).absoluteFilePath()));
    QVERIFY(!QFile::exists(escapedAbsolutePath()));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("data")});
}

void BackupTest::backupsOfFilesWithAndWithoutSourcesRestore_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("source");
    const QString tag = QStringLiteral("insert into tags values (1, 'Work', 1, 'Work', 0, 1, 0)");
    QTest::newRow("made before notes kept their source")
        << QStringList{QStringLiteral("alter table note drop source"), tag,
                       QStringLiteral("insert into note values (1, 'n', 1, current_timestamp, '12-01-2026/1.html')")}
        << QString();
    QTest::newRow("with sources") << QStringList{tag, QStringLiteral("insert into note values (1, 'n', 1, "
                                                                     "current_timestamp, '12-01-2026/1.html', "
                                                                     "'https://example.org/a')")}
                                  << QStringLiteral("https://example.org/a");
}

void BackupTest::backupsOfFilesWithAndWithoutSourcesRestore()
{
    QFETCH(QStringList, statements);
    QFETCH(QString, source);
    const QString archive = m_archives->filePath(QStringLiteral("older.tar"));
    QVERIFY(writeTar(archive, {{QStringLiteral("clipnest-backup.json"), summaryOf(1, 1, 0)},
                               {QStringLiteral("notes.fbk"), databaseBackup(statements)},
                               {QStringLiteral("data/12-01-2026/1.html"), "<html><body>n</body></html>"}}));
    BackupArchive::restore(archive, m_folder->path());
    TDBDataModule database(m_folder->databasePath());
    QCOMPARE(database.queryInteger(QStringLiteral("select count(*) from note where title='n'")), 1);
    QCOMPARE(database.noteSource(1), source);
}

void BackupTest::backupOntoAFullDiskIsNeverCalledDone_data()
{
    QTest::addColumn<int>("spareKilobytes");
    for (int spare : {-12, -8, -4, 0, 4, 8, 64})
        QTest::addRow("%d KB", spare) << spare;
}

void BackupTest::backupOntoAFullDiskIsNeverCalledDone()
{
    QFETCH(int, spareKilobytes);
    // A picture that does not compress, so that the archive's last writes are large.
    QByteArray noise(300000, '\0');
    QRandomGenerator random(7);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    QVERIFY(writeFile(m_folder->dataFolder() + QStringLiteral("12-01-2026/images/noise.png"), noise));
    const QStringList rowsBefore = allRows(m_folder->databasePath());
    TDBDataModule running(m_folder->databasePath());
    backUp(running);
    const qint64 archiveSize = QFileInfo(m_archive).size();
    SmallDisk disk(int(archiveSize / 1024) + spareKilobytes);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));

    m_archive = disk.path() + BackupArchive::suggestedFileName(QDate(2026, 12, 9));
    bool done = false;
    try {
        backUp(running);
        done = true;
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(QLatin1String("space")), error.what());
    }
    if (!done) {
        // Nothing is left that could be taken for a backup.
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        return;
    }
    // A backup called done restores whole.
    TestProgramFolder restored;
    QVERIFY(QFile::remove(restored.databasePath()));
    BackupArchive::restore(m_archive, restored.path(), {}, [](int, int) { return true; });
    QCOMPARE(allRows(restored.databasePath()), rowsBefore);
}

void BackupTest::restoreCutShortIsFinishedOrUndoneAtTheNextStart_data()
{
    QTest::addColumn<int>("movesDone");
    QTest::addColumn<bool>("stagingDamaged");
    // The moves in their order: notes.fdb, tavlo.ini, data, index and the one
    // record of unfinished work aside, then notes.fdb, tavlo.ini and data in.
    for (int moves = 0; moves <= 8; ++moves) {
        QTest::addRow("after %d moves", moves) << moves << false;
        if (moves < 8)
            QTest::addRow("after %d moves, the unpacked data lost", moves) << moves << true;
    }
}

void BackupTest::restoreCutShortIsFinishedOrUndoneAtTheNextStart()
{
    QFETCH(int, movesDone);
    QFETCH(bool, stagingDamaged);
    {
        TDBDataModule running(m_folder->databasePath());
        backUp(running);
    }
    const QStringList restoredRows = allRows(m_folder->databasePath());
    const QMap<QString, QByteArray> restoredFiles = userFiles(m_folder->path());
    // The collection changes after the backup; the restore brings the backup back.
    QVERIFY(writeFile(m_folder->dataFolder() + QStringLiteral("12-03-2026/new.html"), "written after the backup"));
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=en.ini\r\n"));
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("index/postlist.glass"), "index"));
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("pending/1.pending"), "{}"));
    {
        TDBDataModule database(m_folder->databasePath());
        Transaction transaction(database);
        database.runStatement(QStringLiteral("delete from attachment"));
        transaction.commit();
    }
    const QStringList earlierRows = allRows(m_folder->databasePath());
    const QMap<QString, QByteArray> earlierFiles = userFiles(m_folder->path());

    // The restore is cut short after some of its moves, as a kill would leave it.
    const BackupArchive::PreparedRestore prepared = BackupArchive::prepareRestore(m_archive, m_folder->path());
    RestoreJournal journal;
    journal.stagingFolder = QDir(prepared.stagingFolder).dirName();
    journal.asideFolder = QStringLiteral("before-restore-20261210-120000");
    journal.restored = QStringList{QStringLiteral("notes.fdb"), QStringLiteral("tavlo.ini"), QStringLiteral("data")};
    journal.earlier = journal.restored + QStringList{QStringLiteral("index")};
    journal.write(m_folder->path());
    const QString aside = m_folder->path() + journal.asideFolder + QLatin1Char('/');
    QList<QPair<QString, QString>> moves;
    for (const QString &name : journal.earlier)
        moves.append({m_folder->path() + name, aside + name});
    moves.append({m_folder->path() + QStringLiteral("pending/1.pending"), aside + QStringLiteral("pending/1.pending")});
    for (const QString &name : journal.restored)
        moves.append({prepared.stagingFolder + name, m_folder->path() + name});
    QCOMPARE(moves.size(), 8);
    for (int i = 0; i < movesDone; ++i) {
        QDir().mkpath(QFileInfo(moves[i].second).absolutePath());
        QVERIFY(QDir().rename(moves[i].first, moves[i].second));
    }
    if (stagingDamaged)
        QVERIFY(QDir(prepared.stagingFolder + QStringLiteral("data")).removeRecursively());

    const RestoreJournal::Recovery recovery = RestoreJournal::recover(m_folder->path());
    // Whatever the moment, the folder holds one whole collection, never a mix.
    const bool finished = !stagingDamaged || movesDone == 8;
    QCOMPARE(recovery.outcome, finished ? RestoreJournal::Recovery::Finished : RestoreJournal::Recovery::Undone);
    QCOMPARE(allRows(m_folder->databasePath()), finished ? restoredRows : earlierRows);
    QCOMPARE(userFiles(m_folder->path()), finished ? restoredFiles : earlierFiles);
    QCOMPARE(QFileInfo::exists(m_folder->path() + QStringLiteral("pending/1.pending")), !finished);
    QCOMPARE(QFileInfo::exists(m_folder->path() + QStringLiteral("index")), !finished);
    QVERIFY(!QFileInfo::exists(RestoreJournal::pathIn(m_folder->path())));
    QVERIFY(!QFileInfo::exists(prepared.stagingFolder));
    if (finished) {
        QCOMPARE(recovery.asideFolder, aside);
        QVERIFY(QFileInfo(aside + QStringLiteral("data/12-03-2026/new.html")).isFile());
        QVERIFY(QFileInfo(aside + QStringLiteral("pending/1.pending")).isFile());
    } else {
        QVERIFY(!QFileInfo::exists(aside));
    }
}

void BackupTest::nextStartRemovesWhatKilledBackupsAndRestoresLeft()
{
    const QStringList leftovers{QStringLiteral(".restore-AbCdEf"), QStringLiteral(".backup-AbCdEf")};
    for (const QString &name : leftovers)
        QVERIFY(writeFile(m_folder->path() + name + QStringLiteral("/notes.fdb"), QByteArray(4096, 'x')));
    // Whole-file writes cut short between their link and their rename.
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("tavlo.ini.Ab12Cd"), "[Tavlo]"));
    QVERIFY(writeFile(m_folder->path() + QStringLiteral("pending/1.pending.Ab12Cd"), "{}"));
    QTemporaryDir temp;
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    QVERIFY(writeFile(temp.filePath(QStringLiteral("clipnest-backup-XyZ123/notes.fbk")), "left by an older copy"));
    const QMap<QString, QByteArray> filesBefore = userFiles(m_folder->path());

    const RestoreJournal::Recovery recovery = RestoreJournal::recover(m_folder->path());
    qunsetenv("TMPDIR");
    QCOMPARE(recovery.outcome, RestoreJournal::Recovery::Nothing);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("data"), QStringLiteral("pending")}));
    QVERIFY(QDir(m_folder->path() + QStringLiteral("pending")).isEmpty());
    QVERIFY(!QFileInfo::exists(m_folder->path() + QStringLiteral("tavlo.ini.Ab12Cd")));
    QVERIFY(QDir(temp.path()).isEmpty());
    QCOMPARE(userFiles(m_folder->path()), filesBefore);
}

CLIPNEST_TEST_MAIN(BackupTest)
#include "tst_backup.moc"
