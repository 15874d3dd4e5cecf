#!/usr/bin/env bash
# The Wine prefix of the tests: `create` makes it anew (a fresh Windows, nothing registered),
# `stop` ends its wineserver and every program still running in it.
set -euo pipefail
: "${WINEPREFIX:?the tests set WINEPREFIX}"
export WINEDEBUG=-all
case "${1:-}" in
    create)
        timeout 60 wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
        timeout 300 wineboot --init
        timeout 60 wineserver -w
        ;;
    stop)
        timeout 60 wineserver -k 2>/dev/null || true
        ;;
    *)
        echo "usage: wine-prefix.sh create|stop" >&2
        exit 2
        ;;
esac
