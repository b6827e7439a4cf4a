#!/usr/bin/env bash
# Builds the release launcher (no tests, no stand-ins) against the production service,
# and the publisher's release tool.
#   scripts/build-release.sh [origin]     default origin: https://service.hollowmere.net
set -euo pipefail
cd "$(dirname "$0")/.."
origin="${1:-https://service.hollowmere.net}"
# The release launcher talks to its origin over TLS only; a plain http origin is a local build.
case "$origin" in
  https://*) ;;
  *) echo "build-release.sh: the release origin must be an https URL, not $origin" >&2; exit 2 ;;
esac
./scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DCMAKE_BUILD_TYPE=Release \
      -DHOLLOWMERE_BUILD_TESTS=OFF -DHOLLOWMERE_SERVICE_ORIGIN="$origin" >/dev/null
cmake --build build-release -j"$(nproc)" --target HollowmereLauncher
x86_64-w64-mingw32-strip build-release/HollowmereLauncher.exe
echo "built build-release/HollowmereLauncher.exe for $origin"
# The publisher's tool, a native program for this machine: it makes the manifest and
# checks the live service (README, "Publishing a release").
cmake -S tools/release -B build-release/release-tool -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-release/release-tool -j"$(nproc)"
echo "built build-release/release-tool/hollowmere-release"
