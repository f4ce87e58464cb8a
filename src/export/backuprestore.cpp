#include "archiveformat.h"
#include "backuparchive.h"
#include "firebirdservice.h"
#include "restorecheck.h"
#include "restorejournal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ArchiveFormat;

BackupArchive::PreparedRestore BackupArchive::prepareRestore(const QString &archivePath,
                                                             const QString &programFolder,
                                                             const BackupProgress &progress)
{
    // Unpacked next to the program folder's files, on the same file system, so
    // that putting them in place is a rename.
    QTemporaryDir staging(programFolder + RestoreStagingPrefix + QStringLiteral("XXXXXX"));
    if (!staging.isValid())
        fail(QStringLiteral("Cannot create a folder in \"%1\": %2").arg(programFolder, staging.errorString()));
    PreparedRestore prepared;
    prepared.stagingFolder = staging.path() + QLatin1Char('/');
    const QString &unpacked = prepared.stagingFolder;

    const RestoreCheck::Unpacked contents = RestoreCheck::unpack(archivePath, unpacked, progress);
    if (!contents.hasDatabase)
        fail(QStringLiteral("\"%1\" holds no database.").arg(archivePath));
    prepared.summary = contents.summary;
    QDir().mkpath(unpacked + QStringLiteral("data"));

    FirebirdService::restoreDatabase(unpacked + DatabaseEntry, unpacked + DatabaseFile);
    QFile::remove(unpacked + DatabaseEntry);
    const QList<RestoreCheck::FileRow> rows = RestoreCheck::checkDatabase(unpacked + DatabaseFile, contents.summary);
    prepared.fileRows = int(rows.size());
    prepared.missingFiles = RestoreCheck::missingFiles(rows, unpacked + DataEntry);
    staging.setAutoRemove(false);
    return prepared;
}

void BackupArchive::discardRestore(const PreparedRestore &prepared)
{
    if (!prepared.stagingFolder.isEmpty())
        QDir(prepared.stagingFolder).removeRecursively();
}

QString BackupArchive::completeRestore(const PreparedRestore &prepared, const QString &programFolder)
{
    // The present files step aside, the restored ones take their place. The
    // full-text index goes aside too: it describes the notes that were there
    // and is rebuilt from the restored ones; so do the records of interrupted
    // file work, which must not be finished or undone on the restored notes.
    RestoreJournal journal;
    journal.stagingFolder = QDir(prepared.stagingFolder).dirName();
    const QString asideBase =
        QStringLiteral("before-restore-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    journal.asideFolder = asideBase;
    for (int number = 2; QFileInfo::exists(programFolder + journal.asideFolder); ++number)
        journal.asideFolder = asideBase + QStringLiteral("-%1").arg(number);
    for (const QString &name : RestoreJournal::replacedEntries()) {
        if (QFileInfo::exists(prepared.stagingFolder + name))
            journal.restored << name;
        if (QFileInfo::exists(programFolder + name))
            journal.earlier << name;
    }
    try {
        journal.write(programFolder);
    } catch (const std::runtime_error &) {
        discardRestore(prepared);
        throw;
    }
    // From here the journal owns the unpacked files: a restore cut short is
    // finished or undone from them at the next start.
    try {
        journal.finish(programFolder);
    } catch (const std::runtime_error &error) {
        if (!journal.undo(programFolder))
            fail(QStringLiteral("%1\nThe next start finishes or undoes the restore.")
                     .arg(QString::fromUtf8(error.what())));
        throw;
    }
    const QString aside = programFolder + journal.asideFolder + QLatin1Char('/');
    return QFileInfo(aside).isDir() ? aside : QString();
}

QString BackupArchive::restore(const QString &archivePath, const QString &programFolder, const BackupProgress &progress,
                               const MissingFilesAnswer &acceptMissing)
{
    const PreparedRestore prepared = prepareRestore(archivePath, programFolder, progress);
    if (prepared.missingFiles > 0 && !(acceptMissing && acceptMissing(prepared.missingFiles, prepared.fileRows))) {
        discardRestore(prepared);
        fail(QStringLiteral("%1 of the backup's %2 notes and attachments have no file in it; nothing was restored.")
                 .arg(prepared.missingFiles)
                 .arg(prepared.fileRows));
    }
    return completeRestore(prepared, programFolder);
}
