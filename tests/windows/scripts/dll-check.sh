#!/usr/bin/env bash
# dll-check.sh OBJDUMP DLL win32|win64 VERSION: what objdump -p shows of an in-process server
# DLL. It exports exactly DllCanUnloadNow, DllGetClassObject, DllRegisterServer and
# DllUnregisterServer, by their plain names; it imports from system DLLs alone; it carries
# TYPELIB 1, REGISTRY 101 and the version resource (VERSIONINFO 1), whose strings give
# VERSION; and its type library is built for the platform, which decides whether
# RegisterTypeLib files it under win32 or win64.
set -euo pipefail
objdump=$1 dll=$2 platform=$3 version=$4

failures=()
headers=$("$objdump" -p "$dll")

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
[[ $exports == "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]] ||
    failures+=("exports: $exports")

system='^(kernel32|user32|gdi32|ole32|oleaut32|advapi32|msvcrt|ucrtbase|shlwapi|ntdll|api-ms-win-.*)\.dll$'
while read -r import; do
    grep -Eiq "$system" <<<"$import" || failures+=("imports $import, not a system DLL")
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")

# The resource directory, as "TYPE NAME ADDRESS" lines, one for each resource: objdump lists
# it depth first, types (named, or by number: 16 for the version) three spaces in, names five,
# and the resource data last.
resources=$(sed -n '/^The .rsrc Resource Directory section/,/^ String table/p' <<<"$headers" |
    awk '/^[0-9a-f]+   Entry: name:/ { type = $0; sub(/.*\]: /, "", type); sub(/,.*/, "", type) }
         /^[0-9a-f]+   Entry: ID:/ { type = $4 }
         /^[0-9a-f]+     Entry: ID:/ { name = $4 }
         /Leaf: Addr:/ { print type, name, $4 }' | tr -d , |
    while read -r type name address; do
        [[ $type == 0x* ]] && type=$((type))
        echo "$type $((name)) $((address))"
    done)
for resource in "TYPELIB 1" "REGISTRY 101" "16 1"; do
    grep -q "^$resource " <<<"$resources" || failures+=("no resource $resource")
done

# The type library's header: "MSFT", then at byte 20 its flags, whose low four bits are the
# system kind (1 win32, 3 win64).
typelib=$(awk '$1 == "TYPELIB" && $2 == 1 { print $3 }' <<<"$resources")
if [[ -n $typelib ]]; then
    base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")
    start=$((0x$base + typelib))
    words=$("$objdump" -s -j .rsrc --start-address=$start --stop-address=$((start + 24)) "$dll" |
        awk 'NF > 2 && $1 ~ /^[0-9a-f]+$/ { print $2, $3, $4, $5 }' | tr '\n' ' ')
    read -r magic _ _ _ _ flags _ <<<"$words"
    kinds=([1]=win32 [3]=win64)
    [[ $magic == 4d534654 && ${kinds[$((0x${flags:0:2} & 15))]:-} == "$platform" ]] ||
        failures+=("the type library is not built for $platform: $words")
fi

grep -qx "$version" <<<"$(strings -e l "$dll")" || failures+=("no version string $version")

if ((${#failures[@]})); then
    printf "FAILED: $(basename "$dll"): %s\n" "${failures[@]}"
    exit 1
fi
echo "$(basename "$dll") ($platform): the four entry points, system imports, its resources"
