#pragma once

#include "settings.h"

#include <QDateTime>
#include <QString>

// Prunes the versions of every note by the keeping rule at the time now, as a
// save prunes its own note's: a note that is never saved again still loses what
// the rule no longer keeps. Only the notes with a history folder are read; the
// rule is applied whether or not history is on, since it says how long the
// versions already kept stay. dataFolder ends with "/". Answers the number of
// versions dropped.
int pruneEveryNoteHistory(const QString &dataFolder, const HistoryKeeping &keeping,
                          const QDateTime &now = QDateTime::currentDateTime());
