// The program the crash loop (tests/crash/crash_loop.sh) kills again and again,
// and the checks it runs after each kill.
//
//   save_driver FOLDER [--log FILE] [--seed N] [--saves N] [--kill-at STEP [--kill-in new|again|trash|restore|empty]]
//   save_driver FOLDER --backup ARCHIVE [--pace MS]
//   save_driver FOLDER --restore ARCHIVE
//   save_driver FOLDER --check [--log FILE] [--either EARLIER RESTORED] [--set-aside FOLDER]
//   save_driver FOLDER --snapshot FILE
//   save_driver FOLDER --archive-holds ARCHIVE SNAPSHOT
//
// FOLDER is a program folder. Saving (see SavingDriver) prints "ready" once the
// windows are up and a line for each save and deletion once it is recorded in
// the log. With --kill-at the program kills itself at that database step.
//
// --backup backs the folder up as the explorer does, with the database open,
// resting MS ms at each piece of progress; --restore restores an archive as
// the start does, accepting missing files. Each prints "backing up" or
// "restoring" when it begins and "backed up" or "restored" when done.
//
// --check runs what the next start runs first (a restore cut short is finished
// or undone, then the unfinished work of saves and deletions), then prints every
// broken rule of the rows and files, every leftover of backups and restores,
// and with --log every acknowledged save or deletion that did not survive (see
// checkSurvival); with --either, the collection must be one of two snapshots.
// Its first line gives the figures; it exits with 1 when anything is broken,
// after moving what it found stray into the --set-aside folder.
//
// --snapshot writes the folder's collection (see collectionSnapshot);
// --archive-holds unpacks and checks an archive in FOLDER as a restore does and
// compares what it holds with a snapshot.
#include "appcontext.h"
#include "backuparchive.h"
#include "catalogrowcheck.h"
#include "collectionsnapshot.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "notetrash.h"
#include "pendingrecovery.h"
#include "restorejournal.h"
#include "savelog.h"
#include "savingdriver.h"
#include "survivalcheck.h"

#include <QApplication>
#include <QDir>
#include <QThread>

#include <cstdio>

namespace {

QString argumentAfter(const QStringList &arguments, const QString &name, int offset = 1)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + offset < arguments.size() ? arguments.at(at + offset) : QString();
}

int argumentValue(const QStringList &arguments, const QString &name, int fallback)
{
    const QString value = argumentAfter(arguments, name);
    return value.isEmpty() ? fallback : value.toInt();
}

void tell(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int check(const QString &programFolder, const QString &logPath, const QString &earlier, const QString &restored,
          const QString &setAside)
{
    QStringList problems;
    QString restoreOutcome;
    const RestoreJournal::Recovery restore = RestoreJournal::recover(programFolder);
    switch (restore.outcome) {
    case RestoreJournal::Recovery::Nothing:
        break;
    case RestoreJournal::Recovery::Finished:
        restoreOutcome = QStringLiteral("finished");
        break;
    case RestoreJournal::Recovery::Undone:
        restoreOutcome = QStringLiteral("undone");
        break;
    case RestoreJournal::Recovery::Failed:
        restoreOutcome = QStringLiteral("failed");
        problems << QStringLiteral("the restore cut short could be neither finished nor undone: ") + restore.problem;
        break;
    }

    TDBDataModule database(programFolder + QStringLiteral("notes.fdb"));
    const QString dataFolder = programFolder + QStringLiteral("data/");
    const RecoveryReport recovery =
        recoverPendingWork(database, programFolder + QStringLiteral("pending/"), dataFolder);
    problems += recovery.problems;
    // As the start settles the trash (a destruction cut short leaves files without rows).
    const AppContext context(programFolder);
    NoteTrash(database, context).settle(context.trashDays);
    problems += checkCatalogRows(database, dataFolder, RowCheckOptions{true, programFolder});
    problems += checkLeftovers(programFolder);
    std::optional<SaveLog> log;
    if (!logPath.isEmpty())
        log.emplace(logPath);
    const SurvivalReport survival = checkSurvival(database, dataFolder, log ? &*log : nullptr);
    problems += survival.problems;
    QString collection;
    if (!earlier.isEmpty()) {
        QString difference;
        const int match = matchingSnapshot(collectionSnapshot(programFolder), readSnapshot(earlier),
                                           readSnapshot(restored), &difference);
        collection = match == 0 ? QStringLiteral("earlier") : match == 1 ? QStringLiteral("restored") : QString();
        if (match < 0)
            problems << QStringLiteral("the folder holds neither the earlier collection nor the restored one: ") +
                            difference;
    }

    const int notes = database.queryInteger(QStringLiteral("select count(*) from note"));
    std::printf("notes %d, unfinished work %d (notes stored %d, files removed %d), problems %d\n", notes,
                recovery.entries, recovery.adoptedNotes, recovery.removedFiles, int(problems.size()));
    if (log)
        std::printf("survived: %d notes as acknowledged, %d deletions; cut short: %s\n", survival.notes,
                    survival.deletions, survival.unfinished.isEmpty() ? "nothing" : qPrintable(survival.unfinished));
    if (!restoreOutcome.isEmpty())
        std::printf("restore cut short: %s\n", qPrintable(restoreOutcome));
    if (!earlier.isEmpty())
        std::printf("collection: %s\n", collection.isEmpty() ? "neither" : qPrintable(collection));
    for (const QString &problem : std::as_const(problems))
        std::printf("  %s\n", qPrintable(problem));
    if (!problems.isEmpty() && !setAside.isEmpty()) {
        for (const QString &stray : setAsideStrays(database, programFolder, setAside))
            std::printf("set aside: %s\n", qPrintable(stray));
    }
    return problems.isEmpty() ? 0 : 1;
}

int backUp(const QString &programFolder, const QString &archive, int paceMs)
{
    TDBDataModule database(programFolder + QStringLiteral("notes.fdb"));
    BackupSummary summary;
    summary.made = QDateTime::currentDateTime();
    summary.nodes = database.queryInteger(QStringLiteral("select count(*) from tags"));
    summary.notes = database.queryInteger(QStringLiteral("select count(*) from note"));
    summary.attachments = database.queryInteger(QStringLiteral("select count(*) from attachment"));
    tell(QStringLiteral("backing up"));
    BackupArchive::create(programFolder, archive, summary, [paceMs](qint64, qint64) {
        QThread::msleep(paceMs);
        return true;
    });
    tell(QStringLiteral("backed up"));
    return 0;
}

int restore(const QString &programFolder, const QString &archive)
{
    tell(QStringLiteral("restoring"));
    const QString aside = BackupArchive::restore(archive, programFolder, {}, [](int, int) { return true; });
    tell(QStringLiteral("restored; the earlier files are in ") + aside);
    return 0;
}

int archiveHolds(const QString &scratchFolder, const QString &archive, const QString &snapshot)
{
    const BackupArchive::PreparedRestore prepared = BackupArchive::prepareRestore(archive, scratchFolder);
    const QStringList held = collectionSnapshot(prepared.stagingFolder);
    BackupArchive::discardRestore(prepared);
    const QString difference = snapshotDifference(held, readSnapshot(snapshot));
    if (prepared.missingFiles > 0 || !difference.isEmpty()) {
        tell(QStringLiteral("the archive %1 does not hold the collection: %2 files missing; it %3")
                 .arg(archive)
                 .arg(prepared.missingFiles)
                 .arg(difference));
        return 1;
    }
    tell(QStringLiteral("the archive holds the collection"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(
            stderr,
            "usage: save_driver FOLDER [--log FILE] [--seed N] [--saves N] [--kill-at STEP "
            "[--kill-in new|again|trash|restore|empty]] | FOLDER --backup ARCHIVE [--pace MS] | FOLDER --restore "
            "ARCHIVE "
            "| FOLDER --check [--log FILE] [--either EARLIER RESTORED] [--set-aside FOLDER] | FOLDER --snapshot FILE | "
            "FOLDER --archive-holds ARCHIVE SNAPSHOT\n");
        return 2;
    }
    const QString folder = QDir(arguments.at(1)).absolutePath() + QLatin1Char('/');
    const QString log = argumentAfter(arguments, QStringLiteral("--log"));
    try {
        if (arguments.contains(QStringLiteral("--check")))
            return check(folder, log, argumentAfter(arguments, QStringLiteral("--either")),
                         argumentAfter(arguments, QStringLiteral("--either"), 2),
                         argumentAfter(arguments, QStringLiteral("--set-aside")));
        if (arguments.contains(QStringLiteral("--backup")))
            return backUp(folder, argumentAfter(arguments, QStringLiteral("--backup")),
                          argumentValue(arguments, QStringLiteral("--pace"), 0));
        if (arguments.contains(QStringLiteral("--restore")))
            return restore(folder, argumentAfter(arguments, QStringLiteral("--restore")));
        if (arguments.contains(QStringLiteral("--snapshot"))) {
            writeSnapshot(argumentAfter(arguments, QStringLiteral("--snapshot")), collectionSnapshot(folder));
            return 0;
        }
        if (arguments.contains(QStringLiteral("--archive-holds")))
            return archiveHolds(folder, argumentAfter(arguments, QStringLiteral("--archive-holds")),
                                argumentAfter(arguments, QStringLiteral("--archive-holds"), 2));
        SavingDriver driver(folder, log, quint32(argumentValue(arguments, QStringLiteral("--seed"), 1)),
                            argumentValue(arguments, QStringLiteral("--kill-at"), -1),
                            argumentAfter(arguments, QStringLiteral("--kill-in")));
        driver.run(argumentValue(arguments, QStringLiteral("--saves"), 1000000));
    } catch (const DbError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
