#!/usr/bin/env bash
# menu_entry.sh INSTALL_MENU_ENTRY BUILD_FOLDER
#
# The run command's menu entry for a program folder whose path needs quoting
# in an Exec line: a valid desktop entry that names that executable, and the
# icon at every rendered size.
set -euo pipefail
install=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

program="$work/my notes/\$x"
mkdir -p "$program"
XDG_DATA_HOME=$work/share "$install" "$build" "$program" > /dev/null
entry=$work/share/applications/app.clipnest.Clipnest.desktop
desktop-file-validate "$entry" || fail "the entry does not validate"
# The quoted argument, its $ escaped, then every backslash doubled as a string value.
[[ $(grep '^Exec=' "$entry") == "Exec=\"$work/my notes/\\\\\$x/clipnest\"" ]] || fail "$(grep '^Exec=' "$entry")"
[[ $(grep '^TryExec=' "$entry") == "TryExec=$program/clipnest" ]] || fail "$(grep '^TryExec=' "$entry")"
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
    [[ -f $work/share/icons/hicolor/$size/apps/app.clipnest.Clipnest.png ]] || fail "no $size icon"
done
[[ -f $work/share/icons/hicolor/scalable/apps/app.clipnest.Clipnest.svg ]] || fail "no scalable icon"
echo "menu entry: passed"
