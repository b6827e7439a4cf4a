#!/usr/bin/env bash
# A drive with little room for the install tests: a 4 MiB tmpfs, linked as drive Q: of
# the build's Wine prefix. Mounting needs root (or sudo without a password).
#   small_drive.sh mount|unmount BUILD_DIR
set -euo pipefail
action="$1" build="$2"
folder="$build/test-data/small-drive"
link="$build/wineprefix/dosdevices/q:"
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi; }
case "$action" in
  mount)
    "$build/wine-run.sh" --prepare-only
    mkdir -p "$folder"
    if ! mountpoint -q "$folder"; then
      as_root mount -t tmpfs -o size=4m,mode=0777 tmpfs "$folder" ||
        { echo "small_drive.sh: cannot mount a tmpfs on $folder (needs root)" >&2; exit 1; }
    fi
    find "$folder" -mindepth 1 -delete  # left by an earlier run that ended early
    ln -sfn "$folder" "$link"
    ;;
  unmount)
    rm -f "$link"
    if mountpoint -q "$folder"; then as_root umount "$folder"; fi
    ;;
esac
