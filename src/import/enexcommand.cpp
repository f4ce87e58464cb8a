#include "enexcommand.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "eneximport.h"
#include "importrequest.h"
#include "importsummary.h"
#include "instanceguard.h"
#include "markdownimport.h"
#include "messagetexts.h"
#include "runningcopy.h"
#include "zimimport.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

// An import of a large export can take its time.
constexpr int RunningCopyTimeoutMs = 6 * 60 * 60 * 1000;

} // namespace

int runImportCommand(const QString &programFolder, const QStringList &files, QTextStream &out, QTextStream &err)
{
    const MessageTexts texts; // the built-in English texts
    QStringList paths;
    for (const QString &file : files) {
        if (!QFileInfo(file).isFile() && !QFileInfo(file).isDir()) {
            err << "clipnest: " << file << ": no such file" << Qt::endl;
            return 2;
        }
        paths << QFileInfo(file).absoluteFilePath();
    }
    // The running copy holds the database; two writers would corrupt the
    // catalog. It imports the files itself and says how it went.
    InstanceGuard guard;
    if (!guard.tryAcquire()) {
        const std::optional<QByteArray> answer = RunningCopy::askToImport(
            InstanceGuard::runtimeFolder(), ImportRequest::requestJson(paths), RunningCopyTimeoutMs);
        if (!answer) {
            err << "clipnest: " << texts.shown(QStringLiteral("ImportRunning")) << Qt::endl;
            return 2;
        }
        const ImportRequest::Answer told = ImportRequest::answerOf(*answer);
        for (const QString &line : told.lines)
            (told.status == 2 ? err : out) << line << Qt::endl;
        return told.status;
    }
    try {
        TDBDataModule database(programFolder + QStringLiteral("notes.fdb"));
        EnexImport import(database, programFolder + QStringLiteral("data/"));
        EnexImportReport report;
        for (const QString &file : std::as_const(paths)) {
            if (!QFileInfo(file).isDir())
                report.add(import.importFile(file, EnexImport::Again::Skip));
            else if (ZimImport::isNotebook(file))
                report.add(ZimImport(database, programFolder + QStringLiteral("data/")).importNotebook(file));
            else
                report.add(MarkdownImport(database, programFolder + QStringLiteral("data/")).importFolder(file));
        }
        out << importSummary(report, texts) << Qt::endl;
        for (const QString &line : importProblemLines(report, texts))
            out << line << Qt::endl;
        return report.withProblems > 0 ? 1 : 0;
    } catch (const DbError &error) {
        err << "clipnest: " << error.message() << Qt::endl;
        return 2;
    }
}
