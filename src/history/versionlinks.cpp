// Versions kept by a second name of the replaced file: the save that replaces a
// note reads, hashes, compresses and writes nothing for its earlier text, and
// the text becomes a version (its copy and index entry) once the save is done.
#include "notehistory.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

const QString LinkPrefix = QStringLiteral("linked-");
const QString LinkSuffix = QStringLiteral(".html");

// The time a link's text was saved, from its name; invalid for any other name.
QDateTime linkTime(const QString &fileName)
{
    if (!fileName.startsWith(LinkPrefix) || !fileName.endsWith(LinkSuffix))
        return {};
    bool ok = false;
    const qint64 msecs = QStringView(fileName)
                             .mid(LinkPrefix.size(), fileName.size() - LinkPrefix.size() - LinkSuffix.size())
                             .toLongLong(&ok);
    return ok ? QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC) : QDateTime();
}

bool sameFile(const QByteArray &a, const QByteArray &b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    return ::stat(a.constData(), &first) == 0 && ::stat(b.constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

} // namespace

bool isVersionLink(const QString &fileName)
{
    return linkTime(fileName).isValid();
}

bool NoteHistory::keepByLink(const QString &filePath, const QDateTime &time)
{
    if (!QDir().mkpath(m_folder))
        return false;
    const QByteArray file = QFile::encodeName(filePath);
    const QByteArray link = QFile::encodeName(m_folder + QLatin1Char('/') + LinkPrefix +
                                              QString::number(time.toMSecsSinceEpoch()) + LinkSuffix);
    // The file's text was synced when it was saved; the new name is on the disk
    // with the replacement's own sync, which comes after it. A save cut short
    // after the link finds it there when it is tried again.
    if (::link(file.constData(), link.constData()) == 0)
        return true;
    return errno == EEXIST && sameFile(file, link);
}

QString NoteHistory::settle() const
{
    const QDir folder(m_folder);
    QStringList links;
    for (const QString &name : folder.entryList({LinkPrefix + QLatin1Char('*')}, QDir::Files)) {
        if (isVersionLink(name))
            links << name;
    }
    if (links.isEmpty())
        return QString();
    const std::optional<QList<NoteVersion>> read = readIndex();
    if (!read)
        return QStringLiteral("The index of versions in \"%1\" cannot be read.").arg(m_folder);
    QList<NoteVersion> versions = *read;
    QStringList settled;
    QString problem;
    for (const QString &name : std::as_const(links)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            problem = QStringLiteral("Cannot read \"%1\": %2").arg(file.fileName(), file.errorString());
            continue;
        }
        const QByteArray text = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            problem = QStringLiteral("Cannot read \"%1\": %2").arg(file.fileName(), file.errorString());
            continue;
        }
        const NoteVersion version{linkTime(name), versionHash(text), text.size()};
        if (const QString notStored = storeCopy(version.hash, text); !notStored.isEmpty()) {
            problem = notStored;
            continue;
        }
        const bool named = std::any_of(versions.cbegin(), versions.cend(), [&](const NoteVersion &kept) {
            return kept.hash == version.hash && kept.time == version.time;
        });
        if (!named)
            versions << version;
        settled << name;
    }
    if (settled.isEmpty())
        return problem;
    std::stable_sort(versions.begin(), versions.end(),
                     [](const NoteVersion &a, const NoteVersion &b) { return a.time > b.time; });
    // The links go only once the index names their versions.
    if (const QString notWritten = writeIndex(versions); !notWritten.isEmpty())
        return QStringLiteral("Cannot write the index of versions in \"%1\": %2").arg(m_folder, notWritten);
    for (const QString &name : std::as_const(settled))
        QFile::remove(folder.filePath(name));
    return problem;
}
