#!/usr/bin/env bash
# upgrade.sh WORK PACKAGE BIN64 BIN32: installing the next version's package over the
# installed one (its version and upgrade code from its own Property table) leaves one product
# of that version, the DLLs of BIN64 and BIN32 in place with that version, and the registry
# as the first install left it: nothing stale, nothing missing.
source "$(dirname "$0")/common.sh"
package=$1 bin64=$2 bin32=$3

property() {
    msiinfo export "$package" Property | tr -d '\r' | awk -v name="$1" '$1 == name { print $2 }'
}
version=$(property ProductVersion)
upgrade_code=$(property UpgradeCode)

wine_run msiexec /i "$(windows_path "$package")" /qn || fail "msiexec /i exited with $?"

products=$(wine_run cscript //nologo "$(windows_path "$(dirname "$0")/Installation.vbs")" \
    products "$upgrade_code" | tr -d '\r')
[[ $(wc -l <<<"$products") == 1 && $products == *" $version" ]] ||
    fail "installed products of the upgrade code: $products"

installed=()
for bin in "$bin64:$folder64" "$bin32:$folder32"; do
    for dll in "${bin%%:*}"/*.dll; do
        name=$(basename "$dll")
        cmp -s "$dll" "${bin#*:}/$name" || fail "${bin#*:}/$name is not the new version's"
        installed+=("$(windows_path "${bin#*:}/$name")")
    done
done
versions=$(wine_run cscript //nologo "$(windows_path "$(dirname "$0")/Installation.vbs")" \
    versions "${installed[@]}" | tr -d '\r' | sort -u)
[[ $versions == "$version" ]] || fail "installed file versions: $versions"

snapshot upgraded
for view in 64 32; do
    diff -u "$work/installed-$view.txt" "$work/upgraded-$view.txt" ||
        fail "the $view-bit view differs from the first install's (- first, + upgraded)"
done
finish "upgraded in place to $version: one product, ${#installed[@]} DLLs of the new version"
