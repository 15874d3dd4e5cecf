# Sourced by the Wine test scripts: running Windows programs in the tests' prefix, and the
# DLLs' Windows paths (Wine's drive Z: is the Linux root).
set -Eeuo pipefail
# A command that fails ends the script (set -e); say which, or the test fails without a word.
trap 'status=$?; echo "FAILED: ${0##*/} line $LINENO: \"$BASH_COMMAND\" exited with $status" >&2' ERR
: "${QUILLON_WINE_RUN:?run by CTest, which sets the environment}"
: "${QUILLON_BIN:?run by CTest, which sets the environment}"

wine_run() {
    "$QUILLON_WINE_RUN" "$@"
}

windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

QUILLON_DLL=$(windows_path "$QUILLON_BIN/TarvexQuillon.dll")
UNICODE_DLL=$(windows_path "$QUILLON_BIN/TarvexUnicode.dll")
