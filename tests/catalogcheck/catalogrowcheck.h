#pragma once

#include <QString>
#include <QStringList>

class TDBDataModule;

struct RowCheckOptions
{
    // Note files must end their document, and attachment copies named
    // "<n>blob<size>.bin" must hold size bytes (the crash test writes such copies).
    bool filesComplete = false;
    // The program folder, when its pending folder must be empty.
    QString programFolder;
};

// What the rows and the data folder must always satisfy, each problem found as one
// line (none when all is well):
// - each stored childcount equals the notes filed in its node and below it;
// - no note is filed under a missing node;
// - deep, path and parentid agree (paths compared as the catalog compares them);
// - every note row's file and every attachment row's file exists;
// - no note file of a day folder and no attachment copy lacks its row;
// - with the program folder given, no work is left pending, no note is both
//   stored and trashed, every trashed note has its file in the trash, and no
//   trash folder lacks its trashed row.
QStringList checkCatalogRows(TDBDataModule &database, const QString &dataFolder, const RowCheckOptions &options = {});
