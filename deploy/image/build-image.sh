#!/usr/bin/env bash
# Builds the quillon-serve image (deploy/Containerfile) into an OCI layout, from the Debian
# package and the minimal Debian 12 root that packaging/debian-root.sh makes (made here if
# ROOT_TAR is missing or was made from other inputs). The image's version is the package's,
# its date the root's. Run as root.
#
#   deploy/image/build-image.sh PACKAGE.deb ROOT_TAR OUT_DIR
set -euo pipefail
(($# == 3)) || { echo "usage: $0 PACKAGE.deb ROOT_TAR OUT_DIR" >&2; exit 2; }
package=$(realpath "$1")
root_tar=$2
out=$3
here=$(dirname "$(realpath "$0")")

bash "$here/../../packaging/debian-root.sh" "$root_tar" >/dev/null
root_tar=$(realpath "$root_tar")
context=$(mktemp -d /tmp/quillon-image-context-XXXXXX)
trap 'rm -rf "$context"' EXIT
ln -s "$root_tar" "$context/debian-bookworm-minbase.tar"
ln -s "$package" "$context/quillon.deb"
python3 "$here/build_image.py" "$here/../Containerfile" "$context" "$out" \
    "QUILLON_VERSION=$(dpkg-deb -f "$package" Version)" \
    "SOURCE_DATE_EPOCH=$(sed -n 's/^SOURCE_DATE_EPOCH=//p' "$root_tar.inputs")"
