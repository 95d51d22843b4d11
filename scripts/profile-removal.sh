#!/usr/bin/env bash
# Where a silent removal's time goes: each run sets up an installation ("Uninstall.exe /setup /s" and
# a list of generated entries), then runs "Uninstall.exe /remove /s" under Wine with relay tracing of
# a few calls that mark the steps, until the folder is gone, and prints each step's median
# (bench/removal/profile_removal.py). Each removal starts with no desktop process, as a session's first program.
#   scripts/profile-removal.sh [runs] [entries] [Uninstall.exe]   (default 7, 2000, the win32 tree's program)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
runs=${1:-7}
entries=${2:-2000}
kvx_profile_program "${3:-}"
kvx_profile_prefix profile-removal
# Each marks a step; calls made by the thousand (DeleteFileA, the registry's) would triple the passes.
calls='ole32.OleInitialize;kernel32.CreateFileA;shell32.SHChangeNotify;kernel32.SetFileAttributesA'
calls+=';kernel32.RemoveDirectoryA;kernel32.CreateProcessA;kernel32.CreateProcessW;kernel32.ExitProcess'
calls+=';kernel32.OpenProcess;kernel32.WaitForSingleObject'
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$calls" /f </dev/null >/dev/null 2>&1

profile=$root/bench/removal/profile_removal.py
export PYTHONDONTWRITEBYTECODE=1
for i in $(seq 0 "$runs"); do
  python3 "$profile" prepare "$folder" "$entries"
  cp "$program" "$folder/Uninstall.exe"
  cp "$build/win32/tests/e2e/korvex_stub.exe" "$folder/Korvex.exe"
  (cd "$folder" && wine Uninstall.exe /setup /s </dev/null >/dev/null 2>&1)
  # The group's folder window: its current directory is the installation folder, which "rd" cannot remove.
  for pid in $(kvx_prefix_pids 'explorer.exe .*Korvex'); do kill "$pid"; done
  kvx_wait_desktop_gone
  python3 "$profile" run "$folder" "$work/trace$i.log"
done
rm -f "$work/trace0.log"   # a warm-up: the first run also made the prefix's folders
python3 "$profile" report "$work"/trace*.log
