#pragma once

#include <QString>
#include <QStringList>

class SaveLog;
class TDBDataModule;

struct SurvivalReport
{
    QStringList problems;
    int notes = 0;      // acknowledged notes found as acknowledged
    int deletions = 0;  // acknowledged deletions found done
    QString unfinished; // what the work cut short left: "", or e.g. "new: stored", "again: earlier"
};

// After a kill and the next start's recovery: every note whose save was
// acknowledged holds what its last acknowledged save stored (row, title,
// catalog, note file, attachment copies, pictures); every acknowledged deletion
// is complete; the work the kill cut short left either what was there before
// it or what it would have stored, never part of it; and no other note is
// there. A note whose file holds the text of a save cut short keeps its earlier
// text as a version; every version has its whole copy; only stored notes have
// versions. What the cut-short work left is recorded in the log, and so is what a
// problem left, so that each problem is told once. Every note's pictures in
// the data folder must exist, log or not (log may be null).
SurvivalReport checkSurvival(TDBDataModule &database, const QString &dataFolder, SaveLog *log);

// What no finished or recovered work may leave: hidden files in the data folder,
// and the working folders and files of backups and restores in the program
// folder (ending with "/").
QStringList checkLeftovers(const QString &programFolder);

// Moves what the checks call stray into setAside (keeping its place below the
// program folder), so that the next check tells only of what the next kill
// left: files of the day folders and attachment copies that no row holds,
// hidden files of the data folder, and files of the pending folder that are
// not records of unfinished work. Answers the files moved.
QStringList setAsideStrays(TDBDataModule &database, const QString &programFolder, const QString &setAside);
