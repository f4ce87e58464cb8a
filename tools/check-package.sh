#!/usr/bin/env bash
# check-package.sh BUILD_FOLDER
#
# Checks the desktop installation from a built tree, all inside a temporary
# folder: installs into a scratch prefix, validates the desktop entry and the
# AppStream metainfo, starts the installed program from the desktop entry's Exec
# line as a package user would (it must make ~/.local/share/Clipnest), then
# builds the Debian package, checks its control fields and contents, and runs
# lintian on it: any error or warning fails the check.
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_FOLDER}" && pwd)
work=$(mktemp -d)
program=""
cleanup() {
    if [[ -n $program ]]; then kill -KILL "$program" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Qt WebEngine refuses its sandbox when running as root.
if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
id=app.clipnest.Clipnest

echo "== install into a scratch prefix"
prefix=$work/usr
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
for file in bin/clipnest \
    share/clipnest/notes.fdb share/clipnest/en.ini share/clipnest/cn.ini share/clipnest/logo \
    share/clipnest/data/template.html \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg share/man/man1/clipnest.1.gz; do
    [[ -f $prefix/$file ]] || fail "the install lacks $file"
done
for size in 16 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    [[ -f $png ]] || fail "the install lacks the ${size}px icon"
    # A PNG's width and height are big-endian numbers at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }')
    [[ $width == "$size" && $height == "$size" ]] || fail "the ${size}px icon is ${width}x${height}"
done

echo "== validate the desktop entry and the metainfo"
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml"

echo "== start the installed program from the desktop entry"
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/applications/$id.desktop")
home=$work/home
mkdir -p "$home" "$work/runtime"
chmod 700 "$work/runtime"
# The menu entry names the program, found on the PATH as a package installs it.
env HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$work/runtime" \
    PATH="$prefix/bin:$PATH" QT_QPA_PLATFORM=offscreen $exec_line > "$work/program.log" 2>&1 &
program=$!
userfolder=$home/.local/share/Clipnest
for _ in $(seq 1 300); do
    [[ -f $userfolder/tavlo.ini ]] && break
    kill -0 "$program" 2>/dev/null || { cat "$work/program.log" >&2; fail "the program ended at start"; }
    sleep 0.2
done
[[ -f $userfolder/tavlo.ini ]] || { cat "$work/program.log" >&2; fail "no settings file in $userfolder"; }
for file in notes.fdb en.ini cn.ini logo data/template.html; do
    [[ -f $userfolder/$file ]] || fail "the user's folder lacks $file"
done
grep -q "datapath=$userfolder/data/" "$userfolder/tavlo.ini" || fail "the data folder is not the user's"
# Errors of the start (the database above all) are reported on standard error too.
sleep 3
kill -0 "$program" 2>/dev/null || { cat "$work/program.log" >&2; fail "the program ended after its start"; }
if grep '^Clipnest: ' "$work/program.log"; then fail "the program reported an error at start"; fi
[[ ! -e $prefix/bin/tavlo.ini ]] || fail "the program wrote beside its executable"
# The database engine takes SIGTERM for itself (it closes its connections), so
# the program is ended for good.
kill -KILL "$program"
wait "$program" 2>/dev/null || true
program=""

echo "== build the Debian package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" > "$work/cpack.log" ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/package/clipnest_*.deb)
dpkg-deb -I "$deb" > "$work/control"
depends=$(sed -n 's/^ Depends: //p' "$work/control")
for needed in libqt6sql6-ibase firebird3.0-server-core libqt6webenginecore6-bin libqt6svg6 adwaita-icon-theme \
    libqt6webenginewidgets6 libqt6pdf6 libqpdf29 libarchive13 libfbclient2 libcurl4; do
    grep -q "\b$needed\b" <<< "$depends" || fail "Depends lacks $needed: $depends"
done
dpkg-deb -c "$deb" > "$work/contents"
for file in ./usr/bin/clipnest ./usr/share/clipnest/notes.fdb ./usr/share/applications/$id.desktop \
    ./usr/share/metainfo/$id.metainfo.xml ./usr/share/icons/hicolor/256x256/apps/$id.png \
    ./usr/share/man/man1/clipnest.1.gz ./usr/share/doc/clipnest/copyright \
    ./usr/share/doc/clipnest/changelog.Debian.gz; do
    grep -q " $file\$" "$work/contents" || fail "the package lacks $file"
done

echo "== lintian"
# Its note about running as root is no finding.
if ! lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1; then
    cat "$work/lintian.log" >&2
    fail "lintian reports errors or warnings"
fi
grep -v 'running with root privileges' "$work/lintian.log" || true
echo "package $(basename "$deb"), $(du -k "$deb" | cut -f1) KB"
echo "Depends: $depends"
echo "package check: passed"
