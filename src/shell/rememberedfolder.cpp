#include "rememberedfolder.h"

#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

RememberedFolder::RememberedFolder(QString programFolder, QString command)
    : m_programFolder(std::move(programFolder))
    , m_command(std::move(command))
{
}

QString RememberedFolder::folder() const
{
    QString path = QDir::cleanPath(Settings(m_programFolder).lastFolder(m_command));
    while (!path.isEmpty() && QFileInfo(path).isAbsolute()) {
        if (QFileInfo(path).isDir())
            return path;
        const QString above = QFileInfo(path).path();
        if (above == path)
            break;
        path = above;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void RememberedFolder::rememberFolder(const QString &folder) const
{
    if (!folder.isEmpty())
        Settings(m_programFolder).saveLastFolder(m_command, QFileInfo(folder).absoluteFilePath());
}

void RememberedFolder::rememberFileIn(const QString &file) const
{
    if (!file.isEmpty())
        rememberFolder(QFileInfo(file).absolutePath());
}
