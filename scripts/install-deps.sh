#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (run as root or with sudo available).
# The release signs with osslsigncode; its test uses a SoftHSM token through the pkcs11 engine.
# Idempotent: a second run only checks.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

PACKAGES="cmake ninja-build g++ g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb xdotool x11-apps imagemagick \
googletest libgtest-dev clang libclang-rt-14-dev python3 python3-pefile file \
osslsigncode softhsm2 libengine-pkcs11-openssl"

missing=""
[ "${1:-}" = --register-qemu ] && PACKAGES=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "install-deps: installing$missing"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
fi

# Some kernels (virtual machines without 32-bit user mode) refuse to execute i386 ELF files, which is
# what Wine's 32-bit loader is. There we run i386 Linux code through qemu's user-mode emulator,
# registered with binfmt_misc. qemu 7.2 mishandles MAP_FIXED_NOREPLACE and Wine then fails to map
# its shared user data, so the emulator comes from bookworm-backports (qemu 10).
install_qemu() {
  if ! /usr/bin/qemu-i386-static --version 2>/dev/null | grep -q -E 'version (8\.[1-9]|9|1[0-9])'; then
    echo "install-deps: installing qemu user emulation"
    if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/; then
      echo 'deb http://deb.debian.org/debian bookworm-backports main' | $SUDO tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq -t bookworm-backports qemu-user-static >/dev/null
  fi
}
register_qemu() {
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  # The 'F' flag opens the interpreter now, so re-register after the emulator changed.
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo -1 | $SUDO tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
  fi
  printf '%s' ':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:OCF' \
    | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
}
runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
case "${1:-}" in
  --qemu) install_qemu ;;          # the emulator only, not registered (scripts/emulated.sh)
  --register-qemu) register_qemu ;; # in the binfmt_misc mounted now (scripts/emulated.sh's namespace)
  *)
    if ! runs_i386; then
      echo "install-deps: this kernel cannot run i386 code"
      install_qemu
      register_qemu
      runs_i386 || { echo "install-deps: i386 code still cannot run" >&2; exit 1; }
    fi ;;
esac
