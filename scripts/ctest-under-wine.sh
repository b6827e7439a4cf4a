#!/usr/bin/env bash
# Runs ctest in a build folder with one persistent wineserver for the whole run:
# without it every test process pays Wine's start-up and shut-down again.
set -euo pipefail
build="$(cd "$1" && pwd)"; shift
"$build/wine-run.sh" --prepare-only
# The prefixes of the display-scaling and player tests too: made once per build folder,
# like the shared one, and not part of any test's time.
tests="$(dirname "$0")/../tests"
"$tests/dpi/run_at_dpi.sh" "$build" 144 --prepare-only
if [ "$(id -u)" -eq 0 ]; then "$tests/run-as-player.sh" "$build" --prepare-only; fi
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
# A server may still be up (prefix creation, an earlier run); -p refuses to start beside it.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine wineboot >/dev/null 2>&1 || true
status=0
(cd "$build" && ctest --output-on-failure "$@") || status=$?
exit $status
