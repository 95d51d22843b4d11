#!/usr/bin/env bash
# The release package: installs what it needs, builds the shipped (win32) tree and writes
#   build/release/korvex-uninstall-<version>.zip   Uninstall.exe, the English language file, the
#                                                  translator's kit, README-admin.txt, SHA256SUMS
#   build/release/SHA256SUMS                       the zip's own sum
# The version is the one of project() in CMakeLists.txt (the build tree's version.txt); it is also
# in the program's version resource, which the packager checks. Entries carry the last commit's time
# (or SOURCE_DATE_EPOCH), so the same sources give the same zip.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 Uninstall
version=$(cat "$build/win32/version.txt")
date=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 946684800)}
rm -rf "$build/release"
python3 "$root/tools/release/make_release.py" --exe "$build/win32/src/Uninstall.exe" --version "$version" \
  --out "$build/release" --date "$date"
