#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the local run need.
# Safe to run again: it only installs what is missing.
set -euo pipefail
pkgs=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb cmake googletest
      libz-mingw-w64-dev python3 imagemagick x11-utils xdotool zip unzip openssl
      nsis osslsigncode  # the setup program and the signing of release files
      clang libclang-rt-14-dev  # the native fuzzing build: clang and its libFuzzer and sanitizers
      libcurl4-openssl-dev libssl-dev  # the release tool (release/), a native program
      rsync patch)  # the mutation check (tests/mutants/)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
