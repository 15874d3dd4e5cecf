#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it from there: the installed quillon
# loads no library of ours (its component is built in), writes no registry, and makes a symbol
# that decodes; the man pages render cleanly; the bash completion completes; the
# systemd unit names the installed quillon-serve and passes systemd-analyze. Then builds the
# Debian package and runs its post-install script against a copy of its files.
#
#   install_test.sh BUILD_DIR DECODE_PDF417
set -euo pipefail
build=$1
decode=$2
work=$(mktemp -d /tmp/quillon-install-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n'; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/quillon bin/quillon-serve lib/quillon/regsvr lib/quillon/libTarvexQuillon.so \
            lib/quillon/libTarvexUnicode.so lib/quillon/libQuillonRuntime.so \
            share/man/man1/quillon.1.gz share/man/man1/quillon-serve.1.gz \
            share/bash-completion/completions/quillon lib/systemd/system/quillon-serve.service \
            share/doc/quillon/copyright share/doc/quillon/changelog.Debian.gz; do
    [[ -e $prefix/$file ]] || fail "$file is not installed"
done
if readelf -d "$prefix/lib/quillon/quillon" | grep -q "$build"; then
    fail "the installed quillon still looks for libraries in the build tree"
fi

# The installed programs, run from there: quillon carries its component and runtime (the
# loader maps no library of ours) and leaves the registry a user would have untouched.
export QUILLON_REGISTRY=$work/registry
LD_DEBUG=files "$prefix/bin/quillon" --fit -o "$work/installed.png" Data="installed quillon" \
    2>"$work/loader.log" || fail "the installed quillon cannot make a picture"
[[ $("$decode" "$work/installed.png") == $(hex "installed quillon") ]] ||
    fail "the installed quillon's picture does not decode to its data"
loaded=$(grep -o 'file=[^ ]*lib\(TarvexQuillon\|QuillonRuntime\|quillon\)\.so[^ ]*' "$work/loader.log" |
    sort -u || true)
[[ -z $loaded ]] || fail "the installed quillon loaded $loaded"
[[ ! -e $QUILLON_REGISTRY ]] || fail "the installed quillon wrote a registry"
"$prefix/bin/quillon-serve" --version | grep -q '^quillon-serve ' || fail "quillon-serve --version"

for page in quillon quillon-serve; do
    warnings=$(gzip -dc "$prefix/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [[ -z $warnings ]] || fail "$page.1: $warnings"
done

completions=$(PATH=$prefix/bin:$PATH bash -c '
    source "$1"
    COMP_WORDS=(quillon --mea); COMP_CWORD=1; _quillon quillon; echo "${COMPREPLY[*]}"
    COMP_WORDS=(quillon ErrorCorr); COMP_CWORD=1; _quillon quillon; echo "${COMPREPLY[*]}"
    COMP_WORDS=(quillon Columns=); COMP_CWORD=1; _quillon quillon; echo "${COMPREPLY[*]}"
    COMP_WORDS=(quillon orientation=); COMP_CWORD=1; _quillon quillon; echo "${COMPREPLY[*]}"
    COMP_WORDS=(quillon HandleTilde=T); COMP_CWORD=1; _quillon quillon; echo "${COMPREPLY[*]}"
    COMP_WORDS=(quillon MicroRows=1); COMP_CWORD=1; _quillon quillon; echo "${COMPREPLY[*]}"
' _ "$prefix/share/bash-completion/completions/quillon")
# Columns takes 2..30, a range short enough to offer whole; MicroRows a list, of which those
# that start with 1.
[[ $completions == $'--measure\nErrorCorrectionLevel=\n'"$(echo $(seq 2 30))"$'\n0 1 2 3\nTrue\n10 11 12 14 15 17' ]] ||
    fail "bash completion gave: $completions"

unit=$prefix/lib/systemd/system/quillon-serve.service
grep -q "^ExecStart=$prefix/lib/quillon/quillon-serve " "$unit" || fail "the unit runs another binary"
grep -q '^DynamicUser=yes' "$unit" && grep -q '^Restart=on-failure' "$unit" ||
    fail "the unit does not run as an unprivileged user with a restart policy"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify --man=no "$unit" || fail "systemd-analyze refuses the unit"
fi

# The Debian package: its files under /usr, and a post-install script that registers both
# servers (run here against the unpacked files, in the test's registry).
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
package=$(echo "$work"/deb/quillon_*.deb)
dpkg-deb -x "$package" "$work/root"
dpkg-deb -e "$package" "$work/control"
[[ -L $work/root/usr/bin/quillon && -x $work/root/usr/lib/quillon/quillon ]] ||
    fail "the package lacks /usr/bin/quillon or /usr/lib/quillon/quillon"
# Every system library a packaged program or library needs comes from a package the .deb
# depends on (the dpkg database says which package that is).
depends=$(dpkg-deb -f "$package" Depends)
depended_on=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')  # the package names alone
for file in "$work"/root/usr/lib/quillon/*; do
    for library in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        # Ours: beside it, or libquillon, where linkers look.
        [[ -e $work/root/usr/lib/quillon/$library || -e $work/root/usr/lib/$library ]] && continue
        path=$(ldconfig -p | awk -v name="$library" '$1 == name && /x86-64/ {path = $NF} END {print path}')
        [[ -n $path ]] || fail "the loader's cache lacks $library, which $(basename "$file") needs"
        # With /lib merged into /usr/lib, dpkg knows a file by either name.
        owner=$({ dpkg -S "$path" "/usr$path" 2>/dev/null || true; } | head -1 | cut -d: -f1)
        [[ -n $owner ]] || fail "no package owns $library ($path), which $(basename "$file") needs"
        grep -qxF "$owner" <<<"$depended_on" ||
            fail "$(basename "$file") needs $library of $owner, but the package depends on: $depends"
    done
done
export QUILLON_REGISTRY=$work/package-registry
sed "s#/usr/lib/quillon#$work/root/usr/lib/quillon#g" "$work/control/postinst" >"$work/postinst"
sh "$work/postinst" configure || fail "the package's post-install script failed"
grep -q 'TarvexQuillon.Quillon' "$QUILLON_REGISTRY" && grep -q 'TarvexUnicode.Converter' "$QUILLON_REGISTRY" ||
    fail "the package's post-install script did not register both servers"
echo "installed into $prefix and packaged as $(basename "$package"): all checks passed"
