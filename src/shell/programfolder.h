#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. Folder arguments and results end with "/".
namespace ProgramFolder {

// The files a program folder receives from the build or the package: the empty
// database, the language files, the drop box picture and the note template.
const QStringList &shippedFiles();

// Settles the program folder. It is the executable's folder when that holds the
// database (a program folder laid out by the build or by run.sh); one that
// cannot be written is reported (std::runtime_error), never swapped for
// another. Otherwise, when shipped files are found in shippedFilesFolder (a
// package's /usr/share/clipnest), it is userFolder, made
// or brought up to date from them: the database and the note template only
// where missing (they are the user's from then on), the language files and the
// picture also when the shipped copy is newer. Without shipped files anywhere it
// stays the executable's folder, whose missing database is then reported as
// usual. Throws std::runtime_error naming what cannot be made.
QString settle(const QString &executableFolder, const QString &shippedFilesFolder, const QString &userFolder);

// settle() for the running executable, its package's shipped files and
// $XDG_DATA_HOME/Clipnest/ (by default ~/.local/share/Clipnest/).
QString settleForThisProgram();

} // namespace ProgramFolder
