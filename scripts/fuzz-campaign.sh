#!/usr/bin/env bash
# A long fuzz run over both targets, then the kept corpora grown by a minimising merge: the inputs
# that add coverage to tests/fuzz/corpus and tests/fuzz/list_corpus (their named seeds stay) go
# there, and nothing else does.
#   scripts/fuzz-campaign.sh [executions per fuzzer, default 5000000]
# Runs the two fuzzers side by side (one core each, at low priority) and prints, per fuzzer, the
# executions, the coverage (edges "cov" and features "ft") and the kept corpus size. Crashes land in
# build/fuzz-campaign/<name>-crash-*; the script exits 1 when there is any.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
runs=${1:-5000000}
out=$build/fuzz-campaign
cd "$root"

"$root/scripts/install-deps.sh" || exit 1
cmake -S "$root" -B "$build/fuzz" -G Ninja -DKVX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  >"$build/fuzz.configure.log" 2>&1 || { tail -30 "$build/fuzz.configure.log"; exit 1; }
ninja -C "$build/fuzz" >"$build/fuzz.build.log" 2>&1 || { tail -30 "$build/fuzz.build.log"; exit 1; }
rm -rf "$out" && mkdir -p "$out"

campaign() {  # name, kept corpus, dictionary
  local name=$1 kept=$root/tests/fuzz/$2 dict=$root/tests/fuzz/$3 work=$out/$1-work
  mkdir -p "$work" && cp "$kept"/* "$work"/
  nice -n 19 "$build/fuzz/tests/fuzz/${name}_fuzz" -runs="$runs" -print_final_stats=1 -dict="$dict" \
    -artifact_prefix="$out/$name-crash-" "$work" >"$out/$name.log" 2>&1
}
campaign language corpus language.dict & lang_pid=$!
campaign list list_corpus list.dict & list_pid=$!
wait $lang_pid; wait $list_pid

# Minimising merge into the kept corpus: an input of the working corpus is added only when it brings
# features the kept ones lack.
minimise() {  # name, kept corpus
  local name=$1 kept=$root/tests/fuzz/$2
  "$build/fuzz/tests/fuzz/${name}_fuzz" -merge=1 "$kept" "$out/$name-work" >"$out/$name.merge.log" 2>&1 || return 1
  grep 'MERGE-OUTER: .* new files' "$out/$name.merge.log"
}
minimise language corpus && minimise list list_corpus || { echo "merge failed: see $out/*.merge.log"; exit 1; }

for name in language list; do
  log=$out/$name.log
  execs=$(sed -nE 's/^stat::number_of_executed_units: ([0-9]+)/\1/p' "$log")
  line=$(grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$log" | tail -1)
  cov=$(echo "$line" | sed -nE 's/.*cov: ([0-9]+).*/\1/p')
  ft=$(echo "$line" | sed -nE 's/.*ft: ([0-9]+).*/\1/p')
  kept=$(ls "$root/tests/fuzz/$( [ "$name" = list ] && echo list_corpus || echo corpus )" | wc -l)
  echo "$name: $execs executions, cov $cov, ft $ft, kept corpus $kept files"
done
if ls "$out"/*-crash-* >/dev/null 2>&1; then
  echo "crashes:"; ls "$out"/*-crash-*; exit 1
fi
echo "no crashes"
