#pragma once

#include <QStringList>

class QTextStream;

// clipnest --import FILE...: imports Evernote exports, Markdown folders and
// Zim notebooks (a folder with notebook.zim) without a window while the
// program is closed (a running copy holds the database), skipping notes of
// exports imported before, and prints the report. Exit status 0 when every note came
// in whole, 1 when some had problems or the program is running, 2 on trouble.
int runImportCommand(const QString &programFolder, const QStringList &files, QTextStream &out, QTextStream &err);
