#!/usr/bin/env bash
# Installs what is needed, then builds and runs the whole test suite twice, a normal build and
# one with AddressSanitizer and UndefinedBehaviorSanitizer, with README's run and package
# commands tried from a fresh clone in between; cross-builds the Windows DLLs and
# runs their tests under Wine, against the normal build; then the tests whose threads share
# state under ThreadSanitizer, and every fuzz target for a bounded time. Run from anywhere, as
# root. QUILLON_FUZZ_SECONDS sets the time of each fuzz target (30 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DQUILLON_WERROR=ON "$@" >/dev/null
}

run_suite() {
    local dir=$1
    shift
    configure "$dir" "$@"
    cmake --build "$dir"
    ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
}

echo "== normal build"
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The deployment tests' figures (the image's size and digests, the nginx fault test's counts,
# what the manifests were checked against), which ctest shows only for a failure.
grep -hE '^(image|nginx|kubernetes): ' build/release/Testing/Temporary/LastTest.log || true
# The README's run command and package command as a newcomer runs them, in a fresh clone of
# HEAD (tests/install/). Its build goes through ccache, with paths taken relative to the
# checkout, so that a later run's build reuses these objects; the Debian root the package is
# installed into is made once per set of inputs (packaging/debian-root.sh).
echo "== the run command from a fresh clone, and the Debian package it makes"
rm -rf build/newcomer
mkdir -p build/newcomer
CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD \
    bash tests/install/run_command_test.sh build/newcomer build/release/bin/decode_pdf417
bash tests/install/debian_package_test.sh build/newcomer/clone build/release/bin/decode_pdf417 \
    build/debian-bookworm-minbase.tar

echo "== sanitizer build (ASan + UBSan)"
run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_BENCH=OFF

echo "== Windows DLLs and installer, the 64-bit side under Wine"
# Both bitnesses' DLLs and the MSI packages; fresh Wine prefixes inside the build folder (the
# tests make them anew), whose wineservers are ended at the end, whatever happened.
stop_wineservers() {
    local prefix
    for prefix in wine-prefix msi-prefix; do
        WINEPREFIX="$PWD/build/windows/$prefix" WINEDEBUG=-all timeout 60 wineserver -k \
            2>/dev/null || true
    done
}
trap stop_wineservers EXIT
configure build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DQUILLON_LINUX_CLI="$PWD/build/release/bin/quillon"
cmake --build build/windows
ctest --test-dir build/windows --output-on-failure -j 2

# Tests whose threads share state, run under ThreadSanitizer: "TARGET TEST-REGEX" each. Only
# those targets are built, at -O3 (the Release build type, so that it keeps building with
# warnings as errors too).
tsan_tests=(
    "server_tests ^QuillonServer\.ThreadsWithTheirOwnObjectsShareTheServerSafely$"
    "http_concurrency_tests ^http_host_under_concurrent_load$"
)
echo "== ThreadSanitizer"
configure build/tsan -DCMAKE_BUILD_TYPE=Release -DQUILLON_TSAN=ON -DQUILLON_BENCH=OFF
for entry in "${tsan_tests[@]}"; do
    read -r target tests <<<"$entry"
    cmake --build build/tsan --target "$target"
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --test-dir build/tsan --output-on-failure --no-tests=error -R "$tests"
done

# The fuzz targets (fuzz/CMakeLists.txt lists them) with clang's libFuzzer, each for a bounded
# time after the saved inputs that every test build above has replayed already.
echo "== fuzzing"
configure build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF
cmake --build build/fuzz --target quillon_fuzz_targets
bash scripts/fuzz.sh build/fuzz "${QUILLON_FUZZ_SECONDS:-30}"
