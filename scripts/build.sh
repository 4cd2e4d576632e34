#!/usr/bin/env bash
# Builds the three gauge modules, panelhost and the previews into dist/.
# Installs the Debian packages it needs when they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" build
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
echo "built: $(ls "$root/dist" | tr '\n' ' ')"
