#!/usr/bin/env bash
# Runs a Windows program under Wine, in the prefix the tests' environment names (WINEPREFIX,
# inside the build folder), silent and bounded in time. CTest runs every Windows program
# through this, and the test scripts run wine, regsvr32, reg and cscript through it too.
set -euo pipefail
: "${WINEPREFIX:?the tests set WINEPREFIX}"
export WINEDEBUG=-all
exec timeout "${QUILLON_WINE_TIMEOUT:-120}" wine "$@"
