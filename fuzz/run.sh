#!/usr/bin/env bash
# Runs the fuzz targets of a libFuzzer build, one after another at the lowest
# priority, each for a given number of executions, and prints one line per
# target: executions, time, rate, coverage (edges, features), corpus size and
# findings.  -t bounds each target's time as well (whichever ends first).
# -c makes RUNS a total across runs: each target's executions are added up in
# BUILD/fuzz-work/<target>.executions, a run only makes up the rest, and a
# target that has reached the total is skipped.
#
#   cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang \
#         -DCMAKE_CXX_COMPILER=clang++ -DLUMETRA_FUZZ=ON -DLUMETRA_BUILD_TESTS=OFF
#   ninja -C build/fuzz $(cd fuzz && ls *_fuzzer.cpp | sed 's/\.cpp$//')
#   fuzz/run.sh -n 10000000 build/fuzz                 # every target
#   fuzz/run.sh -n 100000 build/fuzz object_file tab   # some
#   fuzz/run.sh -t 240 build/fuzz                      # 4 minutes each
#   fuzz/run.sh -c -n 10000000 -t 3600 build/fuzz      # toward 10 M in all, an hour at most
#
# Each target fuzzes BUILD/fuzz-work/<target>/corpus, which starts as a copy
# of fuzz/corpus/<target> and keeps growing across runs; findings (crash-*,
# leak-*, timeout-*, oom-*) land in BUILD/fuzz-work/<target>/artifacts and the
# engine's output in BUILD/fuzz-work/<target>.log.  A finding is fixed in the
# library, minimised (-minimize_crash=1) and kept in fuzz/regressions/<target>/,
# which ctest replays.
#
# ASan's quarantine (freed memory held back to catch late uses) is 64 MB
# instead of 256: an execution of a whole-file target allocates about 2 MB,
# so the quarantine still holds what the last 30 or so executions freed, and
# those targets run 1.4-1.7 times faster (less memory given back to the
# system and faulted in again).
set -euo pipefail
runs=10000000
seconds_each=0
cumulative=0
usage="usage: fuzz/run.sh [-c] [-n RUNS] [-t SECONDS] BUILD_DIR [TARGET...]"
while getopts "cn:t:" opt; do
  case $opt in
    c) cumulative=1 ;;
    n) runs=$OPTARG ;;
    t) seconds_each=$OPTARG ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
fuzz_dir=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?$usage}" && pwd)
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$fuzz_dir"/*_fuzzer.cpp; do
    name=$(basename "$f" _fuzzer.cpp)
    [ -x "$build/fuzz/${name}_fuzzer" ] && targets+=("$name")
  done
fi

# Longest input per target: whole object files need room for two R-tree
# pages of 32768 bytes and an attribute file; the rest stay small and fast.
max_len() {
  case $1 in
    object_file) echo 131072 ;;
    rtree_node) echo 70000 ;;
    datalib) echo 32768 ;;
    zip4 | tab) echo 16384 ;;
    *) echo 8192 ;;
  esac
}

printf "%-16s %12s %9s %9s %8s %8s %7s %s\n" target executions seconds exec/s cov ft corpus findings
for name in "${targets[@]}"; do
  work="$build/fuzz-work/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  done_before=0
  if [ $cumulative -eq 1 ] && [ -f "$work.executions" ]; then done_before=$(cat "$work.executions"); fi
  left=$(( runs - done_before ))
  if [ $left -le 0 ]; then
    printf "%-16s %12s (total %s, reached)\n" "$name" 0 "$done_before"
    continue
  fi
  if [ -d "$fuzz_dir/corpus/$name" ]; then cp -n "$fuzz_dir/corpus/$name"/* "$work/corpus/" 2>/dev/null || true; fi
  dict=()
  if [ -f "$fuzz_dir/dict/$name.dict" ]; then dict=(-dict="$fuzz_dir/dict/$name.dict"); fi
  start=$(date +%s)
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=64 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice -n 19 "$build/fuzz/${name}_fuzzer" -runs="$left" -max_total_time="$seconds_each" -max_len="$(max_len "$name")" \
      -timeout=20 -rss_limit_mb=2560 -malloc_limit_mb=1024 -close_fd_mask=3 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/" "${dict[@]}" \
      "$work/corpus" > "$work.log" 2>&1 || true
  seconds=$(( $(date +%s) - start ))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log" | tail -1)
  final=$(grep -E '^#[0-9]+' "$work.log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<< "$final")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<< "$final")
  corpus=$(find "$work/corpus" -type f | wc -l)
  findings=$(find "$work/artifacts" -type f ! -name 'slow-unit-*' | wc -l)
  rate=$(( ${executions:-0} / (seconds > 0 ? seconds : 1) ))
  total=""
  if [ $cumulative -eq 1 ]; then
    echo $(( done_before + ${executions:-0} )) > "$work.executions"
    total=" (total $(cat "$work.executions"))"
  fi
  printf "%-16s %12s %9s %9s %8s %8s %7s %s%s\n" "$name" "${executions:-?}" "$seconds" "$rate" \
    "${cov:-?}" "${ft:-?}" "$corpus" "$findings" "$total"
done
