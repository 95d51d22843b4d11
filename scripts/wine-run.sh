#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix of the build tree.
#   wine-run.sh --prefix DIR [--version win98|winme|nt40|win7|...] program.exe [args...]
# The prefix is cloned (hard links) from a template that is booted once per build folder; a persistent
# wineserver keeps later runs cheap. Wine's own chatter is silenced; the program's output and exit code
# pass through.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"

prefix=""; version=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$prefix" ] || { echo "wine-run: --prefix missing" >&2; exit 2; }
[ $# -ge 1 ] || { echo "wine-run: program missing" >&2; exit 2; }

kvx_prefix_ready "$prefix"
if [ -n "$version" ]; then
  kvx_set_version "$(basename "$1")" "$version"
fi
exec wine "$@" </dev/null
