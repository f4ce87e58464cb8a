#pragma once

#include "enexreport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class TDBDataModule;

// What an import left in a test's program folder, to compare whole.

// Every note row with its node's path and its attachment rows, in id order.
QStringList storedRows(TDBDataModule &database);
// Every file of the data folder but the day folders' templates, pictures and
// attachments with their MD5.
QStringList storedFiles(const QString &programFolder);
// What a note's file holds between <body> and </body>.
QString storedBody(const QString &path);
QStringList reportedProblems(const EnexImportReport &report);
// Writes a file, making its folder; false when it cannot.
bool writeTestFile(const QString &path, const QByteArray &bytes);
