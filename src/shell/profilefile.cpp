#include "profilefile.h"

#include "wholefile.h"

#include <QFile>
#include <QList>

#include <optional>

namespace {

const QByteArray ByteOrderMark("\xEF\xBB\xBF");

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

std::optional<QString> sectionName(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    if (close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1).trimmed();
}

// The key of a key=value line, or nothing for any other line.
std::optional<QString> keyName(const QString &line, QString *rawValue = nullptr)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return std::nullopt;
    if (rawValue)
        *rawValue = line.mid(equals + 1);
    return line.left(equals).trimmed();
}

bool enclosedInQuotes(const QString &text)
{
    return text.size() >= 2 && (text.front() == QLatin1Char('"') || text.front() == QLatin1Char('\'')) &&
           text.back() == text.front();
}

// One line of the file as bytes, with its own line break ("\r\n", "\n", or
// nothing for a last line without one).
struct RawLine
{
    QByteArray text;
    QByteArray end;
};

QList<RawLine> splitRawLines(const QByteArray &bytes)
{
    QList<RawLine> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        if (newline < 0) {
            lines.append({bytes.mid(pos), QByteArray()});
            break;
        }
        const bool crlf = newline > pos && bytes.at(newline - 1) == '\r';
        const qsizetype contentEnd = crlf ? newline - 1 : newline;
        lines.append({bytes.mid(pos, contentEnd - pos), crlf ? QByteArray("\r\n") : QByteArray("\n")});
        pos = newline + 1;
    }
    return lines;
}

// A value that reads back as itself: edge blanks and enclosing quotes would be
// taken away by the reader, so such a value goes between double quotes.
QString encodedValue(const QString &value)
{
    if (value != value.trimmed() || enclosedInQuotes(value))
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

} // namespace

ProfileContents ProfileContents::read(const QString &path)
{
    return parse(readBytes(path));
}

ProfileContents ProfileContents::parse(const QByteArray &bytes)
{
    ProfileContents contents;
    const QByteArray text = bytes.startsWith(ByteOrderMark) ? bytes.mid(ByteOrderMark.size()) : bytes;
    QHash<QString, QString> *section = nullptr;
    for (const RawLine &raw : splitRawLines(text)) {
        QString line = QString::fromUtf8(raw.text);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (const auto name = sectionName(line)) {
            section = &contents.m_sections[name->toLower()];
            continue;
        }
        QString rawValue;
        const auto key = keyName(line, &rawValue);
        if (!section || !key)
            continue;
        const QString lowerKey = key->toLower();
        if (!section->contains(lowerKey))
            section->insert(lowerKey, ProfileFile::storedValue(rawValue));
    }
    return contents;
}

bool ProfileContents::contains(const QString &section, const QString &key) const
{
    const auto found = m_sections.constFind(section.toLower());
    return found != m_sections.constEnd() && found->contains(key.toLower());
}

QString ProfileContents::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const auto found = m_sections.constFind(section.toLower());
    if (found == m_sections.constEnd())
        return defaultValue;
    return found->value(key.toLower(), defaultValue);
}

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{
}

bool ProfileFile::exists() const
{
    return QFile::exists(m_path);
}

QString ProfileFile::storedValue(const QString &text)
{
    const QString trimmed = text.trimmed();
    return enclosedInQuotes(trimmed) ? trimmed.mid(1, trimmed.size() - 2) : trimmed;
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    return ProfileContents::read(m_path).readString(section, key, defaultValue);
}

int ProfileFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    bool ok = false;
    const int value = readString(section, key, QString()).toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool ProfileFile::writeString(const QString &section, const QString &key, const QString &value, QString *error)
{
    // A line break cannot be stored in a value; it would split the line.
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'))) {
        if (error)
            *error = QStringLiteral("a value cannot hold a line break");
        return false;
    }

    QByteArray bytes = readBytes(m_path);
    QByteArray prefix;
    if (bytes.startsWith(ByteOrderMark)) {
        prefix = ByteOrderMark;
        bytes.remove(0, ByteOrderMark.size());
    }
    QList<RawLine> lines = splitRawLines(bytes);
    QByteArray lineEnd("\r\n");
    for (const RawLine &line : std::as_const(lines)) {
        if (!line.end.isEmpty()) {
            lineEnd = line.end; // the file's own line breaks
            break;
        }
    }
    const QByteArray newLine = (key + QLatin1Char('=') + encodedValue(value)).toUtf8();

    qsizetype sectionStart = -1;
    qsizetype insertAt = -1; // after the last non-empty line of the section
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        const QString line = QString::fromUtf8(lines[i].text);
        if (const auto name = sectionName(line)) {
            if (sectionStart >= 0)
                break; // the next section begins
            if (name->compare(section, Qt::CaseInsensitive) == 0) {
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionStart < 0)
            continue;
        const auto name = keyName(line);
        if (name && name->compare(key, Qt::CaseInsensitive) == 0) {
            lines[i].text = newLine;
            written = true;
        } else if (!line.trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!written) {
        QList<RawLine> added;
        if (sectionStart < 0) {
            insertAt = lines.size();
            added.append({(QLatin1Char('[') + section + QLatin1Char(']')).toUtf8(), lineEnd});
        }
        added.append({newLine, lineEnd});
        // A last line without a break gets one before anything follows it.
        if (insertAt > 0 && lines[insertAt - 1].end.isEmpty())
            lines[insertAt - 1].end = lineEnd;
        for (qsizetype i = 0; i < added.size(); ++i)
            lines.insert(insertAt + i, added[i]);
    }

    QByteArray out = prefix;
    for (const RawLine &line : std::as_const(lines))
        out += line.text + line.end;

    const QString failure = writeWholeFile(m_path, out);
    if (error)
        *error = failure;
    return failure.isEmpty();
}
