#!/usr/bin/env bash
# The program's main job in a throwaway Wine prefix under build/run/: builds Uninstall.exe, installs
# it into a fake installation folder and runs it. Installs what it needs.
# With a display ($DISPLAY set) the windows appear there and wait for you; without one the run
# uses a virtual display, answers the windows itself and keeps screenshots in build/run/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KVX_BUILD:-$root/build}
"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-win32.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
ninja -C "$build/win32" Uninstall kvxdrive >/dev/null
exe="$build/win32/src/Uninstall.exe"
echo "Uninstall.exe: $(stat -c %s "$exe") bytes"

run=$build/run
rm -rf "$run/prefix" "$run/Korvex"
mkdir -p "$run/Korvex"
cp "$exe" "$run/Korvex/Uninstall.exe"
export KVX_WINE_TEMPLATE="$build/wine-template"

interactive=1
if [ -z "${DISPLAY:-}" ]; then
  interactive=0
  display_num=$(( 90 + RANDOM % 100 ))
  Xvfb ":$display_num" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display_num"
  trap 'WINEPREFIX="$run/prefix" wineserver -k >/dev/null 2>&1; kill $xvfb_pid' EXIT
  sleep 1
else
  trap 'WINEPREFIX="$run/prefix" wineserver -k >/dev/null 2>&1' EXIT
fi
wrun() { "$root/scripts/wine-run.sh" --prefix "$run/prefix" "$@"; }
echo "== preparing a fresh Wine prefix in $run/prefix"
wrun cmd /c rem

step() {  # title, options...
  local title=$1; shift
  local start end
  start=$(date +%s.%N)
  wrun "$run/Korvex/Uninstall.exe" "$@"
  local rc=$?
  end=$(date +%s.%N)
  printf '%-44s exit %s, %.2f s\n' "$title" "$rc" "$(awk "BEGIN{print $end - $start}")"
}

step "Uninstall.exe /s (silent, nothing to do)" /s
step "Uninstall.exe /wait (two-second pause)" /wait
step "Uninstall.exe /setup /s (silent setup)" /setup /s
if [ "$interactive" = 1 ]; then
  echo "Uninstall.exe /warning: answer the message box on your display"
  step "Uninstall.exe /warning" /warning
else
  wrun "$run/Korvex/Uninstall.exe" /warning &
  pid=$!
  xdotool search --sync --onlyvisible --name '^Rimuovi Korvex$' >/dev/null
  sleep 0.5
  import -window root "$run/warning.png"
  xdotool key --delay 50 Return
  wait $pid
  echo "Uninstall.exe /warning: screenshot in $run/warning.png, answered with OK"
fi
