#!/usr/bin/env bash
# Installs what is needed, builds, and starts quillon-serve on 127.0.0.1:8080 (extra arguments
# go to quillon-serve, e.g. --port 9000); it uses the servers built beside it. Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target quillon quillon-serve TarvexQuillon TarvexUnicode

echo "Starting quillon-serve; the URL it prints is the demo page (Ctrl-C stops it)."
exec "$build/bin/quillon-serve" --bind 127.0.0.1 --port 8080 "$@"
