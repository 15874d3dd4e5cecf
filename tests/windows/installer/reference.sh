#!/usr/bin/env bash
# reference.sh WORK DLL...: on the fresh prefix, what regsvr32 writes for the 64-bit DLLs where
# the package installs them, the reference the package's own registration is held to. The
# first of the installer's tests: it empties WORK and takes the snapshot "clean"; the DLLs are
# then copied into the package's 64-bit folder, registered, snapshot "registered",
# unregistered and removed. The reference (reference-64.txt) is what registering added to the
# 64-bit view.
source "$(dirname "$0")/common.sh"

rm -rf "${work:?}"/*
# Made ready the way the later tests leave it, so that the snapshots differ by the package
# alone: cscript registers its own type library when it first runs; and the 32-bit view's
# CLSID key, empty in a prefix without 32-bit Wine, is given the one class that stands in for
# the system's 32-bit classes of Windows (the installer deletes a key that it empties).
wine_run cscript //nologo "$(windows_path "$(dirname "$0")/Installation.vbs")" create
wine_run reg add 'HKCR\CLSID\{00020424-0000-0000-C000-000000000046}' /ve /d PSOAInterface \
    /reg:32 /f >/dev/null
snapshot clean
mkdir -p "$folder64"
names=()
for dll in "$@"; do
    cp "$dll" "$folder64/"
    names+=("C:\\Program Files\\Quillon\\$(basename "$dll")")
done
for name in "${names[@]}"; do
    wine_run regsvr32 /s "$name" || fail "regsvr32 $name exited with $?"
done
snapshot registered
for name in "${names[@]}"; do
    wine_run regsvr32 /u /s "$name" || fail "regsvr32 /u $name exited with $?"
done
rm -r "$folder64"

added clean registered 64 >"$work/reference-64.txt"
grep -q '\\inprocserver32	@="C:\\\\Program Files\\\\Quillon\\\\' "$work/reference-64.txt" ||
    fail "regsvr32 registered no class in the package's folder"
finish "regsvr32 wrote $(wc -l <"$work/reference-64.txt") keys and values for ${#names[@]} DLLs"
