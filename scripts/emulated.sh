#!/usr/bin/env bash
# Runs a command as on a machine whose kernel cannot run i386 code: Wine's 32-bit programs go through
# qemu's user-mode emulator, registered in the binfmt_misc of a private user namespace (the machine's
# own registrations stay as they are; needs Linux 6.7 or later). Builds and prefixes go to
# build-emulated/ (KVX_BUILD unless set): a Wine server started inside the namespace cannot reach
# processes outside it, so no prefix, and no server, is shared with native runs.
#   scripts/emulated.sh scripts/test.sh
#   scripts/emulated.sh scripts/run.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "${1:-}" != --inside ]; then
  [ $# -gt 0 ] || { echo "usage: $0 command [args...]" >&2; exit 2; }
  # Everything is installed out here: apt cannot work inside the namespace.
  "$root/scripts/install-deps.sh"
  "$root/scripts/install-deps.sh" --qemu
  export KVX_BUILD=${KVX_BUILD:-$root/build-emulated}
  exec unshare --user --map-root-user --mount "$0" --inside "$@"
fi
shift
"$root/scripts/install-deps.sh" --register-qemu
/lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "emulated: i386 code does not run under qemu" >&2; exit 1; }
echo "emulated: i386 code runs under $(qemu-i386-static --version | head -1)" >&2
status=0
"$@" || status=$?
# The Wine servers started in here would be of no use outside: end them (and their prefixes'
# processes), but no server of another namespace.
own=$(readlink /proc/self/ns/user)
for pid in $(pgrep -x wineserver64; pgrep -x wineserver); do
  [ "$(readlink "/proc/$pid/ns/user" 2>/dev/null)" = "$own" ] || continue
  prefix=$( (tr '\0' '\n' <"/proc/$pid/environ") 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
  [ -n "$prefix" ] && WINEPREFIX=$prefix timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
done
exit "$status"
