#!/usr/bin/env bash
# Fuzzes everything panelhost reads from a module file (fuzz/target.h) with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh            short session (CI): 12 s per target, 60 s in all
#   scripts/fuzz.sh 300        long session: 300 s per target
#   scripts/fuzz.sh 300 dib    only the named targets
#
# The seed corpus is cut from the built modules and fixtures (the `modules`
# target of BUILD_DIR, default build/, is built when missing) and the .bmp
# files of the tree; the corpus grows in FUZZ_BUILD_DIR/corpus (default
# build-fuzz/) from one session to the next. A crash, a hang (an input that
# runs longer than 10 s), a leak or a sanitizer report stops the target, and
# its input is written to FUZZ_BUILD_DIR/findings/; keep it as a regression
# case in fuzz/regressions/<target>/ once it is fixed (see fuzz/CMakeLists.txt).
# The random seed is FUZZ_SEED (default 1), so a session's inputs can be
# replayed; FUZZ_SEED=0 lets libFuzzer pick one.
# Exit 0 when every target ran clean.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-12}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(pe_image pe_resources pe_version dib painter)
build=${BUILD_DIR:-$root/build}
fuzz_build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

"$root/scripts/install-deps.sh" fuzz

# The fuzzers: a clang build of the parsers and nothing else.
CC=clang-19 CXX=clang++-19 cmake -S "$root" -B "$fuzz_build" -DFUZZING=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$fuzz_build" -j"$(nproc)" >/dev/null

# The seeds: the built modules and fixtures, the bitmaps of the tree, and the
# saved findings.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" --target modules -j"$(nproc)" >/dev/null
dist=$(sed -n 's/^DIST_DIR:PATH=//p' "$build/CMakeCache.txt")
seeds="$fuzz_build/seeds"
rm -rf "$seeds"
mapfile -t files < <(find "$dist" "$build/modules/fixtures" -maxdepth 2 \( -name '*.gau' -o -name '*.dll' \);
                     find "$root/gauges" "$root/tests/fixtures" -name '*.bmp')
"$fuzz_build/fuzz/fuzz_seeds" "$seeds" "${files[@]}" >/dev/null
for t in "${targets[@]}"; do
  mkdir -p "$seeds/$t" "$fuzz_build/corpus/$t" "$fuzz_build/findings"
  if [ -d "$root/fuzz/regressions/$t" ]; then
    find "$root/fuzz/regressions/$t" -name '*.bin' -exec cp {} "$seeds/$t/" \;
  fi
done

status=0
printf '%-13s %9s %11s %8s %8s %7s  %s\n' target seconds executions exec/s coverage corpus result
for t in "${targets[@]}"; do
  log="$fuzz_build/findings/$t.log"
  result=clean
  "$fuzz_build/fuzz/fuzz_$t" -max_total_time="$seconds" -seed="${FUZZ_SEED:-1}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$fuzz_build/findings/$t-" \
    "$fuzz_build/corpus/$t" "$seeds/$t" >"$log" 2>&1 || { result="FAILED: see $log"; status=1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(find "$fuzz_build/corpus/$t" -type f | wc -l)
  printf '%-13s %9s %11s %8s %8s %7s  %s\n' "$t" "$seconds" "${runs:-?}" "${rate:-?}" "${cov:-?}" \
    "$corpus" "$result"
  if [ "$result" != clean ]; then
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -5 >&2 || true
  fi
done
exit $status
