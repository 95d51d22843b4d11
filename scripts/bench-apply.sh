#!/usr/bin/env bash
# Registry calls and wall time of ApplySetup (every flag set, every flag clear) under Wine, as
# Windows 7 and as Windows 98, in a throwaway prefix.   scripts/bench-apply.sh [rounds]
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 apply_bench
prefix="$build/bench/apply-prefix"
for version in win7 win98; do
  "$root/scripts/wine-run.sh" --prefix "$prefix" --version "$version" "$build/win32/bench/startup/apply_bench.exe" "${1:-5}"
done
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
