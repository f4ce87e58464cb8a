#include "importsummary.h"

#include "messagetexts.h"

QString importSummary(const EnexImportReport &report, const MessageTexts &texts)
{
    QStringList parts;
    if (report.withProblems > 0)
        parts << texts.counted(QStringLiteral("ImportProblems"), report.imported)
                     .arg(report.imported)
                     .arg(report.withProblems);
    else
        parts << texts.counted(QStringLiteral("ImportDone"), report.imported).arg(report.imported);
    if (report.skipped > 0)
        parts << texts.counted(QStringLiteral("ImportSkipped"), report.skipped).arg(report.skipped);
    if (report.cancelled)
        parts << texts.shown(QStringLiteral("ImportCancelled"));
    return parts.join(QLatin1Char('\n'));
}

QStringList importProblemLines(const EnexImportReport &report, const MessageTexts &texts)
{
    QStringList lines;
    for (const EnexImportReport::Problem &problem : report.problems) {
        const QString title = problem.title.isEmpty() ? texts.shown(QStringLiteral("ImportUntitled")) : problem.title;
        lines << QStringLiteral("%1 - %2: %3").arg(problem.file, title, problem.what);
    }
    return lines;
}
