#include "archiveformat.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>

namespace {

constexpr int SummaryFormat = 1;

BackupSummary summaryFromJson(const QByteArray &json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    if (object.value(QStringLiteral("format")).toInt() != SummaryFormat)
        ArchiveFormat::fail(QStringLiteral("The archive was made by a newer Clipnest, or is damaged."));
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

QByteArray readSmallEntry(archive *handle, qint64 limit)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const la_ssize_t read = archive_read_data(handle, buffer, sizeof buffer);
        if (read < 0)
            ArchiveFormat::fail(QStringLiteral("The archive is damaged: %1").arg(ArchiveFormat::errorOf(handle)));
        if (read == 0)
            return bytes;
        bytes.append(buffer, read);
        if (bytes.size() > limit)
            ArchiveFormat::fail(QStringLiteral("The archive is damaged: its summary is too long."));
    }
}

} // namespace

void ArchiveFormat::fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

void ArchiveFormat::ReaderFree::operator()(archive *handle) const
{
    archive_read_free(handle);
}

QString ArchiveFormat::errorOf(archive *handle)
{
    const char *text = archive_error_string(handle);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

ArchiveFormat::Reader ArchiveFormat::openForReading(const QString &path)
{
    Reader handle(archive_read_new());
    archive_read_support_filter_all(handle.get());
    archive_read_support_format_all(handle.get());
    if (archive_read_open_filename(handle.get(), QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK)
        fail(QStringLiteral("Cannot open \"%1\": %2").arg(path, errorOf(handle.get())));
    return handle;
}

QString ArchiveFormat::entryName(archive_entry *entry)
{
    const char *utf8 = archive_entry_pathname_utf8(entry);
    return utf8 ? QString::fromUtf8(utf8) : QFile::decodeName(archive_entry_pathname(entry));
}

QByteArray ArchiveFormat::summaryJson(const BackupSummary &summary)
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

BackupSummary ArchiveFormat::readSummary(archive *handle, const QString &path)
{
    archive_entry *entry = nullptr;
    if (archive_read_next_header(handle, &entry) != ARCHIVE_OK || entryName(entry) != SummaryEntry)
        fail(QStringLiteral("\"%1\" is not a Clipnest backup.").arg(path));
    return summaryFromJson(readSmallEntry(handle, 1 << 20));
}
