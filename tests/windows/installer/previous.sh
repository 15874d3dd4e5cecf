#!/usr/bin/env bash
# previous.sh WORK PACKAGE IDL: the package of a release before this one, installed on the
# prefix the earlier tests left clean, registers its type library as that release's interface
# definition IDL says: that version alone under the TypeLib key, and the Interface keys of the
# interfaces it declares, not those of this release's later ones. upgrade.sh then installs
# this release's package over it.
source "$(dirname "$0")/common.sh"
package=$1 idl=$2

wine_run msiexec /i "$(windows_path "$package")" /qn || fail "msiexec /i exited with $?"
snapshot previous
added clean previous 64 >"$work/previous-package-64.txt"

# The type library's versions registered, as the keys under TypeLib\{LIBID} (hexadecimal).
version=$(sed -n 's/^ *version(\([0-9.]*\)),*$/\1/p' "$idl")
libid=$(sed -n '/^library /q; s/^ *uuid(\([0-9A-Fa-f-]*\)),*$/\1/p' "$idl" | tail -1)
registered=$(sed -n "s/^typelib\\\\{${libid,,}}\\\\\\([0-9a-f.]*\\)$/\\1/p" "$work/previous-package-64.txt")
[[ -n $version && $registered == "$(printf '%x.%x' "${version%.*}" "${version#*.}")" ]] ||
    fail "the type library is registered at '$registered', not its version $version"

# Each interface of the library that this release registers (reference.sh) is there as the
# IDL declares it or not.
declared=$(grep -io 'uuid([0-9a-f-]*)' "$idl" | tr 'A-F' 'a-f')
while IFS= read -r guid; do
    key="interface\\{$guid}"
    there=$(grep -cxF -- "$key" "$work/previous-package-64.txt" || true)
    if [[ $declared == *"uuid($guid)"* ]]; then
        ((there == 1)) || fail "the IDL declares $key, which is not registered"
    else
        ((there == 0)) || fail "$key, which the IDL does not declare, is registered"
    fi
done < <(grep -i "^interface\\\\{[0-9a-f-]*}\\\\typelib	@=\"{$libid}\"$" "$work/reference-64.txt" |
    sed 's/^interface\\{\([0-9a-f-]*\)}.*/\1/')
finish "the earlier release installed: its type library at $version, its interfaces alone"
