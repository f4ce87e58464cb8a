#!/usr/bin/env bash
# Installs what building and running need, builds the program, installs the
# program folder, puts it in the application menu and starts Clipnest on the
# current display. The program folder is ~/Clipnest unless CLIPNEST_HOME names
# another; installing never replaces the notes kept there.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/tools/setup.sh" run
target=${CLIPNEST_HOME:-$HOME/Clipnest}
"$root/tools/install-program-folder.sh" "$root/build/program" "$target"
"$root/tools/install-menu-entry.sh" "$root/build" "$target"
exec "$target/clipnest" "$@"
