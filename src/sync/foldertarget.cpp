#include "foldertarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

SyncFault faultOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return SyncFault::Full;
    case EACCES:
    case EPERM:
    case EROFS:
        return SyncFault::Refused;
    case EIO:
    case ENODEV:
    case ENXIO:
    case ETIMEDOUT:
        return SyncFault::Unreachable;
    default:
        return SyncFault::Other;
    }
}

[[noreturn]] void fail(int error, const QString &what, const QString &file)
{
    throw SyncTargetError(faultOf(error), QStringLiteral("%1 %2: %3").arg(what, file, QString::fromLocal8Bit(std::strerror(error))));
}

// Writes all of bytes to a new file.
void writeFile(const QByteArray &file, const QByteArray &bytes)
{
    const int handle = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (handle < 0)
        fail(errno, QStringLiteral("Cannot create"), QString::fromLocal8Bit(file));
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t step = ::write(handle, bytes.constData() + written, size_t(bytes.size() - written));
        if (step < 0 && errno == EINTR)
            continue;
        if (step < 0) {
            const int error = errno;
            ::close(handle);
            ::unlink(file.constData());
            fail(error, QStringLiteral("Cannot write"), QString::fromLocal8Bit(file));
        }
        written += step;
    }
    if (::close(handle) != 0) {
        const int error = errno;
        ::unlink(file.constData());
        fail(error, QStringLiteral("Cannot write"), QString::fromLocal8Bit(file));
    }
}

} // namespace

FolderTarget::FolderTarget(const QString &folder) : m_folder(QDir::cleanPath(folder)) {}

bool FolderTarget::isTemporaryName(const QString &name)
{
    return name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('~')) || name.endsWith(QLatin1String(".tmp"))
           || name.endsWith(QLatin1String(".part"));
}

QString FolderTarget::itemFile(const QString &path) const
{
    // Item paths come from the sync items themselves: nothing may lead out of
    // the folder.
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            throw SyncTargetError(SyncFault::Other, QStringLiteral("Not an item name: %1").arg(path));
    }
    return m_folder + QLatin1Char('/') + path;
}

QString FolderTarget::writeTemporary(const QString &file, const QByteArray &bytes)
{
    const QFileInfo info(file);
    if (!QDir().mkpath(info.path()))
        fail(errno ? errno : EACCES, QStringLiteral("Cannot make the folder"), info.path());
    const QString temporary =
        info.path() + QStringLiteral("/.clipnest-") + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".tmp");
    writeFile(QFile::encodeName(temporary), bytes);
    m_unkept = true;
    return temporary;
}

std::optional<QByteArray> FolderTarget::read(const QString &path)
{
    ++m_requests;
    QFile file(itemFile(path));
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            return std::nullopt;
        fail(EACCES, QStringLiteral("Cannot read"), file.fileName());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(EIO, QStringLiteral("Cannot read"), file.fileName());
    return bytes;
}

void FolderTarget::write(const QString &path, const QByteArray &bytes)
{
    ++m_requests;
    const QString file = itemFile(path);
    const QString temporary = writeTemporary(file, bytes);
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(file).constData()) != 0) {
        const int error = errno;
        QFile::remove(temporary);
        fail(error, QStringLiteral("Cannot write"), file);
    }
}

bool FolderTarget::writeNew(const QString &path, const QByteArray &bytes)
{
    ++m_requests;
    const QString file = itemFile(path);
    if (QFileInfo::exists(file))
        return false;
    const QString temporary = writeTemporary(file, bytes);
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(file);
    // A hard link is made only when the name is free, whoever races for it.
    // Folders that have none (FAT on a stick) get a rename that refuses to
    // replace, and last a plain rename after the check above.
    int result = ::link(from.constData(), to.constData());
    int error = result == 0 ? 0 : errno;
    if (result == 0 || error == EEXIST) {
        ::unlink(from.constData());
    } else {
        result = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        error = result == 0 ? 0 : errno;
        if (result != 0 && error != EEXIST) {
            result = std::rename(from.constData(), to.constData());
            error = result == 0 ? 0 : errno;
        }
        if (result != 0)
            ::unlink(from.constData());
    }
    if (error == EEXIST)
        return false;
    if (result != 0)
        fail(error, QStringLiteral("Cannot write"), file);
    return true;
}

void FolderTarget::keepWritten()
{
    if (!m_unkept)
        return;
    const int handle = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        fail(errno, QStringLiteral("Cannot open"), m_folder);
    // The items and the renames that named them, on whatever disk the folder is.
    const int result = ::syncfs(handle);
    const int error = errno;
    ::close(handle);
    if (result != 0)
        fail(error, QStringLiteral("Cannot flush"), m_folder);
    m_unkept = false;
}

QStringList FolderTarget::list(const QString &folder)
{
    ++m_requests;
    const QDir dir(folder.isEmpty() ? m_folder : itemFile(folder));
    QStringList names;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        if (!isTemporaryName(name))
            names.append(name);
    }
    return names;
}

void FolderTarget::remove(const QString &path)
{
    ++m_requests;
    const QByteArray file = QFile::encodeName(itemFile(path));
    if (::unlink(file.constData()) != 0) {
        const int error = errno;
        if (error != ENOENT)
            fail(error, QStringLiteral("Cannot remove"), QString::fromLocal8Bit(file));
    }
}
