#pragma once

#include <QString>

// The embedded database engine keeps its lock tables and sort files in
// /tmp/firebird unless told otherwise: a folder every account shares, in which
// another user can plant a lock file's name as a link to a file of ours. So
// before the first attachment the engine is pointed at a folder of this user's
// own (FIREBIRD_LOCK and FIREBIRD_TMP), inside the private runtime folder.
namespace EngineFolders {

// Sets the engine's folders once per process; later calls only answer the
// folder. Call before any attachment, and before other threads start where
// possible (it changes the environment). Empty when the user has no private
// folder; the engine then keeps its defaults.
QString useOwn();

} // namespace EngineFolders
