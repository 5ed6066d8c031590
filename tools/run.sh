#!/bin/bash
# Builds Quarrix and starts it under Wine searching FOLDER (a host path, /usr/share when none
# is given). Without a display it runs under Xvfb, and once the totals line shows, a
# screenshot of the window is saved to build/quarrix.png and Quarrix is ended.
set -euo pipefail
QUARRIX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$QUARRIX_ROOT/tools/environment.sh"
FOLDER=${1:-/usr/share}
if [ ! -d "$FOLDER" ]; then
    echo "No such folder: $FOLDER" >&2
    exit 1
fi

install_missing_packages
configure_and_build -DQUARRIX_TESTS=OFF
if [ -n "${DISPLAY:-}" ]; then QUARRIX_KEEP_DISPLAY=1; fi
trap stop_environment EXIT
start_display
start_wine
ROOT=$(winepath -w "$FOLDER" 2>/dev/null)
# A first run shows the folders below the root, as the Selection page's "Display folders".
SELECTION='HKCU\Software\Vornhale\Quarrix\Selection'
if ! wine reg query "$SELECTION" >/dev/null 2>&1; then
    wine reg add "$SELECTION" /v Folders /t REG_DWORD /d 1 /f >/dev/null 2>&1
fi
if [ -n "${QUARRIX_KEEP_DISPLAY:-}" ]; then
    wine "$QUARRIX_BUILD/quarrix.exe" "$ROOT"
else
    # The program's log, a machine-wide setting of this prefix for this run only, says when
    # the rows are shown.
    LOG=$QUARRIX_BUILD/quarrix-run.log
    rm -f "$LOG"
    wine reg add 'HKLM\Software\Vornhale\Quarrix' /v Log /d "$(winepath -w "$LOG" 2>/dev/null)" /f \
        >/dev/null 2>&1
    wine "$QUARRIX_BUILD/quarrix.exe" "$ROOT" &
    for _ in $(seq 1 $((2 * ${QUARRIX_SHOW_SECONDS:-300}))); do
        grep -q "Shown:" "$LOG" 2>/dev/null && break
        sleep 0.5
    done
    sleep 1  # the last paint
    import -window root "$QUARRIX_BUILD/quarrix.png"
    wine reg delete 'HKLM\Software\Vornhale\Quarrix' /v Log /f >/dev/null 2>&1 || true
    grep -m1 "Shown:" "$LOG" 2>/dev/null | sed 's/.*Shown: /Totals: /' || echo "The search had not ended."
    echo "No display was set: Quarrix searched $FOLDER under Xvfb; screenshot in $QUARRIX_BUILD/quarrix.png"
    wineserver -k
fi
