#!/usr/bin/env bash
# Builds everything with the tests and runs them all, with a reproducibility
# check of the modules and a short fuzzing session.
# Installs the Debian packages it needs when they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" fuzz
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
"$root/scripts/check-reproducible.sh"     # two clean module builds, identical bytes
BUILD_DIR="$build" "$root/scripts/fuzz.sh"  # short fuzzing session, 60 s
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
