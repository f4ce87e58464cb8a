#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// What the backup tests make and compare: files, archives, rows.

using ArchiveEntries = QList<QPair<QString, QByteArray>>;

// An absolute name outside the program folder, unique to this run so that no
// file left by another run can stand in for one a restore wrote.
QString escapedAbsolutePath();
bool writeFile(const QString &path, const QByteArray &content);
// Every row of every table, each column as text, in key order.
QStringList allRows(const QString &databasePath);
// Every file of the program folder that is the user's (the settings, the data
// folder and the trash), by path, with its bytes.
QMap<QString, QByteArray> userFiles(const QString &programFolder);
// A tar archive holding the given entries, in order; a name ending with "/" is a folder.
bool writeTar(const QString &path, const ArchiveEntries &entries);
// The engine's backup of a database made from the empty one by the statements.
QByteArray databaseBackup(const QStringList &statements);
QByteArray summaryOf(int nodes, int notes, int attachments);
