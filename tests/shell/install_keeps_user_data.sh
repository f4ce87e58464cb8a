#!/usr/bin/env bash
# Installing over a program folder that holds notes keeps its database, its
# settings and its data folder, and updates the program.
set -euo pipefail
install=$1
built=$2
target=$(mktemp -d)
trap 'rm -rf "$target"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

"$install" "$built" "$target" > /dev/null
for file in clipnest notes.fdb en.ini cn.ini logo data/template.html; do
    [[ -e "$target/$file" ]] || fail "first install did not create $file"
done
[[ ! -e "$target/tavlo.ini" ]] || fail "tavlo.ini is written by the program, not shipped"

# The user's state: a database with notes, settings, a custom template, day folders.
printf 'user database' > "$target/notes.fdb"
printf '[Tavlo]\r\nlang=cn.ini\r\n' > "$target/tavlo.ini"
printf '<html><body>mine</body></html>' > "$target/data/template.html"
mkdir -p "$target/data/03-12-2026/images" "$target/data/03-12-2026/attaches"
printf 'note' > "$target/data/03-12-2026/031220261200000000.html"
printf 'pic' > "$target/data/03-12-2026/images/a.png"
printf 'stale' > "$target/en.ini"
before=$(cd "$target" && find data notes.fdb tavlo.ini -type f -exec sha256sum {} + | sort)

"$install" "$built" "$target" > /dev/null

after=$(cd "$target" && find data notes.fdb tavlo.ini -type f -exec sha256sum {} + | sort)
[[ "$before" == "$after" ]] || fail "user data changed: $(diff <(echo "$before") <(echo "$after"))"
cmp -s "$built/en.ini" "$target/en.ini" || fail "shipped en.ini was not updated"
cmp -s "$built/clipnest" "$target/clipnest" || fail "the executable was not updated"
echo "install keeps user data: passed"
