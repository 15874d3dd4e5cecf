#!/usr/bin/env bash
# packages.sh X64_PACKAGE X86_PACKAGE VERSION: the packages as msiinfo reads them, before any
# is installed: their platforms; the version of the product and of every file; 64-bit and
# 32-bit components in the x64 package, 32-bit ones alone in the x86 one; no self-registration
# and no custom action (the registry entries are the packages' own rows); and the x86
# package's condition that keeps it off 64-bit Windows.
set -euo pipefail
x64=$1 x86=$2 version=$3

failures=()
# table PACKAGE TABLE: its rows, tab-separated, without the three header lines.
table() {
    msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4
}
for package in "$x64" "$x86"; do
    name=$(basename "$package")
    platform=$([[ $package == "$x64" ]] && echo x64 || echo Intel)
    msiinfo suminfo "$package" | grep -qx "Template: $platform;1033" ||
        failures+=("$name is not for $platform")
    table "$package" Property | grep -qx "ProductVersion	$version" ||
        failures+=("$name: the product's version is not $version")
    files=$(table "$package" File | awk -F '\t' '{ print $5 }' | sort | uniq -c)
    [[ $files =~ ^\ *[0-9]+\ $version$ ]] || failures+=("$name: file versions: $files")
    bitnesses=$(table "$package" Component | awk -F '\t' '{ print $4 }' | sort -u | tr '\n' ' ')
    expected=$([[ $package == "$x64" ]] && echo "0 256 " || echo "0 ")
    [[ $bitnesses == "$expected" ]] || failures+=("$name: component attributes $bitnesses")
    for self_registration in SelfReg CustomAction; do
        rows=$(table "$package" "$self_registration" 2>/dev/null || true)
        [[ -z $rows ]] || failures+=("$name has $self_registration rows: $rows")
    done
    [[ -n $(table "$package" Registry) ]] || failures+=("$name writes no registry entry")
done
[[ $(table "$x86" LaunchCondition) == *"NOT VersionNT64	"* ]] ||
    failures+=("$(basename "$x86") does not keep off 64-bit Windows")

if ((${#failures[@]})); then
    printf 'FAILED: %s\n' "${failures[@]}"
    exit 1
fi
echo "both packages for their platforms at $version, registering from their own tables"
