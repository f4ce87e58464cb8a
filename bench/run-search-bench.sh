#!/usr/bin/env bash
# Generates a program folder with 100,000 notes of about 5 KB of English and
# Chinese text (once, kept outside the repository in the temporary folder),
# then measures the full-text index on it.
#   bench/run-search-bench.sh [BUILD_FOLDER] [NOTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
notes=${2:-100000}
folder=${CLIPNEST_SEARCH_BENCH_FOLDER:-${TMPDIR:-/tmp}/clipnest-search-bench-$notes}

if [[ ! -e "$folder/seeded" ]]; then
    rm -rf "$folder"
    mkdir -p "$folder/data"
    cp "$build/program/notes.fdb" "$folder/"
fi
"$build/bench/search_bench" "$folder" "$notes"
