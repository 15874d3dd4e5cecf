#!/usr/bin/env bash
# Makes a minimal Debian 12 root file system (mmdebstrap's minbase variant) as a tarball, from
# the Debian mirror this machine's apt uses and no other. The Debian package's test installs
# the package into a copy of it; the container image starts from it.
#
#   packaging/debian-root.sh OUT.tar
#
# Made once per set of inputs: OUT.tar.inputs records what it was made from (this script, the
# mirror entries, mmdebstrap's version), and an OUT.tar whose record matches is reused as it
# is, so that the test command and the image share one root and CI makes it once. Delete it for
# a newer one. Its files' times are clamped to SOURCE_DATE_EPOCH (a fixed date unless set), so
# that the same packages give the same tarball.
#
# Run as root. The sources are the host's entries for bookworm, bookworm-updates and
# bookworm-security (main), from /etc/apt/sources.list and /etc/apt/sources.list.d/, in either
# format; they also stay in the root's own sources.list.
set -euo pipefail
(($# == 1)) || { echo "usage: $0 OUT.tar" >&2; exit 2; }
out=$1

# Each enabled "deb" entry of the host as "URI SUITE", one per line.
host_entries() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $file ]] || continue
        # deb [options] URI SUITE COMPONENT...
        sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]*\)\?\([^[:space:]]\+\)[[:space:]]\+\([^[:space:]]\+\).*/\2 \3/p' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f $file ]] || continue
        # Paragraphs of "Field: value" lines, separated by blank lines.
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no")
                    for (u = 1; u <= split(uris, uri, " "); u++)
                        for (s = 1; s <= split(suites, suite, " "); s++) print uri[u], suite[s]
                types = uris = suites = enabled = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            { value = $0; sub(/^[^:]*:[[:space:]]*/, "", value) }
            /^Types:/ { types = value }
            /^URIs:/ { uris = value }
            /^Suites:/ { suites = value }
            /^Enabled:/ { enabled = value }
            END { flush() }
        ' "$file"
    done
}

mirrors=()
while read -r uri suite; do
    mirrors+=("deb $uri $suite main")
done < <(host_entries | awk '$2 ~ /^bookworm(-updates|-security)?$/ && !seen[$0]++')
if ! printf '%s\n' "${mirrors[@]}" | grep -q ' bookworm main$'; then
    echo "debian-root: apt's sources name no bookworm mirror" >&2
    exit 1
fi

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1767225600}  # 2026-01-01
inputs=$(
    sha256sum <"$0"
    printf '%s\n' "${mirrors[@]}" "SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
    dpkg-query -W -f '${Package} ${Version}\n' mmdebstrap
)
if [[ -s $out && -f $out.inputs && $(<"$out.inputs") == "$inputs" ]]; then
    echo "$out"
    exit 0
fi

mkdir -p "$(dirname "$out")"
partial=$out.partial.$$
trap 'rm -f "$partial" "$partial.log"' EXIT
# The merged-usr hook lays out /usr merged itself; without it the usrmerge package does, which
# brings perl and its modules (50 MB) into the root.
# The hook talks even with --quiet: its output is shown only if the root cannot be made.
if ! mmdebstrap --variant=minbase --hook-dir=/usr/share/mmdebstrap/hooks/merged-usr --quiet \
    --format=tar bookworm "$partial" "${mirrors[@]}" >"$partial.log" 2>&1; then
    cat "$partial.log" >&2
    exit 1
fi
mv "$partial" "$out"
printf '%s\n' "$inputs" >"$out.inputs"
echo "$out"
