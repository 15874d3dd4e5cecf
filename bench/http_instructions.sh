#!/usr/bin/env bash
# Instructions quillon-serve's worker spends per request, counted by callgrind: a figure that,
# unlike time on a shared machine, compares two builds exactly (run it on both, for example
# main and a branch). Three loads: wrk on the demo page (the HTTP layer and little else) and
# on the default picture, and heads of 44 KB that arrive 200 bytes at a time, as a slow
# client sends them, where a parser that read each head again from its start on every read
# would cost the square of its length.
#
#   bench/http_instructions.sh [BUILD_DIR]     (default build/release; needs valgrind, wrk)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
serve="$build/bin/quillon-serve"
[[ -x $serve ]] || { echo "http_instructions: build $serve first" >&2; exit 2; }
for tool in valgrind wrk python3; do
    command -v $tool >/dev/null || { echo "http_instructions: install $tool" >&2; exit 2; }
done

work=$(mktemp -d)
pid=
trap '[[ -n $pid ]] && kill $pid 2>/dev/null; rm -rf "$work"' EXIT

# Starts the server under callgrind, counting only its worker's loop; sets $pid and $port.
start() {
    valgrind --tool=callgrind --callgrind-out-file="$work/out" --toggle-collect='*Worker::Run*' \
        "$serve" --port 0 --quiet --threads 1 >"$work/log" 2>"$work/err" &
    pid=$!
    for _ in $(seq 600); do grep -q listening "$work/log" && break; sleep 0.1; done
    port=$(grep -o 'http://[^ ]*/' "$work/log" | grep -o '[0-9]*/$' | tr -d /)
}

# Stops the server and prints the instructions per request of its run.
stop() {
    local name=$1 requests=$2
    kill -INT $pid
    wait $pid || true
    pid=
    local total
    total=$(callgrind_annotate "$work/out" 2>/dev/null |
        awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
    printf '%-34s %9d requests %12d instructions a request\n' "$name" "$requests" \
        $((total / requests))
}

for target in / /barcode.png; do
    start
    requests=$(wrk -t1 -c8 -d15s "http://127.0.0.1:$port$target" | awk '/requests in/ {print $1}')
    stop "GET $target, 8 connections" "$requests"
done

start
python3 - "$port" <<'PYTHON'
import socket, sys, time
head = ("GET /?" + "a" * 16000 + " HTTP/1.1\r\nHost: x\r\n" +
        "".join("X-%d: %s\r\n" % (i, "b" * 300) for i in range(90)) + "\r\n").encode()
for _ in range(10):
    with socket.create_connection(("127.0.0.1", int(sys.argv[1]))) as client:
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for at in range(0, len(head), 200):
            client.sendall(head[at:at + 200])
            time.sleep(0.002)
        assert client.recv(12) == b"HTTP/1.1 200"
PYTHON
stop "44 KB heads, 200 bytes a read" 10
