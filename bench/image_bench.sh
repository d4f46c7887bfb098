#!/usr/bin/env bash
# Image creation: tavrin-cli save-iso (quick and threaded) against genisoimage,
# xorriso and the machine's limit, all on the same tree in one run.
#   bench/image_bench.sh BUILD_DIR PROFILE [RUNS]       (RUNS default 5)
# The tree is made once by make_tree.py under $TAVRIN_BENCH_DIR (default
# /tmp/tavrin-bench) and kept for later runs. The page cache is warmed first; then
# one warm-up round and RUNS timed rounds, each tool once per round, with
# `rm -f OUT; sync` (not timed) before each run. Printed: the median wall time, MB/s of tree bytes, the largest
# resident set, the ratio to the read+write floor and tavrin's ratio to each peer
# (below 1.0: tavrin is faster). A peer that is not installed is left out. Each
# tavrin image is checked once with verify-iso when it is there (TAVRIN_VERIFY_ISO,
# default /work/shared/tools/verify-iso; TAVRIN_BENCH_VERIFY=0 skips it): reported,
# never a failure. Raw rows: $TAVRIN_BENCH_DIR/results/PROFILE.tsv.
# Exit status: 0, or 1 when a tavrin-cli run failed, 2 for a usage error.
set -uo pipefail

usage() { echo "usage: $0 BUILD_DIR PROFILE [RUNS]" >&2; exit 2; }
[ $# -ge 2 ] && [ $# -le 3 ] || usage
build=$(cd "$1" && pwd) || usage
profile=$2
runs=${3:-${RUNS:-5}}
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/common.sh"
cli="$build/cli/tavrin-cli"
[ -x "$cli" ] || cli="$build/tavrin-cli"
[ -x "$cli" ] || { echo "$0: no tavrin-cli in $build: build the target tavrin-cli" >&2; exit 2; }

work=${TAVRIN_BENCH_DIR:-/tmp/tavrin-bench}
export TREE="$work/trees/$profile"
results="$work/results"
mkdir -p "$work/trees" "$work/out" "$results" || exit 2
ensure_tree "$TREE" "$profile" || exit 2
bytes=$(find "$TREE" -type f -printf '%s\n' | awk '{s += $1} END {printf "%.0f\n", s}')
files=$(find "$TREE" -type f | wc -l)
folders=$(find "$TREE" -mindepth 1 -type d | wc -l)
tsv="$results/$profile.tsv"
printf 'profile\ttool\tkind\trun\twall_s\trss_kb\texit\n' > "$tsv"

timer=
[ -x /usr/bin/time ] && /usr/bin/time -v true 2>/dev/null && timer=/usr/bin/time

# The whole tree into the page cache, as after a first run of any tool.
find "$TREE" -type f -print0 | xargs -0 cat > /dev/null

# One timed run of `sh -c CMD`: prints "WALL RSS_KB EXIT".
timed_run() {
    local cmd=$1 log=$2 t0 t1 rc rss=0 tf="$work/out/.time"
    rm -f -- "$OUT"; sync
    if [ -n "$timer" ]; then
        t0=$EPOCHREALTIME
        "$timer" -v -o "$tf" sh -c "$cmd" > "$log" 2>&1
        rc=$?
        t1=$EPOCHREALTIME
        rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$tf")
    else
        t0=$EPOCHREALTIME
        sh -c "$cmd" > "$log" 2>&1
        rc=$?
        t1=$EPOCHREALTIME
    fi
    awk -v a="$t0" -v b="$t1" -v r="${rss:-0}" -v c="$rc" 'BEGIN {printf "%.4f %d %d\n", b - a, r, c}'
}

failed=0
labels=()
declare -A commands
# tool LABEL CMD: one more tool to time.
tool() { labels+=("$1"); commands[$1]=$2; }

# run_once LABEL ROUND: one run of the tool (round 0 is its warm-up); a tool that
# fails is dropped from the later rounds. Each tool's last image stays in its OUT.
declare -A dropped
run_once() {
    local label=$1 i=$2 kind=run wall rss rc
    export OUT="$work/out/$profile-$label.out"
    read -r wall rss rc < <(timed_run "${commands[$label]}" "$work/out/$label.log")
    [ "$i" -eq 0 ] && kind=warmup
    printf '%s\t%s\t%s\t%d\t%s\t%s\t%s\n' "$profile" "$label" "$kind" "$i" "$wall" "$rss" "$rc" >> "$tsv"
    # Only the last round's images are kept (for verify-iso): five images of `large`
    # left in the page cache would push the tree itself out of it.
    [ "$i" -lt "$runs" ] && rm -f -- "$OUT"
    [ "$rc" -eq 0 ] && return 0
    echo "$label: exit $rc; last lines of its output:" >&2
    tail -n 5 "$work/out/$label.log" >&2
    case "$label" in tavrin*) failed=1 ;; esac
    dropped[$label]=1
}

# Round-robin: every tool once per round, so that a slow spell of the machine (other
# work, the disk's writeback) falls on all of them alike.
measure_all() {
    local i label
    for ((i = 0; i <= runs; i++)); do
        for label in "${labels[@]}"; do
            [ -n "${dropped[$label]:-}" ] || run_once "$label" "$i"
        done
    done
}

verify() {
    local label=$1 tool=${TAVRIN_VERIFY_ISO:-/work/shared/tools/verify-iso}
    [ "${TAVRIN_BENCH_VERIFY:-1}" != 0 ] && [ -x "$tool" ] && [ -s "$OUT" ] || return 0
    local report="$results/$profile-$label-verify.txt"
    "$tool" "$OUT" --tree "$TREE" > "$report" 2>&1
    local rc=$?
    echo "verify-iso $label: $(tail -n 1 "$report") (exit $rc; $report)"
}

have() { command -v "$1" > /dev/null 2>&1; }

echo "tree $profile: $files files, $folders folders, $bytes bytes ($TREE)"
tool read+write 'find "$TREE" -type f -print0 | xargs -0 cat > "$OUT"'
# "/=TREE": the tree's content at the image's root, as the peers put it.
tool tavrin-quick "\"$cli\" save-iso --quick -o \"\$OUT\" \"/=\$TREE\""
tool tavrin "\"$cli\" save-iso -o \"\$OUT\" \"/=\$TREE\""
# -D: genisoimage leaves out folders 7 levels below the root without it, and the
# trees go that deep; the other tools write them as they are.
if have genisoimage; then tool genisoimage 'genisoimage -quiet -J -D -o "$OUT" "$TREE"'; fi
if have xorriso; then tool xorriso 'xorriso -as mkisofs -quiet -J -o "$OUT" "$TREE"'; fi
measure_all
for label in tavrin-quick tavrin; do
    export OUT="$work/out/$profile-$label.out"
    verify "$label"
done
rm -f -- "$work/out/$profile-"*.out "$work/out/.time"

python3 - "$tsv" "$bytes" "$files" "$folders" "$runs" <<'PY'
import statistics, sys
path, nbytes, nfiles, nfolders, nruns = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rows = {}
for line in open(path, encoding="utf-8").read().splitlines()[1:]:
    _, tool, kind, _, wall, rss, rc = line.split("\t")
    runs = rows.setdefault(tool, [])
    if kind == "run" or rc != "0":
        runs.append((float(wall), int(rss), int(rc)))
median = {t: statistics.median(w for w, _, _ in r) for t, r in rows.items() if r and all(c == 0 for _, _, c in r)}
floor = median.get("read+write")
print("%d files, %d folders, %.1f MB; median of %d runs" % (nfiles, nfolders, nbytes / 1e6, nruns))
print("| tool | median s | MB/s | max RSS MB | / read+write |")
print("|---|---:|---:|---:|---:|")
for tool, runs in rows.items():
    if tool not in median:
        print("| %s | failed (exit %d) | | | |" % (tool, runs[-1][2]))
        continue
    m = median[tool]
    rss = max(r for _, r, _ in runs) / 1024
    ratio = "%.2f" % (m / floor) if floor else "-"
    print("| %s | %.3f | %.0f | %.1f | %s |" % (tool, m, nbytes / 1e6 / m, rss, ratio))
peers = [p for p in ("genisoimage", "xorriso") if p in median]
ours = [t for t in ("tavrin-quick", "tavrin") if t in median]
if peers and ours:
    print("\n| tavrin / peer (< 1.0: tavrin faster) | " + " | ".join(peers) + " |")
    print("|---|" + "---:|" * len(peers))
    for t in ours:
        print("| %s | %s |" % (t, " | ".join("%.2f" % (median[t] / median[p]) for p in peers)))
PY
exit $failed
