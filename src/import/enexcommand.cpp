#include "enexcommand.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "eneximport.h"
#include "importsummary.h"
#include "instanceguard.h"
#include "markdownimport.h"
#include "messagetexts.h"
#include "zimimport.h"

#include <QFileInfo>
#include <QTextStream>

int runImportCommand(const QString &programFolder, const QStringList &files, QTextStream &out, QTextStream &err)
{
    const MessageTexts texts; // the built-in English texts
    // The running copy holds the database; two writers would corrupt the catalog.
    InstanceGuard guard;
    if (!guard.tryAcquire()) {
        err << "clipnest: " << texts.shown(QStringLiteral("ImportRunning")) << Qt::endl;
        return 1;
    }
    for (const QString &file : files) {
        if (!QFileInfo(file).isFile() && !QFileInfo(file).isDir()) {
            err << "clipnest: " << file << ": no such file" << Qt::endl;
            return 2;
        }
    }
    try {
        TDBDataModule database(programFolder + QStringLiteral("notes.fdb"));
        EnexImport import(database, programFolder + QStringLiteral("data/"));
        EnexImportReport report;
        for (const QString &file : files) {
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
