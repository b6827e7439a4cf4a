#!/usr/bin/env bash
# Runs launcher tests as an unprivileged Linux user with a Wine prefix of its own: tests
# run as root, and root writes anywhere under Wine, so a folder the player cannot write
# needs a player who cannot write it. Makes the user "hollowmere-player" (once), its
# prefix in the build folder (once, 10 to 30 s), and a copy of the launcher in
# build/locked-launcher, a folder that only root may write. With --prepare-only it
# makes the user and the prefix and stops.
#   tests/run-as-player.sh <build dir> (--prepare-only | <test executable> <gtest filter>)
set -euo pipefail
build="$(cd "$1" && pwd)"
tests="$2"
filter="${3:-}"
user=hollowmere-player
if [ "$(id -u)" -ne 0 ]; then
  echo "run-as-player.sh: must run as root, to make and use the user $user" >&2
  exit 1
fi
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /usr/sbin/nologin "$user"
home="$(getent passwd "$user" | cut -d: -f6)"

locked="$build/locked-launcher"
mkdir -p "$locked"
cp "$build/HollowmereLauncher.exe" "$locked/"
chmod 755 "$locked"
chmod 644 "$locked/HollowmereLauncher.exe"

prefix="$build/player-wineprefix"
mkdir -p "$prefix"
chown "$user" "$prefix"
# The test run's display, for the player too.
if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
  install -m 600 -o "$user" "$XAUTHORITY" "$home/.Xauthority"
fi
as_player() {
  runuser -u "$user" -- env HOME="$home" WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    LC_ALL=C.UTF-8 DISPLAY="${DISPLAY:-}" XAUTHORITY="$home/.Xauthority" "$@"
}
if [ ! -f "$prefix/.hollowmere-ready" ]; then
  as_player wine wineboot -i >/dev/null 2>&1 || true
  # As in the shared prefix: Xvfb has no window manager, and a managed window waits
  # for one at every close.
  as_player wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  as_player wineserver -w
  as_player touch "$prefix/.hollowmere-ready"
fi
[ "$tests" = "--prepare-only" ] && exit 0
# One wineserver for the run: without it the launchers the test starts pay Wine's start-up each.
as_player wineserver -k 2>/dev/null || true
as_player wineserver -p
trap 'as_player wineserver -k 2>/dev/null || true' EXIT
as_player wine wineboot >/dev/null 2>&1 || true
as_player wine "$tests" --gtest_color=no --gtest_filter="$filter"
