#include "restorejournal.h"

#include "backuparchive.h"
#include "wholefile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString PendingFolder = QStringLiteral("pending/");
const QString PendingSuffix = QStringLiteral(".pending");

bool exists(const QString &path)
{
    // A dangling link is an entry too.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

bool move(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

void moveOrFail(const QString &from, const QString &to)
{
    if (!QDir().mkpath(QFileInfo(to).absolutePath()) || !move(from, to))
        throw std::runtime_error(
            QStringLiteral("Cannot move \"%1\" to \"%2\": %3").arg(from, to, qt_error_string(errno)).toStdString());
}

QStringList pendingRecords(const QString &folder)
{
    return QDir(folder).entryList({QLatin1Char('*') + PendingSuffix}, QDir::Files | QDir::Hidden);
}

QStringList texts(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &text : value.toArray())
        list << text.toString();
    return list;
}

// A name the journal may give for a folder of its own inside the program folder.
bool isOwnFolderName(const QString &name, const QString &prefix)
{
    return name.startsWith(prefix) && !name.contains(QLatin1Char('/')) && name != prefix;
}

void removeLeftovers(const QString &programFolder, const QString &keep)
{
    // A whole-file write over an existing file that was cut short leaves its
    // new content beside it as "<name>.XXXXXX": of the settings file, and of the
    // records of unfinished work.
    for (const QString &name : QDir(programFolder).entryList({QStringLiteral("tavlo.ini.??????")}, QDir::Files))
        QFile::remove(programFolder + name);
    const QString pending = programFolder + PendingFolder;
    for (const QString &name :
         QDir(pending).entryList({QLatin1Char('*') + PendingSuffix + QStringLiteral(".??????")}, QDir::Files))
        QFile::remove(pending + name);
    const QStringList patterns{BackupArchive::RestoreStagingPrefix + QLatin1Char('*'),
                               BackupArchive::TemporaryBackupPrefix + QLatin1Char('*')};
    for (const QString &name : QDir(programFolder).entryList(patterns, QDir::Dirs | QDir::Hidden)) {
        if (name != keep)
            QDir(programFolder + name).removeRecursively();
    }
    // Older copies of the program unpacked the database's backup here.
    const QString temp = QDir::tempPath() + QLatin1Char('/');
    for (const QString &name : QDir(temp).entryList({QStringLiteral("clipnest-backup-*")}, QDir::Dirs | QDir::Hidden)) {
        struct stat info;
        if (::lstat(QFile::encodeName(temp + name).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid())
            QDir(temp + name).removeRecursively();
    }
}

} // namespace

const QStringList &RestoreJournal::replacedEntries()
{
    static const QStringList entries{QStringLiteral("notes.fdb"), QStringLiteral("tavlo.ini"), QStringLiteral("data"),
                                     QStringLiteral("index"), QStringLiteral("trash")};
    return entries;
}

QString RestoreJournal::pathIn(const QString &programFolder)
{
    return programFolder + PendingFolder + QStringLiteral("restore.journal");
}

void RestoreJournal::write(const QString &programFolder) const
{
    const QJsonObject root{{QStringLiteral("staging"), stagingFolder},
                           {QStringLiteral("aside"), asideFolder},
                           {QStringLiteral("restored"), QJsonArray::fromStringList(restored)},
                           {QStringLiteral("earlier"), QJsonArray::fromStringList(earlier)}};
    const QString path = pathIn(programFolder);
    QString problem;
    if (!QDir().mkpath(programFolder + PendingFolder))
        problem = QStringLiteral("cannot create the folder");
    else
        problem = writeWholeFile(path, QJsonDocument(root).toJson());
    if (!problem.isEmpty())
        throw std::runtime_error(QStringLiteral("Cannot write \"%1\": %2").arg(path, problem).toStdString());
}

bool RestoreJournal::read(const QString &path, RestoreJournal *journal)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    journal->stagingFolder = root.value(QStringLiteral("staging")).toString();
    journal->asideFolder = root.value(QStringLiteral("aside")).toString();
    journal->restored = texts(root.value(QStringLiteral("restored")));
    journal->earlier = texts(root.value(QStringLiteral("earlier")));
    // Only names of its own: a damaged journal must not move anything else.
    for (const QStringList *names : {&journal->restored, &journal->earlier}) {
        for (const QString &name : *names) {
            if (!replacedEntries().contains(name))
                return false;
        }
    }
    return isOwnFolderName(journal->stagingFolder, BackupArchive::RestoreStagingPrefix) &&
           isOwnFolderName(journal->asideFolder, QStringLiteral("before-restore-"));
}

bool RestoreJournal::canFinish(const QString &programFolder) const
{
    const QString staging = programFolder + stagingFolder + QLatin1Char('/');
    const QString aside = programFolder + asideFolder + QLatin1Char('/');
    if (!QFileInfo(staging).isDir())
        return false;
    for (const QString &name : restored) {
        const bool inPlace = exists(programFolder + name) && (!earlier.contains(name) || exists(aside + name));
        if (!exists(staging + name) && !inPlace)
            return false;
    }
    return true;
}

void RestoreJournal::finish(const QString &programFolder) const
{
    const QString staging = programFolder + stagingFolder + QLatin1Char('/');
    const QString aside = programFolder + asideFolder + QLatin1Char('/');
    // Every earlier entry steps aside before any restored one moves in, so an
    // entry in place while its aside copy is missing is still the earlier one.
    for (const QString &name : replacedEntries()) {
        if (earlier.contains(name) && exists(programFolder + name) && !exists(aside + name))
            moveOrFail(programFolder + name, aside + name);
    }
    for (const QString &record : pendingRecords(programFolder + PendingFolder))
        moveOrFail(programFolder + PendingFolder + record, aside + PendingFolder + record);
    for (const QString &name : restored) {
        if (exists(staging + name))
            moveOrFail(staging + name, programFolder + name);
    }
    QDir(staging).removeRecursively();
    QFile::remove(pathIn(programFolder));
    QDir().rmdir(programFolder + PendingFolder);
    QDir().rmdir(aside);
}

bool RestoreJournal::undo(const QString &programFolder) const
{
    const QString staging = programFolder + stagingFolder + QLatin1Char('/');
    const QString aside = programFolder + asideFolder + QLatin1Char('/');
    bool whole = QDir().mkpath(staging);
    for (const QString &name : replacedEntries()) {
        const QString place = programFolder + name;
        if (exists(aside + name)) {
            // What is in place now came from the backup.
            if (exists(place) && !exists(staging + name) && !move(place, staging + name))
                whole = false;
            if (!exists(place) && !move(aside + name, place))
                whole = false;
        } else if (restored.contains(name) && !earlier.contains(name) && exists(place) && !exists(staging + name)) {
            if (!move(place, staging + name))
                whole = false;
        }
    }
    for (const QString &record : pendingRecords(aside + PendingFolder)) {
        QDir().mkpath(programFolder + PendingFolder);
        if (!move(aside + PendingFolder + record, programFolder + PendingFolder + record))
            whole = false;
    }
    if (!whole)
        return false;
    QDir(staging).removeRecursively();
    QDir().rmdir(aside + PendingFolder);
    QDir().rmdir(aside);
    QFile::remove(pathIn(programFolder));
    return true;
}

RestoreJournal::Recovery RestoreJournal::recover(const QString &programFolder)
{
    Recovery recovery;
    QString keep;
    const QString path = pathIn(programFolder);
    if (QFileInfo::exists(path)) {
        RestoreJournal journal;
        if (!read(path, &journal)) {
            recovery.outcome = Recovery::Failed;
            recovery.problem = QStringLiteral("\"%1\" cannot be read.").arg(path);
            return recovery;
        }
        try {
            if (!journal.canFinish(programFolder))
                throw std::runtime_error("the restored files are no longer complete");
            journal.finish(programFolder);
            recovery.outcome = Recovery::Finished;
            recovery.asideFolder = programFolder + journal.asideFolder + QLatin1Char('/');
        } catch (const std::runtime_error &error) {
            if (journal.undo(programFolder)) {
                recovery.outcome = Recovery::Undone;
            } else {
                recovery.outcome = Recovery::Failed;
                recovery.problem = QString::fromUtf8(error.what());
                keep = journal.stagingFolder;
            }
        }
    }
    removeLeftovers(programFolder, keep);
    return recovery;
}
