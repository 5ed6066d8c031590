#!/bin/bash
# Builds Quarrix and runs every test under Wine, with its own prefix, wineserver and display,
# after the replay of the parsers' fuzz inputs.
set -euo pipefail
QUARRIX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$QUARRIX_ROOT/tools/environment.sh"

install_missing_packages
configure_and_build -DQUARRIX_TESTS=ON
# The portable parsers, built natively under the sanitizers, go through their fuzz seeds and
# every finding kept since: a fixed crash stays fixed.
"$QUARRIX_ROOT/tools/fuzz.sh" --replay
trap stop_environment EXIT
start_display
start_wine
cd "$QUARRIX_BUILD"
# A failed test runs once more: Wine on a loaded machine now and then fails to start a
# process at all. Both attempts stay in the output, so a test that fails only sometimes shows.
ctest --output-on-failure -j 2 --repeat until-pass:2 "$@"
