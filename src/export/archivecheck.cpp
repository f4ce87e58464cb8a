#include "archivecheck.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(QStringLiteral("The backup archive is damaged: %1").arg(text).toStdString());
}

// The archive's gzip stream, inflated by zlib, which checks the trailer's
// length and checksum once the stream ends (libarchive leaves them unchecked).
class InflatedFile
{
public:
    explicit InflatedFile(const QString &path)
        : m_file(path)
        , m_input(1 << 16)
        , m_output(1 << 16)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            fail(m_file.errorString());
        if (inflateInit2(&m_stream, 16 + MAX_WBITS) != Z_OK)
            fail(QStringLiteral("cannot start reading it"));
    }
    ~InflatedFile() { inflateEnd(&m_stream); }
    InflatedFile(const InflatedFile &) = delete;
    InflatedFile &operator=(const InflatedFile &) = delete;

    // The next inflated bytes; empty once the stream has ended whole. A cut-off
    // stream or a wrong trailer fails.
    std::pair<const char *, size_t> next()
    {
        if (m_ended)
            return {nullptr, 0};
        for (;;) {
            if (m_stream.avail_in == 0) {
                const qint64 read = m_file.read(m_input.data(), qint64(m_input.size()));
                if (read < 0)
                    fail(m_file.errorString());
                if (read == 0)
                    fail(QStringLiteral("it ends before its compressed stream does"));
                m_stream.next_in = reinterpret_cast<Bytef *>(m_input.data());
                m_stream.avail_in = uInt(read);
            }
            m_stream.next_out = reinterpret_cast<Bytef *>(m_output.data());
            m_stream.avail_out = uInt(m_output.size());
            const int status = inflate(&m_stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                fail(QString::fromLatin1(m_stream.msg ? m_stream.msg : "its compressed stream is broken"));
            const size_t produced = m_output.size() - m_stream.avail_out;
            if (status == Z_STREAM_END) {
                m_ended = true;
                checkOnlyPaddingFollows();
            }
            if (produced > 0 || m_ended)
                return {m_output.data(), produced};
        }
    }

    void readToEnd()
    {
        while (next().second > 0) {
        }
    }

    QString problem; // what ended the reading, when it failed inside libarchive's call

private:
    // The archive's last block is filled up with zeros after the stream.
    void checkOnlyPaddingFollows()
    {
        QByteArray rest(reinterpret_cast<const char *>(m_stream.next_in), qsizetype(m_stream.avail_in));
        rest += m_file.readAll();
        if (rest.count('\0') != rest.size())
            fail(QStringLiteral("it holds more after its end"));
    }

    QFile m_file;
    z_stream m_stream{};
    std::vector<char> m_input;
    std::vector<char> m_output;
    bool m_ended = false;
};

la_ssize_t readInflated(archive *, void *source, const void **buffer)
{
    try {
        const auto [data, size] = static_cast<InflatedFile *>(source)->next();
        *buffer = data;
        return la_ssize_t(size);
    } catch (const std::runtime_error &error) {
        static_cast<InflatedFile *>(source)->problem = QString::fromUtf8(error.what());
        return -1;
    }
}

struct ArchiveFree
{
    void operator()(archive *handle) const { archive_read_free(handle); }
};

[[noreturn]] void failReading(archive *reader, const InflatedFile &inflated)
{
    if (!inflated.problem.isEmpty())
        throw std::runtime_error(inflated.problem.toStdString());
    fail(QString::fromLocal8Bit(archive_error_string(reader)));
}

} // namespace

void verifyArchive(const QString &path, const QList<ArchivedEntry> &entries)
{
    InflatedFile inflated(path);
    std::unique_ptr<archive, ArchiveFree> reader(archive_read_new());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open(reader.get(), &inflated, nullptr, readInflated, nullptr) != ARCHIVE_OK)
        failReading(reader.get(), inflated);
    std::vector<char> buffer(1 << 16);
    qsizetype index = 0;
    archive_entry *entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            failReading(reader.get(), inflated);
        if (index >= entries.size())
            fail(QStringLiteral("it holds more entries than were written"));
        const ArchivedEntry &expected = entries[index++];
        // Folders come back with a separator at the end.
        const char *name = archive_entry_pathname_utf8(entry);
        QString found = name ? QString::fromUtf8(name) : QString();
        if (found.endsWith(QLatin1Char('/')))
            found.chop(1);
        if (found != expected.name)
            fail(QStringLiteral("\"%1\" is missing").arg(expected.name));
        qint64 size = 0;
        for (;;) {
            const la_ssize_t read = archive_read_data(reader.get(), buffer.data(), buffer.size());
            if (read < 0)
                failReading(reader.get(), inflated);
            if (read == 0)
                break;
            size += read;
        }
        if (size != expected.size)
            fail(QStringLiteral("\"%1\" holds %2 bytes instead of %3").arg(expected.name).arg(size).arg(expected.size));
    }
    if (index != entries.size())
        fail(QStringLiteral("\"%1\" is missing").arg(entries[index].name));
    inflated.readToEnd();
}
