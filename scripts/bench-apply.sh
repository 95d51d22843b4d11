#!/usr/bin/env bash
# Registry calls and wall time of ApplySetup (every flag set, every flag clear) under Wine, as
# Windows 7 and as Windows 98, in a throwaway prefix.   scripts/bench-apply.sh [rounds]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KVX_BUILD:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-win32.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
ninja -C "$build/win32" apply_bench >/dev/null
export KVX_WINE_TEMPLATE="$build/wine-template"
prefix="$build/bench/apply-prefix"
for version in win7 win98; do
  "$root/scripts/wine-run.sh" --prefix "$prefix" --version "$version" "$build/win32/bench/startup/apply_bench.exe" "${1:-5}"
done
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
