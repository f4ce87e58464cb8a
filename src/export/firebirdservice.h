#pragma once

#include <QString>

// The embedded engine's backup and restore (gbak's work) through its service
// manager, in this process. A backup is a snapshot: it is consistent while the
// program keeps using the database. Both throw std::runtime_error with the
// engine's message.
namespace FirebirdService {

void backupDatabase(const QString &databasePath, const QString &backupFile);
// Creates databasePath from the backup; refuses to replace an existing file.
void restoreDatabase(const QString &backupFile, const QString &databasePath);

} // namespace FirebirdService
