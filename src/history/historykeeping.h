#pragma once

#include "settings.h"

#include <QDateTime>
#include <QList>

// Which versions the keeping rule keeps, by their times (in any order), at the
// time now: every version of the last allDays days, then the newest of each
// local day up to dailyDays, then the newest of each month for monthlyMonths
// months (0: for ever). Answers the indexes of the kept times.
QList<qsizetype> keptVersions(const QList<QDateTime> &times, const HistoryKeeping &keeping, const QDateTime &now);
