#!/usr/bin/env bash
# The container image as a user gets it: packages this build (cpack, stripped), builds the image
# from it and the shared Debian root twice and expects the same digests, checks that skopeo
# reads it and copies it to what `docker load` takes, that it holds no build tools and carries
# its labels; then unpacks it with umoci and runs its entry point as the runtime configuration
# says (user, arguments, environment) in fresh namespaces (pid, mount, net) on a read-only root
# with /tmp alone writable, where /healthz must answer and a PNG must equal, byte for byte,
# what this build's quillon writes for the same query, and the image's own health check must
# pass. Run as root.
#
#   image_test.sh BUILD_DIR ROOT_TAR
set -euo pipefail
build=$(realpath "$1")
root_tar=$2
deploy=$(dirname "$(realpath "$0")")/../../deploy
work=$(mktemp -d /tmp/quillon-image-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: image: $*" >&2; exit 1; }

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

inspect=$(skopeo inspect --raw --config "oci:$image:$version" | python3 -m json.tool) || fail "skopeo cannot read the image"
for expected in '"User": "10001:10001"' '"8080/tcp"' "\"org.opencontainers.image.version\": \"$version\"" \
    '"org.opencontainers.image.source"' '"Entrypoint": [' '"Healthcheck"'; do
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

# The runtime configuration umoci wrote: who runs what, with which environment.
read -r uid gid < <(python3 -c 'import json,sys; u=json.load(open(sys.argv[1]))["process"]["user"]; print(u["uid"], u["gid"])' "$config")
mapfile -t command < <(python3 -c 'import json,sys; print(*json.load(open(sys.argv[1]))["process"]["args"], sep="\n")' "$config")
mapfile -t environment < <(python3 -c 'import json,sys; print(*json.load(open(sys.argv[1]))["process"]["env"], sep="\n")' "$config")
((uid != 0)) || fail "the image runs as root"
mapfile -t healthcheck < <(python3 -c 'import json,sys; print(*json.load(sys.stdin)["config"]["Healthcheck"]["Test"][1:], sep="\n")' <<<"$inspect")
((${#healthcheck[@]} > 0 && ${#command[@]} > 0)) || fail "the image names no entry point or health check"

query='Data=Built%20into%20an%20image&Width=500&Height=240'
QUILLON_REGISTRY=$work/registry "$build/bin/quillon" -o "$work/cli.png" \
    'Data=Built into an image' Width=500 Height=240 || fail "this build's quillon failed"

# In namespaces of their own: the root read-only but for a fresh /tmp, the network only a
# loopback that no other process shares (port 8080 cannot collide with anything).
cat >"$work/inside.sh" <<'EOF'
set -euo pipefail
rootfs=$1 uid=$2 gid=$3 work=$4 query=$5
shift 5
ip link set lo up
mount --bind "$rootfs" "$rootfs"
mount -o remount,bind,ro "$rootfs"
mount -t proc proc "$rootfs/proc"
mount -t tmpfs -o size=64m tmpfs "$rootfs/tmp"
mount --rbind /dev "$rootfs/dev"
chroot --userspec="$uid:$gid" "$rootfs" /usr/bin/env -i "${environment[@]}" "$@" \
    >"$work/serve.log" 2>&1 &
server=$!
for ((tenths = 0; tenths < 100; tenths++)); do
    curl -fsS --max-time 2 -o "$work/healthz" http://127.0.0.1:8080/healthz 2>/dev/null && break
    sleep 0.1
done
awk '/^Uid:/ {print $2}' "$rootfs/proc/$server/status" >"$work/uid"  # this namespace's /proc
chroot --userspec="$uid:$gid" "$rootfs" "${healthcheck[@]}" </dev/null && echo passed >"$work/healthcheck"
curl -fsS --max-time 10 -o "$work/served.png" "http://127.0.0.1:8080/barcode.png?$query"
kill -TERM "$server"
wait "$server"
EOF
declarations=$(declare -p environment healthcheck)
unshare --pid --fork --kill-child --mount --net bash -c "$declarations; source \"\$0\" \"\$@\"" \
    "$work/inside.sh" "$rootfs" "$uid" "$gid" "$work" "$query" "${command[@]}" ||
    fail "the entry point did not serve and stop cleanly: $(cat "$work/serve.log")"
[[ $(cat "$work/healthz") == ok* ]] || fail "/healthz answered $(cat "$work/healthz")"
[[ $(cat "$work/uid") == "$uid" ]] || fail "the server ran as uid $(cat "$work/uid"), not $uid"
[[ -f $work/healthcheck ]] || fail "the image's health check failed on a healthy server"
cmp "$work/served.png" "$work/cli.png" || fail "the image's PNG differs from the CLI's"
echo "image: the entry point served /healthz and a PNG identical to the CLI's as uid $uid" \
    "on a read-only root; two builds gave the same digests"
