#!/usr/bin/env bash
# x86.sh WORK PACKAGE: the 32-bit Windows package refuses 64-bit Windows (its x64 sibling
# installs both bitnesses there), and installs nothing.
source "$(dirname "$0")/common.sh"
package=$1

status=0
wine_run msiexec /i "$(windows_path "$package")" /qn || status=$?
# Wine hands on the low eight bits of a Windows exit code.
((status == 1603 % 256)) || fail "msiexec /i exited with $status, not 1603 (fatal error)"
[[ ! -e $folder32 ]] || fail "installed $(find "$folder32")"
snapshot refused
diff -u "$work/clean-32.txt" "$work/refused-32.txt" || fail "the 32-bit view changed"
finish "the x86 package refuses 64-bit Windows and leaves it as it was"
