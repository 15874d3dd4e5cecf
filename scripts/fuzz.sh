#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build (cmake -DQUILLON_FUZZ=ON, see fuzz/CMakeLists.txt) for a
# bounded time each: scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...] (all targets by default).
# Each starts from its seed corpus and regressions; what it learns goes to BUILD_DIR, never
# into the checkout. An input that fails is saved under BUILD_DIR/fuzz-artifacts/TARGET/ and
# ends the run: add it to fuzz/TARGET/regressions/ with the fix.
set -euo pipefail
build=$1
seconds=$2
shift 2
list="$build/fuzz-targets.txt"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
while read -r name program folder; do
    if (($#)) && [[ " $* " != *" $name "* ]]; then continue; fi
    corpus="$build/fuzz-corpus/$name"
    artifacts="$build/fuzz-artifacts/$name/"
    mkdir -p "$corpus" "$artifacts"
    seeds=("$folder/corpus")
    [[ -d "$folder/regressions" ]] && seeds+=("$folder/regressions")
    log="$build/fuzz-$name.log"
    if "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz $name: ${runs:-?} runs in ${seconds} s, no failure"
    else
        echo "fuzz $name FAILED; the input is in $artifacts, the report in $log:"
        grep -E "ERROR|SUMMARY|check failed" "$log" | head -20 || tail -40 "$log"
        status=1
    fi
done <"$list"
exit $status
