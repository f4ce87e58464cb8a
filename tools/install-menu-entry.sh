#!/usr/bin/env bash
# install-menu-entry.sh BUILD_FOLDER PROGRAM_FOLDER
#
# Puts the program folder's Clipnest in the user's application menu: the
# desktop entry, its Exec line naming PROGRAM_FOLDER/clipnest, in
# $XDG_DATA_HOME/applications and the icon (rendered by the build) in
# $XDG_DATA_HOME/icons/hicolor. It has the package's id, so that a menu shows
# one Clipnest: the one installed last by this script.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 BUILD_FOLDER PROGRAM_FOLDER" >&2
    exit 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
executable=$(cd "$2" && pwd)/clipnest
data_home=${XDG_DATA_HOME:-$HOME/.local/share}
id=app.clipnest.Clipnest

# An argument of the Exec key in double quotes, with the quoting and the string
# escapes of the desktop entry specification (a backslash becomes four).
exec_argument() {
    local text=$1
    if [[ $text =~ ^[A-Za-z0-9/._+=,:@-]+$ ]]; then
        printf '%s' "$text"
        return
    fi
    text=${text//\\/\\\\\\\\}
    text=${text//\"/\\\\\"}
    text=${text//\`/\\\\\`}
    text=${text//\$/\\\\\$}
    text=${text//%/%%}
    printf '"%s"' "$text"
}
# A plain string value: only the backslash is escaped.
string_value() {
    printf '%s' "${1//\\/\\\\}"
}

# Written beside its target and renamed over it: a menu never reads half a file.
install_file() {
    local source=$1 target=$2
    mkdir -p "$(dirname "$target")"
    cp "$source" "$target.new"
    mv -f "$target.new" "$target"
}

icons=$build/resources/icons
for png in "$icons"/*/apps/"$id".png; do
    [[ -f $png ]] || { echo "install-menu-entry: no icons in $icons; build first" >&2; exit 1; }
    size=$(basename "$(dirname "$(dirname "$png")")")
    install_file "$png" "$data_home/icons/hicolor/$size/apps/$id.png"
done
install_file "$root/resources/icons/$id.svg" "$data_home/icons/hicolor/scalable/apps/$id.svg"

entry=$data_home/applications/$id.desktop
mkdir -p "$data_home/applications"
exec_line=$(exec_argument "$executable")
try_exec=$(string_value "$executable")
# The replacement texts go through the environment: awk would read escapes in -v values.
EXEC_LINE=$exec_line TRY_EXEC=$try_exec awk '
    /^Exec=/ { print "Exec=" ENVIRON["EXEC_LINE"]; next }
    /^TryExec=/ { print "TryExec=" ENVIRON["TRY_EXEC"]; next }
    { print }' "$root/resources/desktop/$id.desktop" > "$entry.new"
mv -f "$entry.new" "$entry"
echo "Clipnest is in the application menu ($entry)"
