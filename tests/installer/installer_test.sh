#!/usr/bin/env bash
# HollowmereSetup.exe as a player meets it, under Wine: signed with a throwaway test
# authority made here, installed silently, run, installed again over the running
# launcher, and uninstalled silently beside a game folder with the player's files.
#   installer_test.sh <build folder>    (run by ctest inside scripts/ctest-under-wine.sh)
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
# Without winemenubuilder the shortcuts stay inside the prefix instead of reaching the
# host's menus (Wine mirrors them there).
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8
work="$build/installer-test"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
failures=0
check() {  # check <what> <command...>: one outcome, named when it fails
  local what="$1"; shift
  "$@" >/dev/null 2>&1 && echo "ok: $what" || { echo "FAILED: $what"; failures=$((failures + 1)); }
}
wait_for() {  # wait_for <seconds> <command...>
  local tries=$(($1 * 4)); shift
  until "$@" >/dev/null 2>&1; do tries=$((tries - 1)); [ $tries -gt 0 ] || return 1; sleep 0.25; done
}

# A clean start: no launcher installed, none running. The folders are the prefix's own.
profile="$WINEPREFIX/drive_c/users/$(id -un)/AppData"
instdir="$profile/Local/Programs/Hollowmere Launcher"
shortcut="$profile/Roaming/Microsoft/Windows/Start Menu/Programs/Hollowmere Launcher.lnk"
data_folder="$profile/Local/Hollowmere/Sarnhold"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\HollowmereLauncher'
rm -rf "$instdir" "$shortcut" "$data_folder"
wine reg delete "$key" /f >/dev/null 2>&1 &  # while the files are signed

# Signing: an authority and a publisher that live only in this folder (EC keys: quick to make).
new_key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
# A certificate made with -x509 and no -CA is an authority (openssl's defaults say so).
openssl req -x509 $new_key -keyout authority.key -out authority.pem -subj "/CN=Hollowmere Test Signing Authority" 2>/dev/null
openssl req -x509 $new_key -keyout signer.key -out signer.pem -subj "/CN=Hollowmere Test Publisher" -CA authority.pem \
  -CAkey authority.key -addext basicConstraints=CA:FALSE -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature 2>/dev/null
echo "throwaway password" >password.txt
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile authority.pem -out signer.p12 -passout file:password.txt
cp "$build/HollowmereSetup.exe" .
"$source_dir/scripts/sign-file.sh" signer.p12 password.txt "" HollowmereSetup.exe
check "the setup is signed by the test authority" osslsigncode verify -CAfile authority.pem -in HollowmereSetup.exe
wait || true  # the key may have been absent

# Silent install from the signed setup; Windows lists it with the commands that uninstall it.
check "silent setup exits 0" wine HollowmereSetup.exe /S
check "the launcher is installed" cmp "$build/HollowmereLauncher.exe" "$instdir/HollowmereLauncher.exe"
check "the Start-menu shortcut is there" test -f "$shortcut"
entry="$(wine reg query "$key" 2>/dev/null | tr -d '\r')" || true
instdir_win='C:\users\'"$(id -un)"'\AppData\Local\Programs\Hollowmere Launcher'
check "uninstall entry UninstallString" grep -qxF "    UninstallString    REG_SZ    \"$instdir_win\\Uninstall.exe\"" <<<"$entry"
check "uninstall entry QuietUninstallString" grep -qxF "    QuietUninstallString    REG_SZ    \"$instdir_win\\Uninstall.exe\" /S" <<<"$entry"

# The installed launcher starts and opens its window. It is made to differ from the build
# (bytes after its end), so the setup below must replace the file the player runs.
echo "older build" >>"$instdir/HollowmereLauncher.exe"
wine "$instdir/HollowmereLauncher.exe" >/dev/null 2>&1 &
check "the installed launcher opens its window" wait_for 30 xdotool search --name '^Hollowmere Launcher$'

# Setup over the running launcher: it asks the launcher to close and replaces it.
check "silent setup over a running launcher exits 0" wine HollowmereSetup.exe /S
check "the running launcher was asked to close" wait_for 10 bash -c "! xdotool search --name '^Hollowmere Launcher$'"
check "the launcher is replaced in place" cmp "$build/HollowmereLauncher.exe" "$instdir/HollowmereLauncher.exe"

# Silent uninstall, with the game installed inside the launcher's folder (the player
# picked it) and the launcher's data folder in use.
game="$instdir/Zoë Ωmega 游戏"
mkdir -p "$game/savedata" "$data_folder"
printf '[Font]\r\nScalePercent=125\r\n' >"$game/SarnFont.ini"
printf 'OptionInfoList = { WIDTH = 1920 }\r\n' >"$game/savedata/OptionInfo.lua"
cp -a "$game" player-files
printf '[Launcher]\r\nInstallPath=%s\r\n' "$instdir_win\\Zoë Ωmega 游戏" >"$data_folder/launcher.ini"
check "silent uninstall starts" wine "$instdir/Uninstall.exe" /S
# The uninstaller runs on from a temporary copy of itself; the entry goes last, after its
# files, which are watched without starting Wine.
wait_for 30 test ! -e "$instdir/Uninstall.exe" || true
check "the uninstall entry is removed" wait_for 30 bash -c "! wine reg query '$key'"
check "the game folder and the player's files are untouched" diff -r player-files "$game"
check "only the game folder is left in the launcher's folder" test "$(ls -A "$instdir")" = "Zoë Ωmega 游戏"
check "the Start-menu shortcut is removed" test ! -e "$shortcut"
check "silent mode keeps the launcher's data" test -f "$data_folder/launcher.ini"

rm -rf "$instdir" "$data_folder"
[ $failures -eq 0 ] && echo "all installer checks passed" || { echo "$failures installer check(s) failed"; exit 1; }
