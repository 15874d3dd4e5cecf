#!/usr/bin/env bash
# Runs one test script with cscript. cscript exits 0 even when a script stops on an uncaught
# error, so a script passes only when it ends through WScript.Quit 0 after its tally
# "N passed, 0 failed".
source "$(dirname "$0")/common.sh"
script=$1
status=0
output=$(wine_run cscript //nologo "$(windows_path "$script")" 2>&1) || status=$?
output=${output//$'\r'/}
printf '%s\n' "$output"
if ((status != 0)); then
    echo "$(basename "$script") exited with $status"
    exit 1
fi
if ! grep -Eq '^[0-9]+ passed, 0 failed$' <<<"$output"; then
    echo "$(basename "$script") did not finish with its tally: an uncaught error stopped it"
    exit 1
fi
