#!/usr/bin/env bash
# The whole process: `quillon -o /dev/null` against the zint command-line tool, both writing a
# PNG of the same data with 2-pixel modules: "12", 100 ASCII characters and 1000 mixed bytes
# (the data sets of quillon_bench). The two tools take turns, RUNS times each (default 200);
# prints the median elapsed time of each and their ratio, and, when valgrind is there, the
# instructions one run of each executes (callgrind): a figure that, unlike the times on a
# shared machine, does not wander from one run of the script to the next. Below them, the
# floor any process starts from, timed in turn with the two tools: /bin/true, and a statically
# linked hello world built here with the C compiler, and how far above it each run lies. On a
# virtual machine the floor is mostly the loader's questions to the processor (CPUID), which
# the hypervisor answers; no program can go below it.
#
#   bench/cli_vs_zint.sh [BUILD_DIR] [RUNS]     (default build/release, 200; needs zint)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-200}
quillon="$build/bin/quillon"
[[ -x $quillon ]] || { echo "cli_vs_zint: build $quillon first" >&2; exit 2; }
command -v zint >/dev/null || { echo "cli_vs_zint: install zint (apt-get install zint)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$quillon" --measure >/dev/null  # one untimed run, so the first timed one finds the libraries in memory

# The data sets as files of bytes, made as quillon_bench makes them.
printf '12' >"$work/a.bin"
sentence='The quick brown fox jumps over the lazy dog, 0123456789! '
printf '%s' "$sentence$sentence" | head -c 100 >"$work/b.bin"
mixed() {  # runs of letters and of arbitrary bytes from the same generator, 1000 bytes
    local state=12345 count=0 text run i byte
    while ((count < 1000)); do
        state=$(((state * 1103515245 + 12345) & 0xFFFFFFFF))
        text=$((((state >> 16) & 0xFFFF) % 3 != 0))
        run=$((5 + ((state >> 8) & 0xFFFFFF) % 20))
        for ((i = 0; i < run && count < 1000; i++, count++)); do
            state=$(((state * 1103515245 + 12345) & 0xFFFFFFFF))
            if ((text)); then byte=$((97 + ((state >> 16) & 0xFFFF) % 26)); else byte=$(((state >> 16) & 0xFF)); fi
            printf "\\$(printf '%03o' "$byte")"
        done
    done
}
mixed >"$work/c.bin"

# A Data value: printable ASCII as it is, every other byte (and the tilde) as ~dNNN.
escaped() { od -An -v -tu1 "$1" | tr -s ' ' '\n' | grep . |
    awk '{ if ($1 >= 32 && $1 < 127 && $1 != 126) printf "%c", $1; else printf "~d%03d", $1 }'; }

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
elapsed() {  # microseconds one run of the command takes
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    local end=$EPOCHREALTIME
    echo $(((${end/./} - ${start/./})))
}

# Instructions of one run, or nothing without valgrind.
instructions() {
    command -v valgrind >/dev/null || return 0
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' | tr -d ,
}

# The floor: what starting any program costs here, timed in the same loop as the two tools so
# that it sees the same machine.
floor=("/bin/true")
if command -v cc >/dev/null &&
    printf '#include <stdio.h>\nint main(void) { puts("hello"); return 0; }\n' |
    cc -O2 -static -x c -o "$work/static-hello" - 2>/dev/null; then
    floor+=("$work/static-hello")
fi
floor_names=("/bin/true" "static hello")

labels=() ours_medians=() peer_medians=() floor_medians=()
printf '%-16s %10s %10s %8s %14s %14s\n' "data" "quillon" "zint" "ratio" "instr. quillon" "instr. zint"
for set in "a 0 (a) \"12\"" "b 1 (b) 100 ASCII" "c 2 (c) 1000 mixed"; do
    read -r name mode label <<<"$set"
    settings=("Data=$(escaped "$work/$name.bin")" HandleTilde=1 "Mode=$mode" NarrowBarWidth=0.0529166)
    # The same columns for zint, and for us a picture as large as the symbol.
    measure=$("$quillon" --measure "${settings[@]}")
    columns=$(sed 's/.*"columns":\([0-9]*\).*/\1/' <<<"$measure")
    width=$(sed 's/.*"width":\([0-9]*\).*/\1/' <<<"$measure")
    height=$(sed 's/.*"height":\([0-9]*\).*/\1/' <<<"$measure")
    ours=("$quillon" -o /dev/null "${settings[@]}" "Width=$width" "Height=$height")
    peer=(zint -b PDF417 --binary -i "$work/$name.bin" "--cols=$columns" --secure=2 --scale=1
        --filetype=PNG -o /dev/null)
    "${ours[@]}" && "${peer[@]}" || { echo "cli_vs_zint: a run failed" >&2; exit 1; }
    : >"$work/ours" && : >"$work/peer"
    for ((i = 0; i < runs; i++)); do
        elapsed "${ours[@]}" >>"$work/ours"
        elapsed "${peer[@]}" >>"$work/peer"
        for k in "${!floor[@]}"; do elapsed "${floor[k]}" >>"$work/floor-$k-$name"; done
    done
    o=$(median <"$work/ours")
    p=$(median <"$work/peer")
    f=$(for k in "${!floor[@]}"; do median <"$work/floor-$k-$name"; done | sort -g | head -1)
    oi=$(instructions "${ours[@]}")
    pi=$(instructions "${peer[@]}")
    awk -v l="$label" -v o="$o" -v p="$p" -v oi="${oi:--}" -v pi="${pi:--}" 'BEGIN {
        printf "%-16s %7.2f ms %7.2f ms %7.2fx %14s %14s\n", l, o / 1000, p / 1000, p / o, oi, pi }'
    labels+=("$label") ours_medians+=("$o") peer_medians+=("$p") floor_medians+=("$f")
done
echo "(medians of $runs runs each, elapsed time; a ratio above 1 means quillon is faster)"
for f in "${!floor[@]}"; do
    t=$(cat "$work"/floor-"$f"-* | median)
    floor_instructions=$(instructions "${floor[f]}")
    awk -v l="${floor_names[f]}" -v t="$t" -v fi="${floor_instructions:--}" 'BEGIN {
        printf "%-16s %7.2f ms %10s %8s %14s\n", l, t / 1000, "", "", fi }'
done
echo "(the floor: starting any program, timed in turn with the two tools)"
for i in "${!labels[@]}"; do
    awk -v l="${labels[i]}" -v o="${ours_medians[i]}" -v p="${peer_medians[i]}" \
        -v f="${floor_medians[i]}" 'BEGIN {
        printf "%-16s above the floor: quillon %.2f ms, zint %.2f ms\n", l, (o - f) / 1000, (p - f) / 1000 }'
done
