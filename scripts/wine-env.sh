# Sourced by the Wine scripts: prefix creation, cloning and the persistent server.
# Everything lives under the folder that holds the prefix; the user's ~/.wine is never touched.
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export LANG=C.UTF-8 LC_ALL=C.UTF-8   # ANSI code page 1252 in Wine
# With wine64 installed, Wine makes every new prefix 64-bit unless told otherwise: the prefixes are
# 32-bit (plain Windows) unless KVX_WINEARCH=win64 asks for a 64-bit one (WOW64), which then gets its
# own template beside the 32-bit one. Wine refuses a WINEARCH that differs from an existing prefix's.
export WINEARCH=${KVX_WINEARCH:-win32}

# Boots a fresh prefix in $1 (about 20 s under emulation, 6 s natively).
kvx_boot_template() {
  local dir=$1
  rm -rf "$dir.tmp"; mkdir -p "$dir.tmp"
  WINEPREFIX="$dir.tmp" timeout 600 wineboot -i </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$dir.tmp" timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # A crash shows Wine's crash dialog, which would wait for someone to close it: a test fails instead.
  WINEPREFIX="$dir.tmp" timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  WINEPREFIX="$dir.tmp" timeout 120 wineserver -w </dev/null >/dev/null 2>&1 || true
  # Desktop, Documents and friends point into the Linux home: make them real folders.
  local u
  for u in "$dir.tmp"/drive_c/users/*/; do
    find "$u" -maxdepth 1 -type l -exec sh -c 'rm "$1" && mkdir "$1"' _ {} \;
  done
  [ -f "$dir.tmp/system.reg" ] || { echo "wine: prefix boot failed" >&2; return 1; }
  mv "$dir.tmp" "$dir"
}

# Makes sure $1 is a usable prefix with a running server for the current DISPLAY, and exports WINEPREFIX.
kvx_prefix_ready() {
  local prefix=$1 root template
  root=$(dirname "$prefix")
  template=${KVX_WINE_TEMPLATE:-$root/wine-template}
  [ "$WINEARCH" = win32 ] || template=$template-$WINEARCH
  mkdir -p "$root" "$(dirname "$template")"
  (
    flock 9
    # A template or prefix of the other architecture (made before WINEARCH was pinned, say) is remade.
    local d
    for d in "$template" "$prefix"; do
      if [ -f "$d/system.reg" ] && ! grep -q "^#arch=$WINEARCH\$" "$d/system.reg"; then
        kvx_prefix_stop "$d"
        rm -rf "$d"
      fi
    done
    # A template from before crash dialogs were turned off is made again.
    if [ -f "$template/user.reg" ] && ! grep -q '^"ShowCrashDialog"=dword:00000000' "$template/user.reg"; then
      rm -rf "$template"
    fi
    [ -d "$template" ] || kvx_boot_template "$template"
    if [ ! -d "$prefix" ]; then
      cp -al "$template" "$prefix.tmp"
      # Registry files are rewritten in place by wineserver: give the clone its own copies.
      local f
      for f in system.reg user.reg userdef.reg drive_c/windows/win.ini drive_c/windows/system.ini; do
        [ -f "$template/$f" ] && cp --remove-destination "$template/$f" "$prefix.tmp/$f"
      done
      mv "$prefix.tmp" "$prefix"
    fi
  ) 9>"$template.lock"
  export WINEPREFIX="$prefix"
  # A server started under another display would hand out the wrong one: restart it.
  if [ -f "$prefix/.display" ] && [ "$(cat "$prefix/.display")" != "${DISPLAY:-}" ]; then
    kvx_prefix_stop "$prefix"
  fi
  printf '%s' "${DISPLAY:-}" >"$prefix/.display"
  # Detached from our stdio: helper processes inherit the stdio of whoever starts them.
  wineserver -p600 </dev/null >/dev/null 2>&1 || true
  if [ ! -f "$prefix/.warm" ]; then
    timeout 300 wine cmd /c rem </dev/null >/dev/null 2>&1 || true
    touch "$prefix/.warm"
  fi
}

# Per-program Windows version (win98, winme, nt40, win7, ...), matched by file name.
kvx_set_version() {
  timeout 120 wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d "$2" /f </dev/null >/dev/null 2>&1
}

# Ends every process of prefix $1 and its server (bounded: a server that does not answer is left).
kvx_prefix_stop() {
  [ -d "$1" ] || return 0
  WINEPREFIX=$1 timeout 60 wineserver -k </dev/null >/dev/null 2>&1 || true
}
