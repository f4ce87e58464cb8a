#include "enexreader.h"

#include "resourcefiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <libxml/xmlreader.h>

#include <cstring>
#include <utility>

namespace {

constexpr int ReaderOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA;
// Past this a title or tag is no longer a name; the rest would only cost memory.
constexpr qsizetype MaxNameLength = 65536;
constexpr qint64 ReadAhead = 1 << 18;
// What a note's reader reads around the note, so that it reads a whole export.
const QByteArray NotePrefix = "<en-export>";
const QByteArray ExportEnd = "</en-export>";

xmlTextReaderPtr Reader(void *reader)
{
    return static_cast<xmlTextReaderPtr>(reader);
}

} // namespace

// The input of one reader: the file from an offset up to the next note's start
// tag or the export's end tag (not included), between a prefix and the
// export's end tag. Each note is read by a reader of its own, so that a fault
// in one ends only that one.
struct EnexReader::Source
{
    QFile file;
    QByteArray prefix;
    qint64 prefixSent = 0;
    QByteArray pending; // read from the file; given to the parser up to used
    qsizetype used = 0;
    qint64 usedOffset = 0;    // the file offset of pending[used]
    qsizetype searchFrom = 0; // in pending: where a boundary may begin
    qint64 boundary = -1;     // the file offset where the next reader begins; -1 for none
    bool bodyDone = false;
    qint64 suffixSent = 0;
    bool fileEnded = false;
    int maxPiece = 0; // at most this many bytes per read (0: as many as asked)
    QString firstError;

    // Where the first boundary in pending is, or -1.
    qsizetype findBoundary() const
    {
        for (qsizetype at = pending.indexOf('<', qMax(searchFrom, used)); at >= 0; at = pending.indexOf('<', at + 1)) {
            if (pending.size() - at < ExportEnd.size() && !fileEnded)
                return -1; // decided once more is read
            if (QByteArrayView(pending).sliced(at).startsWith(ExportEnd))
                return at;
            if (QByteArrayView(pending).sliced(at).startsWith("<note") && at + 5 < pending.size()) {
                const char after = pending[at + 5];
                if (after == '>' || after == ' ' || after == '\n' || after == '\t' || after == '\r')
                    return at;
            }
        }
        return -1;
    }

    int give(char *buffer, qsizetype count)
    {
        std::memcpy(buffer, pending.constData() + used, count);
        used += count;
        usedOffset += count;
        return static_cast<int>(count);
    }
};

namespace {

int ReadSource(void *context, char *buffer, int length)
{
    auto *source = static_cast<EnexReader::Source *>(context);
    if (source->maxPiece > 0)
        length = qMin(length, source->maxPiece);
    if (source->prefixSent < source->prefix.size()) {
        const int given = static_cast<int>(qMin<qint64>(length, source->prefix.size() - source->prefixSent));
        std::memcpy(buffer, source->prefix.constData() + source->prefixSent, given);
        source->prefixSent += given;
        return given;
    }
    while (!source->bodyDone) {
        if (source->pending.size() - source->used < ReadAhead / 2 && !source->fileEnded) {
            source->pending.remove(0, source->used);
            source->searchFrom = qMax<qsizetype>(0, source->searchFrom - source->used);
            source->used = 0;
            const QByteArray more = source->file.read(ReadAhead);
            source->fileEnded = more.isEmpty();
            source->pending += more;
        }
        const qsizetype found = source->findBoundary();
        if (found == source->used) {
            source->bodyDone = true;
            if (QByteArrayView(source->pending).sliced(found).startsWith("<note"))
                source->boundary = source->usedOffset;
            break;
        }
        // Up to a boundary, or up to where one may still begin.
        qsizetype end = found;
        if (end < 0) {
            const qsizetype lastBracket = source->pending.lastIndexOf('<');
            end = source->fileEnded || lastBracket < source->pending.size() - ExportEnd.size() ? source->pending.size()
                                                                                               : lastBracket;
            source->searchFrom = end;
        }
        if (end > source->used)
            return source->give(buffer, qMin<qsizetype>(length, end - source->used));
        if (source->fileEnded) {
            source->bodyDone = true;
            break;
        }
    }
    const int given = static_cast<int>(qMin<qint64>(length, ExportEnd.size() - source->suffixSent));
    std::memcpy(buffer, ExportEnd.constData() + source->suffixSent, given);
    source->suffixSent += given;
    return given;
}

int CloseSource(void *)
{
    return 0;
}

void KeepError(void *context, const char *message, xmlParserSeverities severity, xmlTextReaderLocatorPtr)
{
    auto *source = static_cast<EnexReader::Source *>(context);
    if (source->firstError.isEmpty() &&
        (severity == XML_PARSER_SEVERITY_ERROR || severity == XML_PARSER_SEVERITY_VALIDITY_ERROR))
        // Its line numbers count from the note's own start: no use to anyone.
        source->firstError =
            QString::fromUtf8(message).remove(QRegularExpression(QStringLiteral(" line \\d+"))).trimmed();
}

} // namespace

// Base64 decoded in pieces as the text arrives, into the file and the hash.
class EnexReader::Base64Decoder
{
public:
    explicit Base64Decoder(QFile &file)
        : m_file(file)
        , m_hash(QCryptographicHash::Md5)
    {
        m_buffer.reserve(BufferSize);
    }

    void feed(const char *text)
    {
        for (const char *c = text; *c; ++c) {
            const int value = sextet(*c);
            if (value < 0) {
                if (*c == '=')
                    m_padded = true;
                else if (static_cast<unsigned char>(*c) > 32)
                    m_badCharacters = true;
                continue;
            }
            if (m_padded)
                m_badCharacters = true;
            m_bits = (m_bits << 6) | static_cast<unsigned>(value);
            if (++m_count == 4) {
                put(static_cast<char>(m_bits >> 16));
                put(static_cast<char>(m_bits >> 8));
                put(static_cast<char>(m_bits));
                m_bits = 0;
                m_count = 0;
            }
        }
    }

    // Writes what is left; false when the file could not take it all.
    bool finish()
    {
        if (m_count == 2) {
            put(static_cast<char>(m_bits >> 4));
        } else if (m_count == 3) {
            put(static_cast<char>(m_bits >> 10));
            put(static_cast<char>(m_bits >> 2));
        } else if (m_count == 1) {
            m_badCharacters = true;
        }
        flush();
        return m_writeOk;
    }

    QByteArray md5Hex() const { return m_hash.result().toHex(); }
    qint64 size() const { return m_size; }
    bool hadBadCharacters() const { return m_badCharacters; }

private:
    static constexpr qsizetype BufferSize = 1 << 16;

    static int sextet(char c)
    {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+' || c == '-')
            return 62;
        if (c == '/' || c == '_')
            return 63;
        return -1;
    }

    void put(char byte)
    {
        m_buffer.append(byte);
        if (m_buffer.size() >= BufferSize)
            flush();
    }

    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        m_hash.addData(m_buffer);
        m_size += m_buffer.size();
        if (m_file.write(m_buffer) != m_buffer.size())
            m_writeOk = false;
        m_buffer.clear();
    }

    QFile &m_file;
    QCryptographicHash m_hash;
    QByteArray m_buffer;
    unsigned m_bits = 0;
    int m_count = 0;
    qint64 m_size = 0;
    bool m_padded = false;
    bool m_badCharacters = false;
    bool m_writeOk = true;
};

EnexReader::EnexReader(const QString &path, const QString &stagingFolder)
    : m_path(path)
    , m_stagingFolder(stagingFolder)
{
    m_fileSize = QFileInfo(path).size();
    // The export's head (declaration, doctype, root element) up to its first note.
    if (!startReader(0, false))
        return;
    while (!m_atEnd) {
        const int step = xmlTextReaderRead(Reader(m_reader));
        if (step == 1) {
            EnexNote none;
            bool finished = false;
            readNode(none, finished);
            continue;
        }
        if (step < 0 && m_fileProblem.isEmpty())
            m_fileProblem = m_source->firstError.isEmpty() ? QStringLiteral("malformed XML") : m_source->firstError;
        break;
    }
    if (m_fileProblem.isEmpty() && !m_sawExport)
        m_fileProblem = QStringLiteral("this is not an Evernote export (.enex)");
    m_nextStart = m_fileProblem.isEmpty() ? m_source->boundary : -1;
    freeReader();
}

EnexReader::~EnexReader()
{
    freeReader();
    if (m_resourceFile.isOpen())
        m_resourceFile.remove();
}

void EnexReader::freeReader()
{
    if (m_reader)
        xmlFreeTextReader(Reader(m_reader));
    m_reader = nullptr;
}

bool EnexReader::startReader(qint64 offset, bool careful)
{
    freeReader();
    m_source = std::make_unique<Source>();
    m_source->file.setFileName(m_path);
    if (!m_source->file.open(QIODevice::ReadOnly) || !m_source->file.seek(offset)) {
        m_fileProblem = m_source->file.errorString();
        m_atEnd = true;
        return false;
    }
    m_source->usedOffset = offset;
    if (offset > 0) {
        m_source->prefix = NotePrefix;
        m_source->searchFrom = 1; // the note's own start tag
    }
    if (careful)
        m_source->maxPiece = 1;
    m_reader = xmlReaderForIO(ReadSource, CloseSource, m_source.get(), nullptr, nullptr, ReaderOptions);
    if (!m_reader) {
        m_fileProblem = QStringLiteral("cannot start the XML reader");
        m_atEnd = true;
        return false;
    }
    xmlTextReaderSetErrorHandler(Reader(m_reader), KeepError, m_source.get());
    m_open.clear();
    m_inNote = false;
    return true;
}

qint64 EnexReader::fileSize() const
{
    return m_fileSize;
}

qint64 EnexReader::position() const
{
    return m_nextStart < 0 ? m_fileSize : m_nextStart;
}

bool EnexReader::readNote(EnexNote &note, qint64 offset, bool careful)
{
    note = EnexNote();
    if (!startReader(offset, careful))
        return false;
    bool finished = false;
    while (!finished && !m_atEnd) {
        const int step = xmlTextReaderRead(Reader(m_reader));
        if (step == 1) {
            readNode(note, finished);
            continue;
        }
        closeResourceFile(note);
        if (step < 0)
            note.problems << (m_source->firstError.isEmpty() ? QStringLiteral("malformed XML") : m_source->firstError);
        else
            note.problems << QStringLiteral("the note ends early");
        break;
    }
    // What follows the note in this reader's input is only the end of the
    // export; read it, so that the next note's place is known.
    if (finished) {
        EnexNote after;
        bool again = false;
        while (xmlTextReaderRead(Reader(m_reader)) == 1)
            readNode(after, again);
        removeStagedFiles(after);
    }
    // After a fault the parser stopped short: the next note is looked for in the bytes.
    char scratch[4096];
    while (!m_source->bodyDone)
        ReadSource(m_source.get(), scratch, sizeof scratch);
    m_nextStart = m_source->boundary;
    freeReader();
    return finished;
}

bool EnexReader::next(EnexNote &note)
{
    if (m_atEnd || m_nextStart < 0 || !m_fileProblem.isEmpty())
        return false;
    const qint64 start = m_nextStart;
    if (readNote(note, start, false))
        return true;
    if (m_atEnd)
        return false;
    // Malformed: read it again a few bytes at a time, so that the parser
    // hands over everything before the fault.
    removeStagedFiles(note);
    const qint64 after = m_nextStart;
    readNote(note, start, true);
    m_nextStart = after;
    return true;
}

void EnexReader::readNode(EnexNote &note, bool &finished)
{
    xmlTextReaderPtr reader = Reader(m_reader);
    const int type = xmlTextReaderNodeType(reader);
    if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
        // Declared entities are how expansion bombs are built; an export has none.
        const xmlDocPtr document = xmlTextReaderCurrentDoc(reader);
        if (document && document->intSubset && document->intSubset->entities) {
            m_fileProblem = QStringLiteral("the file declares entities, which an Evernote export never does");
            m_atEnd = true;
        }
        return;
    }
    if (type == XML_READER_TYPE_ENTITY_REFERENCE) {
        m_fileProblem = QStringLiteral("the file uses entities, which an Evernote export never does");
        m_atEnd = true;
        return;
    }
    if (type == XML_READER_TYPE_ELEMENT) {
        const char *name = reinterpret_cast<const char *>(xmlTextReaderConstLocalName(reader));
        const std::string element = name ? name : "";
        const std::string parent = m_open.empty() ? std::string() : m_open.back();
        const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
        if (m_open.empty()) {
            if (element != "en-export") {
                m_fileProblem = QStringLiteral("this is not an Evernote export (.enex)");
                m_atEnd = true;
                return;
            }
            m_sawExport = true;
        }
        if (element == "note" && parent == "en-export") {
            m_inNote = true;
            note = EnexNote();
            m_createdText.clear();
            m_tagText.clear();
        } else if (m_inNote && element == "resource" && parent == "note") {
            note.resources.emplace_back();
        } else if (m_inNote && element == "data" && parent == "resource" && !note.resources.empty()) {
            openResourceFile(note);
            if (empty)
                closeResourceFile(note);
        }
        if (!empty)
            m_open.push_back(element);
        else if (element == "note" && m_inNote) {
            m_inNote = false;
            finished = true;
        }
        return;
    }
    if (type == XML_READER_TYPE_END_ELEMENT) {
        const std::string element = m_open.empty() ? std::string() : m_open.back();
        if (!m_open.empty())
            m_open.pop_back();
        if (element == "data" && m_decoder)
            closeResourceFile(note);
        // A text may come in pieces; these are whole once their element ends.
        if (m_inNote && element == "created" && m_open.size() >= 1 && m_open.back() == "note")
            note.created = EnexTime(std::exchange(m_createdText, QString()).trimmed());
        if (m_inNote && element == "tag" && m_open.size() >= 1 && m_open.back() == "note") {
            const QString tag = std::exchange(m_tagText, QString()).simplified();
            if (!tag.isEmpty())
                note.tags << tag;
        }
        if (element == "note" && m_inNote && !m_open.empty() && m_open.back() == "en-export") {
            m_inNote = false;
            finished = true;
        }
        return;
    }
    if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
        type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE) {
        if (m_inNote)
            appendText(note, reinterpret_cast<const char *>(xmlTextReaderConstValue(reader)));
    }
}

void EnexReader::appendText(EnexNote &note, const char *value)
{
    if (!value || m_open.size() < 2)
        return;
    const std::string &element = m_open.back();
    const std::string &parent = m_open[m_open.size() - 2];
    const auto appendName = [value](QString &to) {
        if (to.size() < MaxNameLength)
            to += QString::fromUtf8(value).left(MaxNameLength);
    };
    if (parent == "note") {
        if (element == "title") {
            appendName(note.title);
        } else if (element == "content") {
            note.content += value;
            note.hasContent = true;
        } else if (element == "created") {
            appendName(m_createdText);
            // Also now: a fault right after the element would keep its end from being seen.
            if (const QDateTime created = EnexTime(m_createdText.trimmed()); created.isValid())
                note.created = created;
        } else if (element == "tag") {
            appendName(m_tagText);
        }
    } else if (parent == "note-attributes" && element == "source-url") {
        appendName(note.sourceUrl);
    } else if (parent == "resource" && !note.resources.empty()) {
        if (element == "data" && m_decoder)
            m_decoder->feed(value);
        else if (element == "mime")
            appendName(note.resources.back().mime);
    } else if (parent == "resource-attributes" && element == "file-name" && !note.resources.empty()) {
        appendName(note.resources.back().fileName);
    }
}

void EnexReader::openResourceFile(EnexNote &note)
{
    closeResourceFile(note);
    m_resourceFile.setFileName(m_stagingFolder + QStringLiteral("resource-%1").arg(++m_stagedCount));
    if (!m_resourceFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        note.problems << QStringLiteral("cannot store a resource: %1").arg(m_resourceFile.errorString());
        return;
    }
    m_decoder = std::make_unique<Base64Decoder>(m_resourceFile);
}

void EnexReader::closeResourceFile(EnexNote &note)
{
    if (!m_decoder)
        return;
    const bool written = m_decoder->finish();
    m_resourceFile.close();
    EnexResource &resource = note.resources.back();
    if (!written) {
        note.problems << QStringLiteral("cannot store a resource: %1").arg(m_resourceFile.errorString());
        m_resourceFile.remove();
    } else {
        if (m_decoder->hadBadCharacters())
            note.problems << QStringLiteral("a resource's data is not clean base64");
        resource.stagedPath = m_resourceFile.fileName();
        resource.md5Hex = m_decoder->md5Hex();
        resource.size = m_decoder->size();
    }
    m_decoder.reset();
}

QDateTime EnexTime(const QString &text)
{
    QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (!time.isValid())
        return {};
    time.setTimeSpec(Qt::UTC);
    return time.toLocalTime();
}
