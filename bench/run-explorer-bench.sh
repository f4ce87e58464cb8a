#!/usr/bin/env bash
# Seeds a program folder with 10,000 nodes and 100,000 notes (once, kept in
# /tmp), then measures the explorer and the start-up on it.
#   bench/run-explorer-bench.sh [BUILD_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
folder=${CLIPNEST_BENCH_FOLDER:-/tmp/clipnest-bench-10k}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi

if [[ ! -e "$folder/seeded" ]]; then
    rm -rf "$folder"
    mkdir -p "$folder/data"
    cp "$build/program/notes.fdb" "$build/program/en.ini" "$build/program/cn.ini" "$build/program/logo" "$folder/"
    cp "$build/program/data/template.html" "$folder/data/"
    "$build/bench/seed_catalog" "$folder" 10000 100000
    touch "$folder/seeded"
fi
"$build/bench/explorer_bench" "$folder" 2>/dev/null
"$build/bench/bench_startup" "$folder" 5 2>/dev/null
