#!/usr/bin/env bash
# Builds, installs into a private prefix and serves the demo page on 127.0.0.1:8080 (extra
# arguments go to quillon-serve, e.g. --port 9000). Run as root, it first installs the Debian
# packages the build needs, then runs the server as the unprivileged user nobody, which can
# read the installed files but not change them; run as anyone else, it runs as that user.
# The server uses the component installed beside it and writes no registry.
set -euo pipefail
cd "$(dirname "$0")/.."
if ((EUID == 0)); then
    bash scripts/install-deps.sh --without-browser-test
fi

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target quillon quillon-serve TarvexQuillon TarvexUnicode

prefix=$(mktemp -d "${TMPDIR:-/tmp}/quillon-serve-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
chmod 755 "$prefix"
run_as=()
if ((EUID == 0)); then
    run_as=(runuser -u nobody --)
fi

echo "Starting quillon-serve; the URL it prints is the demo page (Ctrl-C stops it)."
"${run_as[@]}" "$prefix/bin/quillon-serve" --bind 127.0.0.1 --port 8080 "$@"
