#!/usr/bin/env bash
# side32.sh WORK BIN32: the 32-bit side of the installed x64 package, which cannot run here:
# the 32-bit DLLs of BIN32 in the 32-bit folder, and in the 32-bit registry view every key
# and value that regsvr32 wrote for the 64-bit DLLs (reference.sh), with the paths in the
# 32-bit folder and the type libraries filed under win32. HELPDIR stays the 64-bit side's:
# the type library key is shared by both views.
source "$(dirname "$0")/common.sh"
bin32=$1

while IFS= read -r dll; do
    name=$(basename "$dll")
    cmp -s "$folder32/$name" "$bin32/$name" || fail "$name is not the 32-bit build's"
done < <(sed -n 's/.*\\inprocserver32	@=".*\\\\\([^\\]*\)"$/\1/p' "$work/reference-64.txt")

sed -e '/\\helpdir/!s/C:\\\\Program Files\\\\Quillon/C:\\\\Program Files (x86)\\\\Quillon/' \
    -e 's/\\win64\(	\|$\)/\\win32\1/' "$work/reference-64.txt" | LC_ALL=C sort >"$work/expected-32.txt"
added clean installed 32 >"$work/package-32.txt"
missing=$(LC_ALL=C comm -23 "$work/expected-32.txt" "$work/package-32.txt")
[[ -z $missing ]] || fail "the 32-bit view lacks:"$'\n'"$missing"
finish "the 32-bit DLLs are in place and registered in the 32-bit view" \
    "($(wc -l <"$work/expected-32.txt") keys and values)"
