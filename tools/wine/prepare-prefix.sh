#!/usr/bin/env bash
# Creates the private Wine prefix of a build folder and installs the stand-ins into it.
# Expects WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES from the caller (wine-run.sh).
set -euo pipefail
build="$1"
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.hollowmere-ready" ]; then
  wine wineboot -i >/dev/null 2>&1 || true
  # A crashing test must never open a dialog that waits for somebody.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # Xvfb has no window manager; a managed window waits for one at every close.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  touch "$WINEPREFIX/.hollowmere-ready"
fi
# Stand-ins built by this build replace what Wine ships (its powershell.exe does nothing).
install_if_newer() {
  local from="$1" to="$2"
  [ -f "$from" ] || return 0
  mkdir -p "$(dirname "$to")"
  if [ ! -f "$to" ] || ! cmp -s "$from" "$to"; then cp -f "$from" "$to"; fi
}
sys32="$WINEPREFIX/drive_c/windows/system32"
install_if_newer "$build/tools/powershell.exe" "$sys32/WindowsPowerShell/v1.0/powershell.exe"
if [ -x "$build/tools/install-browser.sh" ]; then "$build/tools/install-browser.sh"; fi
exit 0
