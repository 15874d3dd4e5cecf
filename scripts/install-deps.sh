#!/usr/bin/env bash
# Installs the Debian packages this project needs on Debian 12, only those missing. Run as root
# from anywhere; safe to run again.
#
#   install-deps.sh         everything the test command needs (scripts/test.sh)
#   install-deps.sh --run   only what building, running and packaging need (scripts/serve.sh)
#
# Building and running: a C++ compiler, CMake and Ninja, python3 for the files the build
# generates from the interface's description, zlib for quillon-serve's gzip; packaging adds
# dpkg-dev (dpkg-shlibdeps, in build-essential) and file, which CPack runs on each packaged file.
# Testing adds the test libraries and the independent oracles (zxing, zint, libpng, librsvg,
# groff, lintian), mingw-w64, wixl, msitools and Wine for the Windows DLLs and their installer,
# clang and its runtimes for the fuzz targets, Python's venv, pip, setuptools, pytest, zxing-cpp
# and Pillow for the Python package's tests, Chromium and playwright-core (from the npm
# registry) for the browser test of the demo page, bwip-js (from the npm registry) beside zint
# as a MicroPDF417 peer, wrk and time for the benchmarks, git, ccache
# and mmdebstrap for the run command's test from a fresh clone (built through ccache, so that a
# later run reuses its objects) and the package's test in a fresh Debian root; umoci, skopeo,
# runc (the OCI runtime that runs the image as the Deployment asks) and python3-yaml (which
# reads the Deployment there) for the container image's test, nginx for the load balancer's.
set -euo pipefail
cd "$(dirname "$0")/.."

run_packages=(build-essential cmake ninja-build python3 zlib1g-dev file)
test_packages=(
    pkg-config clang-format git ccache
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev libzxing-dev libzint-dev zint time
    chromium wrk curl librsvg2-bin groff-base lintian mmdebstrap
    nginx umoci skopeo runc python3-yaml
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 libwine-dev
    wixl msitools
    clang libclang-rt-14-dev llvm
    python3-venv python3-pip python3-setuptools python3-pytest python3-zxing-cpp python3-pil
)

case ${1:-} in
--run) packages=("${run_packages[@]}") ;;
"")
    packages=("${run_packages[@]}" "${test_packages[@]}")
    # Machines of this kind come with Node.js; a bare Debian takes Debian's.
    command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
    ;;
*) echo "usage: $0 [--run]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# From the npm registry: playwright-core for the browser test of the demo page, the
# Kubernetes API's schemas for the manifests' test, and bwip-js, the MicroPDF417 peer that the
# encoder's tests and benchmarks compare with.
if [[ ${1:-} != --run && ! -d tests/browser/node_modules/playwright-core ]]; then
    npm ci --prefix tests/browser --no-audit --no-fund --loglevel=error
fi
if [[ ${1:-} != --run && ! -d tests/deploy/kubernetes/node_modules/kubernetes-models ]]; then
    npm ci --prefix tests/deploy/kubernetes --no-audit --no-fund --loglevel=error
fi
if [[ ${1:-} != --run && ! -d tests/encoder/peer/node_modules/bwip-js ]]; then
    npm ci --prefix tests/encoder/peer --no-audit --no-fund --loglevel=error
fi
