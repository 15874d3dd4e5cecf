#!/usr/bin/env bash
# libquillon as its users get it: installed into a temporary prefix, it exports only its API;
# README's C example (its first ```c block) builds with pkg-config, and its CMake example with
# find_package(Quillon) in a C-only project, both against the prefix, and their PNGs decode;
# the Python package installs with pip into a fresh virtual environment (no package index),
# writes the very PNG the quillon command writes, runs README's Python example and passes its
# pytest suite; the copy cmake --install put beside the library loads it by itself.
#
#   installed_test.sh BUILD_DIR SOURCE_DIR DECODE_PDF417
set -euo pipefail
build=$1
source=$2
decode=$3
work=$(mktemp -d /tmp/quillon-library-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n'; }
# The first block of README.md fenced as ```$1.
readme_block() { awk -v fence="\`\`\`$1" '$0 == fence {on = 1; next} on && /^```/ {exit} on' "$source/README.md"; }
python=/usr/bin/python3  # Debian's, whatever else PATH offers
export PYTHONDONTWRITEBYTECODE=1  # nothing written into the checkout

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
export QUILLON_REGISTRY=$work/registry
library=$prefix/lib/libquillon.so.$(sed -n 's/^#define QUILLON_VERSION_MAJOR //p' "$prefix/include/quillon/version.h")
[[ -f $library ]] || fail "$library is not installed"
[[ $(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p') == "${library##*/}" ]] ||
    fail "the library's SONAME is not ${library##*/}"
others=$(nm -D --defined-only "$library" | awk '{print $3}' | grep -v '^quillon_' || true)
[[ -z $others ]] || fail "the library exports more than its API: $(head -5 <<<"$others")"

# C, with pkg-config.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
mkdir "$work/c" && cd "$work/c"
readme_block c >hello.c
[[ -s hello.c ]] || fail "README has no C example"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror hello.c $(pkg-config --cflags --libs quillon) -o hello ||
    fail "README's C example does not build with pkg-config"
LD_LIBRARY_PATH=$prefix/lib ./hello || fail "README's C example fails"
[[ $("$decode" hello.png) == $(hex "Hello, PDF417") ]] || fail "the C example's PNG does not decode"

# CMake, in a project of C alone.
mkdir "$work/cmake" && cd "$work/cmake"
readme_block cmake >CMakeLists.txt
cp "$work/c/hello.c" .
cmake -S . -B build -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
    fail "find_package(Quillon) fails"
cmake --build build >/dev/null || fail "README's CMake example does not build"
LD_LIBRARY_PATH=$prefix/lib build/hello || fail "the CMake example's program fails"
cmp -s hello.png "$work/c/hello.png" || fail "the CMake example writes another picture"

# Python: the package on its own, from a copy of the checkout's python/ (pip builds in place).
mkdir "$work/src" && cp -r "$source/python" "$source/CMakeLists.txt" "$work/src/"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-index --no-build-isolation "$work/src/python" ||
    fail "pip install ./python fails"
cd "$work"
export LD_LIBRARY_PATH=$prefix/lib
"$work/venv/bin/python" -c "import quillon; open('x.png','wb').write(quillon.png('hello'))"
"$prefix/bin/quillon" Data=hello -o cli.png
cmp -s x.png cli.png || fail "quillon.png('hello') differs from quillon Data=hello"
readme_block python >example.py
"$work/venv/bin/python" example.py || fail "README's Python example fails"
"$decode" hello.png >/dev/null || fail "README's Python example's PNG does not decode"
QUILLON_CLI=$prefix/bin/quillon "$work/venv/bin/python" -m pytest -q -p no:cacheprovider \
    "$source/python/tests" || fail "the Python package's tests fail"
unset LD_LIBRARY_PATH

# The package cmake --install put beside the library finds it with no help.
PYTHONPATH=$prefix/lib/python3/dist-packages "$python" -c "
import quillon
assert quillon.version() == '$(sed -n 's/^#define QUILLON_VERSION "\(.*\)"/\1/p' "$prefix/include/quillon/version.h")'
assert quillon.png('hello') == open('cli.png', 'rb').read()
" || fail "the installed Python package does not load the installed library"
echo "library installed: C, CMake and Python examples and the pytest suite pass"
