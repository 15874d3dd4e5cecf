#!/usr/bin/env bash
# The same settings give the same picture on both platforms: every line of the table goes to
# the Linux build's quillon command line (the reference) and, all lines in one run, to the
# Windows client under Wine; each line's two PNG files must be the same bytes and its
# measurements the same ("does not fit" on both when the data needs more than a symbol).
source "$(dirname "$0")/common.sh"
client=$1 table=$2 cli=$3 work=$4

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
failures=()
wine_run "$client" render "$(windows_path "$table")" "$(windows_path "$work/windows")" ||
    failures+=("the Windows client failed on some rows (its output is above)")

# The component's own picture size, from the interface's description: the client leaves it as
# a new object has it, where the command line would size a picture whose size no setting gives
# to the symbol and its quiet zone.
read -r width height < <(/usr/bin/python3 - "$(dirname "$0")/../../../component/contract/IQuillon.toml" <<'EOF_PY'
import sys, tomllib
interfaces = tomllib.load(open(sys.argv[1], "rb"))["interface"]
members = [m for interface in interfaces for m in interface.get("member", [])]
defaults = {m.get("property"): m.get("default") for m in members}
print(defaults["Width"], defaults["Height"])
EOF_PY
)

# What the Linux command line gives for one line: N.png and N.txt, as the client writes them.
# Its standard input is the table this loop reads, which the command line would take for data
# it was meant to encode; /dev/null keeps rows without Data at the default.
linux_row() {
    local base=$1 status=0
    shift
    "$cli" -o "$base.png" "Width=$width" "Height=$height" "$@" 2>"$base.err" </dev/null ||
        status=$?
    if ((status == 3)); then
        rm -f "$base.png"
        echo "does not fit" >"$base.txt"
    elif ((status == 0)); then
        "$cli" --measure "$@" >"$base.txt" 2>>"$base.err" </dev/null
    else
        return "$status"
    fi
}

rows=0
identical=0
while IFS= read -r line || [[ -n $line ]]; do
    [[ $line == \#* ]] && continue
    rows=$((rows + 1))
    settings=()
    [[ -z $line ]] || IFS=$'\t' read -r -a settings <<<"$line"
    linux="$work/linux/$rows" windows="$work/windows/$rows"
    if ! linux_row "$linux" "${settings[@]}"; then
        failures+=("row $rows: quillon failed: $(tail -1 "$linux.err")")
    elif ! cmp -s "$linux.txt" "$windows.txt"; then
        failures+=("row $rows: Linux measures $(cat "$linux.txt"), Windows $(cat "$windows.txt" 2>/dev/null)")
    elif [[ -e $linux.png || -e $windows.png ]] && ! cmp -s "$linux.png" "$windows.png"; then
        failures+=("row $rows: the PNG files differ ($(stat -c %s "$linux.png") and $(stat -c %s "$windows.png" 2>/dev/null) bytes)")
    else
        identical=$((identical + 1))
    fi
done <"$table"

printf 'FAILED: %s\n' "${failures[@]+"${failures[@]}"}" | grep -v '^FAILED: $' || true
echo "$identical of $rows settings identical on Linux and Windows"
((rows >= 40 && identical == rows && ${#failures[@]} == 0))
