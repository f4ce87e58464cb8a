#include "storedpath.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

bool StoredPath::isInside(const QString &storedPath)
{
    QString path = storedPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    bool names = false; // something below the data folder, not the folder itself
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts[i];
        // A folder's path ends with a separator, which leaves one empty part at the end.
        if (part == QLatin1String("..") || (part.isEmpty() && i + 1 < parts.size()))
            return false;
        names = names || (!part.isEmpty() && part != QLatin1String("."));
    }
    return names;
}

bool StoredPath::isInsideAttachment(const QString &folder, const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    QString path = folder;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return isInside(path + name);
}

QString StoredPath::resolve(const QString &dataFolder, const QString &storedPath)
{
    if (!isInside(storedPath))
        return {};
    QString path = storedPath;
    return dataFolder + path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

bool StoredPath::isRealFileInside(const QString &dataFolder, const QString &path)
{
    const QString realFolder = QFileInfo(dataFolder).canonicalFilePath();
    const QFileInfo file(path);
    const QString realFile = file.canonicalFilePath();
    return !realFolder.isEmpty() && file.isFile() && realFile.startsWith(realFolder + QLatin1Char('/'));
}
