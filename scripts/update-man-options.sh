#!/usr/bin/env bash
# Writes the OPTIONS section of each host's manual page (packaging/*.1) from the host's option
# table, which its hidden --man-options prints: run it after adding an option or changing its
# help. host_tests checks that the pages hold what the tables say.
#
#   bash scripts/update-man-options.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
section=$(mktemp)
trap 'rm -f "$section"' EXIT
for host in quillon quillon-serve; do
    page=packaging/$host.1
    "$build/bin/$host" --man-options >"$section"
    # The section's lines, from after its heading to the next heading, are replaced.
    awk -v section="$section" '
        /^\.SH / { skipping = 0 }
        !skipping { print }
        /^\.SH OPTIONS$/ { while ((getline line < section) > 0) print line; skipping = 1 }
    ' "$page" >"$page.new"
    mv "$page.new" "$page"
done
