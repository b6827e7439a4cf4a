#!/usr/bin/env bash
# Builds the release launcher (no tests, no stand-ins) against the production service,
# and its setup program, and the publisher's release tool; signs the launcher and its
# setup when given a code-signing certificate.
#   scripts/build-release.sh [--pkcs12 FILE --password-file FILE [--timestamp URL]] [origin]
# default origin: https://service.hollowmere.net
# The files to hand out land in build-release/publish/.
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: build-release.sh [--pkcs12 FILE --password-file FILE [--timestamp URL]] [origin]"
pkcs12="" password_file="" timestamp=""
while [ $# -gt 0 ]; do
  case "$1" in
    --pkcs12) pkcs12="${2:?$usage}"; shift 2 ;;
    --password-file) password_file="${2:?$usage}"; shift 2 ;;
    --timestamp) timestamp="${2:?$usage}"; shift 2 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) break ;;
  esac
done
origin="${1:-https://service.hollowmere.net}"
# The release launcher talks to its origin over TLS only; a plain http origin is a local build.
case "$origin" in
  https://*) ;;
  *) echo "build-release.sh: the release origin must be an https URL, not $origin" >&2; exit 2 ;;
esac
# Checked before the build, so a typo does not cost a build and end in unsigned files.
if [ -n "$pkcs12$password_file$timestamp" ]; then
  if [ ! -f "$pkcs12" ] || [ ! -f "$password_file" ]; then
    echo "build-release.sh: signing needs both --pkcs12 and --password-file, as readable files" >&2
    exit 2
  fi
fi
./scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DCMAKE_BUILD_TYPE=Release \
      -DHOLLOWMERE_BUILD_TESTS=OFF -DHOLLOWMERE_SERVICE_ORIGIN="$origin" >/dev/null
cmake --build build-release -j"$(nproc)" --target HollowmereLauncher
publish=build-release/publish
rm -rf "$publish"
mkdir -p "$publish"
# Stripped into a copy: the linker's output stays as it is, so a second run never strips
# or signs a file twice.
x86_64-w64-mingw32-strip -o "$publish/HollowmereLauncher.exe" build-release/HollowmereLauncher.exe
# The launcher is signed before setup packs it, so the installed copy carries the signature.
sign() { [ -z "$pkcs12" ] || ./scripts/sign-file.sh "$pkcs12" "$password_file" "$timestamp" "$1"; }
sign "$publish/HollowmereLauncher.exe"
makensis -V2 -DLAUNCHER_EXE="$PWD/$publish/HollowmereLauncher.exe" -DSETUP_EXE="$PWD/$publish/HollowmereSetup.exe" \
         installer/HollowmereSetup.nsi
sign "$publish/HollowmereSetup.exe"
(cd "$publish" && sha256sum HollowmereLauncher.exe HollowmereSetup.exe)
echo "built $publish/HollowmereLauncher.exe and $publish/HollowmereSetup.exe for $origin"
if [ -n "$pkcs12" ]; then
  echo "both are signed with $pkcs12${timestamp:+ and timestamped by $timestamp}"
else
  echo "WARNING: both files are UNSIGNED (no --pkcs12 and --password-file given); Windows warns players about unsigned downloads"
fi
# The publisher's tool, a native program for this machine: it makes the manifest and
# checks the live service (README, "Publishing a release").
cmake -S release -B build-release/release-tool -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-release/release-tool -j"$(nproc)"
echo "built build-release/release-tool/hollowmere-release"
