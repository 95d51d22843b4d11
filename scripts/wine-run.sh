#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix of the build tree.
#   wine-run.sh --prefix DIR [--version win98|winme|nt40|win7|...] [--limit SECONDS] program.exe [args...]
# The prefix is cloned (hard links) from a template that is booted once per build folder; a persistent
# wineserver keeps later runs cheap. Wine's own chatter is silenced; the program's output and exit code pass through.
# The program gets at most --limit seconds (exit code 124 then). When the limit runs out, or this
# script gets SIGTERM, SIGINT or SIGHUP, every process of the prefix is ended with its server:
# a test runner's time-out ends only the script it started, and the Wine processes would go on.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"

prefix=""; version=""; limit=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$prefix" ] || { echo "wine-run: --prefix missing" >&2; exit 2; }
[ $# -ge 1 ] || { echo "wine-run: program missing" >&2; exit 2; }

kvx_prefix_ready "$prefix"
if [ -n "$version" ]; then
  kvx_set_version "$(basename "$1")" "$version"
fi

child=""; timer=""
end_all() {  # message, exit code
  trap '' TERM INT HUP
  echo "wine-run: $1: ending every process of $prefix" >&2
  [ -z "$timer" ] || kill "$timer" 2>/dev/null || true
  [ -z "$child" ] || kill -KILL "$child" 2>/dev/null || true
  kvx_prefix_stop "$prefix"
  exit "$2"
}
trap 'end_all "stopped (SIGTERM)" 143' TERM
trap 'end_all "interrupted" 130' INT
trap 'end_all "hung up" 129' HUP

wine "$@" </dev/null &
child=$!
if [ -n "$limit" ]; then
  # The timer holds none of the caller's pipes: a runner reading our output must not wait for it.
  sleep "$limit" </dev/null >/dev/null 2>&1 &
  timer=$!
fi
set +e
finished=""
while [ -z "$finished" ]; do
  # A trapped signal ends the wait early (status above 128) and its handler exits.
  wait -n -p finished "$child" ${timer:+"$timer"}
  rc=$?
  [ "$rc" != 127 ] || [ -n "$finished" ] || finished=$child  # nothing left to wait for
done
set -e
if [ -n "$timer" ] && [ "$finished" = "$timer" ]; then
  timer=""
  end_all "no end after $limit s" 124
fi
[ -z "$timer" ] || kill "$timer" 2>/dev/null || true
exit "$rc"
