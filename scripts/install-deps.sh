#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# Usage: scripts/install-deps.sh [build|test|fuzz]   (test includes build; fuzz adds clang 19)
set -euo pipefail
what=${1:-build}
pkgs=(cmake make g++ g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libunicorn-dev
      libpng-dev nlohmann-json3-dev libcli11-dev libfmt-dev libfreetype-dev fonts-dejavu-core pkg-config)
case "$what" in
  build) ;;
  test)  pkgs+=(libgtest-dev libbenchmark-dev) ;;
  # clang 19: the first Debian clang whose C++23 mode has std::expected with
  # GCC 12's library (clang 14 to 16 lack it); its runtime has libFuzzer.
  fuzz)  pkgs+=(libgtest-dev libbenchmark-dev clang-19 libclang-rt-19-dev) ;;
  *) echo "usage: $0 [build|test|fuzz]" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}" >&2
sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
