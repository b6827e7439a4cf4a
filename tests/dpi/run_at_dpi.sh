#!/usr/bin/env bash
# Runs a test program of this build at another display scaling: in a Wine prefix of its
# own (the shared one stays at 96 DPI), whose LogPixels Wine reads only at the start of
# its wineserver, on a private Xvfb screen as much larger as the scaling (a window larger
# than the screen would be cut to it). With --prepare-only it makes the prefix and stops.
#   run_at_dpi.sh BUILD_DIR DPI (--prepare-only | PROGRAM [ARGUMENTS...])
set -euo pipefail
build="$1" dpi="$2"; shift 2
export WINEPREFIX="$build/wineprefix-$dpi" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
"$(dirname "$0")/../../tools/wine/prepare-prefix.sh" "$build"
if [ ! -f "$WINEPREFIX/.logpixels-$dpi" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.logpixels-$dpi"
fi
[ "${1:-}" = "--prepare-only" ] && exit 0
screen="$((1280 * dpi / 96))x$((1024 * dpi / 96))x24"
exec xvfb-run -a -s "-screen 0 $screen" bash -c '
  wineserver -p
  trap "wineserver -k 2>/dev/null || true" EXIT
  wine wineboot >/dev/null 2>&1 || true
  wine "$@"' run_at_dpi "$@"
