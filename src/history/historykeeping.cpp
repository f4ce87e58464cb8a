#include "historykeeping.h"

#include <QHash>

QList<qsizetype> keptVersions(const QList<QDateTime> &times, const HistoryKeeping &keeping, const QDateTime &now)
{
    const QDateTime allSince = now.addDays(-keeping.allDays);
    const QDateTime dailySince = now.addDays(-std::max(keeping.dailyDays, keeping.allDays));
    const QDateTime monthlySince = keeping.monthlyMonths > 0 ? dailySince.addMonths(-keeping.monthlyMonths) : QDateTime();

    // The newest version of each day and of each month stands for it.
    QHash<qint64, qsizetype> newestOfPeriod;
    auto keepNewest = [&](qint64 period, qsizetype index) {
        const auto found = newestOfPeriod.constFind(period);
        if (found == newestOfPeriod.constEnd() || times.at(found.value()) < times.at(index))
            newestOfPeriod.insert(period, index);
    };
    QList<qsizetype> kept;
    for (qsizetype i = 0; i < times.size(); ++i) {
        const QDateTime &time = times.at(i);
        const QDate day = time.toLocalTime().date();
        if (time >= allSince)
            kept << i;
        else if (time >= dailySince)
            keepNewest(day.toJulianDay(), i);
        else if (!monthlySince.isValid() || time >= monthlySince)
            keepNewest(-(day.year() * 12 + day.month()), i); // months apart from days: below zero
    }
    for (const qsizetype index : std::as_const(newestOfPeriod))
        kept << index;
    std::sort(kept.begin(), kept.end());
    return kept;
}
