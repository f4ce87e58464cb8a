#pragma once

#include <QString>

// Lets only one copy of the program run per user. The guard is a lock on a file
// in the user's runtime folder; the system releases it when the process ends,
// however it ends.
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

    static QString lockFilePath();

private:
    int m_fd = -1;
};
