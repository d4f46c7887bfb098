#!/usr/bin/env bash
# Every benchmark of this folder, one after the other, with all their tables:
# the image bench per profile (default: small many large), then the compilation:
# adding the `many` tree against listing it, laying it out alone, and the `huge`
# tree added and laid out. Each compilation case runs in a process of its own, so
# that its peak RSS is its own. Then writing (writing/write_bench.sh: burns against
# the channel's limit, underruns under disk load) and sessions
# (writing/session_bench.sh: the `many` tree as a session, read back).
#   bench/run_all.sh BUILD_DIR [PROFILES...]
# Environment: TAVRIN_BENCH_DIR (default /tmp/tavrin-bench), RUNS (image runs per
# tool, default 5), REPETITIONS (compilation repetitions, default 3),
# TAVRIN_BENCH_PROFILE (the compilation's tree, default many); the write bench's
# own variables (WRITE_BENCH_MB, WRITE_BENCH_CHANNELS, ...) pass through, with
# RUNS for its runs too. BENCH_PARTS picks the parts (default: "image compilation
# writing sessions").
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [PROFILES...]" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
profiles=("$@")
[ ${#profiles[@]} -gt 0 ] || profiles=(small many large)
export TAVRIN_BENCH_DIR=${TAVRIN_BENCH_DIR:-/tmp/tavrin-bench}
bench="$build/tavrin_compilation_bench"
[ -x "$bench" ] || { echo "$0: no $bench: build the target tavrin_compilation_bench" >&2; exit 2; }
status=0
parts=" ${BENCH_PARTS:-image compilation writing sessions} "
part() { [[ $parts == *" $1 "* ]]; }

echo "machine: $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB RAM, $(date -u +%Y-%m-%dT%H:%MZ), load $(cut -d' ' -f1-3 /proc/loadavg)"
if part image; then
    for profile in "${profiles[@]}"; do
        echo
        echo "## Image creation: $profile"
        "$here/image_bench.sh" "$build" "$profile" "${RUNS:-5}" || status=1
    done
fi

# The compilation cases, each in a process of its own, and their tables.
compilation_tables() {
    echo
    compilation=${TAVRIN_BENCH_PROFILE:-many}
    echo "## Compilation: $compilation, and huge"
    json="$TAVRIN_BENCH_DIR/results/compilation"
    mkdir -p "$json"
    for case in FindProfileTree AddProfileTree PrepareProfileTree AddPrepareHuge; do
        repetitions=${REPETITIONS:-3}
        [ "$case" = AddPrepareHuge ] && repetitions=1
        "$bench" --benchmark_filter="^BM_$case" --benchmark_repetitions="$repetitions" \
            --benchmark_out="$json/$case.json" --benchmark_out_format=json > /dev/null || status=1
    done
    python3 - "$json" "$compilation" <<'PY' || status=1
import json, os, statistics, sys
folder, profile = sys.argv[1], sys.argv[2]

def runs(case):
    """The iteration rows of one case (no aggregates), or none when it failed."""
    path = os.path.join(folder, case + ".json")
    if not os.path.exists(path):
        return []
    rows = json.load(open(path))["benchmarks"]
    return [r for r in rows if r.get("run_type") == "iteration" and not r.get("error_occurred")]

def median(rows, key):
    return statistics.median(r[key] for r in rows) if rows else float("nan")

find, add, prepare, huge = (runs(c) for c in ("FindProfileTree", "AddProfileTree", "PrepareProfileTree", "AddPrepareHuge"))
ms = lambda rows: median(rows, "real_time")
print("| %s | ms (median) | / find |" % profile)
print("|---|---:|---:|")
print("| find -printf (listing floor) | %.0f | 1.00 |" % ms(find))
print("| InsertDir (adding) | %.0f | %.2f |" % (ms(add), ms(add) / ms(find)))
print("| Prepare (layout alone) | %.0f | %.2f |" % (ms(prepare), ms(prepare) / ms(find)))
if add:
    a = add[-1]
    print("\nentries %d: heap %.0f B/entry beside %.0f B/entry of names; peak RSS %.1f MB (%.0f B/entry)"
          % (a["entries"], a["heap_B_per_entry"], a["name_B_per_entry"], a["peak_RSS_MB"], a["peak_RSS_B_per_entry"]))
if prepare:
    print("image header (records, path tables): %.0f B/entry" % prepare[-1]["header_B_per_entry"])
if huge:
    h = huge[-1]
    print("\n| huge | value |")
    print("|---|---:|")
    print("| entries | %d |" % h["entries"])
    print("| added and laid out, s | %.2f |" % (h["real_time"] / 1000))
    print("| heap beside the names, B/entry | %.0f |" % h["heap_B_per_entry"])
    print("| of which the image header, B/entry | %.0f |" % h["header_B_per_entry"])
    print("| heap beside the names and the header, B/entry | %.0f |" % (h["heap_B_per_entry"] - h["header_B_per_entry"]))
    print("| names, B/entry | %.0f |" % h["name_B_per_entry"])
    print("| peak RSS, MB (B/entry) | %.1f (%.0f) |" % (h["peak_RSS_MB"], h["peak_RSS_B_per_entry"]))
PY
}
if part compilation; then compilation_tables; fi

if part writing; then
    echo
    echo "## Writing"
    "$here/writing/write_bench.sh" "$build" || status=1
fi

if part sessions; then
    echo
    echo "## Sessions: many"
    "$here/writing/session_bench.sh" "$build" many "${RUNS:-5}" || status=1
fi
exit $status
