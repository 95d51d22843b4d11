#!/usr/bin/env bash
# Regenerates docs/screenshots/: the setup and completion dialogs with built-in texts, an English
# language file, a scaled one, a right-to-left one, one both right to left and scaled, and an
# English language library.
# Builds build/win32 first. Uses a private Xvfb (1024x768x24) so the pictures do not depend on your
# desktop; KVX_SCREENSHOT_DISPLAY=:N uses that display instead. Extra arguments go to
# tests/e2e/screenshots.py (--own-language-file, --keep-full, --out DIR).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 Uninstall kvxdrive kvxlng_english

export KVX_DRIVER=$build/win32/tools/driver/kvxdrive.exe
export KVX_UNINSTALL=$build/win32/src/Uninstall.exe
export KVX_LANGLIB_ENGLISH=$build/win32/tests/e2e/kvxlng_english.dll
export KVX_E2E_BUILD=$build/win32
export PYTHONDONTWRITEBYTECODE=1
for f in "$KVX_DRIVER" "$KVX_UNINSTALL" "$KVX_LANGLIB_ENGLISH"; do
  [ -f "$f" ] || { echo "screenshots: $f was not built" >&2; exit 1; }
done

xvfb_pid=
cleanup() { if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi; rm -f "${display_file:-}"; }
trap cleanup EXIT
if [ -n "${KVX_SCREENSHOT_DISPLAY:-}" ]; then
  export DISPLAY=$KVX_SCREENSHOT_DISPLAY
else
  # Xvfb picks a free display and writes its number to fd 3.
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
fi
echo "screenshots: display $DISPLAY"

python3 "$root/tests/e2e/screenshots.py" "$@"
