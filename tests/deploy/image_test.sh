#!/usr/bin/env bash
# The container image as a user gets it: packages this build (cpack, stripped), builds the image
# from it and the shared Debian root twice and expects the same digests, checks that skopeo
# reads it and copies it to what `docker load` takes, that it holds no build tools and carries
# its labels; then unpacks it with umoci and runs it with runc as the Deployment in
# deploy/kubernetes asks (apply_pod_spec.py: its user, a read-only root with an emptyDir /tmp,
# no capabilities, no new privileges), in namespaces of its own. There /healthz must answer, the
# image's own health check pass, a PNG equal, byte for byte, what this build's quillon writes
# for the same query, the server run as the Deployment's user and nothing but /tmp be
# writable; the image's stop signal must then stop it within the drain time README promises,
# with exit status 0. Run as root.
#
#   image_test.sh BUILD_DIR ROOT_TAR
set -euo pipefail
build=$(realpath "$1")
root_tar=$2
here=$(dirname "$(realpath "$0")")
deploy=$here/../../deploy
py=/usr/bin/python3  # Debian's, with its yaml module
work=$(mktemp -d /tmp/quillon-image-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: image: $*" >&2; exit 1; }
source "$here/../install/helpers.sh"  # gone_within

(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null 2>&1) || fail "cpack failed"
package=$(echo "$work"/deb/quillon_*.deb)
version=$(dpkg-deb -f "$package" Version)
for build_number in 1 2; do
    bash "$deploy/image/build-image.sh" "$package" "$root_tar" "$work/image$build_number" \
        2>"$work/build.log" | tee "$work/built$build_number" || fail "build: $(cat "$work/build.log")"
done
# Same inputs, same bytes: the index names the same manifest, which names the same layer.
cmp -s "$work/image1/index.json" "$work/image2/index.json" ||
    fail "two builds from the same inputs differ: $(cat "$work"/built?)"
image=$work/image1

inspect=$(skopeo inspect --raw --config "oci:$image:$version" | "$py" -m json.tool) || fail "skopeo cannot read the image"
for expected in '"ExposedPorts"' "\"org.opencontainers.image.version\": \"$version\"" \
    '"org.opencontainers.image.source"'; do
    [[ $inspect == *"$expected"* ]] || fail "the configuration lacks $expected"
done
skopeo copy -q "oci:$image:$version" "docker-archive:$work/quillon.tar:quillon:$version" ||
    fail "skopeo cannot copy the image to a docker archive"
echo "image: $(du -sb "$image/blobs" | cut -f1) bytes in the layout," \
    "$(stat -c %s "$work/quillon.tar") as a docker archive"
rm "$work/quillon.tar"

umoci unpack --image "$image:$version" "$work/bundle" >/dev/null || fail "umoci cannot unpack it"
rootfs=$work/bundle/rootfs
config=$work/bundle/config.json

# No compilers, linkers, build systems or test tools inside (gcc-12-base, the runtime's
# copyright files, is not a compiler).
installed=$(sed -n 's/^Package: //p' "$rootfs/var/lib/dpkg/status")
tools=$(grep -xE '(gcc|g\+\+|cpp|clang)(-[0-9]+)?|binutils.*|make|cmake|ninja-build|libc6-dev|build-essential|lintian|curl' \
    <<<"$installed" || true)
[[ -z $tools ]] || fail "the image holds build or test packages: $tools"
for tool in cc gcc c++ g++ ld as make cmake ninja; do
    [[ ! -e $rootfs/usr/bin/$tool ]] || fail "the image holds /usr/bin/$tool"
done

# What the image itself says: its user (umoci has resolved it to numbers), entry point, health
# check, port and stop signal.
image_config=$work/image-config.json
printf '%s\n' "$inspect" >"$image_config"
# json FILE EXPRESSION: the expression's value (c is the file's JSON), a list one item a line.
json() {
    "$py" -c 'import json, sys
value = eval(sys.argv[2], {"c": json.load(open(sys.argv[1]))})
print(*(value if isinstance(value, list) else [value]), sep="\n")' "$@"
}
image_user=$(json "$config" '"%(uid)s:%(gid)s" % c["process"]["user"]')
mapfile -t healthcheck < <(json "$image_config" 'c["config"]["Healthcheck"]["Test"][1:]')
mapfile -t entrypoint < <(json "$image_config" 'c["config"].get("Entrypoint", [])')
((${#healthcheck[@]} > 0 && ${#entrypoint[@]} > 0)) ||
    fail "the image names no entry point or health check"
port=$(json "$image_config" 'next(iter(c["config"]["ExposedPorts"])).split("/")[0]')
stop_signal=$(json "$config" 'c["annotations"]["org.opencontainers.image.stopSignal"]')

# The configuration as a kubelet would give it to the runtime for the Deployment's container.
# The rlimits umoci sets (1024 descriptors) stay: these machines refuse only raising a limit
# above their hard one (root lacks CAP_SYS_RESOURCE; runc then fails "error setting rlimit").
"$py" "$here/apply_pod_spec.py" "$deploy/kubernetes" "$config" "$image_config" ||
    fail "the Deployment cannot be applied to the image's runtime configuration"
user=$(json "$config" '"%(uid)s:%(gid)s" % c["process"]["user"]')
[[ $user == "$image_user" ]] || fail "the image runs as $image_user, the Deployment as $user"
[[ ${user%%:*} != 0 ]] || fail "the Deployment runs the image as root"
capabilities=$(json "$config" 'len(c["process"]["capabilities"]["bounding"])')
no_new_privileges=$(json "$config" 'int(c["process"]["noNewPrivileges"])')

query='Data=Built%20into%20an%20image&Width=500&Height=240'
QUILLON_REGISTRY=$work/registry "$build/bin/quillon" -o "$work/cli.png" \
    'Data=Built into an image' Width=500 Height=240 || fail "this build's quillon failed"

# runc runs it, with its state in this test's folder. The container has a network namespace of
# its own (runc brings its loopback up) and nothing else in it: the test reaches the server on
# that loopback by entering the namespace, as kubectl port-forward does, so that no address,
# route or port of the machine's is taken, and two runs of this test at once cannot collide.
id=$(basename "$work")
runc() { command runc --root "$work/runc" "$@"; }
trap 'runc delete --force "$id" >/dev/null 2>&1; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM  # a timed-out test leaves no container running
runc run --bundle "$work/bundle" "$id" </dev/null >"$work/serve.log" 2>&1 &
runner=$!
served() { fail "$* ($(cat "$work/serve.log"))"; }
inside() { nsenter --net="/proc/$pid/ns/net" "$@"; }
pid=
for ((tenths = 0; tenths < 100; tenths++)); do
    kill -0 "$runner" 2>/dev/null || served "runc stopped before the server answered"
    [[ -n $pid ]] || pid=$(runc state "$id" 2>/dev/null | sed -n 's/^ *"pid": \([1-9][0-9]*\),$/\1/p') ||
        true
    if [[ -n $pid ]] &&
        inside curl -fsS --max-time 2 -o "$work/healthz" "http://127.0.0.1:$port/healthz" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
[[ $(cat "$work/healthz" 2>/dev/null) == ok* ]] || served "/healthz did not answer ok within 10 s"
runc exec "$id" "${healthcheck[@]}" </dev/null ||
    served "the image's health check failed on a healthy server"
inside curl -fsS --max-time 10 -o "$work/served.png" "http://127.0.0.1:$port/barcode.png?$query" ||
    served "the server did not answer a picture"
cmp "$work/served.png" "$work/cli.png" || fail "the image's PNG differs from the CLI's"

# The kernel's word on who the server is and what it may do: every one of its ids the
# Deployment's, as many capabilities as the configuration lists, privileges as it says.
status=$(cat "/proc/$pid/status")
bits() {
    local mask=$((16#$1)) count=0
    for ((; mask; mask >>= 1)); do count=$((count + (mask & 1))); done
    echo "$count"
}
uid=${user%%:*} gid=${user##*:}
for expected in "Uid:	$uid	$uid	$uid	$uid" "Gid:	$gid	$gid	$gid	$gid" "NoNewPrivs:	$no_new_privileges"; do
    grep -qx "$expected" <<<"$status" || fail "the server's status lacks '$expected': $status"
done
for set in CapBnd CapEff; do
    (($(bits "$(sed -n "s/^$set:\t//p" <<<"$status")") == capabilities)) ||
        fail "the server has $(grep "^$set" <<<"$status"), not the $capabilities capabilities configured"
done
# Writable: the emptyDir at /tmp, and none of the image's files (/proc, /sys and /dev are the
# runtime's). Root inside cannot write either: the root is mounted read-only.
writable=$(awk '$6 ~ /(^|,)rw(,|$)/ && $5 !~ /^\/(proc|sys|dev)(\/|$)/ {print $5}' "/proc/$pid/mountinfo")
[[ $writable == /tmp ]] || fail "writable beside /tmp: $(grep -vx /tmp <<<"$writable")"
runc exec "$id" /bin/sh -c ': >/tmp/written' || fail "the server's user cannot write /tmp"
refused=$(runc exec --user 0:0 "$id" /bin/sh -c ': >/written' 2>&1) &&
    fail "root wrote /written in the image"
[[ $refused == *"Read-only file system"* ]] || fail "writing / failed otherwise: $refused"

# Stopped as a kubelet stops it: the image's stop signal, then README's promise that requests
# in flight are answered within 10 s, so the server is gone by then, having exited with 0.
start=${EPOCHREALTIME/./}
runc kill "$id" "$stop_signal"
gone_within "$runner" 10 || served "still running 10 s after $stop_signal"
exit_status=0
wait "$runner" || exit_status=$?
((exit_status == 0)) || served "exited with $exit_status after $stop_signal"
echo "image: runc ran it as the Deployment asks; /healthz, the health check and a PNG identical" \
    "to the CLI's answered as $user on a read-only root; stopped by $stop_signal in" \
    "$(((${EPOCHREALTIME/./} - start) / 1000)) ms; two builds gave the same digests"
