#!/usr/bin/env bash
# Every speed figure of the component and its hosts in one run, one line each: the figure, its
# ratio and the goal it is held to. Runs quillon_bench, compressed_png_bench, library_bench,
# micro_bench, bench/python_png.py, bench/http_load.sh, bench/cli_vs_zint.sh and the Macro-set
# flood (bench/hostile_clients.py macro-flood) over BUILD_DIR, as built by
# `cmake -S . -B BUILD_DIR -DCMAKE_BUILD_TYPE=RelWithDebInfo`. The benchmarks' own reports go
# to standard error; takes about ten minutes.
#
#   bench/summary.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
bin=$build/bin
for program in quillon_bench compressed_png_bench library_bench micro_bench quillon quillon-serve; do
    [[ -x $bin/$program ]] || { echo "summary: build $bin/$program first" >&2; exit 2; }
done
python=/usr/bin/python3  # Debian's, which has what the package's benchmark imports
[[ -x $python ]] || python=python3

# The benchmarks' lines of the data sets (a), (b) and (c), their labels' words as they are;
# each reader below takes its numbers counting from the end of the line, past the label.
cases() { tee -a /dev/stderr | grep -E '^\((a|b|c)\) ' || true; }
# Prints `label: text` with the label padded, from awk: figure(label, text).
figure='function figure(label, text) { printf "%-40s %s\n", label, text }
        function label(words) { s = $1; for (i = 2; i <= words; i++) s = s " " $i; return s }'

echo "== PNGImage and the C API against zint + libpng (quillon_bench)"
"$bin/quillon_bench" 21 | cases | awk "$figure"'
    $NF ~ /x$/ { l = label(NF - 14)
        figure(l " C API x zint default", $(NF - 1) " (goal: none; PNGImage " $(NF - 9) \
            " us, C API " $(NF - 7) " us)")
        figure(l " C API x zint stored", $NF " (goal >= 4x, moonshot 6x)") }'

echo "== compressed PNGs against zint + libpng at its default (compressed_png_bench)"
"$bin/compressed_png_bench" 21 | cases | awk "$figure"'
    { figure(label(NF - 7) " compressed", $(NF - 2) " faster, " $(NF - 6) " bytes against zint'"'"'s " \
        $(NF - 5) " (goal >= 2x, no more bytes)") }'

echo "== the C library's cost over PNGImage (library_bench)"
"$bin/library_bench" 31 | cases | awk "$figure"'
    { figure(label(NF - 4) " C API cost", $(NF - 1) " us, " $NF " of " $(NF - 3) \
        " us (goal <= max(0.5 us, 10%))") }'

echo "== Python's quillon.png against a kept object (bench/python_png.py)"
QUILLON_LIBRARY=$bin/libquillon.so PYTHONPATH=python "$python" bench/python_png.py 15 |
    cases | awk "$figure"'
    { figure(label(NF - 5) " quillon.png over kept", $(NF - 2) " us; over kept putting its settings " \
        $NF " us (goal <= 3 us)") }'

echo "== MicroPDF417 against zint + libpng (micro_bench)"
"$bin/micro_bench" 21 | tee -a /dev/stderr | awk "$figure"'
    /^MicroPDF417/ { match($0, /compressed \([0-9.]+x\)/); c = substr($0, RSTART + 12, RLENGTH - 13)
        match($0, /stored \([0-9.]+x\)/); s = substr($0, RSTART + 8, RLENGTH - 9)
        figure("MicroPDF417 20 ASCII x zint+libpng", c " compressed, " s " stored (goal >= 10x)") }'

echo "== HTTP: server CPU a request (bench/http_load.sh)"
bash bench/http_load.sh "$build" | tee -a /dev/stderr | awk "$figure"'
    /^http / { split($0, part, ": "); figure(part[1], part[2]) }'
echo "   (goals: default picture <= 1.3x the floor; six digits <= 1.0x nginx; 100 characters <= 1.3x nginx)"

echo "== the command line against zint, and the process floor (bench/cli_vs_zint.sh)"
bash bench/cli_vs_zint.sh "$build" 200 | tee -a /dev/stderr | awk "$figure"'
    /^\((a|b|c)\) / && $(NF - 2) ~ /x$/ { figure(label(NF - 7) " quillon x zint", $(NF - 2) " (" $(NF - 6) \
        " ms against " $(NF - 4) " ms; goal >= 1.2x)") }
    /^(\/bin\/true|static hello) / { figure("process floor: " label(NF - 3), $(NF - 2) " ms") }'

echo "== a normal client beside a flood of Macro sets (bench/hostile_clients.py macro-flood)"
"$python" bench/hostile_clients.py "$bin/quillon-serve" macro-flood | tee -a /dev/stderr | awk "$figure"'
    /^macro-flood/ { split($0, part, ": ")
        figure(part[1], part[2] " (goal: p99 < 50 ms, every Macro set 200, >= 40)") }'
