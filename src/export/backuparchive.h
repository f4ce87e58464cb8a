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
    int files = 0;    // files of the data folder
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

// Restores the archive into the program folder (ending with "/"), which no
// running program may be using. Everything is first unpacked and checked beside
// the program folder's files; only then are the present database, settings
// file, data folder and full-text index moved into a folder
// "before-restore-..." inside the program folder, and the restored ones put in
// their place (the index is rebuilt at the next start). Answers the folder
// the earlier files went to (empty when there were none). Throws
// std::runtime_error and leaves the program folder as it was on any failure.
QString restore(const QString &archivePath, const QString &programFolder, const BackupProgress &progress = {});

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
