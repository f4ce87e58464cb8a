#pragma once

#include <QString>
#include <QTemporaryDir>

// A tiny file system of its own (tmpfs) mounted in a temporary folder, to fill
// up on purpose. Mounting needs the right to mount (root); where it is missing
// isMounted() is false and whyNot() says why, so that the test can skip.
class SmallDisk
{
public:
    explicit SmallDisk(int kilobytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    // Mounts it again read-only (or writable), as a read-only medium that not
    // even the superuser may write.
    bool setReadOnly(bool readOnly);
    QString whyNot() const { return m_whyNot; }
    // Ends with "/".
    QString path() const { return m_dir.path() + QLatin1Char('/'); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_whyNot;
};
