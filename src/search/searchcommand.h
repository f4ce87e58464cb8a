#pragma once

#include <QString>

class QTextStream;

// clipnest --search: prints the notes that match the query, best first, one a
// line: noteid, title, catalog path and note file (relative to the data
// folder), separated by tabs. Reads only the index, so it works while the
// program runs; when there is no complete index and nothing else holds the
// database and the index, it builds the index first. Answers the exit status:
// 0 when something matched, 1 when nothing did, 2 when there is no index to
// read. maxCount 0 prints every hit.
int runSearchCommand(const QString &programFolder, const QString &query, int maxCount, QTextStream &out,
                     QTextStream &err);
