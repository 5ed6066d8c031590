#!/bin/bash
# Fuzzes the portable parsing layer natively (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), one target after the other.
#   tools/fuzz.sh [SECONDS]   each target for SECONDS (default 180), then a line per target:
#                             executions, executions per second, edges covered, findings
#   tools/fuzz.sh --replay    every seed and every kept finding once; fails on any failure
# Findings land in build-fuzz/findings/TARGET/; once fixed, a minimised copy belongs in
# tests/data/fuzz/TARGET/, which the replay (and so tools/test.sh) runs on every build.
set -euo pipefail
QUARRIX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$QUARRIX_ROOT/tools/environment.sh"

FUZZ_BUILD=$QUARRIX_ROOT/build-fuzz
TARGETS=${FUZZ_TARGETS:-"mft_record volume scan_file run_list attribute_list security"}
# An input of a few KB that asks for gigabytes is a finding.
LIMITS="-rss_limit_mb=512 -malloc_limit_mb=256 -timeout=10"

build_fuzz_targets() {
    cmake -S "$QUARRIX_ROOT/fuzz" -B "$FUZZ_BUILD" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build "$FUZZ_BUILD" -j "$(nproc)" >/dev/null
}

# The directories a target starts from: its seeds and the findings kept as regression inputs.
inputs_of() {
    local target=$1 folder
    for folder in "$QUARRIX_ROOT/tests/data/fuzz-seeds/$target" "$QUARRIX_ROOT/tests/data/fuzz/$target"; do
        [ -d "$folder" ] && echo "$folder"
    done
    return 0
}

dictionary_of() {
    local dictionary=$QUARRIX_ROOT/fuzz/dictionaries/$1.dict
    [ -f "$dictionary" ] && echo "-dict=$dictionary"
    return 0
}

replay() {
    local target started=$SECONDS
    for target in $TARGETS; do
        # With -runs=0 libFuzzer runs each input once and stops at the first failure.
        if ! "$FUZZ_BUILD/fuzz_$target" $LIMITS -runs=0 $(inputs_of "$target") >"$FUZZ_BUILD/replay-$target.log" 2>&1; then
            cat "$FUZZ_BUILD/replay-$target.log" >&2
            echo "Replay of fuzz_$target failed" >&2
            return 1
        fi
        echo "fuzz_$target: $(find $(inputs_of "$target") -type f | wc -l) inputs replayed"
    done
    echo "Replay took $((SECONDS - started)) s"
}

fuzz() {
    local seconds=$1 target corpus findings log
    printf '%-16s %8s %12s %10s %7s %9s\n' target seconds executions exec/s edges findings
    for target in $TARGETS; do
        corpus=$FUZZ_BUILD/corpus/$target
        findings=$FUZZ_BUILD/findings/$target
        log=$FUZZ_BUILD/fuzz-$target.log
        mkdir -p "$corpus" "$findings"
        # A finding ends the run early: it is reported, and the next target goes on.
        "$FUZZ_BUILD/fuzz_$target" $LIMITS -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$findings/" $(dictionary_of "$target") \
            "$corpus" $(inputs_of "$target") >"$log" 2>&1 || true
        printf '%-16s %8s %12s %10s %7s %9s\n' "$target" "$seconds" \
            "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")" \
            "$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")" \
            "$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)" \
            "$(find "$findings" -type f | wc -l)"
    done
}

install_missing_packages
build_fuzz_targets
if [ "${1:-}" = "--replay" ]; then
    replay
else
    fuzz "${1:-180}"
fi
