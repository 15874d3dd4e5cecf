#!/usr/bin/env bash
# The largest picture from the command line: `quillon Width=32767 Height=32767 -o /dev/null`
# (with the pixel limit lifted to the picture's size, which is above its default), run RUNS
# times (default 5). Prints the medians of the whole process's elapsed time, its processor
# time (user and system: what the elapsed time would be on an idle machine), and its peak
# resident memory.
#
#   bench/large_picture.sh [BUILD_DIR] [RUNS]     (default build/release, 5; needs GNU time)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-5}
quillon="$build/bin/quillon"
[[ -x $quillon ]] || { echo "large_picture: build $quillon first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "large_picture: install time (apt-get install time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$quillon" --measure >/dev/null  # one untimed run, so the first timed one finds the libraries in memory

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$quillon" --max-pixels=$((32767 * 32767)) \
        Width=32767 Height=32767 -o /dev/null
    cat "$work/time" >>"$work/all"
done
seconds=$(cut -d' ' -f1 "$work/all" | median)
kilobytes=$(cut -d' ' -f2 "$work/all" | median)
processor=$(awk '{print $3 + $4}' "$work/all" | median)
awk -v s="$seconds" -v p="$processor" -v k="$kilobytes" -v n="$runs" 'BEGIN {
    printf "quillon Width=32767 Height=32767 -o /dev/null: %.2f s elapsed, %.2f s processor, peak memory %.0f MB (medians of %d runs)\n",
           s, p, k / 1024, n }'
