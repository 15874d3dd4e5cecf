#!/usr/bin/env bash
# 200 symbols from the command line: one quillon --batch process against 200 runs of quillon,
# each making the same fitted PNG of one line. Prints the wall-clock time of each and how
# many times faster the batch is; checks that both made the same files.
#
#   bench/cli_batch.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
quillon="$build/bin/quillon"
[[ -x $quillon ]] || { echo "cli_batch: build $quillon first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/batch" "$work/runs"
for i in $(seq 200); do echo "Shipment $i: 24 boxes, pallet B-$((i * 7919 % 1000))"; done >"$work/lines"
"$quillon" --measure >/dev/null  # one untimed run, so the first timed one finds the libraries in memory

nanoseconds() { date +%s%N; }
start=$(nanoseconds)
"$quillon" --batch --fit -i "$work/lines" -o "$work/batch/%03d.png"
batch=$(($(nanoseconds) - start))

start=$(nanoseconds)
n=0
while IFS= read -r line; do
    n=$((n + 1))
    "$quillon" --fit -o "$work/runs/$(printf %03d $n).png" "Data=$line"
done <"$work/lines"
runs=$(($(nanoseconds) - start))

diff -rq "$work/batch" "$work/runs" >/dev/null || { echo "cli_batch: the files differ" >&2; exit 1; }
awk -v batch="$batch" -v runs="$runs" 'BEGIN {
    printf "200 symbols: --batch %.3f s, 200 runs %.3f s: the batch is %.1f times faster\n",
           batch / 1e9, runs / 1e9, runs / batch }'
