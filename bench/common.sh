# Helpers of the benchmark scripts; sourced, never run.

# Makes the tree of make_tree.py at TREE once; kept for later runs (make_tree.py
# renames it into place when complete, so an existing TREE is a whole one).
ensure_tree() {  # TREE PROFILE [make_tree.py options...]
    local tree=$1 profile=$2
    shift 2
    [ -d "$tree" ] && return 0
    mkdir -p "$(dirname "$tree")" || return 1
    rm -rf -- "$tree.partial"
    python3 "$(dirname "${BASH_SOURCE[0]}")/make_tree.py" "$tree" "$profile" "$@" >&2
}

# Runs COMMAND (a program or a function) with its output in LOG; prints its wall
# seconds and returns its exit status.
timed() {  # LOG COMMAND...
    local log=$1 t0 t1 rc
    shift
    t0=$EPOCHREALTIME
    "$@" > "$log" 2>&1
    rc=$?
    t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.4f\n", b - a}'
    return $rc
}
