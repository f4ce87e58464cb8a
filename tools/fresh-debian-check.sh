#!/usr/bin/env bash
# fresh-debian-check.sh DEB_FILE [CHROOT_FOLDER]
#
# The package on a fresh Debian 12: makes a minimal chroot with debootstrap,
# installs the package there with `apt install ./…` (its Depends only, or also
# its Recommends with RECOMMENDS=1), then starts the program as a normal user
# from the menu entry's Exec line under Xvfb, checks that it made
# ~/.local/share/Clipnest and saves a picture of the screen beside the package.
# Needs root and Debian's mirror; not part of the test suite.
set -euo pipefail
deb=$(realpath "${1:?usage: $0 DEB_FILE [CHROOT_FOLDER]}")
root=${2:-$(mktemp -d /tmp/clipnest-debian12-XXXXXX)}
mirror=${MIRROR:-http://deb.debian.org/debian}

if [[ ! -x $root/usr/bin/apt-get ]]; then
    debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
cleanup() {
    # Lazily: the web engine's helpers may still hold /dev/shm for a moment.
    for mount in dev/shm proc sys dev; do umount --lazy "$root/$mount" 2>/dev/null || true; done
}
trap cleanup EXIT
mount --bind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cat > "$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
cp "$deb" "$root/tmp/"
recommends=--no-install-recommends
if [[ ${RECOMMENDS:-0} == 1 ]]; then recommends=--install-recommends; fi
chroot "$root" bash -c "apt-get update -q && cd /tmp && \
    DEBIAN_FRONTEND=noninteractive apt-get install -y $recommends ./$(basename "$deb")"
# Only for this check: a display, and tools to look at it.
chroot "$root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xvfb xauth x11-apps x11-utils'
chroot "$root" bash -c 'id alice > /dev/null 2>&1 || useradd -m -s /bin/bash alice'

cat > "$root/tmp/menu-start.sh" <<'START'
#!/bin/bash
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/app.clipnest.Clipnest.desktop)
echo "Exec line: $exec_line"
$exec_line > /tmp/clipnest.log 2>&1 &
pid=$!
for _ in $(seq 1 60); do
    sleep 1
    xwininfo -root -tree 2>/dev/null | grep -q '"Clipnest"' && break
done
sleep 5
xwininfo -root -tree | grep '"Clipnest"'
xwd -root -silent > /tmp/screen.xwd
kill -KILL $pid
test -f ~/.local/share/Clipnest/notes.fdb && test -f ~/.local/share/Clipnest/tavlo.ini &&
    test -f ~/.local/share/Clipnest/data/template.html && echo "made ~/.local/share/Clipnest"
START
chmod +x "$root/tmp/menu-start.sh"
# A container without user namespaces has no room for the web engine's sandbox.
sandbox=""
if ! chroot "$root" su alice -c 'unshare -U true' 2> /dev/null; then sandbox="QTWEBENGINE_DISABLE_SANDBOX=1"; fi
chroot "$root" su - alice -c "env $sandbox xvfb-run -a -s '-screen 0 1366x768x24' /tmp/menu-start.sh"
cp "$root/tmp/screen.xwd" "$(dirname "$deb")/fresh-debian-screen.xwd"
echo "fresh Debian 12 check: passed ($root)"
