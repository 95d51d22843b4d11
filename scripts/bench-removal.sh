#!/usr/bin/env bash
# The removal's cost under Wine: "Uninstall.exe /remove /s" of a generated installation against
# the cheapest Win32 deletion of the same tree (bench/removal/removal_bench.py tells the rows).
#   scripts/bench-removal.sh [--entries N] [--depth D] [--runs R]   (default 20000, 6, 3)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 Uninstall kvxdrive bench_delete_list
export KVX_UNINSTALL=$build/win32/src/Uninstall.exe
export KVX_DRIVER=$build/win32/tools/driver/kvxdrive.exe
export KVX_DELETE_LIST=$build/win32/bench/removal/bench_delete_list.exe
export PYTHONDONTWRITEBYTECODE=1
exec python3 "$root/bench/removal/removal_bench.py" "$build" "$@"
