#include "notehistory.h"

#include "historykeeping.h"
#include "wholefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <zlib.h>

#include <limits>
#include <optional>
#include <stdexcept>

namespace {

const QString CopySuffix = QStringLiteral(".z");

QByteArray compressed(const QByteArray &text, QString *problem)
{
    // The fastest level: a version is kept inside a save the user waits for,
    // and HTML shrinks well even so.
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    const int result =
        compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(text.constData()),
                  static_cast<uLong>(text.size()), Z_BEST_SPEED);
    if (result != Z_OK) {
        *problem = QStringLiteral("zlib could not compress the text (%1)").arg(result);
        return {};
    }
    out.resize(static_cast<qsizetype>(size));
    return out;
}

// The text of a zlib stream, or nothing when the stream is damaged or not
// expectedSize bytes long.
std::optional<QByteArray> inflated(const QByteArray &stream, qint64 expectedSize)
{
    if (expectedSize < 0 || static_cast<quint64>(expectedSize) > std::numeric_limits<uLong>::max())
        return std::nullopt;
    QByteArray text(static_cast<qsizetype>(expectedSize), Qt::Uninitialized);
    uLongf size = static_cast<uLongf>(expectedSize);
    uLong used = static_cast<uLong>(stream.size());
    const int result = uncompress2(reinterpret_cast<Bytef *>(text.data()), &size,
                                   reinterpret_cast<const Bytef *>(stream.constData()), &used);
    if (result != Z_OK || size != static_cast<uLongf>(expectedSize) || used != static_cast<uLong>(stream.size()))
        return std::nullopt;
    return text;
}

// The index goes first, so that a removal cut short leaves no entry without its copy.
bool removeHistoryFolder(const QString &folder)
{
    if (!QFileInfo::exists(folder))
        return true;
    QFile::remove(folder + QLatin1Char('/') + QLatin1String(NoteHistory::IndexName));
    return QDir(folder).removeRecursively();
}

QJsonObject entryObject(const NoteVersion &version)
{
    return {{QStringLiteral("time"), version.time.toUTC().toString(Qt::ISODateWithMs)},
            {QStringLiteral("hash"), version.hash},
            {QStringLiteral("size"), version.size}};
}

} // namespace

NoteHistory::NoteHistory(const QString &dataFolder, int noteId)
    : m_folder(folderOf(dataFolder, noteId))
{
}

QString NoteHistory::historyFolder(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("history/");
}

QString NoteHistory::folderOf(const QString &dataFolder, int noteId)
{
    return historyFolder(dataFolder) + QString::number(noteId);
}

QString NoteHistory::copyPath(const QString &hash) const
{
    return m_folder + QLatin1Char('/') + hash + CopySuffix;
}

QString versionHash(const QByteArray &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
}

QList<NoteVersion> NoteHistory::versions() const
{
    settle();
    return readIndex().value_or(QList<NoteVersion>());
}

std::optional<QList<NoteVersion>> NoteHistory::readIndex() const
{
    QFile file(m_folder + QLatin1Char('/') + QLatin1String(IndexName));
    if (!file.exists())
        return QList<NoteVersion>();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    QList<NoteVersion> versions;
    const QJsonArray entries = document.object().value(QStringLiteral("versions")).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        NoteVersion version;
        version.time = QDateTime::fromString(entry.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        version.hash = entry.value(QStringLiteral("hash")).toString();
        version.size = entry.value(QStringLiteral("size")).toInteger(-1);
        // Only a name of hexadecimal digits can name a copy in this folder.
        static const QRegularExpression hashPattern(QStringLiteral("^[0-9a-f]{64}$"));
        if (version.time.isValid() && version.size >= 0 && hashPattern.match(version.hash).hasMatch())
            versions << version;
    }
    std::stable_sort(versions.begin(), versions.end(),
                     [](const NoteVersion &a, const NoteVersion &b) { return a.time > b.time; });
    return versions;
}

QByteArray NoteHistory::text(const NoteVersion &version) const
{
    QFile file(copyPath(version.hash));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot read the version \"%1\": %2")
                                     .arg(file.fileName(), file.errorString())
                                     .toStdString());
    const std::optional<QByteArray> text = inflated(file.readAll(), version.size);
    if (!text || versionHash(*text) != version.hash)
        throw std::runtime_error(QStringLiteral("The version \"%1\" is damaged.").arg(file.fileName()).toStdString());
    return *text;
}

QString NoteHistory::writeIndex(const QList<NoteVersion> &versions) const
{
    QJsonArray entries;
    for (const NoteVersion &version : versions)
        entries.append(entryObject(version));
    const QJsonObject root{{QStringLiteral("versions"), entries}};
    return writeWholeFile(m_folder + QLatin1Char('/') + QLatin1String(IndexName),
                          QJsonDocument(root).toJson(QJsonDocument::Compact));
}

QString NoteHistory::storeCopy(const QString &hash, const QByteArray &text) const
{
    // The copy is whole on the disk (written, synced and renamed into place)
    // before the index names it.
    const QString copy = copyPath(hash);
    if (QFileInfo::exists(copy))
        return QString();
    QString problem;
    const QByteArray stream = compressed(text, &problem);
    if (problem.isEmpty())
        problem = writeWholeFile(copy, stream);
    if (!problem.isEmpty())
        return QStringLiteral("Cannot keep the earlier version in \"%1\": %2").arg(copy, problem);
    return QString();
}

QString NoteHistory::keep(const QByteArray &text, const QDateTime &time)
{
    // Linked texts first, so that the index written here names them too.
    settle();
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("Cannot create the folder \"%1\".").arg(m_folder);
    NoteVersion version{time, versionHash(text), text.size()};
    const std::optional<QList<NoteVersion>> read = readIndex();
    if (!read)
        return QStringLiteral("The index of versions in \"%1\" cannot be read.").arg(m_folder);
    QList<NoteVersion> versions = *read;
    // A save cut short after its version was kept keeps it again next time.
    for (const NoteVersion &kept : std::as_const(versions)) {
        if (kept.hash == version.hash && kept.time == version.time)
            return QString();
    }
    if (const QString problem = storeCopy(version.hash, text); !problem.isEmpty())
        return problem;
    versions.prepend(version);
    const QString problem = writeIndex(versions);
    if (!problem.isEmpty())
        return QStringLiteral("Cannot write the index of versions in \"%1\": %2").arg(m_folder, problem);
    return QString();
}

int NoteHistory::prune(const HistoryKeeping &keeping, const QDateTime &now)
{
    if (!QFileInfo(m_folder).isDir())
        return 0;
    // A linked text that cannot be settled yet stays, unnamed as it is.
    settle();
    // An index that cannot be read names copies all the same: nothing goes then.
    const std::optional<QList<NoteVersion>> read = readIndex();
    if (!read)
        return 0;
    const QList<NoteVersion> &versions = *read;
    QList<QDateTime> times;
    for (const NoteVersion &version : versions)
        times << version.time;
    QList<NoteVersion> kept;
    for (const qsizetype index : keptVersions(times, keeping, now))
        kept << versions.at(index);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const NoteVersion &a, const NoteVersion &b) { return a.time > b.time; });
    const int dropped = static_cast<int>(versions.size() - kept.size());
    if (kept.isEmpty())
        return removeHistoryFolder(m_folder) ? dropped : 0;
    // The index goes first: a prune cut short leaves copies unnamed, never names without copies.
    if (dropped > 0 && !writeIndex(kept).isEmpty())
        return 0;
    QSet<QString> named{QLatin1String(IndexName)};
    for (const NoteVersion &version : std::as_const(kept))
        named.insert(version.hash + CopySuffix);
    const QDir folder(m_folder);
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!named.contains(name) && !isVersionLink(name))
            QFile::remove(folder.filePath(name));
    }
    return dropped;
}

bool forgetNoteHistory(const QString &dataFolder, int noteId)
{
    return removeHistoryFolder(NoteHistory::folderOf(dataFolder, noteId));
}

QList<int> notesWithHistory(const QString &dataFolder)
{
    QList<int> notes;
    for (const QString &name :
         QDir(NoteHistory::historyFolder(dataFolder)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int noteId = name.toInt(&ok);
        if (ok && noteId > 0 && QString::number(noteId) == name)
            notes << noteId;
    }
    return notes;
}
