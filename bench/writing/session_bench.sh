#!/usr/bin/env bash
# Sessions: a tree burned as one session onto a virtual DVD+R, then reading it back:
# `tavrin-cli ls` (the import of the session's whole tree, then one folder listed)
# and `tavrin-cli extract /` (every file copied out), against `cp -r` of the source
# tree (the machine's read+write floor for the same files).
#   bench/writing/session_bench.sh BUILD_DIR [PROFILE [RUNS]]   (many, 3)
# TAVRIN_BENCH_DIR: work folder (default /tmp/tavrin-bench); trees are kept there.
# Every run from a warm page cache, `rm -rf OUT; sync` (not timed) before each
# extraction. The first extraction is compared with the tree (diff -r): reported.
# Exit status: 0; 1 a tavrin-cli run failed or the extracted tree differs; 2 usage.
set -uo pipefail

usage() { echo "usage: $0 BUILD_DIR [PROFILE [RUNS]]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 3 ] || usage
build=$(cd "$1" && pwd) || usage
profile=${2:-many}
runs=${3:-3}
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../common.sh"
cli="$build/tavrin-cli"
[ -x "$cli" ] || { echo "$0: no $cli: build the target tavrin-cli" >&2; exit 2; }

work=${TAVRIN_BENCH_DIR:-/tmp/tavrin-bench}
tree="$work/trees/$profile"
run_dir="$work/session"
results="$work/results"
rm -rf -- "$run_dir"
mkdir -p "$work/trees" "$run_dir" "$results" || exit 2
ensure_tree "$tree" "$profile" || exit 2
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s += $1} END {printf "%.0f\n", s}')
files=$(find "$tree" -type f | wc -l)
folders=$(find "$tree" -mindepth 1 -type d | wc -l)

printf '[recorder bench]\ntype = virtual\ndisc = disc\nmedia = dvd+r\nrecorder = tray\ntime_scale = 0\n' \
    > "$run_dir/recorders.ini"
export TAVRIN_ASPI_CONFIG="$run_dir/recorders.ini" TAVRIN_WAIT_SCALE=0.01
tsv="$results/session-$profile.tsv"
printf 'case\trun\twall_s\texit\n' > "$tsv"

failed=0
record() {  # CASE RUN WALL EXIT LOG
    printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >> "$tsv"
    if [ "$4" -ne 0 ]; then
        echo "$1: exit $4: $(tail -n 3 "$5")" >&2
        failed=1
    fi
}

# The whole tree into the page cache, then the session: the content at the root.
find "$tree" -type f -print0 | xargs -0 cat > /dev/null
wall=$(timed "$run_dir/burn.log" "$cli" burn --speed max "/=$tree"); record burn 1 "$wall" $? "$run_dir/burn.log"
[ "$failed" = 0 ] || exit 1
disc_bytes=$(stat -c %s "$run_dir/disc/blocks.bin" 2> /dev/null || echo 0)
cat "$run_dir/disc/blocks.bin" > /dev/null 2>&1

# One folder of the session's root: the import reads the whole tree first.
top=$(find "$tree" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | LC_ALL=C sort | head -n 1)
out="$run_dir/out"
for ((i = 0; i <= runs; i++)); do  # run 0: warm-up
    wall=$(timed "$run_dir/ls.log" "$cli" ls "$top"); rc=$?
    [ "$i" -gt 0 ] && record ls "$i" "$wall" "$rc" "$run_dir/ls.log"
done
for ((i = 1; i <= runs; i++)); do
    rm -rf -- "$out"; sync
    wall=$(timed "$run_dir/extract.log" "$cli" extract / -o "$out"); record extract "$i" "$wall" $? "$run_dir/extract.log"
    if [ "$i" = 1 ]; then
        if diff -r "$tree" "$out" > "$run_dir/diff.log" 2>&1; then
            same="the extracted tree equals the source"
        else
            same="the extracted tree DIFFERS from the source ($run_dir/diff.log)"
            failed=1
        fi
    fi
    rm -rf -- "$out"; sync
    wall=$(timed "$run_dir/cp.log" cp -r "$tree" "$out"); record cp-r "$i" "$wall" $? "$run_dir/cp.log"
done
rm -rf -- "$out" "$run_dir/disc"

echo "tree $profile: $files files, $folders folders, $bytes bytes; disc $disc_bytes bytes; median of $runs runs"
echo "${same:-}"
python3 - "$tsv" "$bytes" "$files" "$folders" <<'PY'
import statistics, sys
path, nbytes, nfiles, nfolders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rows = {}
for line in open(path).read().splitlines()[1:]:
    case, _, wall, rc = line.split("\t")
    rows.setdefault(case, []).append((float(wall), int(rc)))
median = {c: statistics.median(w for w, _ in r) for c, r in rows.items() if not any(rc for _, rc in r)}
print("| case | median s | MB/s | entries/s | / cp -r |")
print("|---|---:|---:|---:|---:|")
for case, what in (("burn", "burn (the session written)"), ("ls", "ls (import + one folder)"),
                   ("extract", "extract / (every file)"), ("cp-r", "cp -r of the tree (floor)")):
    if case not in median:
        print("| %s | failed | | | |" % what)
        continue
    m = median[case]
    rate = "%.0f" % (nbytes / 1e6 / m) if case != "ls" else "-"
    ratio = "%.2f" % (m / median["cp-r"]) if case == "extract" and "cp-r" in median else "-"
    print("| %s | %.3f | %s | %.0f | %s |" % (what, m, rate, (nfiles + nfolders) / m, ratio))
PY
exit $failed
