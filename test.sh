#!/usr/bin/env bash
# Installs what building, running and testing need, builds everything and runs
# the whole test suite headless.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/tools/setup.sh" test
export QT_QPA_PLATFORM=offscreen
cd "$root/build"
ctest --output-on-failure --timeout 600
