#pragma once

#include "enexreport.h"

#include <QStringList>

class MessageTexts;

// What an import did, in the words of the language file: how many notes came
// in, how many were skipped, and each problem on a line of its own.
QString importSummary(const EnexImportReport &report, const MessageTexts &texts);
QStringList importProblemLines(const EnexImportReport &report, const MessageTexts &texts);
