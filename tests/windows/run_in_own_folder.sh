#!/usr/bin/env bash
# Runs the Windows-side test binary for one Windows version from a folder and a prefix of its own,
# both made anew: the tests write beside the binary (language files, templates, a fake installation)
# and into the prefix's registry, so a killed or failed run must leave nothing the next one sees.
#   run_in_own_folder.sh FOLDER PREFIX VERSION SECONDS BINARY [FILE...]
# FILEs (the test language libraries) are copied beside the binary; SECONDS bounds the whole run.
set -euo pipefail
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
# shellcheck source=../../scripts/wine-env.sh
. "$scripts/wine-env.sh"
folder=$1 prefix=$2 version=$3 seconds=$4 binary=$5
shift 5
rm -rf "$folder"
mkdir -p "$folder"
cp "$binary" "$@" "$folder/"
kvx_prefix_stop "$prefix"
rm -rf "$prefix"
kvx_prefix_ready "$prefix"
# Without the menu builder's file a link save or an association change starts no process at all.
# Disabled, it is still started and ends at once: under emulation that start is most of the time
# of every setup the round trips make, and each start waits without bound for the child.
rm -f "$prefix/drive_c/windows/system32/winemenubuilder.exe"
exec "$scripts/wine-run.sh" --prefix "$prefix" --version "$version" --limit "$seconds" "$folder/$(basename "$binary")"
