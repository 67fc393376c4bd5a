#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs ctest offscreen.
# CTEST_ARGS adds ctest options (for example "-LE soak" or "-L soak").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh" "$@"
export QT_QPA_PLATFORM=offscreen
cd "$build"
# shellcheck disable=SC2086
ctest --output-on-failure -j"$(nproc)" --timeout 300 ${CTEST_ARGS:-}
