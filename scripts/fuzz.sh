#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (AddressSanitizer) into ./build-fuzz (or
# $FUZZ_BUILD_DIR) and runs each on its committed seed corpus for a bounded time: a
# regression check, not a fuzzing campaign. FUZZ_SECONDS (default 60) is the whole budget,
# shared by the targets. New inputs go to a temporary folder, never into the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
budget=${FUZZ_SECONDS:-60}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DNORVANE_FUZZ=ON -DNORVANE_BENCH=OFF
mapfile -t names < <(cd "$root/fuzz" && ls -1 *.cpp | sed 's/\.cpp$//')
targets=()
for name in "${names[@]}"; do targets+=("fuzz_$name"); done
cmake --build "$build" -j4 --target "${targets[@]}"
seconds=$((budget / ${#names[@]}))
((seconds > 0)) || seconds=1
for name in "${names[@]}"; do
  found=$(mktemp -d)
  trap 'rm -rf "$found"' EXIT
  echo "== fuzz_$name for ${seconds}s"
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz/$name-" "$found" "$root/fuzz/corpus/$name"
  rm -rf "$found"
done
