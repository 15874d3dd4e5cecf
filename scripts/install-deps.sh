#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on Debian 12: the Debian packages
# (python3 for the files the build generates from the interface's description and for the
# Windows installer's registry entries, mingw-w64 for the Windows DLLs of both bitnesses, wixl
# and msitools for their installer, Wine for their tests, clang and its runtimes for the fuzz
# targets among them, Python's venv, pip, setuptools, pytest, zxing-cpp and Pillow for the Python
# package's tests), and playwright-core (from the npm registry) for the browser test of the
# demo page, unless given --without-browser-test. Run as root from anywhere; safe to run again
# (it installs only what is missing).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config clang-format python3
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev zlib1g-dev libzxing-dev libzint-dev zint time
    chromium wrk curl librsvg2-bin groff-base
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 libwine-dev
    wixl msitools
    clang libclang-rt-14-dev llvm
    python3-venv python3-pip python3-setuptools python3-pytest python3-zxing-cpp python3-pil
)
# Machines of this kind come with Node.js; a bare Debian takes Debian's.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [[ ${1:-} != --without-browser-test && ! -d tests/browser/node_modules/playwright-core ]]; then
    npm ci --prefix tests/browser --no-audit --no-fund --loglevel=error
fi
