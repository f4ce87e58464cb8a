#include "backuparchive.h"

#include "archivecheck.h"
#include "archiveformat.h"
#include "firebirdservice.h"
#include "wholefile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace ArchiveFormat;

namespace {

constexpr qint64 ChunkSize = 1 << 20;

struct WriterFree
{
    void operator()(archive *handle) const { archive_write_free(handle); }
};

struct EntryFree
{
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};
using EntryHandle = std::unique_ptr<archive_entry, EntryFree>;

// Writing: the archive grows in a temporary file beside its place, is read
// back and checked once complete, and only then renamed into place, so that
// neither a failure nor a stop leaves a partial archive or replaces an older
// one of the same name.
class ArchiveWriter
{
public:
    ArchiveWriter(const QString &path, const BackupProgress &progress, qint64 total)
        : m_path(path)
        , m_file(path + QStringLiteral(".XXXXXX.part"))
        , m_progress(progress)
        , m_total(total)
        , m_archive(archive_write_new())
    {
        if (!m_file.open())
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, m_file.errorString()));
        archive_write_add_filter_gzip(m_archive.get());
        archive_write_set_format_pax_restricted(m_archive.get());
        if (archive_write_open2(m_archive.get(), this, nullptr, &ArchiveWriter::write, nullptr, nullptr) != ARCHIVE_OK)
            fail(QStringLiteral("Cannot start the archive: %1").arg(errorOf(m_archive.get())));
    }

    void addBytes(const QString &name, const QByteArray &bytes)
    {
        header(name, AE_IFREG, bytes.size(), QDateTime::currentDateTime());
        writeData(bytes.constData(), bytes.size());
    }

    void addFolder(const QString &name, const QDateTime &modified) { header(name, AE_IFDIR, 0, modified); }

    void addFile(const QString &name, const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
        const qint64 size = file.size();
        header(name, AE_IFREG, size, QFileInfo(path).lastModified());
        qint64 left = size;
        while (left > 0) {
            const QByteArray chunk = file.read(std::min(left, ChunkSize));
            if (chunk.isEmpty())
                fail(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
            writeData(chunk.constData(), chunk.size());
            left -= chunk.size();
        }
    }

    void finish()
    {
        if (archive_write_close(m_archive.get()) != ARCHIVE_OK)
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, writeFailure()));
        errno = 0;
        if (!m_file.flush() || ::fdatasync(m_file.handle()) != 0)
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, qt_error_string(errno)));
        m_file.close();
        verifyArchive(m_file.fileName(), m_entries);
        if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_path).constData()) != 0)
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, qt_error_string(errno)));
        m_file.setAutoRemove(false);
    }

private:
    static la_ssize_t write(archive *, void *self, const void *buffer, size_t length)
    {
        auto *writer = static_cast<ArchiveWriter *>(self);
        errno = 0;
        const qint64 written = writer->m_file.write(static_cast<const char *>(buffer), qint64(length));
        if (written == qint64(length))
            return la_ssize_t(written);
        writer->m_writeError = errno;
        return -1;
    }

    QString writeFailure() const { return m_writeError ? qt_error_string(m_writeError) : errorOf(m_archive.get()); }

    void header(const QString &name, unsigned type, qint64 size, const QDateTime &modified)
    {
        EntryHandle entry(archive_entry_new());
        archive_entry_set_pathname_utf8(entry.get(), name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), type);
        archive_entry_set_perm(entry.get(), type == AE_IFDIR ? 0755 : 0644);
        archive_entry_set_size(entry.get(), size);
        archive_entry_set_mtime(entry.get(), modified.toSecsSinceEpoch(), 0);
        if (archive_write_header(m_archive.get(), entry.get()) != ARCHIVE_OK)
            fail(QStringLiteral("Cannot add \"%1\" to the archive: %2").arg(name, writeFailure()));
        m_entries.append({name, size});
    }

    void writeData(const char *data, qint64 size)
    {
        if (archive_write_data(m_archive.get(), data, size_t(size)) != size)
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, writeFailure()));
        m_done += size;
        if (m_progress && !m_progress(m_done, m_total))
            throw BackupStopped();
    }

    QString m_path;
    QTemporaryFile m_file;
    const BackupProgress &m_progress;
    qint64 m_total;
    qint64 m_done = 0;
    int m_writeError = 0;
    QList<ArchivedEntry> m_entries;
    std::unique_ptr<archive, WriterFree> m_archive;
};

// The folders and files below a folder, relative to it and sorted; the files
// are counted into the summary.
std::pair<QStringList, QStringList> folderContents(const QString &folder, BackupSummary &summary)
{
    QStringList folders;
    QStringList files;
    QDirIterator walk(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        const QString relative = walk.filePath().mid(folder.size() + 1);
        if (walk.fileInfo().isDir()) {
            folders << relative;
        } else {
            files << relative;
            ++summary.files;
            summary.bytes += walk.fileInfo().size();
        }
    }
    folders.sort();
    files.sort();
    return {folders, files};
}

} // namespace

QString BackupArchive::suggestedFileName(const QDate &day)
{
    return QStringLiteral("clipnest-backup-%1.tar.gz").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

BackupSummary BackupArchive::create(const QString &programFolder, const QString &archivePath, BackupSummary summary,
                                    const BackupProgress &progress)
{
    // The database's copy stays in the program folder, where the next start
    // removes what a killed backup left.
    QTemporaryDir work(programFolder + TemporaryBackupPrefix + QStringLiteral("XXXXXX"));
    if (!work.isValid())
        fail(QStringLiteral("Cannot create a folder in \"%1\": %2").arg(programFolder, work.errorString()));
    summary.program = QStringLiteral("Clipnest " CLIPNEST_VERSION);
    const QString databaseCopy = work.filePath(DatabaseEntry);
    FirebirdService::backupDatabase(programFolder + DatabaseFile, databaseCopy);

    const QString dataFolder = programFolder + QStringLiteral("data");
    summary.files = 0;
    summary.bytes = 0;
    // The notes' files, and those of the trashed notes, whose rows the database holds too.
    const auto [folders, files] = folderContents(dataFolder, summary);
    const QString trashFolder = programFolder + QStringLiteral("trash");
    const auto [trashFolders, trashFiles] = folderContents(trashFolder, summary);

    const QString settings = programFolder + SettingsEntry;
    const qint64 total =
        summary.bytes + QFileInfo(databaseCopy).size() + (QFileInfo::exists(settings) ? QFileInfo(settings).size() : 0);
    ArchiveWriter writer(archivePath, progress, total);
    writer.addBytes(SummaryEntry, summaryJson(summary));
    writer.addFile(DatabaseEntry, databaseCopy);
    if (QFileInfo::exists(settings))
        writer.addFile(SettingsEntry, settings);
    writer.addFolder(QStringLiteral("data"), QFileInfo(dataFolder).lastModified());
    for (const QString &folder : folders)
        writer.addFolder(DataEntry + folder, QFileInfo(dataFolder + QLatin1Char('/') + folder).lastModified());
    for (const QString &file : files)
        writer.addFile(DataEntry + file, dataFolder + QLatin1Char('/') + file);
    if (QFileInfo(trashFolder).isDir()) {
        writer.addFolder(QStringLiteral("trash"), QFileInfo(trashFolder).lastModified());
        for (const QString &folder : trashFolders)
            writer.addFolder(TrashEntry + folder, QFileInfo(trashFolder + QLatin1Char('/') + folder).lastModified());
        for (const QString &file : trashFiles)
            writer.addFile(TrashEntry + file, trashFolder + QLatin1Char('/') + file);
    }
    writer.finish();
    return summary;
}

BackupSummary BackupArchive::inspect(const QString &archivePath)
{
    const Reader handle = openForReading(archivePath);
    return readSummary(handle.get(), archivePath);
}
