#!/usr/bin/env bash
# Start-up cost of "Uninstall.exe /s" under Wine against two reference programs, in one prefix with a
# warm wineserver: (a) a program that only returns, (b) one that does only the start-up work
# (OleInitialize, riched32.dll, the icon, the font). Prints medians and ratios.
#   scripts/bench-startup.sh [runs]   (default 15)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
runs=${1:-15}
kvx_build_win32 Uninstall bench_bare bench_startup_only kvxdrive
prefix="$build/bench/prefix"
"$root/scripts/wine-run.sh" --prefix "$prefix" cmd /c rem
# Time Wine itself, not the runner script around it.
. "$root/scripts/wine-env.sh"
export WINEPREFIX=$prefix

median_of() {  # program, args...: median wall time of $runs runs, in ms
  local i start end times=()
  for i in 0 1 2; do wine "$@" </dev/null >/dev/null; done  # warm-up
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    wine "$@" </dev/null >/dev/null
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

a=$(median_of "$build/win32/bench/startup/bench_bare.exe")
b=$(median_of "$build/win32/bench/startup/bench_startup_only.exe")
u=$(median_of "$build/win32/src/Uninstall.exe" /s)
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
echo "median of $runs runs under Wine (warm wineserver), same prefix:"
echo "  (a) bare program:         $a ms"
echo "  (b) start-up only:        $b ms   (b)/(a) = $(awk "BEGIN{printf \"%.2f\", $b/$a}")"
echo "  Uninstall.exe /s:         $u ms   /(a) = $(awk "BEGIN{printf \"%.2f\", $u/$a}")   /(b) = $(awk "BEGIN{printf \"%.2f\", $u/$b}")"
echo "Uninstall.exe size: $(stat -c %s "$build/win32/src/Uninstall.exe") bytes"

# The setup flow against the start-up-only program, timed by the driver inside Wine.
KVX_UNINSTALL="$build/win32/src/Uninstall.exe" KVX_STARTUP_ONLY="$build/win32/bench/startup/bench_startup_only.exe" \
  KVX_DRIVER="$build/win32/tools/driver/kvxdrive.exe" python3 "$root/bench/startup/bench_setup.py" "$build" "$runs"
