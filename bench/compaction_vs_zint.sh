#!/usr/bin/env bash
# OptimizeCompaction against zint's PDF417 encoder (zint chooses its compaction for the fewest
# codewords too): a fixed corpus of digits, text, binary and mixtures of 1 to 2,000 bytes,
# each encoded by both at the same data columns and error-correction level and read back from
# the symbols' modules. Prints, per kind of data and in all, the data codewords and rows of
# each; the test compaction_vs_zint_tests holds us to never more rows than zint.
#
# With --micro, MicroPDF417's compaction against zint's and bwip-js's: a corpus up to the
# largest symbol's capacity, at the same data columns (1 to 4) for all three; the test
# micropdf417_peer_tests holds us to never more data codewords than zint.
#
#   bench/compaction_vs_zint.sh [BUILD_DIR] [--each | --micro]   (default build/release;
#                          --each also lists every string where the two differ)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shift || true
program="$build/bin/compaction_vs_zint"
[[ -x $program ]] || { echo "compaction_vs_zint: build $program first (ninja -C $build compaction_vs_zint)" >&2; exit 2; }
"$program" "$@"
