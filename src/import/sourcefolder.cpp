#include "sourcefolder.h"

#include <QDir>
#include <QFileInfo>

SourceFolder::SourceFolder(const QString &root)
    : m_root(QFileInfo(root).isDir() ? QFileInfo(root).canonicalFilePath() : QString())
{
}

bool SourceFolder::contains(const QString &path) const
{
    return path.startsWith(m_root + QLatin1Char('/'));
}

QString SourceFolder::relative(const QString &path) const
{
    return contains(path) ? path.mid(m_root.size() + 1) : QFileInfo(path).fileName();
}

QString SourceFolder::resolve(const QString &fromFolder, const QString &reference, QString *why) const
{
    if (reference.startsWith(QLatin1Char('/')) || reference.startsWith(QLatin1Char('~')) ||
        reference.startsWith(QLatin1Char('\\')) || QDir::isAbsolutePath(reference)) {
        *why = QStringLiteral("an absolute path is not followed: %1").arg(reference);
        return {};
    }
    const QString path = QDir::cleanPath(fromFolder + QLatin1Char('/') + reference);
    if (!contains(path)) {
        *why = QStringLiteral("a path leading outside the folder is not followed: %1").arg(reference);
        return {};
    }
    const QFileInfo info(path);
    if (!info.exists()) {
        *why = QStringLiteral("a file is missing: %1").arg(reference);
        return {};
    }
    const QString canonical = info.canonicalFilePath();
    if (!contains(canonical)) {
        *why = QStringLiteral("a link leading outside the folder is not followed: %1").arg(reference);
        return {};
    }
    if (!QFileInfo(canonical).isFile()) {
        *why = QStringLiteral("not a file: %1").arg(reference);
        return {};
    }
    return canonical;
}

SourceFolder::Listing SourceFolder::list(const QString &folder) const
{
    Listing listing;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName().startsWith(QLatin1Char('.')))
            continue;
        const QString name = relative(entry.absoluteFilePath());
        if (entry.isSymLink()) {
            const QString target = entry.canonicalFilePath();
            if (target.isEmpty() || !contains(target)) {
                listing.problems << QStringLiteral("a link leading outside the folder is not followed: %1").arg(name);
                continue;
            }
            if (entry.isDir()) { // it would lead round in circles
                listing.problems << QStringLiteral("a linked folder is not followed: %1").arg(name);
                continue;
            }
        }
        if (entry.isDir())
            listing.folders << entry.absoluteFilePath();
        else if (entry.isFile())
            listing.files << entry.absoluteFilePath();
        else
            listing.problems << QStringLiteral("not a file: %1").arg(name);
    }
    return listing;
}
