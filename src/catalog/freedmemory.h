#pragma once

// The allocator keeps what a thread frees resident, in case that thread asks
// again; after a read of every note title or a rebuilt tree that is tens of
// megabytes no one asks for. These hand the whole free pages back.
// Now: for a thread whose work is done.
void releaseFreedMemory();
// On the program's main thread, once it has been idle for a moment; several
// asks meanwhile make one release.
void releaseFreedMemorySoon();
