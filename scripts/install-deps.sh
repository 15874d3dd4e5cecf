#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and benchmarking need.
# Run as root; safe to run again (it installs only what is missing).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev zlib1g-dev libzxing-dev libzint-dev
    libcpp-httplib-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
