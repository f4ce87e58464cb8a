#include "restorecheck.h"

#include "archiveformat.h"
#include "storedpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

using namespace ArchiveFormat;

namespace {

// An entry's place under the unpacking folder, or empty for entries a backup
// never holds: anything outside the known names, or climbing out of the folder.
QString safeRelativePath(const QString &name)
{
    QString cleaned = name;
    while (cleaned.startsWith(QLatin1String("./")))
        cleaned.remove(0, 2);
    if (cleaned.endsWith(QLatin1Char('/')))
        cleaned.chop(1);
    if (cleaned.isEmpty() || cleaned.startsWith(QLatin1Char('/')) || cleaned.contains(QLatin1Char('\\')))
        return {};
    const QStringList parts = cleaned.split(QLatin1Char('/'));
    for (const QString &part : parts)
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return {};
    if (cleaned == DatabaseEntry || cleaned == SettingsEntry || cleaned == QLatin1String("data") ||
        cleaned.startsWith(DataEntry) || cleaned == QLatin1String("trash") || cleaned.startsWith(TrashEntry))
        return cleaned;
    return {};
}

void writeEntryTo(archive *handle, const QString &path, qint64 &done, qint64 total, const BackupProgress &progress)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(QStringLiteral("Cannot create the folder \"%1\".").arg(QFileInfo(path).absolutePath()));
    QFile file(path);
    // A name unpacked before as a folder, or twice, is a damaged archive.
    if (QFileInfo(path).isDir() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    char buffer[65536];
    for (;;) {
        const la_ssize_t read = archive_read_data(handle, buffer, sizeof buffer);
        if (read < 0)
            fail(QStringLiteral("The archive is damaged: %1").arg(errorOf(handle)));
        if (read == 0)
            break;
        if (file.write(buffer, read) != read)
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
        done += read;
        if (progress && !progress(done, total))
            throw BackupStopped();
    }
    if (!file.flush())
        fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
}

} // namespace

RestoreCheck::Unpacked RestoreCheck::unpack(const QString &archivePath, const QString &folder,
                                            const BackupProgress &progress)
{
    const Reader handle = openForReading(archivePath);
    Unpacked unpacked;
    unpacked.summary = readSummary(handle.get(), archivePath);
    const qint64 total = unpacked.summary.bytes;
    qint64 done = 0;
    archive_entry *entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(handle.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            fail(QStringLiteral("The archive is damaged: %1").arg(errorOf(handle.get())));
        const QString relative = safeRelativePath(entryName(entry));
        if (relative.isEmpty())
            continue;
        const auto type = archive_entry_filetype(entry);
        const bool folderName = relative == QLatin1String("data");
        const bool fileName = relative == DatabaseEntry || relative == SettingsEntry;
        if ((folderName && type != AE_IFDIR) || (fileName && type != AE_IFREG))
            fail(QStringLiteral("The archive is damaged: its \"%1\" is a %2.")
                     .arg(relative, folderName ? QStringLiteral("file") : QStringLiteral("folder")));
        if (type == AE_IFDIR) {
            if (!QDir().mkpath(folder + relative))
                fail(QStringLiteral("Cannot create the folder \"%1\".").arg(folder + relative));
        } else if (type == AE_IFREG) {
            writeEntryTo(handle.get(), folder + relative, done, total, progress);
            unpacked.hasDatabase = unpacked.hasDatabase || relative == DatabaseEntry;
        }
    }
    return unpacked;
}

int RestoreCheck::missingFiles(const QList<FileRow> &rows, const QString &dataFolder)
{
    int missing = 0;
    for (const FileRow &row : rows) {
        const bool note = row.kind == FileRow::Note;
        if (row.name.isEmpty()) {
            ++missing; // a row without a file names nothing outside either
            continue;
        }
        if (note ? !StoredPath::isInside(row.name) : !StoredPath::isInsideAttachment(row.folder, row.name))
            fail(QStringLiteral("The backup's %1 %2 names a file outside the data folder (\"%3\"); nothing was "
                                "restored.")
                     .arg(note ? QStringLiteral("note") : QStringLiteral("attachment"))
                     .arg(row.id)
                     .arg(row.folder + row.name));
        QString path = row.folder + row.name;
        if (!QFileInfo(dataFolder + path.replace(QLatin1Char('\\'), QLatin1Char('/'))).isFile())
            ++missing;
    }
    return missing;
}
