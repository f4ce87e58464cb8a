#!/usr/bin/env bash
# fresh-debian-readme.sh [REPOSITORY]
#
# The README's two commands on a fresh Debian 12, as a newcomer runs them: a
# minimal chroot made with debootstrap, only what the README asks for first
# (git, and sudo for a user who is not root), a clone of REPOSITORY's
# checked-out commit (this tree's by default; uncommitted changes are not in
# it), then ./run.sh under Xvfb until the explorer's window appears, which is
# then ended with SIGTERM, and ./test.sh. Prints how long each took.
#
#   USERS="root newcomer"  who runs them: root, and a user with sudo (both by default)
#   COMMANDS="run test"    which of the two commands (both by default)
#   MIRROR                 the Debian mirror
#   KEEP=1                 keep the chroots and the logs (the folder is printed)
#
# Every user gets a chroot of its own, copied from one debootstrap, so that
# each run installs everything itself. The check's own display tools (xvfb,
# xauth, x11-utils, x11-apps) are installed before ./run.sh. Needs root and
# Debian's mirror; not part of the test suite.
set -euo pipefail
repository=$(cd "${1:-$(dirname "$0")/..}" && pwd)
users=${USERS:-root newcomer}
commands=${COMMANDS:-run test}
mirror=${MIRROR:-http://deb.debian.org/debian}
[[ $(id -u) == 0 ]] || { echo "$0: needs root (debootstrap, chroot)" >&2; exit 1; }
commit=$(git -C "$repository" rev-parse HEAD)

if ! command -v debootstrap > /dev/null; then
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
fi
work=$(mktemp -d /var/tmp/clipnest-fresh-XXXXXX)
chroots=()
cleanup() {
    local chroot mount
    for chroot in "${chroots[@]}"; do
        # Lazily: the web engine's helpers may still hold /dev/shm for a moment.
        for mount in dev/shm proc sys dev; do umount --lazy "$chroot/$mount" 2> /dev/null || true; done
    done
    if grep -q " $work/" /proc/mounts; then
        echo "left $work in place: something is still mounted there" >&2
    elif [[ ${KEEP:-0} == 1 ]]; then
        echo "kept $work"
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT

echo "== debootstrap bookworm (minbase) into $work/base"
debootstrap --variant=minbase bookworm "$work/base" "$mirror" > "$work/debootstrap.log" ||
    { tail -20 "$work/debootstrap.log" >&2; exit 1; }
cat > "$work/base/etc/apt/sources.list" << SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
# The project's repository as a newcomer finds it: a place to clone from.
git init -q --bare "$work/base/srv/clipnest.git"
git --git-dir="$work/base/srv/clipnest.git" fetch -q "$repository" "$commit:refs/heads/main"
git --git-dir="$work/base/srv/clipnest.git" symbolic-ref HEAD refs/heads/main

# Run inside the chroot as the user: the README's steps, timed.
cat > "$work/base/usr/local/bin/readme-steps" << 'STEPS'
#!/bin/bash
set -euo pipefail
seconds() { echo "$EPOCHREALTIME - $1" | awk '{ printf "%.0f", $1 - $3 }'; }
cd ~
[[ -d clipnest ]] || git clone -q /srv/clipnest.git clipnest
cd clipnest
case $1 in
run)
    exec xvfb-run -n "$DISPLAY_NUMBER" -s "-screen 0 1366x768x24" readme-steps run-on-display
    ;;
run-on-display)
    start=$EPOCHREALTIME
    ./run.sh > ~/run.log 2>&1 &
    program=$!
    # The explorer: a window named Clipnest larger than the drop box.
    until xwininfo -root -tree 2> /dev/null | grep '"Clipnest"' | grep -qE ' [0-9]{3,}x[0-9]{3,}\+'; do
        if ! kill -0 "$program" 2> /dev/null; then
            status=0
            wait "$program" || status=$?
            tail -40 ~/run.log
            echo "./run.sh ended with status $status before the explorer appeared"
            exit 1
        fi
        sleep 1
    done
    echo "./run.sh: the explorer appeared after $(seconds "$start") s"
    sleep 5
    xwd -root -silent > ~/screen.xwd
    kill -TERM "$program"
    for _ in $(seq 1 20); do kill -0 "$program" 2> /dev/null || break; sleep 1; done
    if kill -0 "$program" 2> /dev/null; then
        kill -KILL "$program"
        echo "the program did not end on SIGTERM"
        exit 1
    fi
    status=0
    wait "$program" || status=$?
    echo "the program ended on SIGTERM with status $status"
    entry=~/.local/share/applications/app.clipnest.Clipnest.desktop
    grep -qx "Exec=$HOME/Clipnest/clipnest" "$entry" || { echo "no menu entry for ~/Clipnest"; exit 1; }
    [[ -f ~/.local/share/icons/hicolor/48x48/apps/app.clipnest.Clipnest.png ]] || { echo "no icon"; exit 1; }
    echo "the menu entry and the icon are in ~/.local/share"
    ((status == 0))
    ;;
test)
    start=$EPOCHREALTIME
    status=0
    ./test.sh > ~/test.log 2>&1 || status=$?
    grep -E 'tests passed|tests failed|\(Failed\)|\(Timeout\)|\(SEGFAULT\)|Not Run' ~/test.log || tail -20 ~/test.log
    echo "./test.sh: $(seconds "$start") s, exit status $status"
    exit "$status"
    ;;
esac
STEPS
chmod 755 "$work/base/usr/local/bin/readme-steps"

# A display number that neither the host nor another check uses: the chroot
# shares the host's abstract X sockets.
free_display() {
    local number
    for number in $(seq 180 400); do
        if [[ ! -e /tmp/.X$number-lock ]] && ! grep -q "@/tmp/.X11-unix/X$number\$" /proc/net/unix; then
            echo "$number"
            return
        fi
    done
    return 1
}

summary=()
for user in $users; do
    chroot=$work/$user
    echo "== $user: a fresh chroot in $chroot"
    cp -a "$work/base" "$chroot"
    chroots+=("$chroot")
    mount --bind /dev "$chroot/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$chroot/dev/shm"
    mount -t proc proc "$chroot/proc"
    mount -t sysfs sys "$chroot/sys"
    cp /etc/resolv.conf "$chroot/etc/resolv.conf"
    # As an installed system has it: sudo looks its host name up.
    echo "127.0.1.1 $(hostname)" >> "$chroot/etc/hosts"

    # What the README asks for before the two commands, and the check's display.
    extra=""
    if [[ $user != root ]]; then extra=sudo; fi
    chroot "$chroot" bash -c "apt-get update -q > /dev/null && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends git $extra xvfb xauth x11-utils x11-apps > /dev/null"
    sandbox=""
    if [[ $user != root ]]; then
        chroot "$chroot" useradd -m -s /bin/bash "$user"
        echo "$user ALL=(ALL) NOPASSWD: ALL" > "$chroot/etc/sudoers.d/$user"
        chmod 440 "$chroot/etc/sudoers.d/$user"
        chroot "$chroot" chown -R "$user:" /srv/clipnest.git
        # Where the container gives no user namespaces the web engine has no
        # room for its sandbox; a real machine has them.
        if ! chroot "$chroot" su "$user" -c 'unshare -U true' 2> /dev/null; then
            sandbox="QTWEBENGINE_DISABLE_SANDBOX=1"
        fi
    fi
    line="$user:"
    for command in $commands; do
        echo "== $user: ./$command.sh"
        status=0
        chroot "$chroot" su - "$user" -c "env $sandbox DISPLAY_NUMBER=$(free_display) readme-steps $command" 2>&1 |
            tee "$work/$user-$command.log" || status=$?
        line+=" $(grep -E '^\./(run|test)\.sh: ' "$work/$user-$command.log" | tr '\n' ' ')"
        home=$chroot/home/$user
        if [[ $user == root ]]; then home=$chroot/root; fi
        if [[ -f $home/screen.xwd ]]; then mv "$home/screen.xwd" "$work/$user-screen.xwd"; fi
        if ((status != 0)); then
            line+=" FAILED"
            KEEP=1
            break
        fi
    done
    summary+=("$line")
done
echo "== fresh Debian 12, commit $commit"
printf '%s\n' "${summary[@]}"
! printf '%s\n' "${summary[@]}" | grep -q FAILED
