#include "backuparchive.h"

#include "dbdatamodule.h"
#include "firebirdservice.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

namespace {

const QString SummaryEntry = QStringLiteral("clipnest-backup.json");
const QString DatabaseEntry = QStringLiteral("notes.fbk");
const QString SettingsEntry = QStringLiteral("tavlo.ini");
const QString DataEntry = QStringLiteral("data/");
const QString DatabaseFile = QStringLiteral("notes.fdb");
constexpr int SummaryFormat = 1;
constexpr qint64 ChunkSize = 1 << 20;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

struct ArchiveCloser
{
    void operator()(archive *handle) const { archive_free(handle); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

struct EntryFree
{
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};
using EntryHandle = std::unique_ptr<archive_entry, EntryFree>;

QString archiveError(archive *handle)
{
    const char *text = archive_error_string(handle);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

QByteArray summaryJson(const BackupSummary &summary)
{
    QJsonObject object;
    object.insert(QStringLiteral("format"), SummaryFormat);
    object.insert(QStringLiteral("made"), summary.made.toString(Qt::ISODate));
    object.insert(QStringLiteral("program"), summary.program);
    object.insert(QStringLiteral("nodes"), summary.nodes);
    object.insert(QStringLiteral("notes"), summary.notes);
    object.insert(QStringLiteral("attachments"), summary.attachments);
    object.insert(QStringLiteral("files"), summary.files);
    object.insert(QStringLiteral("bytes"), summary.bytes);
    return QJsonDocument(object).toJson();
}

BackupSummary summaryFromJson(const QByteArray &json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    if (object.value(QStringLiteral("format")).toInt() != SummaryFormat)
        fail(QStringLiteral("The archive was made by a newer Clipnest, or is damaged."));
    BackupSummary summary;
    summary.made = QDateTime::fromString(object.value(QStringLiteral("made")).toString(), Qt::ISODate);
    summary.program = object.value(QStringLiteral("program")).toString();
    summary.nodes = object.value(QStringLiteral("nodes")).toInt();
    summary.notes = object.value(QStringLiteral("notes")).toInt();
    summary.attachments = object.value(QStringLiteral("attachments")).toInt();
    summary.files = object.value(QStringLiteral("files")).toInt();
    summary.bytes = object.value(QStringLiteral("bytes")).toInteger();
    return summary;
}

// Writing: entries go through a QSaveFile, so the archive appears only whole.
class ArchiveWriter
{
public:
    ArchiveWriter(const QString &path, const BackupProgress &progress, qint64 total)
        : m_file(path)
        , m_progress(progress)
        , m_total(total)
        , m_archive(archive_write_new())
    {
        if (!m_file.open(QIODevice::WriteOnly))
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, m_file.errorString()));
        archive_write_add_filter_gzip(m_archive.get());
        archive_write_set_format_pax_restricted(m_archive.get());
        if (archive_write_open2(m_archive.get(), this, nullptr, &ArchiveWriter::write, nullptr, nullptr) != ARCHIVE_OK)
            fail(QStringLiteral("Cannot start the archive: %1").arg(archiveError(m_archive.get())));
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
            fail(QStringLiteral("Cannot finish the archive: %1").arg(archiveError(m_archive.get())));
        if (!m_file.commit())
            fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_file.fileName(), m_file.errorString()));
    }

private:
    static la_ssize_t write(archive *, void *self, const void *buffer, size_t length)
    {
        auto *writer = static_cast<ArchiveWriter *>(self);
        const qint64 written = writer->m_file.write(static_cast<const char *>(buffer), static_cast<qint64>(length));
        return written == static_cast<qint64>(length) ? static_cast<la_ssize_t>(written) : -1;
    }

    void header(const QString &name, unsigned type, qint64 size, const QDateTime &modified)
    {
        EntryHandle entry(archive_entry_new());
        archive_entry_set_pathname_utf8(entry.get(), name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), type);
        archive_entry_set_perm(entry.get(), type == AE_IFDIR ? 0755 : 0644);
        archive_entry_set_size(entry.get(), size);
        archive_entry_set_mtime(entry.get(), modified.toSecsSinceEpoch(), 0);
        if (archive_write_header(m_archive.get(), entry.get()) != ARCHIVE_OK)
            fail(QStringLiteral("Cannot add \"%1\" to the archive: %2").arg(name, archiveError(m_archive.get())));
    }

    void writeData(const char *data, qint64 size)
    {
        if (archive_write_data(m_archive.get(), data, static_cast<size_t>(size)) != size)
            fail(QStringLiteral("Cannot write the archive: %1").arg(m_file.errorString()));
        m_done += size;
        if (m_progress && !m_progress(m_done, m_total))
            throw BackupStopped();
    }

    QSaveFile m_file;
    const BackupProgress &m_progress;
    qint64 m_total;
    qint64 m_done = 0;
    ArchiveHandle m_archive;
};

ArchiveHandle openForReading(const QString &path)
{
    ArchiveHandle handle(archive_read_new());
    archive_read_support_filter_all(handle.get());
    archive_read_support_format_all(handle.get());
    if (archive_read_open_filename(handle.get(), QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK)
        fail(QStringLiteral("Cannot open \"%1\": %2").arg(path, archiveError(handle.get())));
    return handle;
}

QString entryName(archive_entry *entry)
{
    const char *utf8 = archive_entry_pathname_utf8(entry);
    return utf8 ? QString::fromUtf8(utf8) : QFile::decodeName(archive_entry_pathname(entry));
}

QByteArray readEntry(archive *handle, qint64 limit)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const la_ssize_t read = archive_read_data(handle, buffer, sizeof buffer);
        if (read < 0)
            fail(QStringLiteral("The archive is damaged: %1").arg(archiveError(handle)));
        if (read == 0)
            return bytes;
        bytes.append(buffer, read);
        if (bytes.size() > limit)
            fail(QStringLiteral("The archive is damaged: its summary is too long."));
    }
}

BackupSummary readSummary(archive *handle, const QString &path)
{
    archive_entry *entry = nullptr;
    if (archive_read_next_header(handle, &entry) != ARCHIVE_OK || entryName(entry) != SummaryEntry)
        fail(QStringLiteral("\"%1\" is not a Clipnest backup.").arg(path));
    return summaryFromJson(readEntry(handle, 1 << 20));
}

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
        cleaned.startsWith(DataEntry))
        return cleaned;
    return {};
}

void writeEntryTo(archive *handle, const QString &path, qint64 &done, qint64 total, const BackupProgress &progress)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(QStringLiteral("Cannot create the folder \"%1\".").arg(QFileInfo(path).absolutePath()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    char buffer[65536];
    for (;;) {
        const la_ssize_t read = archive_read_data(handle, buffer, sizeof buffer);
        if (read < 0)
            fail(QStringLiteral("The archive is damaged: %1").arg(archiveError(handle)));
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

void checkCounts(const QString &databasePath, const BackupSummary &summary)
{
    TDBDataModule database(databasePath);
    const int nodes = database.queryInteger(QStringLiteral("select count(*) from tags"));
    const int notes = database.queryInteger(QStringLiteral("select count(*) from note"));
    const int attachments = database.queryInteger(QStringLiteral("select count(*) from attachment"));
    if (nodes != summary.nodes || notes != summary.notes || attachments != summary.attachments)
        fail(QStringLiteral("The restored database does not hold what the backup says (%1 nodes, %2 notes, "
                            "%3 attachments instead of %4, %5 and %6).")
                 .arg(nodes)
                 .arg(notes)
                 .arg(attachments)
                 .arg(summary.nodes)
                 .arg(summary.notes)
                 .arg(summary.attachments));
}

bool moveEntry(const QString &from, const QString &to)
{
    return QFileInfo(from).isDir() ? QDir().rename(from, to) : QFile::rename(from, to);
}

} // namespace

QString BackupArchive::suggestedFileName(const QDate &day)
{
    return QStringLiteral("clipnest-backup-%1.tar.gz").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

BackupSummary BackupArchive::create(const QString &programFolder, const QString &archivePath, BackupSummary summary,
                                    const BackupProgress &progress)
{
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/clipnest-backup-XXXXXX"));
    if (!work.isValid())
        fail(QStringLiteral("Cannot create a temporary folder: %1").arg(work.errorString()));
    summary.program = QStringLiteral("Clipnest " CLIPNEST_VERSION);
    const QString databaseCopy = work.filePath(DatabaseEntry);
    FirebirdService::backupDatabase(programFolder + DatabaseFile, databaseCopy);

    const QString dataFolder = programFolder + QStringLiteral("data");
    QStringList folders;
    QStringList files;
    summary.files = 0;
    summary.bytes = 0;
    QDirIterator walk(dataFolder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        const QString relative = walk.filePath().mid(dataFolder.size() + 1);
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
    writer.finish();
    return summary;
}

BackupSummary BackupArchive::inspect(const QString &archivePath)
{
    const ArchiveHandle handle = openForReading(archivePath);
    return readSummary(handle.get(), archivePath);
}

QString BackupArchive::restore(const QString &archivePath, const QString &programFolder, const BackupProgress &progress)
{
    // Unpacked next to the program folder's files, on the same file system, so
    // that putting them in place is a rename.
    QTemporaryDir staging(programFolder + QStringLiteral(".restore-XXXXXX"));
    if (!staging.isValid())
        fail(QStringLiteral("Cannot create a folder in \"%1\": %2").arg(programFolder, staging.errorString()));
    const QString unpacked = staging.path() + QLatin1Char('/');

    const ArchiveHandle handle = openForReading(archivePath);
    const BackupSummary summary = readSummary(handle.get(), archivePath);
    const qint64 total = summary.bytes;
    qint64 done = 0;
    bool hasDatabase = false;
    archive_entry *entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(handle.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            fail(QStringLiteral("The archive is damaged: %1").arg(archiveError(handle.get())));
        const QString relative = safeRelativePath(entryName(entry));
        if (relative.isEmpty())
            continue;
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            if (!QDir().mkpath(unpacked + relative))
                fail(QStringLiteral("Cannot create the folder \"%1\".").arg(unpacked + relative));
        } else if (type == AE_IFREG) {
            writeEntryTo(handle.get(), unpacked + relative, done, total, progress);
            hasDatabase = hasDatabase || relative == DatabaseEntry;
        }
    }
    if (!hasDatabase)
        fail(QStringLiteral("\"%1\" holds no database.").arg(archivePath));
    QDir().mkpath(unpacked + QStringLiteral("data"));

    FirebirdService::restoreDatabase(unpacked + DatabaseEntry, unpacked + DatabaseFile);
    QFile::remove(unpacked + DatabaseEntry);
    checkCounts(unpacked + DatabaseFile, summary);

    // The present files step aside, the restored ones take their place; on a
    // failure everything moves back. The full-text index goes aside too: it
    // describes the notes that were there and is rebuilt from the restored ones;
    // so does the record of interrupted file work, which must not be finished
    // or undone on the restored notes.
    const QStringList names{DatabaseFile, SettingsEntry, QStringLiteral("data"), QStringLiteral("index"),
                            QStringLiteral("pending")};
    const QString asideBase = programFolder + QStringLiteral("before-restore-") +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = asideBase;
    for (int number = 2; QFileInfo::exists(aside); ++number)
        aside = asideBase + QStringLiteral("-%1").arg(number);
    aside += QLatin1Char('/');
    QStringList movedAside;
    QStringList movedIn;
    auto undo = [&] {
        for (const QString &name : movedIn)
            moveEntry(programFolder + name, unpacked + name);
        for (const QString &name : movedAside)
            moveEntry(aside + name, programFolder + name);
        QDir(aside).rmdir(aside);
    };
    for (const QString &name : names) {
        if (!QFileInfo::exists(programFolder + name))
            continue;
        if ((movedAside.isEmpty() && !QDir().mkpath(aside)) || !moveEntry(programFolder + name, aside + name)) {
            undo();
            fail(QStringLiteral("Cannot move \"%1\" aside.").arg(programFolder + name));
        }
        movedAside << name;
    }
    for (const QString &name : names) {
        if (!QFileInfo::exists(unpacked + name))
            continue;
        if (!moveEntry(unpacked + name, programFolder + name)) {
            undo();
            fail(QStringLiteral("Cannot put \"%1\" in place.").arg(programFolder + name));
        }
        movedIn << name;
    }
    return movedAside.isEmpty() ? QString() : aside;
}
