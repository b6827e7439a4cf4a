#!/usr/bin/env bash
# Runs ctest in a build folder with one persistent wineserver for the whole run:
# without it every test process pays Wine's start-up and shut-down again.
set -euo pipefail
build="$(cd "$1" && pwd)"; shift
"$build/wine-run.sh" --prepare-only
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
