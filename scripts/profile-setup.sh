#!/usr/bin/env bash
# Where a silent setup's time goes: runs "Uninstall.exe /setup /s" under Wine with relay tracing of
# a few calls that mark the steps, and prints each step's median (bench/setup/profile_steps.py).
# Between runs it waits until Wine's desktop process has gone, as it has before a first setup.
#   scripts/profile-setup.sh [runs] [Uninstall.exe]   (default 7, the win32 tree's program)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
runs=${1:-7}
kvx_profile_program "${2:-}"
kvx_profile_prefix profile-setup
mkdir -p "$folder"
cp "$program" "$folder/Uninstall.exe"
cp "$build/win32/tests/e2e/korvex_stub.exe" "$folder/Korvex.exe"
calls='kernel32.LoadLibraryA;user32.GetDesktopWindow;user32.DialogBoxParamA;user32.EndDialog;advapi32.RegCreateKeyExA;shell32.ShellExecuteA'
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$calls" /f </dev/null >/dev/null 2>&1

cd "$folder"
for i in $(seq 0 "$runs"); do
  kvx_wait_desktop_gone
  WINEDEBUG=+timestamp,+loaddll,+relay wine Uninstall.exe /setup /s </dev/null 2>"$work/trace$i.log" >/dev/null
  for pid in $(kvx_prefix_pids 'explorer.exe .*Korvex'); do kill "$pid"; done   # the group's folder window
done
rm -f "$work/trace0.log"   # the first run also made the prefix's folders
python3 "$root/bench/setup/profile_steps.py" "$work"/trace*.log
