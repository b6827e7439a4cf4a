#!/usr/bin/env bash
# Installs what is missing, builds the launcher, its tests and stand-ins, and runs
# every test under Wine (window tests on a private Xvfb display).
#   scripts/test.sh [--build-dir DIR] [--port N] [extra ctest arguments...]
# --build-dir and --port let several checkouts test side by side on one machine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
port=18470
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    *) break ;;
  esac
done
./scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake \
      -DHOLLOWMERE_SERVICE_ORIGIN="http://127.0.0.1:$port" >/dev/null
cmake --build "$build" -j"$(nproc)"
exec xvfb-run -a -s "-screen 0 1280x1024x24" ./scripts/ctest-under-wine.sh "$build" "$@"
