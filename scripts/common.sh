# Sourced by the scripts that build and run the program: the repository, the build folder, the
# shared Wine template, the shipped (win32) tree and a private X display.
root=$(cd "$(dirname "${BASH_SOURCE[1]}")/.." && pwd)
build=${KVX_BUILD:-$root/build}
export KVX_WINE_TEMPLATE=${KVX_WINE_TEMPLATE:-$build/wine-template}

# Configures and builds $build/NAME (after "--": the targets; none: all), logged in $build/NAME.*.log.
# Quiet when it works; on failure it prints the end of the log (compiler errors) and returns 1.
kvx_build() {  # name, cmake arguments... [-- targets...]
  local name=$1 args=() log; shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  mkdir -p "$build"
  log=$build/$name.configure.log
  cmake -S "$root" -B "$build/$name" -G Ninja "${args[@]}" >"$log" 2>&1 \
    || { tail -50 "$log" >&2; echo "configure failed: $log" >&2; return 1; }
  log=$build/$name.build.log
  ninja -C "$build/$name" "$@" >"$log" 2>&1 || { tail -50 "$log" >&2; echo "build failed: $log" >&2; return 1; }
}

# Installs what is missing, then builds the given targets of the shipped (win32) tree.
kvx_build_win32() {
  "$root/scripts/install-deps.sh" || return 1
  kvx_build win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-win32.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel -- "$@"
}

# Starts a private Xvfb (1024x768x24) on a display it picks itself (-displayfd writes the number
# once the server accepts clients), exports DISPLAY and sets kvx_xvfb_pid. Its output goes to $1
# (default /dev/null). Returns 1, with nothing left running, when no display came up in 30 s.
kvx_xvfb_pid=
kvx_start_xvfb() {  # [log] [screen, e.g. 1920x1200x24]
  local log=${1:-/dev/null} screen=${2:-1024x768x24} display_file
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -br -nolisten tcp 3>"$display_file" >"$log" 2>&1 &
  kvx_xvfb_pid=$!
  local _
  for _ in $(seq 300); do
    [ -s "$display_file" ] && break
    kill -0 "$kvx_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$display_file" ]; then
    kill "$kvx_xvfb_pid" 2>/dev/null || true
    kvx_xvfb_pid=
    rm -f "$display_file"
    echo "Xvfb did not start (log: $log)" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
  rm -f "$display_file"
}

kvx_stop_xvfb() {
  if [ -n "$kvx_xvfb_pid" ]; then kill "$kvx_xvfb_pid" 2>/dev/null || true; fi
  kvx_xvfb_pid=
}

# Pids of the processes of this prefix ($WINEPREFIX) whose command line matches $1.
kvx_prefix_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
  done
  return 0
}

# Waits (at most 5 s) until Wine's desktop process has gone, as it has before a session's first
# program; it ends about a second after the last program.
kvx_wait_desktop_gone() {
  local _
  for _ in $(seq 50); do
    [ -z "$(kvx_prefix_pids 'explorer.exe /desktop')" ] && return 0
    sleep 0.1
  done
}

# A profile's throwaway work folder $build/NAME with its own display and prefix, both ended when the
# script exits. Sets work, WINEPREFIX and folder (the installation folder, C:\Korvex).
kvx_profile_prefix() {  # NAME
  work=$build/$1
  rm -rf "$work" && mkdir -p "$work"
  kvx_start_xvfb "$work/xvfb.log" || return 1
  trap 'WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1 || true; kvx_stop_xvfb' EXIT
  . "$root/scripts/wine-env.sh"
  kvx_prefix_ready "$work/prefix"
  folder=$WINEPREFIX/drive_c/Korvex
}

# The program a profile runs: the given one, or the win32 tree's (built); the archiver's stand-in is
# built either way. Sets program.
kvx_profile_program() {  # [Uninstall.exe]
  if [ -n "${1:-}" ]; then
    kvx_build_win32 e2e_korvex_stub && program=$1
  else
    kvx_build_win32 Uninstall e2e_korvex_stub && program=$build/win32/src/Uninstall.exe
  fi
}
