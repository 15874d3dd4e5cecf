#!/usr/bin/env bash
# Every speed figure of the component and its hosts in one run, one line each: the figure, its
# ratio and the goal it is held to. Runs quillon_bench, compressed_png_bench, library_bench,
# micro_bench, bench/python_png.py, bench/http_load.sh, bench/cli_vs_zint.sh and the Macro-set
# flood (bench/hostile_clients.py macro-flood) over BUILD_DIR, as built by
# `cmake -S . -B BUILD_DIR -DCMAKE_BUILD_TYPE=RelWithDebInfo`. The benchmarks' own reports go
# to standard error; takes about five minutes.
#
#   bench/summary.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
bin=$build/bin
for program in quillon_bench compressed_png_bench library_bench micro_bench quillon quillon-serve; do
    [[ -x $bin/$program ]] || { echo "summary: build $bin/$program first" >&2; exit 2; }
done

# The lines of a benchmark's report that start with one of the data sets' labels.
cases() { grep -E '^\((a|b|c)\) ' || true; }
line() { printf '%-44s %s\n' "$1" "$2"; }

echo "== PNGImage and the C API against zint + libpng (quillon_bench)"
"$bin/quillon_bench" 21 | tee /dev/stderr | cases | while read -r label text rest; do
    read -r _ _ _ _ png _ api _ zdef _ zst _ xdef xst <<<"$label $text $rest"
    line "$label $text C API x zint+libpng default" "${xdef} (goal: none; PNGImage $png us, C API $api us)"
    line "$label $text C API x zint+libpng stored" "${xst} (goal >= 4x, moonshot 6x)"
done

echo "== compressed PNGs against zint + libpng at its default (compressed_png_bench)"
"$bin/compressed_png_bench" 21 | tee /dev/stderr | cases | while read -r label text ours zint us them ratio _; do
    line "$label $text compressed" "$ratio faster, $ours bytes against zint's $zint (goal >= 2x, no more bytes)"
done

echo "== the C library's cost over PNGImage (library_bench)"
"$bin/library_bench" 31 | tee /dev/stderr | cases | while read -r label text direct api cost percent; do
    line "$label $text C API cost" "$cost us, $percent of $direct us (goal <= max(0.5 us, 10%))"
done

echo "== Python's quillon.png against a kept object (bench/python_png.py)"
QUILLON_LIBRARY=$bin/libquillon.so PYTHONPATH=python python3 bench/python_png.py 15 |
    tee /dev/stderr | cases | while read -r label text png kept difference; do
    line "$label $text quillon.png over kept" "$difference us (goal <= 3 us)"
done

echo "== MicroPDF417 against zint + libpng (micro_bench)"
"$bin/micro_bench" 21 | tee /dev/stderr | sed -E 's/.*compressed \(([0-9.]+x)\).*stored \(([0-9.]+x)\).*/\1 \2/' |
    while read -r compressed stored; do
        line "MicroPDF417 20 ASCII x zint+libpng" "$compressed compressed, $stored stored (goal >= 10x)"
    done

echo "== HTTP: server CPU a request (bench/http_load.sh)"
bash bench/http_load.sh "$build" | tee /dev/stderr | grep '^http ' | while read -r line; do
    line "${line%%:*}" "${line#*: }"
done
echo "   (goals: default picture <= 1.3x the floor; six digits <= 1.0x nginx; 100 characters <= 1.3x nginx)"

echo "== the command line against zint (bench/cli_vs_zint.sh)"
bash bench/cli_vs_zint.sh "$build" 200 | tee /dev/stderr | grep -E '^\((a|b|c)\) .* ms ' |
    while read -r label text quillon _ zint _ ratio _; do
        line "$label $text quillon x zint" "$ratio ($quillon ms against $zint ms; goal >= 1.2x)"
    done

echo "== a normal client beside a flood of Macro sets (bench/hostile_clients.py macro-flood)"
python3 bench/hostile_clients.py "$bin/quillon-serve" macro-flood | tee /dev/stderr |
    grep -E '^macro-flood' | while read -r line; do
        line "${line%%:*}" "${line#*: } (goal: p99 < 50 ms, every heavy request 200, >= 40)"
    done
