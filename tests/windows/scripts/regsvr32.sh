#!/usr/bin/env bash
# regsvr32 on a prefix where nothing is registered yet: each DLL registered twice, then
# unregistered. Registered, HKEY_CLASSES_ROOT holds exactly the entries of
# data/registered-*.txt (as `reg query /s` prints them, %MODULE% standing for the DLL's path:
# the classes' keys, and the Interface keys RegisterTypeLib writes for the barcode library's
# IQuillon, IQuillon2 and IQuillon3) and the type libraries; unregistered, none of them, while
# HKEY_CLASSES_ROOT\CLSID stays.
source "$(dirname "$0")/common.sh"
data=$1

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# The entries under the keys, as reg prints them; nothing for a key that is not there.
entries() {
    local key found
    for key in "$@"; do
        if found=$(wine_run reg query "HKCR\\$key" /s 2>/dev/null); then
            tr -d '\r' <<<"$found" | sed '/^$/d'
        fi
    done
}

# Name, expected-entries file, DLL path, its keys (ProgIDs and class), its type library.
check_server() {
    local name=$1 expected_file=$2 dll=$3 typelib=$4
    shift 4
    local keys=("$@") expected got
    expected=$(<"$data/$expected_file")
    expected=${expected//%MODULE%/"$dll"}

    [[ -z $(entries "${keys[@]}") ]] || fail "$name: entries before registering"
    for round in 1 2; do
        wine_run regsvr32 /s "$dll" || fail "$name: regsvr32 (round $round) exited with $?"
    done
    got=$(entries "${keys[@]}")
    if [[ $got != "$expected" ]]; then
        fail "$name: the registered entries differ from $expected_file:"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$got") || true
    fi
    got=$(entries "TypeLib\\$typelib")
    [[ $got == *"\\win64"*"REG_SZ    $dll"* ]] ||
        fail "$name: the type library is not registered with the DLL's path: $got"

    wine_run regsvr32 /u /s "$dll" || fail "$name: regsvr32 /u exited with $?"
    got=$(entries "${keys[@]}" "TypeLib\\$typelib")
    [[ -z $got ]] || fail "$name: entries left after unregistering: $got"
}

check_server TarvexQuillon registered-quillon.txt "$QUILLON_DLL" \
    '{82252240-6716-43F7-8E8D-8D4A667E3C46}' \
    TarvexQuillon.Quillon.1 TarvexQuillon.Quillon 'CLSID\{C328BB70-51A2-4538-B390-F8946A7379FF}' \
    'Interface\{07CBEBAC-03FE-482A-ABF0-1EFB6EB80663}' 'Interface\{2AC0B6BD-E814-45AC-AE2A-5353D7D5DC4C}' \
    'Interface\{3319B2C5-E248-4D56-80C3-AF2A8F063D8C}'
check_server TarvexUnicode registered-unicode.txt "$UNICODE_DLL" \
    '{806B6A99-FDED-48F5-8711-91C3846F54DE}' \
    TarvexUnicode.Converter 'CLSID\{F98AFDC0-C0F2-48B0-A525-4C4A675466E2}'

wine_run reg query 'HKCR\CLSID' /ve >/dev/null || fail "HKEY_CLASSES_ROOT\\CLSID is gone"
if ((failures)); then
    echo "$failures checks failed"
    exit 1
fi
echo "regsvr32: both DLLs registered twice and unregistered with exactly their entries"
