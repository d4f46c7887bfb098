#!/usr/bin/env bash
# The import fuzzer: builds it with clang in build-fuzz/ and runs it from the
# committed seed corpus. New inputs go to build-fuzz/import-corpus/, crash
# reproducers to build-fuzz/import-artifacts/; the committed corpus is only read.
#   fuzz/run.sh [SECONDS]   run that long (default 60); fails on a crash, leak or hang
#   fuzz/run.sh --seeds     remake fuzz/corpus/import/ from the builder's images
#   fuzz/run.sh --merge     fold build-fuzz/import-corpus/ into a minimal set in fuzz/corpus/import/
#                           (run.sh --seeds first drops it again)
# Extra libFuzzer flags may follow in FUZZ_FLAGS.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-fuzz
corpus=fuzz/corpus/import
work=$build/import-corpus
artifacts=$build/import-artifacts

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVRIN_FUZZ=ON -DBUILD_TESTING=OFF
fi
cmake --build "$build" -j 2 --target import_fuzzer import_fuzz_seeds
mkdir -p "$work" "$artifacts"

# A leak is reported at the end of the input that made it; a hang is an input
# that runs 10 s (one import takes milliseconds).
flags=(-timeout=10 -max_len=262144 -dict=fuzz/import.dict -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$artifacts/")
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

case ${1:-} in
  --seeds)
    rm -rf "$corpus" && "$build/import_fuzz_seeds" "$corpus" ;;
  --merge)
    # The named seeds stay whole; the rest becomes the smallest set that keeps the
    # features, each input cut to 12 KB (header and first blocks: what most
    # mutations reach) so that the committed corpus stays small.
    fresh=$(mktemp -d)
    "$build/import_fuzzer" "${flags[@]}" -max_len=12288 -merge=1 "$fresh" "$corpus" "$work"
    find "$corpus" -type f ! -name '*.*' -delete
    mv "$fresh"/* "$corpus"/ && rmdir "$fresh" ;;
  *)
    "$build/import_fuzzer" "${flags[@]}" ${FUZZ_FLAGS:-} "-max_total_time=${1:-60}" "$work" "$corpus" ;;
esac
