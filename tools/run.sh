#!/bin/bash
# Builds Quarrix and starts it under Wine. Without a display it runs under Xvfb,
# saves a screenshot of the window to build/quarrix.png and stops after a while.
set -euo pipefail
QUARRIX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$QUARRIX_ROOT/tools/environment.sh"

install_missing_packages
configure_and_build -DQUARRIX_TESTS=OFF
if [ -n "${DISPLAY:-}" ]; then QUARRIX_KEEP_DISPLAY=1; fi
trap stop_environment EXIT
start_display
start_wine
if [ -n "${QUARRIX_KEEP_DISPLAY:-}" ]; then
    wine "$QUARRIX_BUILD/quarrix.exe"
else
    wine "$QUARRIX_BUILD/quarrix.exe" &
    sleep "${QUARRIX_SHOW_SECONDS:-8}"
    import -window root "$QUARRIX_BUILD/quarrix.png"
    echo "No display was set: Quarrix ran under Xvfb; screenshot in $QUARRIX_BUILD/quarrix.png"
    wineserver -k
fi
