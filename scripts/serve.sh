#!/usr/bin/env bash
# Installs what is needed, builds, registers the two servers and starts quillon-serve on
# 127.0.0.1:8080 (extra arguments go to quillon-serve, e.g. --port 9000). Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target quillon quillon-serve regsvr TarvexQuillon TarvexUnicode

"$build/bin/regsvr" "$build/bin/libTarvexQuillon.so"
"$build/bin/regsvr" "$build/bin/libTarvexUnicode.so"

echo "Starting quillon-serve; the URL it prints is the demo page (Ctrl-C stops it)."
exec "$build/bin/quillon-serve" --bind 127.0.0.1 --port 8080 "$@"
