#!/usr/bin/env bash
# Builds the capture core's libFuzzer target with clang, apart from the main
# (g++) build, and optionally runs it.
#   fuzz/build.sh                 build fuzz/out/fuzz_capture
#   fuzz/build.sh run [SECONDS]   build, then fuzz from a copy of fuzz/corpus (default 60 s)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
core=$here/../src/capture
out=$here/out
mkdir -p "$out"

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" \
    "$here/fuzz_capture.cpp" \
    "$core/addressresolver.cpp" "$core/capturetext.cpp" "$core/clipparser.cpp" "$core/fragmentlocaliser.cpp" \
    "$core/htmltags.cpp" "$core/htmltext.cpp" "$core/noterelativiser.cpp" "$core/pictureaddress.cpp" \
    "$core/picturechoice.cpp" "$core/picturefetcher.cpp" \
    -lcurl -o "$out/fuzz_capture"

if [[ ${1:-} == run ]]; then
    mkdir -p "$out/corpus"
    cp -n "$here"/corpus/* "$out/corpus/"
    "$out/fuzz_capture" "$out/corpus" -dict="$here/capture.dict" -max_len=4096 -timeout=10 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi
