#include "enginesignals.h"

#include <QtGlobal>

#include <ibase.h>

namespace {

int refuseShutdownOnSignal(const int reason, const int, void *)
{
    // Anything but 0 refuses a shutdown the engine would start.
    return reason == fb_shutrsn_signal ? 1 : 0;
}

} // namespace

void leaveTerminationSignalsToTheProgram()
{
    ISC_STATUS_ARRAY status = {};
    if (fb_shutdown_callback(status, refuseShutdownOnSignal, fb_shut_confirmation, nullptr) != 0)
        qWarning("Clipnest: the database engine keeps its own handling of SIGTERM");
}
