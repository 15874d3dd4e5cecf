#!/usr/bin/env bash
# install.sh WORK PACKAGE: a silent install of the x64 package, which must write, in the
# 64-bit view, exactly the keys and values regsvr32 writes for its 64-bit DLLs (reference.sh),
# beside the 32-bit DLLs' path in the type libraries' key, which both views share.
source "$(dirname "$0")/common.sh"
package=$1

wine_run msiexec /i "$(windows_path "$package")" /qn || fail "msiexec /i exited with $?"
snapshot installed
# The type library key is shared by both views (as on Windows 7 and later): the 32-bit side
# files its DLL's path there under win32. The 32-bit side's test checks it.
added clean installed 64 | grep -Ev '^typelib\\[^	]*\\win32(	|$)' >"$work/package-64.txt"
if ! diff -u "$work/reference-64.txt" "$work/package-64.txt"; then
    fail "the package's 64-bit registration differs from regsvr32's (- regsvr32, + package)"
fi
for dll in "$folder64"/*; do
    [[ -f $dll ]] || fail "no 64-bit DLL installed"
done
finish "installed silently; the 64-bit view holds exactly what regsvr32 writes" \
    "($(wc -l <"$work/package-64.txt") keys and values)"
