#pragma once

#include "backuparchive.h"

#include <QString>

#include <memory>

struct archive;
struct archive_entry;

// What the backup archive's writing and its restore share: the names of its
// entries and the reading of its summary.
namespace ArchiveFormat {

inline const QString SummaryEntry = QStringLiteral("clipnest-backup.json");
inline const QString DatabaseEntry = QStringLiteral("notes.fbk");
inline const QString SettingsEntry = QStringLiteral("tavlo.ini");
inline const QString DataEntry = QStringLiteral("data/");
inline const QString TrashEntry = QStringLiteral("trash/"); // the files of trashed notes
inline const QString DatabaseFile = QStringLiteral("notes.fdb");

[[noreturn]] void fail(const QString &text);

struct ReaderFree
{
    void operator()(archive *handle) const;
};
using Reader = std::unique_ptr<archive, ReaderFree>;

QString errorOf(archive *handle);
Reader openForReading(const QString &path);
QString entryName(archive_entry *entry);
QByteArray summaryJson(const BackupSummary &summary);
// Reads the summary, which is the first entry; fails when the file is not a backup.
BackupSummary readSummary(archive *handle, const QString &path);

} // namespace ArchiveFormat
