#!/usr/bin/env bash
# Writing: tavrin-cli burn-iso (an image) and burn (the tree it was made of) at the
# maximum speed, against tavrin_write_floor (a plain loop of WRITE (10)s) on the
# same channel, and the virtual recorder's buffer underruns while another process
# loads the disk.
#   bench/writing/write_bench.sh BUILD_DIR [PROFILE]     (PROFILE default large)
# Environment:
#   TAVRIN_BENCH_DIR       work folder (default /tmp/tavrin-bench); trees are kept
#   WRITE_BENCH_MB         megabytes of the tree and so of each write (default 200);
#                          `large` is scaled down to it, `tiny` is used as it is
#   WRITE_BENCH_CHANNELS   virtual and/or iscsi (default: both)
#   RUNS                   timed runs per case (default 3), each onto a fresh disc
#   WRITE_BENCH_TIME_SCALE the modelled drive's time scale for the underrun runs
#                          (default 1: a DVD+R drive at 16x in real time)
#   WRITE_BENCH_LOAD_MB    megabytes the disk loader writes and reads per round
#                          (default 256)
# The throughput runs use time_scale 0, as the default recorder does: the recorder
# takes data as fast as the channel carries it, and TAVRIN_WAIT_SCALE=0 with it.
# Every rate is the image's bytes over the process's wall time (start, device
# set-up, write, flush, close of the session included), for the floor too. The
# burn's ratio to the floor: target >= 0.90.
# Exit status: 0; 1 a write failed; 2 usage; 77 only iscsi was asked and tgt cannot
# run here (tgtd missing, or not root).
set -uo pipefail

usage() { echo "usage: $0 BUILD_DIR [PROFILE]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 2 ] || usage
build=$(cd "$1" && pwd) || usage
profile=${2:-large}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../common.sh"
cli="$build/tavrin-cli"
floor="$build/tavrin_write_floor"
for program in "$cli" "$floor"; do
    [ -x "$program" ] || { echo "$0: no $program: build the targets tavrin-cli and tavrin_write_floor" >&2; exit 2; }
done
megabytes=${WRITE_BENCH_MB:-200}
runs=${RUNS:-3}
channels=${WRITE_BENCH_CHANNELS:-virtual iscsi}
scale=${WRITE_BENCH_TIME_SCALE:-1}
[[ $megabytes =~ ^[1-9][0-9]*$ && $runs =~ ^[1-9][0-9]*$ ]] || usage
tgt_script=${TAVRIN_TGT_SCRIPT:-/work/shared/tools/tgt-target.sh}

work=${TAVRIN_BENCH_DIR:-/tmp/tavrin-bench}
run_dir="$work/writing"
results="$work/results"
rm -rf -- "$run_dir"
mkdir -p "$work/trees" "$run_dir" "$results" || exit 2
# The recorders here are ready at once: the engine's waits for them are shortened
# (and dropped where the recorder's time is modelled as none, below).
export TAVRIN_WAIT_SCALE=0.01

tgt_missing() {
    if [ ! -x /usr/sbin/tgtd ]; then echo "tgtd is not installed (Debian package tgt)"
    elif [ "$(id -u)" != 0 ]; then echo "tgtd needs root"
    elif [ ! -f "$tgt_script" ]; then echo "no $tgt_script"
    fi
}
if [[ " $channels " == *" iscsi "* ]] && why=$(tgt_missing) && [ -n "$why" ]; then
    echo "iscsi: skipped: $why"
    channels=${channels//iscsi/}
    [ -n "${channels// /}" ] || exit 77
fi

# The tree: `large` scaled to the megabytes asked (it holds about 3,075 MB).
if [ "$profile" = large ]; then
    factor=$(awk -v m="$megabytes" 'BEGIN {printf "%.4f", m / 3075}')
    tree="$work/trees/large-$megabytes"
    args=(--scale "$factor")
else
    tree="$work/trees/$profile"
    args=()
fi
ensure_tree "$tree" "$profile" "${args[@]}" || exit 2
image="$run_dir/image.iso"
"$cli" save-iso -o "$image" "/=$tree" > "$run_dir/save-iso.log" 2>&1 || {
    echo "$0: save-iso failed: $(tail -n 2 "$run_dir/save-iso.log")" >&2; exit 1; }
bytes=$(stat -c %s "$image")
image_mb=$(( (bytes + 999999) / 1000000 ))
tsv="$results/write.tsv"
printf 'channel\tcase\trun\twall_s\texit\n' > "$tsv"
echo "tree $tree: $(find "$tree" -type f | wc -l) files; image $bytes bytes; $runs runs per case, each onto a fresh disc"

# --- channels --------------------------------------------------------------------

virtual_ini() {  # FILE TIME_SCALE
    printf '[recorder bench]\ntype = virtual\ndisc = disc\nmedia = dvd+r\nrecorder = tray\ntime_scale = %s\n' "$2" > "$1"
}

tgt_port=
pick_port() {
    local i p
    for ((i = 0; i < 100; i++)); do
        p=$((3900 + ($$ + i) % 100))
        if ! (exec 3<> "/dev/tcp/127.0.0.1/$p") 2> /dev/null; then tgt_port=$p; return 0; fi
    done
    return 1
}

# A fresh blank disc before each run: a new disc folder, or tgtd started anew on an
# empty backing file (a blank DVD+R).
fresh_disc() {  # CHANNEL FOLDER
    case $1 in
    virtual) rm -rf -- "$2/disc" "$2/tray" ;;
    iscsi)
        sh "$tgt_script" stop "$2/tgt" > /dev/null 2>&1
        local url
        url=$(sh "$tgt_script" start "$2/tgt" "$tgt_port" 2> "$2/tgt-start.log") || return 1
        printf '[recorder tgt]\ntype = iscsi\nurl = %s\n' "$url" > "$2/recorders.ini"
        ;;
    esac
}

stop_channel() {  # CHANNEL FOLDER
    [ "$1" = iscsi ] && sh "$tgt_script" stop "$2/tgt" > /dev/null 2>&1
    return 0
}

# An interrupted run leaves neither tgtd nor the disk loader behind.
trap 'touch "$run_dir/stop-load"; [ -d "$run_dir/iscsi/tgt" ] && stop_channel iscsi "$run_dir/iscsi"' EXIT

# --- timed runs ------------------------------------------------------------------

failed=0
measure_channel() {  # CHANNEL
    local channel=$1 folder="$run_dir/$1" i wall rc label
    mkdir -p "$folder"
    # The engine's waits for the drive scale with the recorder's modelled time: none
    # for a virtual drive that takes data as fast as it comes; tgt answers at once too,
    # but its time is not modelled, so it keeps the tests' hundredth.
    if [ "$channel" = virtual ]; then
        virtual_ini "$folder/recorders.ini" 0
        export TAVRIN_WAIT_SCALE=0
    else
        export TAVRIN_WAIT_SCALE=0.01
        pick_port || { echo "iscsi: no free port in 3900-3999"; return; }
    fi
    export TAVRIN_ASPI_CONFIG="$folder/recorders.ini"
    # Interleaved, so that a drift of the machine (other work, the disk's own
    # writeback) weighs on every case alike.
    for ((i = 1; i <= runs; i++)); do
        for label in floor burn-iso burn; do
            if ! fresh_disc "$channel" "$folder"; then
                echo "$channel: tgt did not start: $(cat "$folder/tgt-start.log")" >&2
                stop_channel "$channel" "$folder"
                failed=1
                return
            fi
            sync
            case $label in
            floor) wall=$(timed "$folder/$label.log" "$floor" "$image_mb") ;;
            burn-iso) wall=$(timed "$folder/$label.log" "$cli" burn-iso "$image") ;;
            burn) wall=$(timed "$folder/$label.log" "$cli" burn --speed max "/=$tree") ;;
            esac
            rc=$?
            printf '%s\t%s\t%d\t%s\t%d\n' "$channel" "$label" "$i" "$wall" "$rc" >> "$tsv"
            if [ "$rc" -ne 0 ]; then
                echo "$channel $label: exit $rc: $(tail -n 3 "$folder/$label.log")" >&2
                failed=1
                break 2
            fi
        done
    done
    stop_channel "$channel" "$folder"
    unset TAVRIN_ASPI_CONFIG
    export TAVRIN_WAIT_SCALE=0.01
}

for channel in $channels; do measure_channel "$channel"; done

python3 - "$tsv" "$bytes" "$image_mb" <<'PY'
import statistics, sys
path, nbytes, floor_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rows = {}
walls = {}  # (channel, case, run) -> wall, for the ratios within one round
for line in open(path).read().splitlines()[1:]:
    channel, case, run, wall, rc = line.split("\t")
    rows.setdefault((channel, case), []).append((float(wall), int(rc)))
    if rc == "0":
        walls[(channel, case, run)] = float(wall)
def paired(channel, case):
    # The rate ratio of each round (floor time / case time, the image's bytes against
    # the floor's megabytes), then their median: a slow spell of the disk that
    # falls on one round weighs on both sides of its ratio.
    ratios = [walls[(c, "floor", r)] / w * nbytes / (floor_mb * 1e6)
              for (c, k, r), w in walls.items() if c == channel and k == case and (c, "floor", r) in walls]
    return statistics.median(ratios) if ratios else None
def rate(channel, case):
    runs = rows.get((channel, case), [])
    if not runs or any(rc for _, rc in runs):
        return None
    size = floor_mb * 1e6 if case == "floor" else nbytes  # the floor writes whole megabytes
    return size / 1e6 / statistics.median(w for w, _ in runs)
print("| channel | case | median MB/s | / floor | / floor, same round (median) | >= 0.90 |")
print("|---|---|---:|---:|---:|---|")
for channel in dict.fromkeys(c for c, _ in rows):
    base = rate(channel, "floor")
    for case in ("floor", "burn-iso", "burn"):
        r = rate(channel, case)
        if r is None:
            print("| %s | %s | failed | | | |" % (channel, case))
            continue
        ratio = r / base if base else None
        pair = None if case == "floor" else paired(channel, case)
        met = "" if pair is None else ("met" if pair >= 0.90 else "missed")
        print("| %s | %s | %.1f | %s | %s | %s |" % (channel, case, r, "%.2f" % ratio if ratio else "-",
                                                    "%.2f" % pair if pair else "-", met))
PY

# --- underruns under load ----------------------------------------------------------

# Writes and reads a file with O_DIRECT, over and over, until told to stop.
load_disk() {  # STOP_FILE
    while [ ! -e "$1" ]; do
        dd if=/dev/zero of="$run_dir/load.bin" bs=1M count="${WRITE_BENCH_LOAD_MB:-256}" oflag=direct status=none conv=fsync
        dd if="$run_dir/load.bin" of=/dev/null bs=1M iflag=direct status=none
    done
    rm -f -- "$run_dir/load.bin"
}

# The burn's progress as a terminal gets it (twice a second) when `script` is there.
burn_with_progress() {  # LOG
    if command -v script > /dev/null 2>&1; then
        script -qfec "'$cli' burn --speed max '/=$tree'" /dev/null < /dev/null | tr '\r' '\n' > "$1"
        return "${PIPESTATUS[0]}"
    fi
    "$cli" burn --speed max "/=$tree" > "$1" 2>&1
}

if [[ " $channels " == *" virtual "* ]]; then
    echo
    echo "underruns: virtual DVD+R recorder at its maximum speed, time_scale $scale, burn of the tree"
    echo "| disk load | underruns | wall s | read-ahead buffer min / median % | drive buffer min / median % | samples |"
    echo "|---|---:|---:|---:|---:|---:|"
    folder="$run_dir/underrun"
    mkdir -p "$folder"
    virtual_ini "$folder/recorders.ini" "$scale"
    export TAVRIN_ASPI_CONFIG="$folder/recorders.ini"
    for load in none dd; do
        fresh_disc virtual "$folder"
        stop="$run_dir/stop-load"
        rm -f -- "$stop"
        loader=
        if [ "$load" = dd ]; then load_disk "$stop" & loader=$!; fi
        wall=$(timed "$folder/burn-$load.status" burn_with_progress "$folder/burn-$load.log")
        rc=$?
        if [ -n "$loader" ]; then touch "$stop"; wait "$loader"; fi
        if [ "$rc" -ne 0 ]; then
            echo "underrun burn ($load): exit $rc: $(tail -n 3 "$folder/burn-$load.log")" >&2
            failed=1
            continue
        fi
        count=$(cat "$folder/tray/underruns" 2> /dev/null || echo 0)
        python3 - "$folder/burn-$load.log" "$load" "$count" "$wall" <<'PY'
import re, statistics, sys
log, load, count, wall = sys.argv[1:]
pairs = re.findall(r"buffer (\d+)%, drive (\d+)%", open(log, errors="replace").read())
cache = [int(a) for a, _ in pairs]
drive = [int(b) for _, b in pairs]
fmt = lambda v: "%d / %d" % (min(v), statistics.median(v)) if v else "-"
print("| %s | %s | %.2f | %s | %s | %d |" % (load, count, float(wall), fmt(cache), fmt(drive), len(pairs)))
PY
    done
    unset TAVRIN_ASPI_CONFIG
fi
exit $failed
