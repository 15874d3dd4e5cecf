#!/usr/bin/env bash
# Installs what is needed, then builds and runs the whole test suite twice: a normal build
# and one with AddressSanitizer and UndefinedBehaviorSanitizer; then cross-builds the Windows
# DLLs and runs their tests under Wine, against the normal build. Run from anywhere, as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
    ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
}

echo "== normal build"
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (ASan + UBSan)"
run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_BENCH=OFF

echo "== Windows DLLs under Wine"
# A fresh Wine prefix inside the build folder (the tests make it anew); its wineserver is
# ended at the end, whatever happened.
export WINEPREFIX="$PWD/build/windows/wine-prefix"
trap 'WINEDEBUG=-all timeout 60 wineserver -k 2>/dev/null || true' EXIT
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DQUILLON_LINUX_CLI="$PWD/build/release/bin/quillon" >/dev/null
cmake --build build/windows
ctest --test-dir build/windows --output-on-failure -j 2

# --- HTTP host: libFuzzer on the request parser, ThreadSanitizer under concurrent load ---
# (kept apart, to merge with the fuzzing and TSan steps of the other targets)
echo "== fuzzing the HTTP request parser for 60 s"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF >/dev/null
cmake --build build/fuzz --target http_request_fuzzer
work=$(mktemp -d)
# New inputs go to a scratch corpus; fuzz/http_request/ (seeds and past failures) is read.
build/fuzz/bin/http_request_fuzzer -max_total_time=60 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" "$work" fuzz/http_request || {
    echo "fuzzing failed: add the input saved in $work to fuzz/http_request/" >&2
    exit 1
}
rm -rf "$work"
echo "== ThreadSanitizer build: the HTTP host under concurrent load"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TSAN=ON \
    -DQUILLON_BENCH=OFF >/dev/null
cmake --build build/tsan --target http_concurrency_tests quillon-serve TarvexQuillon TarvexUnicode
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build/tsan -L tsan --output-on-failure
# ---
