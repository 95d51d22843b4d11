#!/usr/bin/env bash
# Runs the Windows-side test binary for one Windows version from a folder and a prefix of its own,
# both made anew: the tests write beside the binary (language files, templates, a fake installation)
# and into the prefix's registry, so a killed or failed run must leave nothing the next one sees.
#   run_in_own_folder.sh FOLDER PREFIX VERSION SECONDS BINARY [FILE...]
# FILEs (the test language libraries) are copied beside the binary; SECONDS bounds the whole run.
set -euo pipefail
folder=$1 prefix=$2 version=$3 seconds=$4 binary=$5
shift 5
rm -rf "$folder"
mkdir -p "$folder"
cp "$binary" "$@" "$folder/"
exec "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-run.sh" --prefix "$prefix" --version "$version" --fresh \
  --limit "$seconds" "$folder/$(basename "$binary")"
