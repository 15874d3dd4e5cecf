#!/usr/bin/env bash
# The Debian package as the README makes it and a user installs it: its command (run in
# CHECKOUT, after the run command made build/dist there) builds the .deb, which must be under
# 3 MB and pass lintian without errors or warnings; then apt installs it into a fresh minimal
# Debian 12 root (packaging/debian-root.sh, cached in ROOT_TAR), where `quillon --measure`, a
# picture and `quillon-serve --port 0` (as nobody, fetched from here over loopback) work, and
# README's line installs the Python package from the checkout with no package index reachable
# (after python3-venv, which README says to install first). Then it is removed, which leaves
# only the registry, and purged, and installed again, enabled and purged at once: after a
# purge the root must be as it was before, but for dpkg's and apt's own records. Run as root
# (chroot, unshare).
#
#   debian_package_test.sh CHECKOUT DECODE_PDF417 ROOT_TAR
set -euo pipefail
checkout=$1
decode=$(realpath "$2")
root_tar=$3
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /tmp/quillon-debian-package-XXXXXX)
root=$work/root
server=
cleanup() {
    [[ -n $server ]] && kill -KILL "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: Debian package: $*" >&2; exit 1; }

source "$here/helpers.sh"
package_command=$(readme_command "$checkout/README.md" 'to make the Debian package')
[[ $package_command == *cpack* || $package_command == *'--target package'* ]] ||
    fail "README names no package command after the run command (found '$package_command')"
(cd "$checkout" && $package_command >/dev/null) || fail "'$package_command' failed"
packages=("$checkout"/build/dist/quillon_*.deb)
((${#packages[@]} == 1)) || fail "expected one package in build/dist: ${packages[*]}"
package=${packages[0]}
size=$(stat -c %s "$package")
echo "Debian package: $(basename "$package"), $size bytes," \
    "$(dpkg-deb -f "$package" Installed-Size) KiB installed"
((size < 3 * 1024 * 1024)) || fail "the package is 3 MB or more"
# (Overrides, each with its reason, are in packaging/debian/lintian-overrides.)
lintian=$(lintian --fail-on error,warning "$package" 2>&1) || fail "lintian reports: $lintian"
version=$(dpkg-deb -f "$package" Version)
dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/share/doc/quillon/changelog.Debian.gz |
    gzip -d >"$work/changelog"
[[ $(dpkg-parsechangelog -l "$work/changelog" -S Version) == "$version" ]] ||
    fail "the latest changelog entry is not version $version"

bash "$here/../../packaging/debian-root.sh" "$root_tar" >/dev/null
mkdir "$root"
tar -xf "$root_tar" -C "$root"
cp "$package" "$root/tmp/quillon.deb"
# A command in the root, in namespaces of its own (its /proc shows only its own processes);
# the network is the host's, so that the host reaches a server there on loopback.
unshare_root=(unshare --pid --fork --kill-child --mount --mount-proc="$root/proc" chroot "$root")
in_root() { "${unshare_root[@]}" "$@"; }
apt_get() { in_root env DEBIAN_FRONTEND=noninteractive apt-get -qq -o Dpkg::Use-Pty=0 "$@"; }

# What README's Python line needs of Debian, from its mirror, as a user gets it; part of the
# root that the package's removal must leave as it was.
apt_get update >"$work/apt.log" 2>&1 &&
    apt_get install -y --no-install-recommends python3-venv >>"$work/apt.log" 2>&1 ||
    fail "apt cannot install python3-venv from the mirror: $(cat "$work/apt.log")"

# The root's files, but for what dpkg and apt record of their own work, the scratch areas, and
# ldconfig's cache of the system's libraries, which the package's trigger has rebuilt.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./tmp -o -path ./run \
        -o -path ./var/lib/dpkg -o -path ./var/lib/apt -o -path ./var/cache/apt \
        -o -path ./var/cache/ldconfig -o -path ./var/log \) -prune -o \( -type d -printf '%p %y %m\n' \) \
        -o -printf '%p %y %m %s %l\n' | LC_ALL=C sort)
}
left_over() { diff <(snapshot) "$work/pristine" | sed -n 's/^< //p'; }
snapshot >"$work/pristine"

apt_get install -y /tmp/quillon.deb >/dev/null || fail "apt cannot install the package"
grep -q 'TarvexQuillon.Quillon' "$root/var/lib/quillon/registry" ||
    fail "the post-install script did not register the component"

measured=$(in_root quillon --measure Data="installed by apt") || fail "quillon --measure failed"
[[ $measured == '{"rows":'*'"columns":'* ]] || fail "quillon --measure printed $measured"
in_root quillon --fit -o /tmp/cli.png Data="installed by apt" || fail "quillon cannot make a picture"
[[ $("$decode" "$root/tmp/cli.png") == $(hex "installed by apt") ]] ||
    fail "the installed quillon's picture does not decode to its data"

# Started directly, not through in_root, so that $! is unshare itself (which ignores SIGTERM
# while it waits) and its one child the server, the namespace's first process.
"${unshare_root[@]}" chroot --userspec=nobody:nogroup / quillon-serve --bind 127.0.0.1 --port 0 \
    >"$work/serve.log" 2>&1 &
unshared=$!
url=
for ((tenths = 0; tenths < 100 && ${#url} == 0; tenths++)); do
    sleep 0.1
    url=$(sed -n 's|^quillon-serve: listening on \(http://127\.0\.0\.1:[0-9]*/\).*|\1|p' "$work/serve.log")
done
[[ -n $url ]] || fail "quillon-serve did not listen within 10 s: $(cat "$work/serve.log")"
server=$(cat "/proc/$unshared/task/$unshared/children")
[[ $(curl -fsS --max-time 10 "${url}healthz") == ok* ]] || fail "GET /healthz failed"
curl -fsS --max-time 10 -o "$work/served.png" "${url}barcode.png?Data=served%20by%20apt&Width=400&Height=200" ||
    fail "GET /barcode.png failed"
[[ $("$decode" "$work/served.png") == $(hex "served by apt") ]] ||
    fail "the installed quillon-serve's picture does not decode to its data"
kill -TERM "$server"
gone_within "$unshared" 10 || fail "quillon-serve still runs 10 s after SIGTERM"
wait "$unshared" || fail "quillon-serve did not stop cleanly on SIGTERM"
server=

# README's Python line, run as written in a copy of the checkout's python/, in a network
# namespace of its own, so that no package index is reachable; the package it installs draws
# with the installed libquillon.
python_line=$(readme_command "$checkout/README.md" 'the Python package into a virtual environment')
[[ $python_line == *'pip install ./python'* ]] ||
    fail "README names no Python install line (found '$python_line')"
mkdir "$root/tmp/checkout"
cp -r "$checkout/python" "$checkout/CMakeLists.txt" "$root/tmp/checkout/"
unshare --net "${unshare_root[@]}" sh -c "cd /tmp/checkout && $python_line" >"$work/pip.log" 2>&1 ||
    fail "README's '$python_line' fails with no package index: $(cat "$work/pip.log")"
in_root /tmp/checkout/.venv/bin/python -c '
import sys, quillon
assert quillon.__file__.startswith("/tmp/checkout/.venv/"), quillon.__file__
sys.stdout.buffer.write(quillon.png("x"))' >"$work/python.png" ||
    fail "quillon.png(\"x\") fails after README's Python line"
[[ $("$decode" "$work/python.png") == $(hex "x") ]] ||
    fail "the Python package's picture does not decode to its data"

# Remove keeps what policy keeps: the registry (now without our servers) and the service's
# recorded state, which only a purge removes. Purge leaves nothing.
apt_get remove -y quillon >/dev/null || fail "apt cannot remove the package"
[[ $(in_root dpkg-query -W -f '${db:Status-Abbrev}' quillon) == 'rc ' ]] ||
    fail "a removed package is not left with its configuration"
! grep -q 'Tarvex' "$root/var/lib/quillon/registry" ||
    fail "the pre-removal script left the servers registered"
unexpected=$(left_over | grep -v -e '^\./var/lib/quillon[/ ]' -e '^\./var/lib/systemd[/ ]' || true)
[[ -z $unexpected ]] || fail "remove left: $unexpected"
apt_get purge -y quillon >/dev/null || fail "apt cannot purge the package"
[[ -z $(left_over) ]] || fail "purge after remove left: $(left_over)"

# Installed again, the service enabled as `systemctl enable` would, then purged at once.
apt_get install -y /tmp/quillon.deb >/dev/null || fail "apt cannot install the package again"
mkdir -p "$root/etc/systemd/system/multi-user.target.wants"
ln -s /lib/systemd/system/quillon-serve.service \
    "$root/etc/systemd/system/multi-user.target.wants/quillon-serve.service"
apt_get purge -y quillon >/dev/null || fail "apt cannot purge the installed package"
state=$(in_root dpkg-query -W -f '${db:Status-Abbrev}' quillon 2>/dev/null || true)
[[ -z $state || $state == 'un ' ]] || fail "a purged package is still known to dpkg ($state)"
[[ -z $(left_over) ]] || fail "purge left: $(left_over)"
echo "Debian package: installed, used, removed and purged in a fresh Debian root;" \
    "README's Python line installed the package there with no package index"
