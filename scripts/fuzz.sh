#!/usr/bin/env bash
# Fuzzes every harness of tests/fuzz (or the ones named) for the given seconds each with libFuzzer
# under AddressSanitizer and UndefinedBehaviorSanitizer, a few at a time, and reports what was found.
# Needs Debian's clang and libclang-rt-14-dev. Builds in build-fuzz/; each run keeps its grown corpus
# and its findings (crash-*, timeout-*, oom-*, leak-*) in build-fuzz/runs/<harness>/.
#
#   scripts/fuzz.sh [seconds] [harness...]      FUZZ_JOBS=4 runs at a time by default
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true
jobs=${FUZZ_JOBS:-4}
build=build-fuzz
runs=$build/runs

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVASKIMO_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_all >"$build/fuzz-build.log" 2>&1 || {
    tail -40 "$build/fuzz-build.log"
    exit 1
}

if [ $# -gt 0 ]; then
    harnesses=("$@")
else
    harnesses=()
    for dir in tests/fuzz/corpus/*/; do
        harnesses+=("$(basename "$dir")")
    done
fi

fuzz_one() {
    local name=$1 dir=$runs/$1 began
    mkdir -p "$dir/corpus" "$dir/found"
    began=$(date +%s)
    # The seeds stay as they are: new inputs go to the run's own corpus.
    "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/found/" "$dir/corpus" "tests/fuzz/corpus/$name" \
        >"$dir/log" 2>&1 || true
    echo $(( $(date +%s) - began )) >"$dir/seconds"
}

# The harnesses' files, in memory where there is room for them, gone afterwards.
scratch_base=/dev/shm
[ -d "$scratch_base" ] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/vaskimo-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch

start=$(date +%s)
for name in "${harnesses[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    echo "fuzzing $name for ${seconds}s"
    fuzz_one "$name" &
done
wait

echo
printf '%-12s %10s %8s  %s\n' harness runs seconds found
status=0
for name in "${harnesses[@]}"; do
    dir=$runs/$name
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
    took=$(cat "$dir/seconds" 2>/dev/null || true)
    found=$(find "$dir/found" -type f | sort)
    if [ -n "$found" ]; then
        status=1
        printf '%-12s %10s %8s  %s\n' "$name" "${execs:-?}" "${took:-?}" "$(echo $found)"
    else
        printf '%-12s %10s %8s  %s\n' "$name" "${execs:-?}" "${took:-?}" clean
    fi
done
echo "took $(( $(date +%s) - start ))s in all"
exit $status
