#!/usr/bin/env bash
# The whole test suite: native (ASan/UBSan), Windows-side under Wine (NT and 98 modes), end to end on
# the real Uninstall.exe under Wine and Xvfb, and a bounded fuzz run. Installs what it needs.
#   scripts/test.sh            everything
#   KVX_FUZZ_SECONDS=300 scripts/test.sh   a longer fuzz run (the list fuzzer gets half)
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
fuzz_seconds=${KVX_FUZZ_SECONDS:-30}
cd "$root"

"$root/scripts/install-deps.sh" || exit 1

# One booted prefix ($KVX_WINE_TEMPLATE, from common.sh) serves as the template of every
# throwaway prefix of this run.
echo "== building"
kvx_build native -DCMAKE_BUILD_TYPE=Debug || exit 1
kvx_build_win32 || exit 1
kvx_build posix -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-posix.cmake" -DCMAKE_BUILD_TYPE=Debug || exit 1
kvx_build fuzz -DKVX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DKVX_FUZZ_SECONDS="$fuzz_seconds" || exit 1
echo "Uninstall.exe: $(stat -c %s "$build/win32/src/Uninstall.exe") bytes"

passed=0; failed=0
run_tree() {  # name, ctest arguments...
  local name=$1; shift
  echo "== $name"
  (cd "$build/$name" && ctest --output-on-failure --timeout 900 "$@") 2>&1 | tee "$build/$name.test.log"
  # ctest's own summary: "NN% tests passed, F tests failed out of T"
  local summary f t
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$build/$name.test.log" | tail -1)
  if [ -z "$summary" ]; then
    echo "$name: no test summary"; failed=$((failed + 1)); return
  fi
  f=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  t=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
  passed=$((passed + t - f)); failed=$((failed + f))
}

run_tree native -j2
run_tree fuzz
# Each fuzzer's figures, under the name of its test.
awk '/^[0-9]+\/[0-9]+ Test: / { test = $3 }
     /stat::(number_of_executed_units|new_units_added)/ { print "fuzz: " test " " $0 }' \
  "$build/fuzz/Testing/Temporary/LastTest.log"
# One X display for all Wine runs; each build tree has its own throwaway prefix.
kvx_start_xvfb "$build/xvfb.log" || { echo "$passed passed, $((failed + 1)) failed"; exit 1; }
echo "X display $DISPLAY"
stop_all() {
  local reg
  for reg in $(find "$build" -maxdepth 4 -name system.reg -path '*/wine/*' -o -maxdepth 4 -name system.reg -path '*/e2e/*'); do
    WINEPREFIX=$(dirname "$reg") wineserver -k </dev/null >/dev/null 2>&1
  done
  kvx_stop_xvfb
}
trap stop_all EXIT
run_tree posix -j2
run_tree win32 -j2

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
