#!/usr/bin/env bash
# Load on quillon-serve with wrk: the demo page (the HTTP layer and little else), the default
# picture and a picture of 100 characters, each plain and gzipped, for 10 seconds at 64
# connections. Prints requests per second, latency
# percentiles, bytes per answer, and the server's CPU time per request (user and system, from
# /proc), which other work on the machine disturbs far less than the rate does.
#
#   bench/http_load.sh [BUILD_DIR]     (default build/release; needs the wrk package)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
serve="$build/bin/quillon-serve"
command -v wrk >/dev/null || { echo "http_load: install wrk (apt-get install wrk)" >&2; exit 2; }
[[ -x $serve ]] || { echo "http_load: build $serve first" >&2; exit 2; }

log=$(mktemp)
"$serve" --port 0 --quiet >"$log" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do grep -q listening "$log" && break; sleep 0.05; done
url=$(grep -o 'http://[^ ]*/' "$log")

# 100 characters of text, spaces escaped for the query string.
text='The quick brown fox jumps over the lazy dog. 0123456789 Sphinx of black quartz, judge my vow! Quillon'
data="Data=$(printf '%s' "${text:0:100}" | sed 's/ /%20/g')"

server_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }  # user + system, in clock ticks

run() {
    local name=$1 target=$2 encoding=${3:-identity}
    echo "== $name: GET $target (Accept-Encoding: $encoding)"
    local bytes
    bytes=$(curl -sf -H "Accept-Encoding: $encoding" -o /dev/null -w '%{size_download}' \
        "$url${target#/}") || { echo "http_load: $target fails" >&2; exit 1; }
    local before output
    before=$(server_ticks)
    output=$(wrk -t2 -c64 -d10s --latency -H "Accept-Encoding: $encoding" "$url${target#/}")
    local ticks=$(($(server_ticks) - before))
    printf '%s\n' "$output" >&2
    awk -v ticks="$ticks" -v hz="$(getconf CLK_TCK)" '
        /requests in/ {requests=$1} /Requests\/sec/ {rps=$2} /^ +50%/ {p50=$2} /^ +99%/ {p99=$2}
        /Non-2xx|Socket errors/ {errors=errors $0 "; "}
        END {printf "%s: %s bytes, %s requests/s, p50 %s, p99 %s, %.1f us CPU/request%s\n",
             "'"$name"'", "'"$bytes"'", rps, p50, p99, ticks / hz * 1e6 / requests,
             errors ? ", ERRORS: " errors : ", no errors"}' <<<"$output" >&2
}
run "demo page" "/"
run "defaults" "/barcode.png"
run "defaults, gzip" "/barcode.png" gzip
run "100 characters" "/barcode.png?$data"
run "100 characters, gzip" "/barcode.png?$data" gzip
