#!/usr/bin/env bash
# install-program-folder.sh BUILT_PROGRAM_FOLDER TARGET_FOLDER
#
# Installs the program folder the build laid out into the folder users run it
# from. The executable and the shipped files are updated; the user's database,
# settings and everything under data/ are never replaced or deleted.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 BUILT_PROGRAM_FOLDER TARGET_FOLDER" >&2
    exit 2
fi
source_dir=$1
target_dir=$2

for shipped in clipnest notes.fdb en.ini cn.ini logo data/template.html; do
    if [[ ! -e "$source_dir/$shipped" ]]; then
        echo "install: $source_dir/$shipped is missing; build first" >&2
        exit 1
    fi
done

mkdir -p "$target_dir/data"

# Always updated: the program and its shipped texts and picture. Each file is
# copied beside its target and renamed over it, so a running copy keeps working.
for shipped in clipnest en.ini cn.ini logo; do
    cp -p "$source_dir/$shipped" "$target_dir/.$shipped.new"
    mv -f "$target_dir/.$shipped.new" "$target_dir/$shipped"
done

# Only where missing: the user's data.
if [[ ! -e "$target_dir/notes.fdb" ]]; then
    cp "$source_dir/notes.fdb" "$target_dir/.notes.fdb.new"
    mv "$target_dir/.notes.fdb.new" "$target_dir/notes.fdb"
fi
if [[ ! -e "$target_dir/data/template.html" ]]; then
    cp "$source_dir/data/template.html" "$target_dir/data/template.html"
fi

echo "Clipnest is installed in $target_dir"
