#pragma once

#include "backuparchive.h"

#include <QList>
#include <QString>

// The checks a backup passes before it replaces anything: its entries are
// unpacked only under their own folder and only as the kinds of entry a backup
// holds, and the restored database has the program's tables and rows whose
// files lie inside the data folder.
namespace RestoreCheck {

struct Unpacked
{
    BackupSummary summary;
    bool hasDatabase = false;
};

// Unpacks the archive into folder (ending with "/"): its summary, the
// database's backup, the settings file and the data folder; every other entry
// is skipped. Fails (std::runtime_error) on a damaged archive, an entry of the
// wrong kind (a data folder that is a file, a settings file that is a folder)
// or a file that cannot be written.
Unpacked unpack(const QString &archivePath, const QString &folder, const BackupProgress &progress = {});

// A stored row's reference to its file: a note's file name, or an attachment's
// folder and name.
struct FileRow
{
    enum Kind { Note, Attachment } kind = Note;
    int id = 0;
    QString folder; // attachments only
    QString name;
};

// Fails when a row's file would lie outside the data folder; answers how many
// of the rows' files are missing from dataFolder (ending with "/").
int missingFiles(const QList<FileRow> &rows, const QString &dataFolder);

// Fails when the database lacks a table or column the program uses, or holds
// other counts than the summary gives; answers the rows' references to files.
QList<FileRow> checkDatabase(const QString &databasePath, const BackupSummary &summary);

} // namespace RestoreCheck
