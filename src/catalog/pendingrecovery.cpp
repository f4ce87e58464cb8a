#include "pendingrecovery.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "notefiling.h"
#include "pendingwork.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString withBackslashes(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

} // namespace

bool fileHasRow(TDBDataModule &database, const QString &relativePath)
{
    // Older copies stored the separators as backslashes.
    if (database.queryInteger(QStringLiteral("select count(*) from note where filename=? or filename=?"),
                              {relativePath, withBackslashes(relativePath)}) > 0)
        return true;
    const qsizetype slash = relativePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = relativePath.left(slash + 1);
    const QString name = relativePath.mid(slash + 1);
    return database.queryInteger(
               QStringLiteral("select count(*) from attachment where attname=? and (path=? or path=?)"),
               {name, folder, withBackslashes(folder)}) > 0;
}

RecoveryReport recoverPendingWork(TDBDataModule &database, const QString &pendingFolder, const QString &dataFolder)
{
    RecoveryReport report;
    for (const QString &entryPath : PendingWork::entriesIn(pendingFolder)) {
        ++report.entries;
        const PendingEntry entry = PendingWork::read(entryPath);
        const PendingNote &note = entry.note;
        try {
            if (!note.file.isEmpty() && QFileInfo::exists(dataFolder + note.file) && !fileHasRow(database, note.file)) {
                NoteFilingRequest request;
                request.title = note.title;
                request.catalogText = note.catalogText.isEmpty() ? QStringLiteral("untagged") : note.catalogText;
                request.relativeFile = note.file;
                for (const QString &copy : note.attachments) {
                    if (!QFileInfo::exists(dataFolder + copy) || fileHasRow(database, copy))
                        continue;
                    const qsizetype slash = copy.lastIndexOf(QLatin1Char('/'));
                    request.attachments << AttachListRecord{0, copy.mid(slash + 1), copy.left(slash + 1), 0};
                }
                NoteFiling(database).file(request);
                ++report.adoptedNotes;
            }
            QStringList files = entry.files;
            if (!note.file.isEmpty())
                files << note.file;
            files << note.attachments;
            for (const QString &file : std::as_const(files)) {
                if (QFileInfo::exists(dataFolder + file) && !fileHasRow(database, file) &&
                    QFile::remove(dataFolder + file))
                    ++report.removedFiles;
            }
            QFile::remove(entryPath);
        } catch (const DbError &error) {
            report.problems << QStringLiteral("%1: %2").arg(entryPath, error.message());
        }
    }
    return report;
}
