#include "profilefile.h"

#include "wholefile.h"

#include <QFile>
#include <QStringList>

#include <optional>

namespace {

QStringList readLines(const QString &path, QString *lineEnd)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3); // editors may save a byte-order mark
    const QString text = QString::fromUtf8(bytes);
    if (lineEnd)
        *lineEnd = text.contains(QLatin1String("\r\n")) || !text.contains(QLatin1Char('\n')) ? QStringLiteral("\r\n")
                                                                                             : QStringLiteral("\n");
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the break after the last line
    return lines;
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

bool isKeyLine(const QString &line, const QString &key, QString *value)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
        return false;
    if (value)
        *value = line.mid(equals + 1).trimmed();
    return true;
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{
}

bool ProfileFile::exists() const
{
    return QFile::exists(m_path);
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    bool inSection = false;
    for (const QString &line : readLines(m_path, nullptr)) {
        if (const auto name = sectionName(line)) {
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        QString value;
        if (inSection && isKeyLine(line, key, &value))
            return value;
    }
    return defaultValue;
}

int ProfileFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    bool ok = false;
    const int value = readString(section, key, QString()).toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool ProfileFile::writeString(const QString &section, const QString &key, const QString &value, QString *error)
{
    QString lineEnd = QStringLiteral("\r\n");
    QStringList lines = readLines(m_path, &lineEnd);
    const QString newLine = key + QLatin1Char('=') + value;

    qsizetype sectionStart = -1;
    qsizetype insertAt = -1; // after the last non-empty line of the section
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        if (const auto name = sectionName(lines[i])) {
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
        if (isKeyLine(lines[i], key, nullptr)) {
            lines[i] = newLine;
            written = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!written) {
        if (sectionStart < 0) {
            lines << QLatin1Char('[') + section + QLatin1Char(']') << newLine;
        } else {
            lines.insert(insertAt, newLine);
        }
    }

    const QString failure = writeWholeFile(m_path, (lines.join(lineEnd) + lineEnd).toUtf8());
    if (error)
        *error = failure;
    return failure.isEmpty();
}
