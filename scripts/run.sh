#!/usr/bin/env bash
# The program's main job in a throwaway Wine prefix under build/: builds Uninstall.exe, installs it
# into a fake installation folder with stand-in companions and its Uninstall.lst, runs a real setup
# ("/setup") and prints what it changed in the registry and the file system, then runs the removal
# and prints what of the archiver is left (expected vs unexpected). Installs what it needs.
# With a display ($DISPLAY set) the dialogs and boxes wait for you there; without one a virtual
# display is used, the driver answers them and screenshots land in build/run/.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 Uninstall kvxdrive e2e_target
echo "Uninstall.exe: $(stat -c %s "$build/win32/src/Uninstall.exe") bytes"

export KVX_UNINSTALL="$build/win32/src/Uninstall.exe"
export KVX_DRIVER="$build/win32/tools/driver/kvxdrive.exe"
mode=()
[ -n "${DISPLAY:-}" ] && mode=(--interactive)
rm -rf "$build/e2e/run"
exec python3 "$root/tools/demo_setup.py" --build "$build" --stub "$build/win32/tests/e2e/target.exe" "${mode[@]}"
