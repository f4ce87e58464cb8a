#include "freedmemory.h"

#include <QCoreApplication>
#include <QTimer>

#include <malloc.h>

namespace {

// Long enough for a burst of rebuilds to end first; a release takes a few
// milliseconds per hundred megabytes of heap.
constexpr int IdleDelayMs = 500;

bool releasePending = false;

} // namespace

void releaseFreedMemory()
{
    malloc_trim(0);
}

void releaseFreedMemorySoon()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        releaseFreedMemory();
        return;
    }
    if (releasePending)
        return;
    releasePending = true;
    QTimer::singleShot(IdleDelayMs, application, [] {
        releasePending = false;
        releaseFreedMemory();
    });
}
