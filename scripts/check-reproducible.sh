#!/usr/bin/env bash
# Proves the deliverables are reproducible: two clean builds of the gauge
# modules, from source trees at two different paths into build folders at two
# different paths, must give byte-identical .gau files.
# Only the cross build of the modules (the superbuild's `modules` target) is
# built, not the native tree.
# Usage: scripts/check-reproducible.sh      (KEEP=1 keeps the scratch folders)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build

scratch=$(mktemp -d "${TMPDIR:-/tmp}/repro.XXXXXX")
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$scratch"' EXIT

# The second build gets a copy of the sources (tracked files and new files
# that are not ignored) at another path and depth, so that neither a build
# path nor a source path can hide in the output.
copy="$scratch/other/source tree copy"
mkdir -p "$copy"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
   while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
   tar --null -T - -cf -) |
  tar -xf - -C "$copy"

build() {   # build <source> <build folder>
  local src=$1 dir=$2
  cmake -S "$src" -B "$dir" -DDIST_DIR="$dir/dist" -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; exit 1; }
  cmake --build "$dir" --target modules -j"$(nproc)" >"$dir.build.log" 2>&1 ||
    { tail -40 "$dir.build.log" >&2; exit 1; }
}
mkdir -p "$scratch/a" "$scratch/other/b/nested"
build "$root" "$scratch/a/build"
build "$copy" "$scratch/other/b/nested/build-two"

first="$scratch/a/build/dist"
second="$scratch/other/b/nested/build-two/dist"
mapfile -t modules < <(cd "$first" && ls -1 ./*.gau 2>/dev/null | sed 's|^\./||')
if [ ${#modules[@]} -eq 0 ]; then
  echo "check-reproducible: the build made no .gau file" >&2
  exit 1
fi
status=0
for m in "${modules[@]}"; do
  if [ ! -f "$second/$m" ]; then
    echo "check-reproducible: $m: missing from the second build" >&2
    status=1
  elif cmp -s "$first/$m" "$second/$m"; then
    echo "identical  $(sha256sum "$first/$m" | cut -c1-16)  $(stat -c %s "$first/$m") bytes  $m"
  else
    echo "check-reproducible: $m differs: $(cmp "$first/$m" "$second/$m" 2>&1 | head -1)" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "check-reproducible: ${#modules[@]} modules byte-identical across two clean builds"
exit $status
