#!/usr/bin/env bash
# regsvr against registries nearly as large as the store reads (8 MiB, less room for what
# registering adds), laid out as the store writes them, of four shapes: a machine's classes
# (each with its server, ProgID and the ProgID's keys), its interfaces (which unregistering a
# type library looks through), keys of a few bytes each (the most keys a file can hold), and
# one key with very many values. Registers libTarvexQuillon.so in each and unregisters it, RUNS
# times (default 3), and prints for each the medians of the processor time (user and system:
# what the elapsed time would be on an idle machine), the elapsed time and the peak resident
# memory of one regsvr. Then the interfaces at 1, 2, 4 and 8 MiB, whose times grow as the file
# does when the work is linear.
#
#   bench/registry_size.sh [BUILD_DIR] [RUNS]     (default build/release, 3; needs GNU time)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${2:-3}
regsvr="$build/bin/regsvr"
server="$build/bin/libTarvexQuillon.so"
[[ -x $regsvr ]] || { echo "registry_size: build $regsvr first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "registry_size: install time (apt-get install time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUILLON_REGISTRY="$work/registry"

# SHAPE BYTES: a registry of about BYTES (never above), in the store's order, on standard
# output. Numbers have fixed widths, so that every entry has the same length and sorts as it is
# numbered.
make_registry() {
    awk -v shape="$1" -v limit="$2" '
    function guid(i) { return sprintf("{%08X-0000-4000-8000-%012X}", i, i * 7919) }
    # The keys of entry i that lie in the first part of the file, and those of the second.
    function first(i,    g, p) {
        g = guid(i)
        p = sprintf("Vendor.Class%06d", i)
        if (shape == "classes")
            return sprintf("\n[CLSID\\%s]\n@=\"%s Class\"\n" \
                           "\n[CLSID\\%s\\InprocServer32]\n@=\"/usr/lib/vendor/lib%s.so\"\n" \
                           "\"ThreadingModel\"=\"Apartment\"\n\n[CLSID\\%s\\ProgID]\n@=\"%s.1\"\n",
                           g, p, g, p, g, p)
        if (shape == "interfaces")
            return sprintf("\n[Interface\\%s]\n@=\"IThing%06d\"\n" \
                           "\n[Interface\\%s\\ProxyStubClsid32]\n" \
                           "@=\"{00020424-0000-0000-C000-000000000046}\"\n" \
                           "\n[Interface\\%s\\TypeLib]\n" \
                           "@=\"{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\"\n\"Version\"=\"1.0\"\n",
                           g, i, g, g)
        if (shape == "keys") return sprintf("\n[K%07d]\n", i)
        return sprintf("\"v%06d\"=\"x\"\n", i)
    }
    function second(i,    p) {
        if (shape != "classes") return ""
        p = sprintf("Vendor.Class%06d", i)
        return sprintf("\n[%s.1]\n@=\"%s Class\"\n\n[%s.1\\CLSID]\n@=\"%s\"\n", p, p, p, guid(i))
    }
    BEGIN {
        parent["classes"] = "CLSID"; parent["interfaces"] = "Interface"; parent["values"] = "K"
        header = "Quillon Registry 1\n" (shape in parent ? "\n[" parent[shape] "]\n" : "")
        n = int((limit - length(header)) / (length(first(0)) + length(second(0))))
        printf "%s", header
        for (i = 0; i < n; i++) printf "%s", first(i)
        for (i = 0; i < n; i++) printf "%s", second(i)
    }'
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# LABEL FILE: regsvr on a copy of FILE, then regsvr -u, RUNS times; one line of medians of each.
measure() {
    local label=$1 file=$2
    : >"$work/register"
    : >"$work/unregister"
    for ((i = 0; i < runs; i++)); do
        cp "$file" "$QUILLON_REGISTRY"
        for step in register unregister; do
            option=$([[ $step == unregister ]] && echo -u || true)
            /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$regsvr" -s $option "$server"
            cat "$work/time" >>"$work/$step"
        done
    done
    printf '%-26s %5.2f MiB:' "$label" "$(awk -v b="$(stat -c %s "$file")" 'BEGIN {print b / 1048576}')"
    for step in register unregister; do
        awk -v step="$step" -v s="$(cut -d' ' -f1 "$work/$step" | median)" \
            -v k="$(cut -d' ' -f2 "$work/$step" | median)" \
            -v p="$(awk '{print $3 + $4}' "$work/$step" | median)" 'BEGIN {
            printf "  %s %5.2f s (%5.2f s elapsed), %4.0f MB", step, p, s, k / 1024 }'
    done
    echo
}

mib=1048576
room=$((64 * 1024))  # for what registering adds
for shape in classes interfaces keys values; do
    make_registry "$shape" $((8 * mib - room)) >"$work/$shape"
done
echo "regsvr and regsvr -u of libTarvexQuillon.so: processor time (elapsed) and peak memory, medians of $runs runs:"
measure "$(grep -c '^\[CLSID\\[^\\]*\]$' "$work/classes") classes" "$work/classes"
measure "$(grep -c '^\[Interface\\[^\\]*\]$' "$work/interfaces") interfaces" "$work/interfaces"
measure "$(grep -c '^\[' "$work/keys") keys of a few bytes" "$work/keys"
measure "one key, $(grep -c '^"' "$work/values") values" "$work/values"
echo "interfaces, growing:"
for size in 1 2 4; do
    make_registry interfaces $((size * mib - room)) >"$work/interfaces-$size"
    measure "$(grep -c '^\[Interface\\[^\\]*\]$' "$work/interfaces-$size") interfaces" \
        "$work/interfaces-$size"
done
measure "$(grep -c '^\[Interface\\[^\\]*\]$' "$work/interfaces") interfaces" "$work/interfaces"
