#!/usr/bin/env bash
# setup_detection.sh SETUP_SCRIPT
#
# The set-up's package detection, run on a copy of the script against
# stand-ins for dpkg-query, apt-get, sudo and id that record their calls: it
# asks apt-get for exactly the packages that are missing (through sudo when
# not root, which also clears the environment as sudo does), records them for
# uninstalling, and goes on.
set -euo pipefail
setup=$(realpath "${1:?usage: $0 SETUP_SCRIPT}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL ($case): $*" >&2; exit 1; }

bin=$work/bin
mkdir -p "$bin"
# dpkg-query as it answers for installed, removed (configuration files left)
# and unknown packages; it exits 1 when any of them is unknown.
cat > "$bin/dpkg-query" << STANDIN
#!/bin/bash
echo "dpkg-query \$*" >> "$work/calls"
status=0
for package in "\$@"; do
    [[ \$package == -* ]] && continue
    if [[ " \$MISSING " == *" \$package "* ]]; then
        echo "dpkg-query: no packages found matching \$package" >&2
        status=1
    elif [[ " \$REMOVED " == *" \$package "* ]]; then
        echo "rc  \$package"
    else
        echo "ii  \$package"
    fi
done
exit \$status
STANDIN
cat > "$bin/apt-get" << STANDIN
#!/bin/bash
echo "apt-get\${SUDO_USER:+ (sudo)} DEBIAN_FRONTEND=\${DEBIAN_FRONTEND:-} \$*" >> "$work/calls"
STANDIN
cat > "$bin/sudo" << STANDIN
#!/bin/bash
exec env -i PATH="\$PATH" SUDO_USER=tester "\$@"
STANDIN
cat > "$bin/id" << STANDIN
#!/bin/bash
if [[ \$* == -u ]]; then echo "\$TEST_UID"; else exec /usr/bin/id "\$@"; fi
STANDIN
chmod +x "$bin"/*

# name | mode | uid | not installed | removed | expected installation | through sudo
cases=(
    "one missing, as root|test|0|xvfb||xvfb|no"
    "two missing, as a user|test|1000|cmake xvfb||cmake xvfb|yes"
    "removed, its configuration left|run|0||cmake|cmake|no"
    "the run command leaves out the test extras|run|1000|xvfb|||no"
    "everything there|test|1000||||no"
)
for row in "${cases[@]}"; do
    IFS='|' read -r case mode uid missing removed expected through_sudo <<< "$row"
    tree=$work/tree
    rm -rf "$tree" "$work/calls"
    mkdir -p "$tree/tools"
    cp "$setup" "$tree/tools/setup.sh"
    touch "$work/calls"

    status=0
    env -u DEBIAN_FRONTEND PATH="$bin:$PATH" TEST_UID="$uid" MISSING="$missing" REMOVED="$removed" \
        bash "$tree/tools/setup.sh" "$mode" --packages-only > "$work/out" 2>&1 || status=$?
    [[ $status == 0 ]] || fail "exit status $status: $(cat "$work/out")"
    [[ $(grep -c '^dpkg-query ' "$work/calls") == 1 ]] || fail "not one query: $(cat "$work/calls")"

    apt_calls=$(grep '^apt-get' "$work/calls" || true)
    if [[ -z $expected ]]; then
        [[ -z $apt_calls ]] || fail "apt-get was called: $apt_calls"
        [[ ! -e $tree/.installed-packages ]] || fail "recorded $(cat "$tree/.installed-packages")"
        continue
    fi
    sudo_mark=""
    if [[ $through_sudo == yes ]]; then sudo_mark=" (sudo)"; fi
    wanted="apt-get$sudo_mark DEBIAN_FRONTEND= update
apt-get$sudo_mark DEBIAN_FRONTEND=noninteractive install -y --no-install-recommends $expected"
    [[ $apt_calls == "$wanted" ]] || fail "apt-get calls:
$apt_calls
wanted:
$wanted"
    [[ $(tr '\n' ' ' < "$tree/.installed-packages") == "$expected " ]] ||
        fail "recorded $(cat "$tree/.installed-packages")"
done
echo "set-up detection: passed"
