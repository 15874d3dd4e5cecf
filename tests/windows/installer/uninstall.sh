#!/usr/bin/env bash
# uninstall.sh WORK PACKAGE: msiexec /x leaves the registry as it was before anything was
# installed, in both views, and neither of the package's folders; the classes regsvr32
# registered (reference.sh) can no longer be created: error 429, as a script sees it.
source "$(dirname "$0")/common.sh"
package=$1

wine_run msiexec /x "$(windows_path "$package")" /qn || fail "msiexec /x exited with $?"
snapshot removed
for view in 64 32; do
    diff -u "$work/clean-$view.txt" "$work/removed-$view.txt" ||
        fail "the $view-bit view is not as before the install (- before, + after)"
done
for folder in "$folder64" "$folder32"; do
    [[ ! -e $folder ]] || fail "left behind: $(find "$folder")"
done

# The ProgIDs: the keys of the reference with a CLSID subkey.
mapfile -t progids < <(sed -n 's/^\([^\\	]*\)\\clsid$/\1/p' "$work/reference-64.txt")
errors=$(wine_run cscript //nologo "$(windows_path "$(dirname "$0")/Installation.vbs")" \
    create "${progids[@]}" | tr -d '\r' | sort -u)
[[ ${#progids[@]} -ge 2 && $errors == 429 ]] ||
    fail "CreateObject of ${progids[*]} gave $errors, not 429"
finish "uninstalled: no file, no key left; CreateObject of ${progids[*]} fails with 429"
