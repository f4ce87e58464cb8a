#include "exportfiles.h"

#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

void ExportFiles::makeFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    if (QFileInfo(clean).isDir())
        return;
    QStringList missing;
    for (QString at = clean; !at.isEmpty() && !QFileInfo::exists(at); at = QFileInfo(at).path()) {
        missing.prepend(at);
        if (at == QFileInfo(at).path())
            break;
    }
    for (const QString &path : std::as_const(missing)) {
        if (!QDir().mkdir(path))
            fail(QStringLiteral("Cannot create the folder \"%1\".").arg(path));
        m_createdFolders << path;
    }
}

void ExportFiles::remember(const QString &path)
{
    makeFolder(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path))
        m_createdFiles << path;
}

void ExportFiles::write(const QString &path, const QByteArray &content)
{
    remember(path);
    const QString problem = writeWholeFile(path, content);
    if (!problem.isEmpty())
        fail(QStringLiteral("Cannot write \"%1\": %2").arg(path, problem));
}

void ExportFiles::copy(const QString &source, const QString &target)
{
    remember(target);
    const QString problem = copyWholeFile(source, target);
    if (!problem.isEmpty())
        fail(QStringLiteral("Cannot copy \"%1\" to \"%2\": %3").arg(source, target, problem));
}

void ExportFiles::removeCreated()
{
    for (const QString &file : std::as_const(m_createdFiles))
        QFile::remove(file);
    for (auto folder = m_createdFolders.crbegin(); folder != m_createdFolders.crend(); ++folder)
        QDir().rmdir(*folder);
    m_createdFiles.clear();
    m_createdFolders.clear();
}
