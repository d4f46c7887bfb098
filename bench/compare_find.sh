#!/usr/bin/env bash
# Times adding the benchmark trees to the compilation against `find DIR -printf`,
# the floor for listing them, from a warm page cache.
#   bench/compare_find.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build=${1:-build}
export TAVRIN_BENCH_DIR=${TAVRIN_BENCH_DIR:-${TMPDIR:-/tmp}/tavrin-bench}
bench="$build/tavrin_compilation_bench"
[ -x "$bench" ] || { echo "no $bench: build the target tavrin_compilation_bench" >&2; exit 1; }

# The first run makes the trees (once) and warms the page cache.
"$bench" --benchmark_filter='BM_List.*k$' --benchmark_min_time=0.01 > /dev/null

floor() {  # best of five
  local best=
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    find "$1" -printf '%p %s %T@ %m\n' > /dev/null
    end=$(date +%s%N)
    local ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
echo "find -printf, 100,000 files in 5,000 folders: $(floor "$TAVRIN_BENCH_DIR/tree") ms"
echo "find -printf, 50,000 files in one folder:     $(floor "$TAVRIN_BENCH_DIR/flat/files") ms"
# The profile trees of make_tree.py have their own run: bench/run_all.sh.
"$bench" --benchmark_filter='-(Profile|Huge)' --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
