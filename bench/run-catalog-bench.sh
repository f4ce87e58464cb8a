#!/usr/bin/env bash
# The large-catalog benchmark in one command: seeds the catalogs once (kept
# outside the repository, in /tmp unless CLIPNEST_BENCH_ROOT says otherwise),
# then prints the table of medians with each figure's ratio to the bare select.
#   bench/run-catalog-bench.sh [BUILD_FOLDER] [RUNS]
# CLIPNEST_BENCH_SIZES picks the catalogs, as NODES:NOTES pairs
# (default "10000:100000 50000:1000000"); CLIPNEST_BENCH_NOTE_FILES=listed
# writes only the note files of the listed node (about 4 GB less at 1M notes).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
bench_root=${CLIPNEST_BENCH_ROOT:-/tmp}
sizes=${CLIPNEST_BENCH_SIZES:-"10000:100000 50000:1000000"}
note_files=${CLIPNEST_BENCH_NOTE_FILES:-all}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi

label() { # 50000 -> 50k, 1000000 -> 1m
    local n=$1
    if ((n >= 1000000 && n % 1000000 == 0)); then echo "$((n / 1000000))m"
    elif ((n >= 1000 && n % 1000 == 0)); then echo "$((n / 1000))k"
    else echo "$n"; fi
}

folders=()
for size in $sizes; do
    nodes=${size%%:*}
    notes=${size##*:}
    folder="$bench_root/clipnest-bench-$(label "$nodes")-$(label "$notes")"
    if [[ ! -e "$folder/seeded" ]]; then
        rm -rf "$folder"
        mkdir -p "$folder/data"
        cp "$build/program/notes.fdb" "$build/program/en.ini" "$build/program/cn.ini" "$build/program/logo" "$folder/"
        cp "$build/program/data/template.html" "$folder/data/"
        "$build/bench/seed_catalog" "$folder" "$nodes" "$notes" --note-files "$note_files"
    fi
    folders+=("$folder")
done
echo "load before: $(uptime)"
"$build/bench/catalog_bench" --runs "$runs" "${folders[@]}" 2>/dev/null
echo "load after: $(uptime)"
