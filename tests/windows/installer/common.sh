# Sourced by the installer's tests, which run in order in msi-prefix/ and keep what they find
# in a folder of their own (WORK, their first argument): the folders the package installs to,
# and snapshots of the registry.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
work=$1
shift
mkdir -p "$work"
folder64="$WINEPREFIX/drive_c/Program Files/Quillon"
folder32="$WINEPREFIX/drive_c/Program Files (x86)/Quillon"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
# Ends the test: passed when nothing failed, with the message given.
finish() {
    if ((failures)); then
        echo "$failures checks failed"
        exit 1
    fi
    echo "$*"
}

# snapshot NAME: HKEY_CLASSES_ROOT (HKLM\Software\Classes) as each registry view shows it, in
# NAME-64.txt and NAME-32.txt: a line for each key ("key") and each value ("key<TAB>value",
# as reg export writes it), keys in lower case as Windows compares them, sorted. Windows
# Installer's own records (Installer\...) are left out, and the 64-bit view's Wow6432Node,
# which is the 32-bit view.
snapshot() {
    local view export
    for view in 64 32; do
        export="$work/$1-$view.reg"
        wine_run reg export 'HKLM\Software\Classes' "$(windows_path "$export")" /reg:$view /y \
            >/dev/null
        iconv -f UTF-16 -t UTF-8 "$export" | tr -d '\r' |
            awk '/^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\/ {
                     key = tolower(substr($0, 38, length($0) - 38)); print key; next }
                 /^\[/ { key = ""; next }
                 key != "" && NF { print key "\t" $0 }' |
            grep -Ev '^(installer|wow6432node)(\\|\t|$)' | LC_ALL=C sort >"$work/$1-$view.txt"
    done
}

# added BEFORE AFTER VIEW: the lines of snapshot AFTER that snapshot BEFORE lacks.
added() {
    LC_ALL=C comm -13 "$work/$1-$3.txt" "$work/$2-$3.txt"
}
