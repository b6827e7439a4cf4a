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
rm -rf "$work"
mkdir -p "$work"
cd "$work"
failures=0
check() {  # check <what> <command...>: one outcome, named when it fails
  local what="$1"; shift
  "$@" >/dev/null 2>&1 && echo "ok: $what" || { echo "FAILED: $what"; failures=$((failures + 1)); }
}
wait_for() {  # wait_for <seconds> <command...>
  local tries=$(($1 * 4)); shift
  until "$@" >/dev/null 2>&1; do tries=$((tries - 1)); [ $tries -gt 0 ] || return 1; sleep 0.25; done
}
unix_folder() { winepath -u "$(wine cmd /c echo "%$1%" | tr -d '\r')"; }

# Signing: a key and an authority that live only in this folder.
openssl req -x509 -newkey rsa:2048 -nodes -keyout authority.key -out authority.pem -days 2 \
  -subj "/CN=Hollowmere Test Signing Authority" -addext basicConstraints=critical,CA:TRUE 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Hollowmere Test Publisher" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA authority.pem -CAkey authority.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.pem 2>/dev/null
echo "throwaway password" >password.txt
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile authority.pem -out signer.p12 -passout file:password.txt
cp "$build/HollowmereLauncher.exe" "$build/HollowmereSetup.exe" .
"$source_dir/scripts/sign-file.sh" signer.p12 password.txt "" HollowmereLauncher.exe HollowmereSetup.exe
for file in HollowmereLauncher.exe HollowmereSetup.exe; do
  check "$file is signed by the test authority" osslsigncode verify -CAfile authority.pem -in "$file"
done

# A clean start: no launcher installed, none running.
local_data="$(unix_folder LOCALAPPDATA)"
instdir="$local_data/Programs/Hollowmere Launcher"
shortcut="$(unix_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Hollowmere Launcher.lnk"
data_folder="$local_data/Hollowmere/Sarnhold"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\HollowmereLauncher'
rm -rf "$instdir" "$shortcut" "$data_folder"
wine reg delete "$key" /f >/dev/null 2>&1 || true

# Silent install from the signed setup.
check "silent setup exits 0" wine HollowmereSetup.exe /S
check "the launcher is installed" cmp "$build/HollowmereLauncher.exe" "$instdir/HollowmereLauncher.exe"
check "the uninstaller is installed" test -f "$instdir/Uninstall.exe"
check "the Start-menu shortcut is there" test -f "$shortcut"
entry="$(wine reg query "$key" 2>/dev/null | tr -d '\r')" || true
instdir_win='C:\users\'"$(id -un)"'\AppData\Local\Programs\Hollowmere Launcher'
while IFS='|' read -r name value; do
  check "uninstall entry $name" grep -qxF "    $name    $value" <<<"$entry"
done <<EOF
DisplayName|REG_SZ    Hollowmere Launcher
DisplayVersion|REG_SZ    2.0.4
Publisher|REG_SZ    Hollowmere
DisplayIcon|REG_SZ    $instdir_win\\HollowmereLauncher.exe,0
InstallLocation|REG_SZ    $instdir_win
UninstallString|REG_SZ    "$instdir_win\\Uninstall.exe"
QuietUninstallString|REG_SZ    "$instdir_win\\Uninstall.exe" /S
EOF
check "uninstall entry EstimatedSize" grep -qE '^    EstimatedSize    REG_DWORD    0x[0-9a-f]*[1-9a-f]' <<<"$entry"

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
mkdir -p "$game/savedata" "$data_folder" player-files/savedata
printf '[Font]\r\nScalePercent=125\r\n' >player-files/SarnFont.ini
printf 'OptionInfoList = { WIDTH = 1920 }\r\n' >player-files/savedata/OptionInfo.lua
cp -a player-files/. "$game/"
printf '[Launcher]\r\nInstallPath=%s\r\n' "$instdir_win\\Zoë Ωmega 游戏" >"$data_folder/launcher.ini"
check "silent uninstall starts" wine "$instdir/Uninstall.exe" /S
# The uninstaller runs on from a temporary copy of itself; the entry goes last.
check "the uninstall entry is removed" wait_for 30 bash -c "! wine reg query '$key'"
check "the game folder and the player's files are untouched" diff -r player-files "$game"
check "only the game folder is left in the launcher's folder" test "$(ls -A "$instdir")" = "Zoë Ωmega 游戏"
check "the Start-menu shortcut is removed" test ! -e "$shortcut"
check "silent mode keeps the launcher's data" test -f "$data_folder/launcher.ini"

rm -rf "$instdir" "$data_folder"
[ $failures -eq 0 ] || { echo "$failures installer check(s) failed"; exit 1; }
echo "all installer checks passed"
