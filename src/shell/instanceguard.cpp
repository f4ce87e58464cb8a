#include "instanceguard.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A real folder (not a link to one) owned by this user that no one else may
// enter or change.
bool isPrivateFolder(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// Makes the folder, or takes it over when it is already this user's: a folder of
// ours that others could write to is closed to them first. A folder of another
// user's is never used.
bool ensurePrivateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 07777) != 0700 && ::chmod(name.constData(), 0700) != 0)
        return false;
    return isPrivateFolder(path);
}

} // namespace

InstanceGuard::InstanceGuard() = default;

InstanceGuard::~InstanceGuard()
{
    release();
}

QString InstanceGuard::runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QDir::cleanPath(runtime);

    const QString shared = QDir::tempPath() + QStringLiteral("/clipnest-%1").arg(::geteuid());
    if (ensurePrivateFolder(shared))
        return shared;

    // Someone else took the name in the shared folder; the user's own cache
    // folder cannot be taken by another user.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    const QString own = cache + QStringLiteral("/clipnest-runtime");
    if (ensurePrivateFolder(own))
        return own;
    return QString();
}

QString InstanceGuard::lockFilePath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/TAVLOS_MUTEX.lock");
}

bool InstanceGuard::tryAcquire()
{
    if (m_fd >= 0)
        return true;
    const QString lockPath = lockFilePath();
    if (lockPath.isEmpty()) {
        // Without a place for the lock there is no guard; refusing to start would
        // lock the user out of their notes.
        qWarning("Clipnest: no private runtime folder for the instance lock");
        return true;
    }
    // Close-on-exec: programs started from here (an attachment's viewer) must not
    // inherit the lock and keep it after this process has ended.
    const QByteArray path = QFile::encodeName(lockPath);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info;
    if (fd >= 0 && (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid())) {
        // Left by another user while the folder was still open to others: it
        // is not ours to wait for.
        ::close(fd);
        ::unlink(path.constData());
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0) {
        qWarning("Clipnest: cannot create the instance lock %s", path.constData());
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void InstanceGuard::release()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}
