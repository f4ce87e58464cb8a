#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, apart from the main (g++) build,
# and optionally runs one: the capture core's, and the restore's checks of an
# archive and of stored paths.
#   fuzz/build.sh                         build fuzz/out/fuzz_capture, fuzz_restore and fuzz_pagelook
#   fuzz/build.sh run [SECONDS]           build, then fuzz the capture core from a copy of fuzz/corpus (default 60 s)
#   fuzz/build.sh run-restore [SECONDS]   build, then fuzz the restore from a copy of fuzz/restore-corpus
#   fuzz/build.sh run-pagelook [SECONDS]  build, then fuzz reading a page's look from fuzz/pagelook-corpus
#   fuzz/build.sh run-enml [SECONDS]      build, then fuzz the ENML converter from fuzz/enml-corpus
#   fuzz/build.sh run-zim [SECONDS]       build, then fuzz the Zim wiki converter from fuzz/zim-corpus
#   fuzz/build.sh run-markdown [SECONDS]  build, then fuzz the Markdown converter from fuzz/markdown-corpus
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
core=$here/../src/capture
out=$here/out
mkdir -p "$out"

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" $(pkg-config --cflags libxml-2.0) \
    "$here/fuzz_capture.cpp" \
    "$core/addressresolver.cpp" "$core/capturetext.cpp" "$core/clipparser.cpp" "$core/cssurls.cpp" \
    "$core/fragmentlocaliser.cpp" \
    "$core/htmltags.cpp" "$core/htmltext.cpp" "$core/noterelativiser.cpp" "$core/pictureaddress.cpp" \
    "$core/picturechoice.cpp" "$core/picturefetcher.cpp" "$core/picturestore.cpp" \
    -lcurl $(pkg-config --libs libxml-2.0) -o "$out/fuzz_capture"

src=$here/../src
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src/export" -I"$src/store" -I"$src/shell" $(pkg-config --cflags Qt6Core libarchive zlib) \
    "$here/fuzz_restore.cpp" "$src/export/restorecheck.cpp" "$src/export/archiveformat.cpp" \
    "$src/store/storedpath.cpp" \
    $(pkg-config --libs Qt6Core libarchive zlib) -o "$out/fuzz_restore"

look=$src/pagestyle
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" -I"$look" $(pkg-config --cflags libxml-2.0) \
    "$here/fuzz_pagelook.cpp" "$look/sheettext.cpp" "$look/pagelook.cpp" "$look/pagefetch.cpp" \
    "$core/addressresolver.cpp" "$core/picturefetcher.cpp" "$core/pictureaddress.cpp" "$core/htmltext.cpp" \
    "$core/capturetext.cpp" \
    $(pkg-config --libs libxml-2.0) -lcurl -o "$out/fuzz_pagelook"

enml=$src/import
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" -I"$enml" $(pkg-config --cflags libxml-2.0) \
    "$here/fuzz_enml.cpp" "$enml/enmlconverter.cpp" "$core/htmltags.cpp" "$core/htmltext.cpp" "$core/capturetext.cpp" \
    $(pkg-config --libs libxml-2.0) -o "$out/fuzz_enml"

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" -I"$enml" $(pkg-config --cflags libxml-2.0) \
    "$here/fuzz_zim.cpp" "$enml/zimconverter.cpp" "$enml/enmlconverter.cpp" "$core/htmltags.cpp" \
    "$core/htmltext.cpp" "$core/capturetext.cpp" \
    $(pkg-config --libs libxml-2.0) -o "$out/fuzz_zim"

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$core" -I"$enml" $(pkg-config --cflags libxml-2.0 libcmark-gfm) \
    "$here/fuzz_markdown.cpp" "$enml/markdownconverter.cpp" "$core/htmltags.cpp" "$core/htmltext.cpp" \
    "$core/capturetext.cpp" \
    $(pkg-config --libs libxml-2.0 libcmark-gfm) -o "$out/fuzz_markdown"

if [[ ${1:-} == run-markdown ]]; then
    mkdir -p "$out/markdown-corpus"
    cp -n "$here"/markdown-corpus/* "$out/markdown-corpus/"
    "$out/fuzz_markdown" "$out/markdown-corpus" -max_len=4096 -timeout=10 -rss_limit_mb=4096 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi

if [[ ${1:-} == run-zim ]]; then
    mkdir -p "$out/zim-corpus"
    cp -n "$here"/zim-corpus/* "$out/zim-corpus/"
    "$out/fuzz_zim" "$out/zim-corpus" -max_len=4096 -timeout=10 -rss_limit_mb=4096 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi

if [[ ${1:-} == run-enml ]]; then
    mkdir -p "$out/enml-corpus"
    cp -n "$here"/enml-corpus/* "$out/enml-corpus/"
    "$out/fuzz_enml" "$out/enml-corpus" -dict="$here/enml.dict" -max_len=4096 -timeout=10 -rss_limit_mb=4096 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi

if [[ ${1:-} == run-pagelook ]]; then
    mkdir -p "$out/pagelook-corpus"
    cp -n "$here"/pagelook-corpus/* "$out/pagelook-corpus/"
    "$out/fuzz_pagelook" "$out/pagelook-corpus" -max_len=8192 -timeout=10 -rss_limit_mb=4096 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi

if [[ ${1:-} == run-restore ]]; then
    mkdir -p "$out/restore-corpus"
    cp -n "$here"/restore-corpus/* "$out/restore-corpus/"
    "$out/fuzz_restore" "$out/restore-corpus" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi

if [[ ${1:-} == run ]]; then
    mkdir -p "$out/corpus"
    cp -n "$here"/corpus/* "$out/corpus/"
    "$out/fuzz_capture" "$out/corpus" -dict="$here/capture.dict" -max_len=4096 -timeout=10 \
        -max_total_time="${2:-60}" -print_final_stats=1
fi
