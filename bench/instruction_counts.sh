#!/usr/bin/env bash
# Instructions per PNGImage call for each of quillon_bench's cases, counted by callgrind: a
# figure that, unlike time on a shared machine, compares two builds exactly. Run it on both
# builds (for example main and a branch) and compare the columns.
#
#   bench/instruction_counts.sh [BUILD_DIR] [CALLS]     (default build/release, 200)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
calls=${2:-200}
bench="$build/bin/quillon_bench"
[[ -x $bench ]] || { echo "instruction_counts: build $bench first" >&2; exit 2; }
command -v valgrind >/dev/null || { echo "instruction_counts: install valgrind" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=('(a) "12"' '(b) 100 ASCII' '(c) 1000 mixed' '(b) coloured' '(b) Orientation 1'
       '(b) Orientation 3' '4000 x 4000')
for i in "${!names[@]}"; do
    n=$calls
    ((i == 6)) && n=$(((calls + 19) / 20))  # the large picture: fewer calls say as much
    valgrind --tool=callgrind --callgrind-out-file="$work/out" \
        --toggle-collect='CQuillon::get_PNGImage*' "$bench" --only "$i" "$n" 2>"$work/log"
    total=$(callgrind_annotate "$work/out" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
    printf '%-20s %12d instructions a call\n' "${names[$i]}" $((total / n))
done
