#!/usr/bin/env bash
# Regenerates docs/screenshots/: the setup and completion dialogs with built-in texts, an English
# language file, a scaled one, a right-to-left one, one both right to left and scaled, and an
# English language library; the removal's confirmation box and its box for a missing file list,
# built-in and in English.
# Builds build/win32 first. Uses a private Xvfb (1920x1200x24) so the pictures do not depend on your
# desktop; KVX_SCREENSHOT_DISPLAY=:N uses that display instead. Extra arguments go to
# tools/screenshots.py (--own-language-file, --keep-full, --out DIR).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 Uninstall kvxdrive kvxlng_english e2e_kvxtext

export KVX_DRIVER=$build/win32/tools/driver/kvxdrive.exe
export KVX_UNINSTALL=$build/win32/src/Uninstall.exe
export KVX_LANGLIB_ENGLISH=$build/win32/tests/e2e/kvxlng_english.dll
export KVX_E2E_KVXTEXT=$build/win32/tests/e2e/kvxtext
export KVX_E2E_BUILD=$build/win32
export PYTHONDONTWRITEBYTECODE=1
for f in "$KVX_DRIVER" "$KVX_UNINSTALL" "$KVX_LANGLIB_ENGLISH" "$KVX_E2E_KVXTEXT"; do
  [ -f "$f" ] || { echo "screenshots: $f was not built" >&2; exit 1; }
done

trap kvx_stop_xvfb EXIT
if [ -n "${KVX_SCREENSHOT_DISPLAY:-}" ]; then
  export DISPLAY=$KVX_SCREENSHOT_DISPLAY
else
  # Room for the dialogs at 144 DPI, scaled by a translation, as on the screens that use such a DPI.
  kvx_start_xvfb /dev/null 1920x1200x24
fi
echo "screenshots: display $DISPLAY"

python3 "$root/tools/screenshots.py" "$@"
