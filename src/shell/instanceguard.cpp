#include "instanceguard.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceGuard::InstanceGuard() = default;

InstanceGuard::~InstanceGuard()
{
    release();
}

QString InstanceGuard::lockFilePath()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/TAVLOS_MUTEX-%1.lock").arg(getuid());
}

bool InstanceGuard::tryAcquire()
{
    if (m_fd >= 0)
        return true;
    // Close-on-exec: programs started from here (an attachment's viewer) must not
    // inherit the lock and keep it after this process has ended.
    const QByteArray path = QFile::encodeName(lockFilePath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a place for the lock there is no guard; refusing to start would
        // lock the user out of their notes.
        qWarning("Cannot create the instance lock %s", path.constData());
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
