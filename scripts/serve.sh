#!/usr/bin/env bash
# Builds, installs into a private prefix and serves the demo page on 127.0.0.1:8080 (extra
# arguments go to quillon-serve, e.g. --port 9000). Run as root, it first installs the Debian
# packages that building and running need (not the test tools), then runs the server as the
# unprivileged user nobody, which can read the installed files but not change them; run as
# anyone else, it runs as that user. The server uses the component installed beside it and
# writes no registry.
#
# The build is a Release build of the deliverables alone, in build/dist: its default target is
# everything the install rules install, whatever they come to list. The Debian package is made
# from the same build (README).
set -euo pipefail
cd "$(dirname "$0")/.."
if ((EUID == 0)); then
    bash scripts/install-deps.sh --run
fi

build=build/dist
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF \
    -DQUILLON_BENCH=OFF >/dev/null
cmake --build "$build"

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
