#!/usr/bin/env bash
# Registers (or unregisters) both DLLs in the tests' prefix with regsvr32, for the client and
# script tests.
source "$(dirname "$0")/common.sh"
case "$1" in
    register) flags=(/s) ;;
    unregister) flags=(/u /s) ;;
    *) echo "usage: servers.sh register|unregister" >&2; exit 2 ;;
esac
for dll in "$QUILLON_DLL" "$UNICODE_DLL"; do
    wine_run regsvr32 "${flags[@]}" "$dll"
done
