#pragma once

#include <QString>

// Lets only one copy of the program run per user. The guard is a lock on a file
// in a folder that only this user can write to; the system releases the lock
// when the process ends, however it ends. Another user can neither take the
// lock first nor plant a file there.
class InstanceGuard
{
public:
    InstanceGuard();
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // True when this process now holds the guard; false when another copy holds it.
    bool tryAcquire();
    void release();

    // The user's own runtime folder, for the lock and the local socket:
    // XDG_RUNTIME_DIR when it is this user's and closed to everyone else,
    // otherwise a folder "clipnest-<uid>" of mode 0700 in the temporary folder,
    // or, when another user holds that name, one in the user's cache folder.
    // Owner and mode are checked every time. Empty when none can be had.
    static QString runtimeFolder();
    static QString lockFilePath();

private:
    int m_fd = -1;
};
