#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <stdexcept>

// What a backup archive holds, written first into the archive so that it can be
// shown before anything is restored.
struct BackupSummary
{
    QDateTime made;
    QString program; // the program and version that made it
    int nodes = 0;
    int notes = 0;
    int attachments = 0;
    int files = 0;    // files of the data folder and of the trash
    qint64 bytes = 0; // their size together
};

// Reports progress as bytes done of bytes in all; answering false stops the work.
using BackupProgress = std::function<bool(qint64 done, qint64 total)>;

// One archive (a gzip-compressed tar file) with everything a program folder
// holds of the user's: the database, taken consistently while the program runs,
// the settings file and the whole data folder.
namespace BackupArchive {

// The file name the archive offers by default: "clipnest-backup-YYYY-MM-DD.tar.gz".
QString suggestedFileName(const QDate &day);

// Backs up the program folder (ending with "/") into archivePath. The archive
// is written beside its place and renamed into it when complete, so a failure
// or a stop leaves no partial archive. summary gives the time and the catalog's
// counts; the program and the file counts are filled in. Throws std::runtime_error; a stop throws
// BackupStopped.
BackupSummary create(const QString &programFolder, const QString &archivePath, BackupSummary summary,
                     const BackupProgress &progress = {});

// Reads the summary at the start of an archive; throws std::runtime_error when
// the file is not a Clipnest backup.
BackupSummary inspect(const QString &archivePath);

// A restore unpacked and checked beside the program folder's files, not yet
// put in place.
struct PreparedRestore
{
    QString stagingFolder; // absolute, ending with "/"
    BackupSummary summary;
    int fileRows = 0;     // notes and attachments, each naming a file
    int missingFiles = 0; // of those, the ones whose file the backup lacks
};

// Unpacks the archive beside the program folder's files (ending with "/"),
// which no running program may be using, and checks it: the tables' columns,
// the counts the summary gives, and every row's file, which must lie inside
// the data folder. Nothing else of the program folder changes. Throws
// std::runtime_error; a stop throws BackupStopped.
PreparedRestore prepareRestore(const QString &archivePath, const QString &programFolder,
                               const BackupProgress &progress = {});
// Moves the present database, settings file, data folder, full-text index and
// records of unfinished work into a folder "before-restore-..." inside the
// program folder, and the prepared ones into their place (the index is
// rebuilt at the next start). The moves are journaled: a restore cut short is
// finished or undone by RestoreJournal::recover at the next start. Answers the
// folder the earlier files went to (empty when there were none). Throws
// std::runtime_error and leaves the program folder as it was on a failure.
QString completeRestore(const PreparedRestore &prepared, const QString &programFolder);
// Removes a prepared restore that is not wanted.
void discardRestore(const PreparedRestore &prepared);

// Answers whether to restore a backup in which some notes or attachments have
// no file: missing of the rows in all.
using MissingFilesAnswer = std::function<bool(int missing, int rows)>;
// Prepares and completes a restore in one go; when some files are missing,
// acceptMissing decides (without it the restore is refused).
QString restore(const QString &archivePath, const QString &programFolder, const BackupProgress &progress = {},
                const MissingFilesAnswer &acceptMissing = {});

// Folders a backup or a restore works in, inside the program folder, while it runs.
inline const QString TemporaryBackupPrefix = QStringLiteral(".backup-");
inline const QString RestoreStagingPrefix = QStringLiteral(".restore-");

} // namespace BackupArchive

// Thrown when the progress callback asked to stop.
class BackupStopped : public std::runtime_error
{
public:
    BackupStopped()
        : std::runtime_error("The work was stopped.")
    {
    }
};
